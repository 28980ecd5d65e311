// Reading .xlsx: the workbook part and its relationships name the sheets and their parts; shared
// strings and cell formats are read before the sheets, whose cells carry the saved results.
#include "XmlPackage.h"
#include "ZipArchive.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QXmlStreamReader>
#include <optional>

namespace zb32::sheets {

namespace {

bool xmlFailed(const QXmlStreamReader& xml, const QString& part, ReadFailure* failure)
{
    if (!xml.hasError()) {
        return false;
    }
    *failure = damaged(QStringLiteral("la parte %1 non è XML valido (riga %2: %3)")
                           .arg(part)
                           .arg(xml.lineNumber())
                           .arg(xml.errorString()));
    return true;
}

// "xl/" + "worksheets/sheet1.xml", "xl/" + "/xl/x.xml", "xl/worksheets/" + "../media/a".
QString resolvePart(const QString& folder, const QString& target)
{
    QStringList parts = target.startsWith(u'/') ? QStringList() : folder.split(u'/', Qt::SkipEmptyParts);
    for (const QString& p : target.split(u'/', Qt::SkipEmptyParts)) {
        if (p == u"..") {
            if (!parts.isEmpty()) {
                parts.removeLast();
            }
        } else if (p != u".") {
            parts << p;
        }
    }
    return parts.join(u'/');
}

QString folderOf(const QString& part)
{
    const qsizetype slash = part.lastIndexOf(u'/');
    return slash < 0 ? QString() : part.left(slash);
}

QString relsOf(const QString& part)
{
    const QString folder = folderOf(part);
    const QString name = part.mid(folder.isEmpty() ? 0 : folder.size() + 1);
    return (folder.isEmpty() ? QString() : folder + u'/') + QStringLiteral("_rels/") + name + QStringLiteral(".rels");
}

struct Relationship
{
    QString type;
    QString target;
};

// Id to target; an absent part has no relationships.
QHash<QString, Relationship> readRelationships(ZipArchive& zip, const QString& part, ReadFailure* failure, bool* ok)
{
    QHash<QString, Relationship> rels;
    *ok = true;
    const QString name = relsOf(part);
    if (!zip.contains(name)) {
        return rels;
    }
    QByteArray bytes;
    if (!zip.read(name, &bytes, failure)) {
        *ok = false;
        return rels;
    }
    QXmlStreamReader xml(bytes);
    while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
        if (xml.isStartElement() && xml.name() == u"Relationship") {
            const QXmlStreamAttributes a = xml.attributes();
            if (a.value(QLatin1String("TargetMode")) == u"External") {
                continue;
            }
            rels.insert(a.value(QLatin1String("Id")).toString(),
                { a.value(QLatin1String("Type")).toString(),
                    resolvePart(folderOf(part), a.value(QLatin1String("Target")).toString()) });
        }
    }
    *ok = !xmlFailed(xml, name, failure);
    return rels;
}

// The text of an <si> or <is>: its runs, without the phonetic guides.
QString richText(QXmlStreamReader& xml)
{
    QString text;
    int depth = 1;
    bool phonetic = false;
    int phoneticDepth = 0;
    while (depth > 0 && !xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            if (xml.name() == u"rPh" && !phonetic) {
                phonetic = true;
                phoneticDepth = depth;
            }
            break;
        case QXmlStreamReader::EndElement:
            if (phonetic && depth == phoneticDepth) {
                phonetic = false;
            }
            --depth;
            break;
        case QXmlStreamReader::Characters:
            if (!phonetic) {
                text += xml.text();
            }
            break;
        default:
            break;
        }
    }
    return text;
}

// "AB12" to 0-based row 11 and column 27; false for anything else.
bool cellReference(QStringView ref, qint64* row, qint64* column)
{
    qint64 c = 0;
    qint64 r = 0;
    qsizetype i = 0;
    for (; i < ref.size() && ref[i].isLetter(); ++i) {
        const char16_t u = ref[i].toUpper().unicode();
        if (u < u'A' || u > u'Z' || c > Limits::kMaxColumns) {
            return false;
        }
        c = c * 26 + (u - u'A' + 1);
    }
    const qsizetype letters = i;
    for (; i < ref.size() && ref[i].isDigit(); ++i) {
        if (r > Limits::kMaxRows) {
            return false;
        }
        r = r * 10 + ref[i].digitValue();
    }
    if (letters == 0 || i == letters || i != ref.size() || r == 0) {
        return false;
    }
    *row = r - 1;
    *column = c - 1;
    return true;
}

class XlsxBook
{
public:
    XlsxBook(ZipArchive& zip, WorkbookData* out, ReadFailure* failure)
        : m_zip(zip)
        , m_out(out)
        , m_failure(failure)
    { }

