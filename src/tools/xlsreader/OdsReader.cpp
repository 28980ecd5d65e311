// Reading .ods: the tables of content.xml, row by row. Rows and cells may say they repeat; an
// empty repeat only moves the position on, one with a value is laid out cell by cell within the
// cell limit.
#include "XmlPackage.h"
#include "ZipArchive.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace zb32::sheets {

namespace {

const QString kTable = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString kOffice = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString kText = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
const QString kCalcExt = QStringLiteral("urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0");

qint64 repeat(const QXmlStreamAttributes& a, const QString& name)
{
    bool ok = false;
    const qint64 n = a.value(kTable, name).toLongLong(&ok);
    // Past the grid a repeat is the same as the end of the grid.
    return ok && n > 1 ? qMin(n, Limits::kMaxRows + 1) : 1;
}

bool isElement(const QXmlStreamReader& xml, const QString& ns, QStringView name)
{
    return xml.namespaceUri() == ns && xml.name() == name;
}

// The text of the cell's paragraphs, one line each; notes and drawings left out.
QString cellText(QXmlStreamReader& xml)
{
    QStringList paragraphs;
    QString text;
    int depth = 1;
    while (depth > 0 && !xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (depth == 1) {
                if (!isElement(xml, kText, u"p") && !isElement(xml, kText, u"h")) {
                    xml.skipCurrentElement();
                    break;
                }
                text.clear();
            } else if (isElement(xml, kText, u"s")) {
                bool ok = false;
                const int n = xml.attributes().value(kText, QStringLiteral("c")).toInt(&ok);
                text += QString(ok && n > 0 ? qMin(n, 1024) : 1, u' ');
            } else if (isElement(xml, kText, u"tab")) {
                text += u'\t';
            } else if (isElement(xml, kText, u"line-break")) {
                text += u'\n';
            } else if (isElement(xml, kText, u"note") || xml.namespaceUri() == kOffice) {
                xml.skipCurrentElement();
                break;
            }
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            if (--depth == 1) {
                paragraphs << text;
            }
            break;
        case QXmlStreamReader::Characters:
            if (depth > 1) {
                text += xml.text();
            }
            break;
        default:
            break;
        }
    }
    return paragraphs.join(u'\n');
}

QVariant dateValue(QStringView text)
{
    const QString t = text.trimmed().toString();
    if (t.contains(u'T')) {
        const QDateTime dt = QDateTime::fromString(t.left(19), Qt::ISODate);
        if (dt.isValid()) {
            return dt.time() == QTime(0, 0) ? QVariant(dt.date()) : QVariant(QDateTime(dt.date(), dt.time(), Qt::UTC));
        }
    }
    const QDate d = QDate::fromString(t.left(10), Qt::ISODate);
    return d.isValid() ? QVariant(d) : QVariant();
}

QVariant timeValue(QStringView text)
{
    static const QRegularExpression duration(
        QStringLiteral("^-?P(?:\\d+D)?T(?:(\\d+)H)?(?:(\\d+)M)?(?:(\\d+(?:[.,]\\d+)?)S)?$"));
    const QRegularExpressionMatch m = duration.match(text.trimmed());
    if (!m.hasMatch()) {
        return {};
    }
    const qint64 seconds = (m.captured(1).toLongLong() % 24) * 3600 + m.captured(2).toLongLong() * 60
        + qRound64(m.captured(3).replace(u',', u'.').toDouble());
    return QTime(0, 0).addSecs(static_cast<int>(seconds % 86400));
}

class OdsBook
{
public:
    OdsBook(QXmlStreamReader& xml, WorkbookData* out, ReadFailure* failure)
        : m_xml(xml)
        , m_out(out)
        , m_failure(failure)
    { }

    bool read()
    {
        while (m_xml.readNext() != QXmlStreamReader::Invalid && !m_xml.atEnd()) {
            if (m_xml.isStartElement() && isElement(m_xml, kTable, u"table")) {
                if (m_out->sheets.size() >= Limits::kMaxSheets) {
                    *m_failure = tooLarge(QStringLiteral("più di %1 fogli").arg(Limits::kMaxSheets));
                    return false;
                }
                WorkbookSheet sheet;
                sheet.name = m_xml.attributes().value(kTable, QStringLiteral("name")).toString();
                SheetBuilder cells(&sheet, &m_cellsLeft);
                m_row = 0;
                if (!readRows(cells)) {
                    return false;
                }
                m_out->sheets.append(std::move(sheet));
            }
        }
        return true;
    }

private:
    // The rows of a table or of a group of rows inside it.
    bool readRows(SheetBuilder& cells)
    {
        while (m_xml.readNextStartElement()) {
            if (isElement(m_xml, kTable, u"table-row")) {
                if (!readRow(cells)) {
                    return false;
                }
            } else if (isElement(m_xml, kTable, u"table-header-rows") || isElement(m_xml, kTable, u"table-rows")
                || isElement(m_xml, kTable, u"table-row-group")) {
                if (!readRows(cells)) {
                    return false;
                }
            } else {
                m_xml.skipCurrentElement();
            }
        }
        return true;
    }

