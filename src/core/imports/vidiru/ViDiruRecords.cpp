// Reading the fields of the Vi Diru record file.
#include "core/imports/vidiru/ViDiruRecords.h"

#include "core/desk/Formats.h"

#include <QStringBuilder>

namespace zb32 {

namespace {

struct CodeName
{
    ViDiruCode code;
    const char* text;
};

constexpr CodeName kCodes[] = {
    { ViDiruCode::Header, "IBGI0001" },
    { ViDiruCode::Note, "IBGI0004" },
    { ViDiruCode::Amount, "IBGI0005" },
    { ViDiruCode::Component, "IBGI0007" },
    { ViDiruCode::Total, "IBGI0008" },
    { ViDiruCode::Instalment, "IBGI0011" },
};

} // namespace

namespace ViDiru {

ViDiruCode recordCode(const QString& line)
{
    const QStringView code = QStringView(line).mid(10, 8);
    if (code.size() != 8) {
        return ViDiruCode::Other;
    }
    // Every code is "IBGI00" and two digits: the prefix is compared once a line, then the digits.
    if (code.first(6) != QLatin1String(kCodes[0].text, 6)) {
        return ViDiruCode::Other;
    }
    for (const CodeName& c : kCodes) {
        if (code[6] == QLatin1Char(c.text[6]) && code[7] == QLatin1Char(c.text[7])) {
            return c.code;
        }
    }
    return ViDiruCode::Other;
}

QString codeText(ViDiruCode code)
{
    for (const CodeName& c : kCodes) {
        if (c.code == code) {
            return QString::fromLatin1(c.text);
        }
    }
    return {};
}

QString field(const QString& line, int start, int length)
{
    return columns(line, start, length);
}

QString fieldFrom(const QString& line, int start)
{
    return columnsFrom(line, start);
}

bool amount(const QString& line, int start, int length, Currency* out, QString* error)
{
    const QStringView text = columnsView(line, start, length);
    bool ok = false;
    const Currency value = Currency::fromItalianText(text, &ok);
    if (!ok) {
        if (error) {
            const QString shown = trimBlanks(text);
            *error = shown.isEmpty()
                ? QStringLiteral("importo mancante nelle colonne %1-%2").arg(start).arg(start + length - 1)
                : QStringLiteral("l'importo \"%1\" nelle colonne %2-%3 non è un numero")
                      .arg(shown)
                      .arg(start)
                      .arg(start + length - 1);
        }
        return false;
    }
    *out = value;
    return true;
}

QDate date(const QString& line, int start, int length)
{
    return parseShortDate(columnsView(line, start, length));
}

} // namespace ViDiru

using namespace ViDiru;

QString ViDiruHeader::position(const QString& line)
{
    // The case number is a number: its text in the workstation's form (a decimal comma).
    QString text = leadingNumberText(trimBlanks(columnsView(line, 19, 10)));
    text.replace(QLatin1Char('.'), QLatin1Char(','));
    return text;
}

ViDiruHeader ViDiruHeader::read(const QString& line)
{
    ViDiruHeader h;
    h.posizione = position(line);
    h.altroriferimento = trimBlanks(columnsView(line, 66, 32));
    h.cliente = trimBlanks(columnsView(line, 108, 35));
    h.codiceContratto = trimBlanks(columnsView(line, 188, 10));
    h.contratto = trimBlanks(columnsView(line, 198, 35));
    h.ragioneSociale = trimBlanks(columnsView(line, 233, 50));
    h.pIva = trimBlanks(columnsView(line, 283, 16));
    h.dataNascita = date(line, 299, 10);
    h.luogoNascita = trimBlanks(columnsView(line, 309, 30));
    h.memo = trimBlanks(columnsView(line, 339, 35));
    h.indirizzo = trimBlanks(columnsView(line, 374, 50));
    h.cap = field(line, 424, 5);
    h.citta = trimBlanks(columnsView(line, 432, 30));
    h.provincia = field(line, 467, 2);
    h.recapito = field(line, 469, 50);
    h.telefono1 = field(line, 519, 12);
    h.telefono2 = field(line, 531, 12);
    return h;
}

QString ViDiruHeader::memoec() const
{
    // (In one allocation.)
    return QLatin1String("Cliente ") % cliente % QLatin1String("\r\ncontratto ") % codiceContratto % QLatin1Char(' ')
        % contratto;
}

QString readViDiruNote(const QString& line)
{
    return trimBlanks(fieldFrom(line, 19));
}

bool ViDiruComponent::read(const QString& line, ViDiruComponent* out, QString* error)
{
    ViDiruComponent c;
    if (!ViDiru::amount(line, 58, 13, &c.amount, error)) {
        return false;
    }
    const QString kind = field(line, 19, 5);
    if (kind == QLatin1String("Sorte")) {
        c.kind = Kind::Sorte;
    } else if (kind == QLatin1String("Inter")) {
        c.kind = Kind::Inter;
    } else {
        c.kind = Kind::Spese;
    }
    *out = c;
    return true;
}

bool readViDiruTotal(const QString& line, Currency* total, QString* error)
{
    return ViDiru::amount(line, 19, 13, total, error);
}

bool ViDiruInstalment::read(const QString& line, ViDiruInstalment* out, QString* error)
{
    ViDiruInstalment i;
    if (!ViDiru::amount(line, 66, 13, &i.saldo, error)) {
        return false;
    }
    i.periodo = field(line, 19, 2);
    i.scadenza = date(line, 21, 10);
    i.numeroFattura = trimBlanks(columnsView(line, 79, 40));
    *out = i;
    return true;
}

} // namespace zb32