    bool read()
    {
        bool ok = true;
        QString workbook = QStringLiteral("xl/workbook.xml");
        const QHash<QString, Relationship> root = readRelationships(m_zip, QStringLiteral(""), m_failure, &ok);
        if (!ok) {
            return false;
        }
        for (const Relationship& r : root) {
            if (r.type.endsWith(u"/officeDocument")) {
                workbook = r.target;
            }
        }
        if (!m_zip.contains(workbook)) {
            *m_failure = { ReadFailure::Kind::NotAWorkbook, {} };
            return false;
        }
        const QHash<QString, Relationship> rels = readRelationships(m_zip, workbook, m_failure, &ok);
        if (!ok) {
            return false;
        }
        QString strings = resolvePart(folderOf(workbook), QStringLiteral("sharedStrings.xml"));
        QString styles = resolvePart(folderOf(workbook), QStringLiteral("styles.xml"));
        for (const Relationship& r : rels) {
            if (r.type.endsWith(u"/sharedStrings")) {
                strings = r.target;
            } else if (r.type.endsWith(u"/styles")) {
                styles = r.target;
            }
        }
        QList<QPair<QString, QString>> sheets;
        if (!readWorkbook(workbook, rels, &sheets) || !readStrings(strings) || !readStyles(styles)) {
            return false;
        }
        for (const auto& [name, part] : std::as_const(sheets)) {
            WorkbookSheet sheet;
            sheet.name = name;
            if (!readSheet(part, &sheet)) {
                return false;
            }
            m_out->sheets.append(std::move(sheet));
        }
        return true;
    }

private:
    bool readPart(const QString& part, QByteArray* bytes) { return m_zip.read(part, bytes, m_failure); }

