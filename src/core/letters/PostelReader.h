// The print file read back for a person: header records, the letter template, one debtor block
// at a time with its payment-slip pages, the end record. Everything read is checked, and every
// fault is named with its line; memory holds one letter, however long the file.
#pragma once

#include "core/desk/Currency.h"
#include "core/desk/LineReader.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>

class QIODevice;

namespace zb32 {

// One payment-slip page, the service's escapes taken out.
struct PostelSlip
{
    int line = 0; // the page's "!NEW" line
    QString amount; // as written, padded to 10
    QString periodo;
    QString riferimento;
    QString scadenza;
    QString nome;
    QString indirizzo;
    QString citta;
    QString fattura;
    QString account; // the postal account of the code line
    QString code; // the payment code line: "<01/2020>00000950+00>47152086<896>"
};

struct PostelLetter
{
    qint64 number = 0; // from 1, in the order of the file
    int line = 0; // its "@A" line
    QString nome;
    QString tipoMandato; // null when the "@A" line has no " [...]"
    QString indirizzo;
    QString cap;
    QString citta;
    QString provincia;
    std::array<QString, 9> items; // @I01..@I09 as written; amounts keep their padding
    bool slipBlock = false; // the block is followed by an "@T" of slip pages
    QList<PostelSlip> slips;

    const QString& item(int n) const { return items[static_cast<size_t>(n - 1)]; }
    // The address as the envelope's window shows it: name line, street, postcode, town and
    // province, the file's padding blanks taken out.
    QStringList addressLines() const;
};

struct PostelProblem
{
    int line = 0;
    QString text;
};

// What a reading found: counts, the letters' total (@I09) and the problems in file order.
struct PostelCheck
{
    static constexpr int kMaxProblems = 1000; // kept in full; the rest are only counted

    qint64 letters = 0;
    qint64 slips = 0;
    Currency total;
    qint64 problemCount = 0;
    QList<PostelProblem> problems;

    bool clean() const { return problemCount == 0; }
};

class PostelReader
{
public:
    // Reads `device`, which stays the caller's, from where it stands.
    explicit PostelReader(QIODevice* device);
    PostelReader(const PostelReader&) = delete;
    PostelReader& operator=(const PostelReader&) = delete;

    // The header records and the template, up to the first debtor block.
    void readHeader();
    // The template's lines after its "@T".
    const QStringList& templateLines() const { return m_template; }
    // The sender's contact record (":R:"), its fields.
    const QStringList& contact() const { return m_contact; }
    // The next debtor block with its slip pages; false when none is left, once the end record
    // has been read and checked (or the reading stopped).
    bool next(PostelLetter* letter);
    // next() until the end.
    void readToEnd();
    const PostelCheck& check() const { return m_check; }
    // Why the reading stopped before the end of the file; empty when it did not.
    QString errorString() const { return m_error; }

    // Checks a whole file. False, with the reason, when it cannot be opened.
    static bool checkFile(const QString& path, PostelCheck* check, QString* error);
    // An amount as FormSoldi writes it: blanks, then "-1.234,50"; false for anything else.
    static bool readAmount(QStringView text, Currency* value);

private:
    enum class Kind { Text, Command, Address, Item, TextBlock, End };
    static Kind kind(const QString& line);

    void advance();
    void problem(int line, const QString& text);
    void letterProblem(const PostelLetter& letter, int line, const QString& text);
    void readAddressLine(PostelLetter* letter);
    void readTownLine(PostelLetter* letter);
    void readItems(PostelLetter* letter);
    void checkItems(const PostelLetter& letter);
    void readSlips(PostelLetter* letter);
    void readSlipPage(PostelLetter* letter);
    void compareSlips(const PostelLetter& letter, int blockLine);
    void readEnd();

    LineReader m_reader;
    QString m_line; // the line under the cursor
    int m_lineNumber = 0;
    bool m_atEnd = false;
    bool m_done = false;
    QString m_error;
    QStringList m_template;
    QStringList m_contact;
    enum class Slips { Unknown, Yes, No } m_slips = Slips::Unknown;
    std::array<int, 9> m_itemLines {};
    QStringList m_pageTexts;
    QList<int> m_pageLines;
    PostelCheck m_check;
};

// The print file the letter run wrote last: the newest "LO*.ASC" of the print files' folder;
// empty when there is none.
QString lastPrintFile();

} // namespace zb32
