// Reading the print file back, with its checks.
#include "core/letters/PostelReader.h"

#include "core/desk/DrivePath.h"
#include "core/desk/Formats.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace zb32 {

namespace {

// A data item's tag: "@I" and two digits, 1 to 9; 0 for anything else.
int itemNumber(const QString& line)
{
    if (line.size() < 4 || line[2] != QLatin1Char('0') || !line[3].isDigit()) {
        return 0;
    }
    return line[3].digitValue();
}

QString quoted(const QString& text)
{
    constexpr int kShown = 60;
    return QLatin1Char('"') + (text.size() > kShown ? text.left(kShown) + QStringLiteral("...") : text)
        + QLatin1Char('"');
}

// The service's escapes of a slip line taken out: "@?" and two digits, "@+", "@-", "@>", "@<".
QString withoutEscapes(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('@') && i + 1 < text.size()) {
            const QChar c = text[i + 1];
            if (c == QLatin1Char('?') && i + 3 < text.size() && text[i + 2].isDigit() && text[i + 3].isDigit()) {
                i += 3;
                continue;
            }
            if (c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('>') || c == QLatin1Char('<')) {
                ++i;
                continue;
            }
        }
        out.append(text[i]);
    }
    return out;
}

// Runs of blanks made one, ends trimmed.
QString collapsed(const QString& text)
{
    return text.simplified();
}

QString itemTag(int n)
{
    return QStringLiteral("@I0%1").arg(n);
}

QString itemRange(int from, int to)
{
    return from == to ? QStringLiteral("manca il dato %1").arg(itemTag(from))
                      : QStringLiteral("mancano i dati %1-%2").arg(itemTag(from), itemTag(to));
}

} // namespace

QStringList PostelLetter::addressLines() const
{
    QString first = collapsed(nome);
    if (!tipoMandato.isNull()) {
        first += QStringLiteral(" [") + tipoMandato + QLatin1Char(']');
    }
    QStringList town;
    for (const QString& part : { cap, citta, provincia }) {
        if (!part.isEmpty()) {
            town << collapsed(part);
        }
    }
    return { first, collapsed(indirizzo), town.join(QLatin1Char(' ')) };
}

PostelReader::PostelReader(QIODevice* device)
    : m_reader(device)
{
    // The file is written in Windows-1252 only: a line that would read as UTF-8 is
    // Windows-1252 all the same.
    m_reader.setRefuseUtf8(false);
}

PostelReader::Kind PostelReader::kind(const QString& line)
{
    if (line.startsWith(QLatin1Char('!'))) {
        return Kind::Command;
    }
    if (line.size() < 2 || line[0] != QLatin1Char('@')) {
        return Kind::Text;
    }
    switch (line[1].unicode()) {
    case 'A':
        return Kind::Address;
    case 'I':
        return Kind::Item;
    case 'T':
        return Kind::TextBlock;
    case 'E':
        return Kind::End;
    default:
        return Kind::Text;
    }
}

void PostelReader::advance()
{
    if (m_atEnd) {
        return;
    }
    switch (m_reader.readLine(&m_line)) {
    case LineReader::Status::Line:
        m_lineNumber = m_reader.lineNumber();
        return;
    case LineReader::Status::End:
        m_atEnd = true;
        m_line.clear();
        m_lineNumber = m_reader.lineNumber() + 1;
        return;
    case LineReader::Status::Error:
        m_atEnd = true;
        m_line.clear();
        m_lineNumber = m_reader.errorLine();
        problem(m_lineNumber, m_reader.errorString());
        m_error = m_reader.errorString(); // what the reading did not reach is not a fault of its own
        return;
    }
}

void PostelReader::problem(int line, const QString& text)
{
    if (!m_error.isEmpty()) {
        return;
    }
    ++m_check.problemCount;
    if (m_check.problems.size() < PostelCheck::kMaxProblems) {
        m_check.problems.append({ line, text });
    }
}

void PostelReader::letterProblem(const PostelLetter& letter, int line, const QString& text)
{
    const QString name = collapsed(letter.nome);
    problem(line,
        (name.isEmpty() ? QStringLiteral("lettera %1").arg(letter.number)
                        : QStringLiteral("lettera %1 (%2)").arg(letter.number).arg(name))
            + QStringLiteral(": ") + text);
}

