// The Vi Diru record file: record codes in columns 11–18 and the fields of each record.
#pragma once

#include "core/desk/Currency.h"

#include <QDate>
#include <QString>
#include <QStringView>

namespace zb32 {

// The six codes the import knows; everything else (other codes, lower case, short or blank
// lines) is Other.
enum class ViDiruCode { Other, Header, Note, Amount, Component, Total, Instalment };

namespace ViDiru {

// Components and instalments shorter than this are skipped without a message.
constexpr qsizetype kMinComponentLength = 30;
constexpr qsizetype kMinInstalmentLength = 30;

ViDiruCode recordCode(const QString& line);
// "IBGI0007" for Component, and so on; empty for Other.
QString codeText(ViDiruCode code);

// Columns of a line, 1-based; what lies beyond the line's end reads as empty text (never null,
// so an empty field is stored as an empty text, not as a missing value).
QString field(const QString& line, int start, int length);
QString fieldFrom(const QString& line, int start);

// An amount field in the Italian format ("1.234,56", "-12,5"); blanks around are ignored.
// A blank field or one that is not a number is refused with a reason naming its columns.
bool amount(const QString& line, int start, int length, Currency* out, QString* error);
// A date field dd/MM/yyyy; an invalid date (00/00/0000, blanks) gives an invalid QDate.
QDate date(const QString& line, int start, int length);

} // namespace ViDiru

// "IBGI0001": the case header. Texts as the import uses them (trimmed or as they stand).
struct ViDiruHeader
{
    QString posizione; // 19–28: the leading number of the trimmed text ("0" when none)
    QString altroriferimento; // 66–97, trimmed
    QString cliente; // 108–142, trimmed: the client's name
    QString codiceContratto; // 188–197, trimmed
    QString contratto; // 198–232, trimmed: the contract item's description
    QString ragioneSociale; // 233–282, trimmed
    QString pIva; // 283–298, trimmed
    QDate dataNascita; // 299–308, invalid when the text is not a date
    QString luogoNascita; // 309–338, trimmed
    QString memo; // 339–373, trimmed
    QString indirizzo; // 374–423, trimmed
    QString cap; // 424–428 as they stand (the first 5 of the 8 columns)
    QString citta; // 432–461, trimmed (the first 30 of the 35 columns)
    QString provincia; // 467–468 as they stand
    QString recapito; // 469–518 as they stand
    QString telefono1; // 519–530 as they stand
    QString telefono2; // 531–542 as they stand

    static ViDiruHeader read(const QString& line);
    // `posizione` alone, as read() gives it.
    static QString position(const QString& line);
    // "Cliente NAME" CR LF "contratto CODE DESCRIPTION".
    QString memoec() const;
};

// "IBGI0004": the note text, columns 19 to the end of the line, trimmed.
QString readViDiruNote(const QString& line);

// "IBGI0007": one component of the debt.
struct ViDiruComponent
{
    // Columns 19–23 compared exactly: "Sorte" and "Inter"; anything else is charges.
    enum class Kind { Sorte, Inter, Spese };

    Kind kind = Kind::Spese;
    Currency amount; // 58–70

    static bool read(const QString& line, ViDiruComponent* out, QString* error);
};

// "IBGI0008": the total owed to the client, columns 19–31.
bool readViDiruTotal(const QString& line, Currency* total, QString* error);

// "IBGI0011": one instalment, stored as an invoice.
struct ViDiruInstalment
{
    QString periodo; // 19–20 as they stand
    QDate scadenza; // 21–30, invalid when the text is not a date
    Currency saldo; // 66–78
    QString numeroFattura; // 79–118, trimmed

    static bool read(const QString& line, ViDiruInstalment* out, QString* error);
};

} // namespace zb32
