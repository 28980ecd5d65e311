// Building the fault tests' input files and reading back what a run stored.
#include "FaultInputs.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/Cp1252.h"
#include "core/desk/Currency.h"
#include "core/desk/Recordset.h"
#include "core/desk/Schema.h"

#include <QHash>
#include <QRegularExpression>
#include <QSqlQuery>

namespace zb32::test {

namespace {

// A fixed-width line from (column, text) pairs, blanks between them.
class Columns
{
public:
    Columns& put(int start, const QString& text)
    {
        if (m_text.size() < start - 1 + text.size()) {
            m_text = m_text.leftJustified(start - 1 + text.size(), QLatin1Char(' '));
        }
        m_text.replace(start - 1, text.size(), text);
        return *this;
    }
    QByteArray line() const { return Cp1252::encode(m_text) + "\r\n"; }

private:
    QString m_text;
};

QString zeros(qint64 value, int width)
{
    return QString::number(value).rightJustified(width, QLatin1Char('0'));
}

// "1.234,56" as the Vi Diru file writes amounts.
QString italian(qint64 cents)
{
    return Currency::fromRaw(cents * (Currency::kScale / 100)).toGroupedText();
}

QString centsText(qint64 cents)
{
    return QString::number(cents);
}

// Amounts come back as Currency from record access; anything else shows as a mismatch.
qint64 centsOf(const QVariant& value)
{
    bool ok = false;
    const Currency c = Currency::fromVariant(value, &ok);
    return ok ? c.raw() / (Currency::kScale / 100) : -999999999;
}

} // namespace

FaultInput FaultInput::orb(int cases, const QString& tag)
{
    FaultInput out { Job::Orb, {}, {} };
    for (int n = 1; n <= cases; ++n) {
        const QString account = tag + zeros(n, 14);
        out.bytes += Columns()
                         .put(1, QStringLiteral("01A01000001"))
                         .put(12, account)
                         .put(27, QStringLiteral("ATTIVO      "))
                         .put(39, QStringLiteral("DEBITORE %1").arg(n).leftJustified(40))
                         .put(79, QStringLiteral("VIA ROMA %1").arg(n % 300).leftJustified(40))
                         .put(119, zeros(n % 90000 + 10000, 5))
                         .put(124, QStringLiteral("COMUNE").leftJustified(40))
                         .put(164, QStringLiteral("RM"))
                         .put(240, zeros(n % 7 * 1000, 8))
                         .put(248, QStringLiteral("31/12/2011"))
                         .line();
        out.lines << LineEffect { LineEffect::Kind::Case, account, {}, 0 };
        const bool memoLines = n % 3 != 0;
        if (memoLines) {
            out.bytes += Columns()
                             .put(1, QStringLiteral("01A02000001"))
                             .put(12, account)
                             .put(27, QStringLiteral("01022008"))
                             .put(137, QStringLiteral("DEC") + zeros(n, 12))
                             .line();
            out.lines << LineEffect { LineEffect::Kind::Detail, account, QStringLiteral("contract"), 0 };
            out.bytes += Columns()
                             .put(1, QStringLiteral("01R01000001"))
                             .put(12, account)
                             .put(27, zeros(n * 7, 15))
                             .put(42, QStringLiteral("02"))
                             .line();
            out.lines << LineEffect { LineEffect::Kind::Detail, account, QStringLiteral("assignment"), 0 };
        }
        const int details = 2 + n % 2;
        for (int k = 1; k <= details; ++k) {
            const qint64 cents = n * 10 + k;
            const QString number = QStringLiteral("FT%1%2/%3").arg(tag).arg(n).arg(k);
            out.bytes += Columns()
                             .put(1, QStringLiteral("01F01000001"))
                             .put(12, account)
                             .put(27, QStringLiteral("01012009"))
                             .put(35, QStringLiteral("BIM 1/2009").leftJustified(15))
                             .put(50, QStringLiteral("1") + QString::number(k) + QStringLiteral("022009"))
                             .put(58, number.leftJustified(15))
                             .put(73, zeros(cents, 15))
                             .put(88, zeros(cents, 15))
                             .put(103, QStringLiteral("28022009"))
                             .line();
            out.lines << LineEffect { LineEffect::Kind::Invoice, account, number, cents };
        }
    }
    return out;
}

FaultInput FaultInput::viDiru(int cases, const QString& tag)
{
    FaultInput out { Job::ViDiru, {}, {} };
    const qint64 base = tag.toLongLong() * 10000000;
    int sequence = 0;
    for (int n = 1; n <= cases; ++n) {
        const QString position = QString::number(base + n);
        out.bytes += Columns()
                         .put(1, zeros(++sequence, 10))
                         .put(11, QStringLiteral("IBGI0001"))
                         .put(19, position.leftJustified(10))
                         .put(233, QStringLiteral("DEBITORE %1").arg(n).leftJustified(50))
                         .put(542, QStringLiteral(" "))
                         .line();
        out.lines << LineEffect { LineEffect::Kind::Case, position, {}, 0 };
        const qint64 rata = n * 100 + 1;
        out.bytes += Columns()
                         .put(1, zeros(++sequence, 10))
                         .put(11, QStringLiteral("IBGI0007"))
                         .put(19, QStringLiteral("Sorte capitale").leftJustified(35))
                         .put(58, italian(rata).rightJustified(13))
                         .line();
        out.lines << LineEffect { LineEffect::Kind::Detail, position, QStringLiteral("rata"), rata };
        const qint64 total = n * 100 + 99;
        out.bytes += Columns()
                         .put(1, zeros(++sequence, 10))
                         .put(11, QStringLiteral("IBGI0008"))
                         .put(19, italian(total).rightJustified(13))
                         .line();
        out.lines << LineEffect { LineEffect::Kind::Detail, position, QStringLiteral("totale"), total };
        for (int k = 1; k <= 2; ++k) {
            const qint64 cents = n * 10 + k;
            const QString number = QStringLiteral("RT%1-%2").arg(position).arg(k);
            out.bytes += Columns()
                             .put(1, zeros(++sequence, 10))
                             .put(11, QStringLiteral("IBGI0011"))
                             .put(19, zeros(k, 2))
                             .put(21, QStringLiteral("28/02/2009"))
                             .put(31, QStringLiteral("Fattura").leftJustified(35))
                             .put(66, italian(cents).rightJustified(13))
                             .put(79, number.leftJustified(40))
                             .line();
            out.lines << LineEffect { LineEffect::Kind::Invoice, position, number, cents };
        }
    }
    return out;
}

int FaultInput::invoiceCount() const
{
    int count = 0;
    for (const LineEffect& e : lines) {
        count += e.kind == LineEffect::Kind::Invoice ? 1 : 0;
    }
    return count;
}

QStringList FaultInput::expectedBefore(qint64 firstUnsaved) const
{
    struct CaseState
    {
        QStringList details;
        QHash<QString, qint64> amounts;
        qint64 invoiceSum = 0;
    };
    QStringList order;
    QHash<QString, CaseState> cases;
    QStringList invoices;
    for (qint64 i = 0; i < qMin<qint64>(firstUnsaved - 1, lines.size()); ++i) {
        const LineEffect& e = lines[i];
        switch (e.kind) {
        case LineEffect::Kind::Case:
            order << e.caseKey;
            cases.insert(e.caseKey, {});
            break;
        case LineEffect::Kind::Detail:
            cases[e.caseKey].details << e.detail;
            cases[e.caseKey].amounts.insert(e.detail, e.cents);
            break;
        case LineEffect::Kind::Invoice:
            cases[e.caseKey].invoiceSum += e.cents;
            invoices << QStringLiteral("I %1 %2 %3").arg(e.detail, e.caseKey, centsText(e.cents));
            break;
        }
    }
    QStringList out;
    for (const QString& key : order) {
        const CaseState& c = cases[key];
        if (job == Job::Orb) {
            // A closed case carries the sum of its invoices as its total; a zero sum leaves it empty.
            out << QStringLiteral("C %1 contract=%2 assignment=%3 total=%4")
                       .arg(key)
                       .arg(c.details.contains(QStringLiteral("contract")) ? 1 : 0)
                       .arg(c.details.contains(QStringLiteral("assignment")) ? 1 : 0)
                       .arg(c.invoiceSum ? centsText(c.invoiceSum) : QStringLiteral("-"));
        } else {
            const auto amount = [&](const QString& what) {
                return c.amounts.contains(what) ? centsText(c.amounts.value(what)) : QStringLiteral("-");
            };
            out << QStringLiteral("C %1 rata=%2 totale=%3")
                       .arg(key, amount(QStringLiteral("rata")), amount(QStringLiteral("totale")));
        }
    }
    return out + invoices;
}

QStringList FaultInput::stored(CaseDatabase& db, Job job, QString* error)
{
    QStringList out;
    QHash<qint64, QString> positions;
    Recordset cases(db, Schema::kCases);
    if (!cases.open(QStringLiteral("SELECT * FROM [tabella pratiche] ORDER BY contatore"), {}, error)) {
        return {};
    }
    const auto amount = [&](const QString& field) {
        return cases.isNull(field) ? QStringLiteral("-") : centsText(centsOf(cases.value(field)));
    };
    for (; !cases.eof(); cases.moveNext()) {
        const QString key = cases.text(QStringLiteral("posizione"));
        positions.insert(cases.key(), key);
        if (job == Job::Orb) {
            const QString memo = cases.text(QStringLiteral("memoec"));
            out << QStringLiteral("C %1 contract=%2 assignment=%3 total=%4")
                       .arg(key)
                       .arg(memo.contains(QLatin1String("Data Contratto")) ? 1 : 0)
                       .arg(memo.contains(QLatin1String("Importo Totale Affidato")) ? 1 : 0)
                       .arg(amount(QStringLiteral("importo totale")));
        } else {
            out << QStringLiteral("C %1 rata=%2 totale=%3")
                       .arg(key, amount(QStringLiteral("importo rata")), amount(QStringLiteral("importo totale")));
        }
    }
    Recordset invoices(db, Schema::kInvoices);
    if (!invoices.open(QStringLiteral("SELECT * FROM [tabella fatture] ORDER BY ID"), {}, error)) {
        return {};
    }
    for (; !invoices.eof(); invoices.moveNext()) {
        const qint64 conta = invoices.value(QStringLiteral("conta")).toLongLong();
        out << QStringLiteral("I %1 %2 %3")
                   .arg(invoices.text(QStringLiteral("numero fattura")).trimmed(),
                       positions.value(conta, QStringLiteral("<no case %1>").arg(conta)),
                       centsText(centsOf(invoices.value(QStringLiteral("saldo")))));
    }
    return out;
}

qint64 firstUnsavedLineOf(const QString& error)
{
    static const QRegularExpression from(QStringLiteral("le righe dalla (\\d+) in poi"));
    static const QRegularExpression line(QStringLiteral(", riga (\\d+):"));
    QRegularExpressionMatch m = from.match(error);
    if (m.hasMatch()) {
        return m.captured(1).toLongLong();
    }
    m = line.match(error);
    return m.hasMatch() ? m.captured(1).toLongLong() : 0;
}

bool sameRecords(const QStringList& stored, const QStringList& expected, QString* why)
{
    for (qsizetype i = 0; i < qMin(stored.size(), expected.size()); ++i) {
        if (stored[i] != expected[i]) {
            *why = QStringLiteral("record %1 of %2 stored (%3 expected) is \"%4\" instead of \"%5\"")
                       .arg(i + 1)
                       .arg(stored.size())
                       .arg(expected.size())
                       .arg(stored[i], expected[i]);
            return false;
        }
    }
    if (stored.size() != expected.size()) {
        *why
            = QStringLiteral("%1 records stored, %2 expected; the first one too many or missing: \"%3\"")
                  .arg(stored.size())
                  .arg(expected.size())
                  .arg(stored.size() > expected.size() ? stored.value(expected.size()) : expected.value(stored.size()));
        return false;
    }
    return true;
}

QStringList mergeRecords(const QStringList& first, const QStringList& second)
{
    const auto cases = [](const QString& r) { return r.startsWith(QLatin1String("C ")); };
    QStringList out;
    for (const QStringList* list : { &first, &second }) {
        for (const QString& r : *list) {
            if (cases(r)) {
                out << r;
            }
        }
    }
    for (const QStringList* list : { &first, &second }) {
        for (const QString& r : *list) {
            if (!cases(r)) {
                out << r;
            }
        }
    }
    return out;
}

QStringList recordsOf(const QStringList& records, const QString& prefix)
{
    QStringList out;
    for (const QString& r : records) {
        // "C key ..." and "I number key cents"
        const QString key = r.section(QLatin1Char(' '), r.startsWith(QLatin1String("C ")) ? 1 : 2, -1);
        if (key.startsWith(prefix)) {
            out << r;
        }
    }
    return out;
}

int waitForRows(const QString& connectionString, const QString& table, int minimum, const std::function<bool()>& tick)
{
    CaseDatabase db;
    QString error;
    if (!db.open(connectionString, &error)) {
        return -1;
    }
    const QString sql = db.dialect().translate(QStringLiteral("SELECT COUNT(*) FROM [%1]").arg(table));
    int count = -1;
    do {
        QSqlQuery q(db.database());
        if (!q.exec(sql) || !q.next()) {
            return -1;
        }
        count = q.value(0).toInt();
    } while (count < minimum && tick());
    return count;
}

qint64 uncertainLineOf(const QString& error)
{
    static const QRegularExpression range(
        QStringLiteral("le righe dalla (\\d+) alla \\d+ potrebbero essere state salvate"));
    const QRegularExpressionMatch m = range.match(error);
    return m.hasMatch() ? m.captured(1).toLongLong() : 0;
}

bool storedAsTheErrorSays(const QStringList& stored, const FaultInput& input, const QString& error, QString* why)
{
    if (sameRecords(stored, input.expectedBefore(firstUnsavedLineOf(error)), why)) {
        return true;
    }
    const qint64 uncertain = uncertainLineOf(error);
    return uncertain > 0 && sameRecords(stored, input.expectedBefore(uncertain), why);
}

bool countersMatch(const QString& clienti, const QString& fatture, const QStringList& records, QString* why)
{
    int cases = 0;
    int invoices = 0;
    for (const QString& r : records) {
        (r.startsWith(QLatin1String("C ")) ? cases : invoices) += 1;
    }
    if (clienti.toInt() == cases && fatture.toInt() == invoices) {
        return true;
    }
    *why = QStringLiteral("the boxes show clienti \"%1\", fatture \"%2\"; the database holds %3 cases, %4 invoices")
               .arg(clienti, fatture)
               .arg(cases)
               .arg(invoices);
    return false;
}

bool countersMatchTheError(const QPair<QString, QString>& boxes, const QStringList& stored, const FaultInput& input,
    const QString& error, QString* why)
{
    if (countersMatch(boxes.first, boxes.second, stored, why)) {
        return true;
    }
    const qint64 uncertain = uncertainLineOf(error);
    QString ignored;
    return uncertain > 0 && countersMatch(boxes.first, boxes.second, input.expectedBefore(uncertain), &ignored);
}

QPair<QString, QString> printedCounters(const QString& output)
{
    static const QRegularExpression boxes(QStringLiteral("(?:^|\n)clienti: ([^\n]*)\nfatture: ([^\n]*)"));
    const QRegularExpressionMatch m = boxes.match(output);
    return m.hasMatch() ? qMakePair(m.captured(1), m.captured(2)) : qMakePair(QStringLiteral("?"), QStringLiteral("?"));
}

bool freshTables(const QString& connectionString, QString* error)
{
    CaseDatabase db;
    if (!db.open(connectionString, error, true)) {
        return false;
    }
    for (const QList<TableDef>* list : { &Schema::tables(), &Schema::registerTables() }) {
        for (const TableDef& t : *list) {
            db.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(db.dialect().quoteName(t.name)), nullptr);
        }
    }
    return Schema::create(db, error);
}

} // namespace zb32::test