void PostelReader::readHeader()
{
    advance();
    struct Record
    {
        const char* prefix;
        const char* name;
        bool seen;
    };
    Record records[] = {
        { ":R:", "il record :R: del mittente", false },
        { ":I:", "il record :I:", false },
        { "//C ", "il record di controllo //C", false },
        { "//G ", "i record //G", false },
    };
    bool strayReported = false;
    while (!m_atEnd && kind(m_line) != Kind::TextBlock && kind(m_line) != Kind::Address && kind(m_line) != Kind::End) {
        bool known = false;
        for (Record& r : records) {
            if (m_line.startsWith(QLatin1String(r.prefix))) {
                r.seen = known = true;
            }
        }
        if (m_line.startsWith(QLatin1String(":R:"))) {
            m_contact = m_line.mid(3).split(QLatin1Char(','));
            if (m_contact.size() != 4) {
                problem(m_lineNumber,
                    QStringLiteral("il record :R: del mittente ha %1 campi invece di 4").arg(m_contact.size()));
            }
        } else if (m_line.startsWith(QLatin1String("//C ")) && m_line.size() != 44) {
            problem(m_lineNumber,
                QStringLiteral("il record di controllo //C è lungo %1 caratteri invece di 44").arg(m_line.size()));
        }
        if (!known && !strayReported) {
            problem(
                m_lineNumber, QStringLiteral("riga inattesa prima del modello della lettera: %1").arg(quoted(m_line)));
            strayReported = true;
        }
        advance();
    }
    for (const Record& r : records) {
        if (!r.seen) {
            problem(
                m_lineNumber, QStringLiteral("manca %1 prima del modello della lettera").arg(QLatin1String(r.name)));
        }
    }
    if (m_atEnd || kind(m_line) != Kind::TextBlock) {
        if (!m_atEnd || m_error.isEmpty()) {
            problem(m_lineNumber, QStringLiteral("manca il modello della lettera (@T)"));
        }
        return;
    }
    advance();
    while (!m_atEnd && kind(m_line) != Kind::Address && kind(m_line) != Kind::End) {
        const Kind k = kind(m_line);
        if (k == Kind::TextBlock || k == Kind::Item) {
            problem(m_lineNumber, QStringLiteral("riga %1 fuori da un blocco di lettera").arg(quoted(m_line)));
        } else {
            // Placeholders are @01..@09, one per data item.
            for (qsizetype i = m_line.indexOf(QLatin1Char('@')); i >= 0 && i + 2 < m_line.size();
                 i = m_line.indexOf(QLatin1Char('@'), i + 1)) {
                if (m_line[i + 1].isDigit() && m_line[i + 2].isDigit()
                    && (m_line[i + 1] != QLatin1Char('0') || m_line[i + 2] == QLatin1Char('0'))) {
                    problem(m_lineNumber,
                        QStringLiteral("segnaposto %1 sconosciuto nel modello della lettera").arg(m_line.mid(i, 3)));
                }
            }
            m_template << m_line;
        }
        advance();
    }
}