    QVariant cellValue()
    {
        const QXmlStreamAttributes a = m_xml.attributes();
        QStringView type = a.value(kOffice, QStringLiteral("value-type"));
        if (a.value(kCalcExt, QStringLiteral("value-type")) == u"error") {
            type = u"error";
        }
        QVariant value;
        if (type == u"float" || type == u"percentage" || type == u"currency") {
            bool ok = false;
            const double d = a.value(kOffice, QStringLiteral("value")).toDouble(&ok);
            if (ok) {
                value = d;
            }
        } else if (type == u"date") {
            value = dateValue(a.value(kOffice, QStringLiteral("date-value")));
        } else if (type == u"time") {
            value = timeValue(a.value(kOffice, QStringLiteral("time-value")));
        } else if (type == u"boolean") {
            const QStringView b = a.value(kOffice, QStringLiteral("boolean-value"));
            value = b == u"true" || b == u"1";
        } else if (type == u"string" && a.hasAttribute(kOffice, QStringLiteral("string-value"))) {
            value = a.value(kOffice, QStringLiteral("string-value")).toString();
        }
        const QString text = cellText(m_xml);
        if (!value.isValid() && (!type.isEmpty() || !text.isEmpty())) {
            // A string, an error shown as its text, or a value whose attribute is missing.
            value = text;
        }
        return value;
    }

    bool readRow(SheetBuilder& cells)
    {
        const qint64 rows = repeat(m_xml.attributes(), QStringLiteral("number-rows-repeated"));
        QList<QPair<qint64, QVariant>> values;
        qint64 column = 0;
        while (m_xml.readNextStartElement()) {
            if (!isElement(m_xml, kTable, u"table-cell") && !isElement(m_xml, kTable, u"covered-table-cell")) {
                m_xml.skipCurrentElement();
                continue;
            }
            const qint64 columns = repeat(m_xml.attributes(), QStringLiteral("number-columns-repeated"));
            const QVariant value = cellValue();
            if (value.isValid()) {
                for (qint64 i = 0; i < columns; ++i) {
                    if (column + i >= Limits::kMaxColumns) {
                        *m_failure = tooLarge(QStringLiteral("più di %1 colonne").arg(Limits::kMaxColumns));
                        return false;
                    }
                    // Every repeated cell counts against the limit before it is laid out.
                    if (values.size() >= Limits::kMaxCells) {
                        *m_failure = tooLarge(QStringLiteral("più di %1 celle piene").arg(Limits::kMaxCells));
                        return false;
                    }
                    values.append({ column + i, value });
                }
            }
            column = qMin(column + columns, Limits::kMaxColumns + 1);
        }
        if (!values.isEmpty()) {
            for (qint64 r = 0; r < rows; ++r) {
                if (m_row + r >= Limits::kMaxRows) {
                    *m_failure = tooLarge(QStringLiteral("più di %1 righe").arg(Limits::kMaxRows));
                    return false;
                }
                for (const auto& [c, v] : std::as_const(values)) {
                    if (!cells.set(m_row + r, c, v, m_failure)) {
                        return false;
                    }
                }
            }
        }
        m_row = qMin(m_row + rows, Limits::kMaxRows + 1);
        return true;
    }

    QXmlStreamReader& m_xml;
    WorkbookData* m_out;
    ReadFailure* m_failure;
    qint64 m_row = 0;
    qint64 m_cellsLeft = Limits::kMaxCells;
};

} // namespace

bool isOds(const QByteArray& bytes)
{
    ZipArchive zip;
    ReadFailure ignored;
    return zip.open(bytes, &ignored) && zip.contains(QStringLiteral("content.xml"))
        && !zip.contains(QStringLiteral("xl/workbook.xml"));
}

bool readOds(const QByteArray& bytes, WorkbookData* out, ReadFailure* failure)
{
    ZipArchive zip;
    if (!zip.open(bytes, failure)) {
        return false;
    }
    QByteArray manifest;
    if (zip.contains(QStringLiteral("META-INF/manifest.xml"))) {
        if (!zip.read(QStringLiteral("META-INF/manifest.xml"), &manifest, failure)) {
            return false;
        }
        // Parts saved with a password are listed with how they were encrypted.
        if (manifest.contains("encryption-data")) {
            *failure = { ReadFailure::Kind::Encrypted, {} };
            return false;
        }
    }
    QByteArray content;
    if (!zip.read(QStringLiteral("content.xml"), &content, failure)) {
        return false;
    }
    QXmlStreamReader xml(content);
    OdsBook book(xml, out, failure);
    if (!book.read()) {
        return false;
    }
    if (xml.hasError()) {
        *failure = damaged(QStringLiteral("la parte content.xml non è XML valido (riga %1: %2)")
                               .arg(xml.lineNumber())
                               .arg(xml.errorString()));
        return false;
    }
    return true;
}

} // namespace zb32::sheets