    bool readWorkbook(
        const QString& part, const QHash<QString, Relationship>& rels, QList<QPair<QString, QString>>* sheets)
    {
        QByteArray bytes;
        if (!readPart(part, &bytes)) {
            return false;
        }
        QXmlStreamReader xml(bytes);
        while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
            if (!xml.isStartElement()) {
                continue;
            }
            const QXmlStreamAttributes a = xml.attributes();
            if (xml.name() == u"workbookPr") {
                const QStringView v = a.value(QLatin1String("date1904"));
                m_date1904 = v == u"1" || v == u"true";
            } else if (xml.name() == u"sheet") {
                QString id;
                for (const QXmlStreamAttribute& attr : a) {
                    if (attr.name() == u"id" && !attr.namespaceUri().isEmpty()) {
                        id = attr.value().toString();
                    }
                }
                const Relationship r = rels.value(id);
                // Chart sheets hold no cells.
                if (!r.type.endsWith(u"/worksheet") && !r.type.isEmpty()) {
                    continue;
                }
                if (r.target.isEmpty()) {
                    *m_failure = damaged(
                        QStringLiteral("il foglio %1 non ha la sua parte").arg(a.value(QLatin1String("name"))));
                    return false;
                }
                if (sheets->size() >= Limits::kMaxSheets) {
                    *m_failure = tooLarge(QStringLiteral("più di %1 fogli").arg(Limits::kMaxSheets));
                    return false;
                }
                sheets->append({ a.value(QLatin1String("name")).toString(), r.target });
            }
        }
        return !xmlFailed(xml, part, m_failure);
    }

    bool readStrings(const QString& part)
    {
        if (!m_zip.contains(part)) {
            return true;
        }
        QByteArray bytes;
        if (!readPart(part, &bytes)) {
            return false;
        }
        QXmlStreamReader xml(bytes);
        while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
            if (xml.isStartElement() && xml.name() == u"si") {
                m_strings.append(richText(xml));
            }
        }
        return !xmlFailed(xml, part, m_failure);
    }

    bool readStyles(const QString& part)
    {
        if (!m_zip.contains(part)) {
            return true;
        }
        QByteArray bytes;
        if (!readPart(part, &bytes)) {
            return false;
        }
        QHash<int, FormatKind> formats;
        QXmlStreamReader xml(bytes);
        bool inCellXfs = false;
        while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
            if (xml.isEndElement() && xml.name() == u"cellXfs") {
                inCellXfs = false;
            }
            if (!xml.isStartElement()) {
                continue;
            }
            const QXmlStreamAttributes a = xml.attributes();
            if (xml.name() == u"numFmt") {
                formats.insert(
                    a.value(QLatin1String("numFmtId")).toInt(), formatCodeKind(a.value(QLatin1String("formatCode"))));
            } else if (xml.name() == u"cellXfs") {
                inCellXfs = true;
            } else if (xml.name() == u"xf" && inCellXfs) {
                const int id = a.value(QLatin1String("numFmtId")).toInt();
                m_styles.append(formats.contains(id) ? formats.value(id) : builtInFormatKind(id));
            }
        }
        return !xmlFailed(xml, part, m_failure);
    }

    // Nothing when a shared string is named that the workbook does not have.
    std::optional<QVariant> cellValue(
        QStringView type, FormatKind kind, const QString& v, const QString& inlineText, bool hasValue)
    {
        if (type == u"inlineStr") {
            return QVariant(inlineText);
        }
        if (!hasValue) {
            return {};
        }
        if (type == u"s") {
            bool ok = false;
            const qsizetype index = v.trimmed().toLongLong(&ok);
            if (!ok || index < 0 || index >= m_strings.size()) {
                return std::nullopt;
            }
            return QVariant(m_strings[index]);
        }
        if (type == u"str" || type == u"e") {
            return QVariant(v);
        }
        if (type == u"b") {
            return QVariant(v.trimmed() == u"1" || v.trimmed() == u"true");
        }
        if (type == u"d") {
            const QDateTime dt = QDateTime::fromString(v.trimmed(), Qt::ISODate);
            if (dt.isValid()) {
                return dt.time() == QTime(0, 0) ? QVariant(dt.date())
                                                : QVariant(QDateTime(dt.date(), dt.time(), Qt::UTC));
            }
            const QDate d = QDate::fromString(v.trimmed(), Qt::ISODate);
            return d.isValid() ? QVariant(d) : QVariant(v);
        }
        bool ok = false;
        const double number = v.trimmed().toDouble(&ok);
        if (!ok) {
            return QVariant(v);
        }
        return serialValue(number, kind, m_date1904);
    }

    bool readSheet(const QString& part, WorkbookSheet* sheet)
    {
        QByteArray bytes;
        if (!readPart(part, &bytes)) {
            return false;
        }
        SheetBuilder cells(sheet, &m_cellsLeft);
        QXmlStreamReader xml(bytes);
        qint64 row = -1;
        qint64 column = -1;
        while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
            if (!xml.isStartElement()) {
                continue;
            }
            const QXmlStreamAttributes a = xml.attributes();
            if (xml.name() == u"row") {
                bool ok = false;
                const qint64 r = a.value(QLatin1String("r")).toLongLong(&ok);
                row = ok && r > 0 ? r - 1 : row + 1;
                column = -1;
                continue;
            }
            if (xml.name() != u"c") {
                continue;
            }
            qint64 r = 0;
            qint64 c = 0;
            if (a.hasAttribute(QLatin1String("r"))) {
                if (!cellReference(a.value(QLatin1String("r")), &r, &c)) {
                    *m_failure = damaged(QStringLiteral("il foglio %1 ha una cella %2 che non esiste")
                                             .arg(sheet->name, a.value(QLatin1String("r"))));
                    return false;
                }
            } else {
                r = qMax<qint64>(row, 0);
                c = column + 1;
            }
            row = r;
            column = c;
            const QString type = a.value(QLatin1String("t")).toString();
            const qsizetype style = a.value(QLatin1String("s")).toLongLong();
            const FormatKind kind = style >= 0 && style < m_styles.size() ? m_styles[style] : FormatKind::Number;
            QString v;
            QString inlineText;
            bool hasValue = false;
            while (xml.readNextStartElement()) {
                if (xml.name() == u"v") {
                    v = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                    hasValue = true;
                } else if (xml.name() == u"is") {
                    inlineText = richText(xml);
                } else {
                    xml.skipCurrentElement();
                }
            }
            const std::optional<QVariant> value = cellValue(type, kind, v, inlineText, hasValue);
            if (!value) {
                *m_failure = damaged(QStringLiteral("la cella %1 del foglio %2 rimanda a un testo che non c'è")
                                         .arg(a.value(QLatin1String("r")).toString(), sheet->name));
                return false;
            }
            if (!cells.set(r, c, *value, m_failure)) {
                return false;
            }
        }
        return !xmlFailed(xml, part, m_failure);
    }

    ZipArchive& m_zip;
    WorkbookData* m_out;
    ReadFailure* m_failure;
    bool m_date1904 = false;
    QStringList m_strings;
    QList<FormatKind> m_styles;
    qint64 m_cellsLeft = Limits::kMaxCells;
};

} // namespace

bool readXlsx(const QByteArray& bytes, WorkbookData* out, ReadFailure* failure)
{
    ZipArchive zip;
    if (!zip.open(bytes, failure)) {
        return false;
    }
    XlsxBook book(zip, out, failure);
    return book.read();
}

} // namespace zb32::sheets