bool PostelReader::next(PostelLetter* letter)
{
    bool strayReported = false;
    for (;;) {
        if (m_done) {
            return false;
        }
        if (m_atEnd) {
            if (m_error.isEmpty()) {
                problem(m_lineNumber, QStringLiteral("manca il record finale @E: il file è incompleto"));
            }
            m_done = true;
            return false;
        }
        const Kind k = kind(m_line);
        if (k == Kind::End) {
            readEnd();
            return false;
        }
        if (k == Kind::Address) {
            break;
        }
        if (!strayReported) {
            problem(m_lineNumber, QStringLiteral("riga fuori da un blocco di lettera: %1").arg(quoted(m_line)));
            strayReported = true;
        }
        advance();
    }

    letter->number = ++m_check.letters;
    letter->line = m_lineNumber;
    letter->slipBlock = false;
    letter->slips.clear();
    for (QString& item : letter->items) {
        item.clear();
    }
    m_itemLines.fill(0);
    readAddressLine(letter);
    advance();

    // Line 2, the street; line 3, postcode, town and province. A tag in their place means the
    // block lost them.
    letter->indirizzo.clear();
    letter->cap.clear();
    letter->citta.clear();
    letter->provincia.clear();
    int addressLines = 0;
    while (addressLines < 2 && !m_atEnd && (kind(m_line) == Kind::Text || kind(m_line) == Kind::Command)) {
        if (kind(m_line) == Kind::Command) {
            letterProblem(*letter, m_lineNumber,
                QStringLiteral("la riga dell'indirizzo comincia con \"!\" e il servizio la leggerebbe come comando"));
        }
        if (addressLines == 0) {
            letter->indirizzo = m_line;
            if (collapsed(m_line).isEmpty()) {
                letterProblem(*letter, m_lineNumber, QStringLiteral("indirizzo vuoto"));
            }
        } else {
            readTownLine(letter);
        }
        ++addressLines;
        advance();
    }
    if (addressLines < 2) {
        letterProblem(*letter, m_lineNumber,
            addressLines == 0 ? QStringLiteral("mancano l'indirizzo e la riga di CAP e città")
                              : QStringLiteral("manca la riga di CAP e città"));
    }

    readItems(letter);
    checkItems(*letter);

    if (!m_atEnd && kind(m_line) == Kind::TextBlock) {
        readSlips(letter);
    } else if (m_slips == Slips::Unknown) {
        m_slips = Slips::No;
    } else if (m_slips == Slips::Yes) {
        letterProblem(*letter, m_lineNumber, QStringLiteral("mancano i bollettini (@T) che le lettere prima hanno"));
    }
    return true;
}

void PostelReader::readToEnd()
{
    PostelLetter letter;
    while (next(&letter)) { }
}

void PostelReader::readAddressLine(PostelLetter* letter)
{
    // "@A", the name padded to 35, " [", the mandate type, "]".
    const QString rest = m_line.mid(2);
    letter->tipoMandato = QString();
    const qsizetype open = rest.lastIndexOf(QLatin1String(" ["));
    if (open >= 0 && rest.endsWith(QLatin1Char(']'))) {
        letter->nome = rest.left(open).trimmed();
        letter->tipoMandato = rest.mid(open + 2, rest.size() - open - 3);
        if (letter->tipoMandato.isNull()) {
            letter->tipoMandato = QLatin1String("");
        }
    } else {
        letter->nome = rest.trimmed();
    }
    if (collapsed(letter->nome).isEmpty()) {
        letterProblem(*letter, m_lineNumber, QStringLiteral("nome vuoto"));
    }
}

void PostelReader::readTownLine(PostelLetter* letter)
{
    // The postcode and a blank when there is one, the town padded to 35, a blank, the province.
    const QString& line = m_line;
    const qsizetype lastBlank = line.lastIndexOf(QLatin1Char(' '));
    if (lastBlank < 35) {
        const QString text = collapsed(line);
        letter->citta = text;
        letterProblem(*letter, m_lineNumber,
            text.isEmpty() ? QStringLiteral("CAP e città vuoti")
                           : QStringLiteral("riga di CAP e città non nella forma attesa: %1").arg(quoted(line)));
        return;
    }
    letter->provincia = line.mid(lastBlank + 1);
    const QString left = line.left(lastBlank);
    letter->citta = left.right(35).trimmed();
    const QString head = left.left(left.size() - 35);
    letter->cap = head.trimmed();
    if (!head.isEmpty() && !head.endsWith(QLatin1Char(' '))) {
        letterProblem(
            *letter, m_lineNumber, QStringLiteral("riga di CAP e città non nella forma attesa: %1").arg(quoted(line)));
        return;
    }
    if (letter->cap.isEmpty()) {
        letterProblem(*letter, m_lineNumber, QStringLiteral("CAP mancante"));
    }
    if (letter->citta.isEmpty()) {
        letterProblem(*letter, m_lineNumber, QStringLiteral("città vuota"));
    }
}

void PostelReader::readItems(PostelLetter* letter)
{
    int expected = 1;
    bool brokenReported = false;
    while (!m_atEnd && kind(m_line) == Kind::Item) {
        const int n = itemNumber(m_line);
        if (n == 0) {
            letterProblem(*letter, m_lineNumber, QStringLiteral("dato sconosciuto %1").arg(quoted(m_line.left(4))));
        } else if (n < expected) {
            letterProblem(*letter, m_lineNumber, QStringLiteral("dato %1 ripetuto o fuori ordine").arg(itemTag(n)));
        } else {
            if (n > expected) {
                letterProblem(*letter, m_lineNumber, itemRange(expected, n - 1));
            }
            letter->items[static_cast<size_t>(n - 1)] = m_line.mid(4);
            m_itemLines[static_cast<size_t>(n - 1)] = m_lineNumber;
            expected = n + 1;
        }
        advance();
        // Text between the items, or after them in place of the next block: not the file's.
        while (!m_atEnd && (kind(m_line) == Kind::Text || kind(m_line) == Kind::Command)) {
            if (!brokenReported) {
                letterProblem(
                    *letter, m_lineNumber, QStringLiteral("riga inattesa fra i dati: %1").arg(quoted(m_line)));
                brokenReported = true;
            }
            advance();
        }
    }
    if (expected <= 9) {
        letterProblem(*letter, m_lineNumber, QStringLiteral("il blocco si interrompe: ") + itemRange(expected, 9));
    }
}

void PostelReader::checkItems(const PostelLetter& letter)
{
    // An invoice slot is taken when any of its three items says something.
    for (int first : { 3, 6 }) {
        const bool taken
            = !letter.item(first).isEmpty() || !letter.item(first + 1).isEmpty() || !letter.item(first + 2).isEmpty();
        const QString& date = letter.item(first + 1);
        if (!date.isEmpty() && !parseShortDate(date).isValid()) {
            letterProblem(letter, m_itemLines[static_cast<size_t>(first)],
                QStringLiteral("data non valida in %1: %2").arg(itemTag(first + 1), quoted(date)));
        }
        const QString& amount = letter.item(first + 2);
        Currency value;
        if ((taken || !amount.isEmpty()) && !readAmount(amount, &value)
            && m_itemLines[static_cast<size_t>(first + 1)]) {
            letterProblem(letter, m_itemLines[static_cast<size_t>(first + 1)],
                QStringLiteral("importo non valido in %1: %2").arg(itemTag(first + 2), quoted(amount)));
        }
    }
    Currency total;
    if (m_itemLines[8] == 0) {
        return; // reported as missing
    }
    if (readAmount(letter.item(9), &total)) {
        m_check.total += total;
    } else {
        letterProblem(letter, m_itemLines[8],
            QStringLiteral("importo totale non valido in @I09: %1").arg(quoted(letter.item(9))));
    }
}

void PostelReader::readSlips(PostelLetter* letter)
{
    const int blockLine = m_lineNumber;
    letter->slipBlock = true;
    if (m_slips == Slips::Unknown) {
        m_slips = Slips::Yes;
    } else if (m_slips == Slips::No) {
        letterProblem(*letter, blockLine, QStringLiteral("ha i bollettini che le lettere prima non hanno"));
    }
    advance();
    bool strayReported = false;
    while (!m_atEnd) {
        const Kind k = kind(m_line);
        if (k == Kind::Address || k == Kind::End || k == Kind::TextBlock) {
            break;
        }
        if (m_line.startsWith(QLatin1String("!NEW"))) {
            readSlipPage(letter);
            continue;
        }
        if (!strayReported) {
            letterProblem(
                *letter, m_lineNumber, QStringLiteral("riga inattesa fra i bollettini: %1").arg(quoted(m_line)));
            strayReported = true;
        }
        advance();
    }
    if (!m_atEnd && kind(m_line) == Kind::TextBlock) {
        letterProblem(*letter, m_lineNumber, QStringLiteral("secondo blocco @T dopo i bollettini"));
    }
    m_check.slips += letter->slips.size();
    compareSlips(*letter, blockLine);
}

void PostelReader::readSlipPage(PostelLetter* letter)
{
    // The page's text lines, in the order the letter run writes them: amounts, period,
    // reference, "1", due date, amount twice, name, street, town, the same three again,
    // invoice number, payment code.
    constexpr int kTexts = 15;
    PostelSlip slip;
    slip.line = m_lineNumber;
    const int number = static_cast<int>(letter->slips.size()) + 1;
    m_pageTexts.clear();
    m_pageLines.clear();
    advance();
    while (!m_atEnd && !m_line.startsWith(QLatin1String("!NEW"))) {
        const Kind k = kind(m_line);
        if (k == Kind::Address || k == Kind::End || k == Kind::TextBlock) {
            break;
        }
        if (k != Kind::Command) {
            m_pageTexts << m_line;
            m_pageLines << m_lineNumber;
        }
        advance();
    }
    if (m_pageTexts.size() != kTexts) {
        letterProblem(*letter, slip.line,
            QStringLiteral("il bollettino %1 ha %2 righe di testo invece di %3")
                .arg(number)
                .arg(m_pageTexts.size())
                .arg(kTexts));
    }
    auto text = [&](int i) { return i < m_pageTexts.size() ? m_pageTexts[i] : QString(); };
    auto lineOf = [&](int i) { return i < m_pageLines.size() ? m_pageLines[i] : slip.line; };

    // "@-@?34 " amount "@?50 " amount "@+": the receipt's and the slip's copy.
    const QString amounts = text(0);
    const qsizetype second = amounts.indexOf(QLatin1String("@?50 "));
    if (m_pageTexts.isEmpty()) {
        // nothing more to read
    } else if (!amounts.startsWith(QLatin1String("@-@?34 ")) || second < 0 || !amounts.endsWith(QLatin1String("@+"))) {
        letterProblem(*letter, lineOf(0),
            QStringLiteral("il bollettino %1 non ha la riga degli importi: %2").arg(number).arg(quoted(amounts)));
    } else {
        slip.amount = amounts.mid(7, second - 7);
        const QString copy = amounts.mid(second + 5, amounts.size() - second - 7);
        Currency a;
        Currency b;
        if (!readAmount(slip.amount, &a) || !readAmount(copy, &b)) {
            letterProblem(*letter, lineOf(0),
                QStringLiteral("importo non valido nel bollettino %1: %2").arg(number).arg(quoted(amounts)));
        } else if (a != b) {
            letterProblem(*letter, lineOf(0),
                QStringLiteral("il bollettino %1 porta due importi diversi: %2 e %3")
                    .arg(number)
                    .arg(slip.amount.trimmed(), copy.trimmed()));
        }
    }
    slip.periodo = withoutEscapes(text(1));
    slip.riferimento = withoutEscapes(text(2)).trimmed();
    slip.scadenza = withoutEscapes(text(4)).trimmed();
    slip.nome = text(7).trimmed();
    slip.indirizzo = text(8).trimmed();
    slip.citta = text(9).trimmed();
    const QString invoice = text(13);
    const QLatin1String invoiceTag("@?87 fattura n.");
    slip.fattura = invoice.startsWith(invoiceTag) ? invoice.mid(invoiceTag.size()) : withoutEscapes(invoice).trimmed();
    const QString code = text(14);
    slip.code = withoutEscapes(code);
    const qsizetype accountAt = code.indexOf(QLatin1String(">@?03"));
    const qsizetype accountEnd = accountAt < 0 ? -1 : code.indexOf(QLatin1Char('<'), accountAt);
    if (m_pageTexts.size() > 14 && (!code.startsWith(QLatin1String("@+@?51<")) || accountEnd < 0)) {
        letterProblem(*letter, lineOf(14),
            QStringLiteral("il bollettino %1 non ha la riga del codice di pagamento: %2")
                .arg(number)
                .arg(quoted(code)));
    } else if (accountEnd >= 0) {
        slip.account = code.mid(accountAt + 5, accountEnd - accountAt - 5);
    }
    letter->slips.append(slip);
}

void PostelReader::compareSlips(const PostelLetter& letter, int blockLine)
{
    // The letter names the first two invoices, each of which has the first slips; with fewer
    // than two named the slips are exactly those.
    int named = 0;
    for (int first : { 3, 6 }) {
        if (!letter.item(first).isEmpty() || !letter.item(first + 1).isEmpty() || !letter.item(first + 2).isEmpty()) {
            ++named;
        }
    }
    const qsizetype slips = letter.slips.size();
    if (slips < named || (named < 2 && slips > named)) {
        letterProblem(
            letter, blockLine, QStringLiteral("%1 bollettini per %2 fatture della lettera").arg(slips).arg(named));
    }
    for (int i = 0; i < qMin<qsizetype>(named, slips); ++i) {
        const PostelSlip& slip = letter.slips[i];
        const QString number = letter.item(3 + 3 * i);
        const QString amount = letter.item(5 + 3 * i).trimmed();
        if (slip.fattura != number || slip.amount.trimmed() != amount) {
            letterProblem(letter, slip.line,
                QStringLiteral("il bollettino %1 (fattura %2, %3) non corrisponde alla fattura %4 della lettera (%5)")
                    .arg(i + 1)
                    .arg(quoted(slip.fattura), slip.amount.trimmed(), quoted(number), amount));
        }
    }
}

void PostelReader::readEnd()
{
    const int line = m_lineNumber;
    const QString digits = m_line.mid(2);
    bool ok = !digits.isEmpty();
    for (QChar c : digits) {
        ok = ok && c.isDigit() && c.unicode() < 0x80;
    }
    const qint64 count = ok ? digits.toLongLong(&ok) : 0;
    if (!ok) {
        problem(line, QStringLiteral("record finale non valido: %1").arg(quoted(m_line)));
    } else if (count != m_check.letters) {
        problem(line,
            QStringLiteral("il record finale indica %1 lettere, ma il file ne contiene %2")
                .arg(count)
                .arg(m_check.letters));
    }
    advance();
    if (!m_atEnd) {
        problem(m_lineNumber, QStringLiteral("righe dopo il record finale @E: %1").arg(quoted(m_line)));
    }
    m_done = true;
}

bool PostelReader::checkFile(const QString& path, PostelCheck* check, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    PostelReader reader(&file);
    reader.readHeader();
    reader.readToEnd();
    *check = reader.check();
    return true;
}

bool PostelReader::readAmount(QStringView text, Currency* value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == QLatin1Char(' ')) {
        ++i;
    }
    bool negative = false;
    if (i < n && text[i] == QLatin1Char('-')) {
        negative = true;
        ++i;
    }
    auto digit = [&](qsizetype at) { return at < n && text[at] >= QLatin1Char('0') && text[at] <= QLatin1Char('9'); };
    // One to three digits, then groups of a "." and three digits, as every thousand is grouped.
    qint64 units = 0;
    int groupDigits = 0;
    bool firstGroup = true;
    auto groupOk = [&] { return groupDigits > 0 && (firstGroup ? groupDigits <= 3 : groupDigits == 3); };
    for (; i < n && text[i] != QLatin1Char(','); ++i) {
        if (text[i] == QLatin1Char('.')) {
            if (!groupOk()) {
                return false;
            }
            firstGroup = false;
            groupDigits = 0;
            continue;
        }
        if (!digit(i) || units > Currency::kMaxUnits / 10) {
            return false;
        }
        units = units * 10 + (text[i].unicode() - '0');
        ++groupDigits;
    }
    if (!groupOk()) {
        return false;
    }
    if (i + 3 != n || !digit(i + 1) || !digit(i + 2)) {
        return false;
    }
    const qint64 cents = (text[i + 1].unicode() - '0') * 10 + (text[i + 2].unicode() - '0');
    const qint64 raw = units * Currency::kScale + cents * (Currency::kScale / 100);
    *value = Currency::fromRaw(negative ? -raw : raw);
    return true;
}

QString lastPrintFile()
{
    QDir folder(resolveDrivePath(kPostelFolder));
    const QFileInfoList files = folder.entryInfoList({ QStringLiteral("LO*.ASC") }, QDir::Files, QDir::Time);
    // The name test is the letter run's own: "LO", six digits, ".ASC", any case on a disk that
    // keeps it.
    for (const QFileInfo& f : files) {
        const QString name = f.fileName();
        if (name.size() == 12 && name.left(2).compare(QLatin1String("LO"), Qt::CaseInsensitive) == 0
            && name.right(4).compare(QLatin1String(".ASC"), Qt::CaseInsensitive) == 0) {
            return f.filePath();
        }
    }
    return {};
}

} // namespace zb32
