// FreeXL behind a small class: the rest of the program never sees a FreeXL handle.
#include "Workbook.h"

#include <QDateTime>
#include <QFile>
#include <algorithm>
#include <freexl.h>

namespace zb32 {

namespace {

QString freexlError(int code)
{
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return QStringLiteral("file non trovato");
    case FREEXL_INSUFFICIENT_MEMORY:
        return QStringLiteral("memoria insufficiente");
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
    case FREEXL_CFBF_INVALID_SECTOR_SIZE:
        return QStringLiteral("il file non è una cartella di lavoro Excel (.xls)");
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        return QStringLiteral("il file non contiene una cartella di lavoro");
    case FREEXL_CRAFTED_FILE:
        return QStringLiteral("il file è danneggiato");
    default:
        return QStringLiteral("il file non si legge come cartella di lavoro Excel (errore %1)").arg(code);
    }
}

} // namespace

Workbook::~Workbook()
{
    close();
}

void Workbook::close()
{
    if (m_handle) {
        freexl_close(m_handle);
        m_handle = nullptr;
    }
    m_sheets.clear();
    m_rows = 0;
    m_columns = 0;
}

bool Workbook::open(const QString& path, QString* error)
{
    close();
    const QByteArray native = QFile::encodeName(path);
    const int rc = freexl_open(native.constData(), &m_handle);
    if (rc != FREEXL_OK) {
        if (m_handle) {
            freexl_close(m_handle);
        }
        m_handle = nullptr;
        if (error) {
            *error = freexlError(rc);
        }
        return false;
    }
    unsigned int info = 0;
    if (freexl_get_info(m_handle, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info != FREEXL_BIFF_PLAIN) {
        close();
        if (error) {
            *error = QStringLiteral("la cartella di lavoro è protetta da password");
        }
        return false;
    }
    unsigned int count = 0;
    if (freexl_get_info(m_handle, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK) {
        count = 0;
    }
    for (unsigned int i = 0; i < count && i < 65535; ++i) {
        const char* name = nullptr;
        if (freexl_get_worksheet_name(m_handle, static_cast<unsigned short>(i), &name) == FREEXL_OK && name) {
            m_sheets << QString::fromUtf8(name);
        } else {
            m_sheets << QString();
        }
    }
    return true;
}

bool Workbook::selectSheet(const QString& name, QString* error)
{
    QString bare = name.trimmed();
    if (bare.startsWith(QLatin1Char('[')) && bare.endsWith(QLatin1Char(']'))) {
        bare = bare.mid(1, bare.size() - 2);
    }
    if (bare.endsWith(QLatin1Char('$'))) {
        bare.chop(1);
    }
    const qsizetype index = m_sheets.indexOf(bare);
    if (!m_handle || index < 0) {
        if (error) {
            *error = QStringLiteral("il foglio %1 non esiste nella cartella di lavoro").arg(name);
        }
        return false;
    }
    unsigned short columns = 0;
    if (freexl_select_active_worksheet(m_handle, static_cast<unsigned short>(index)) != FREEXL_OK
        || freexl_worksheet_dimensions(m_handle, &m_rows, &columns) != FREEXL_OK) {
        if (error) {
            *error = QStringLiteral("il foglio %1 non si legge").arg(name);
        }
        m_rows = 0;
        m_columns = 0;
        return false;
    }
    m_columns = columns;
    return true;
}

QVariant Workbook::cell(int row, int column, QString* error) const
{
    if (!m_handle || row < 0 || column < 0 || static_cast<unsigned int>(row) >= m_rows || column >= m_columns) {
        return QVariant();
    }
    FreeXL_CellValue value;
    const int rc = freexl_get_cell_value(m_handle, static_cast<unsigned int>(row), static_cast<unsigned short>(column), &value);
    if (rc != FREEXL_OK) {
        if (error) {
            *error = QStringLiteral("cella illeggibile (errore %1)").arg(rc);
        }
        return QVariant();
    }
    switch (value.type) {
    case FREEXL_CELL_INT:
        return QVariant(static_cast<qlonglong>(value.value.int_value));
    case FREEXL_CELL_DOUBLE:
        return QVariant(value.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
        return QVariant(QString::fromUtf8(value.value.text_value));
    case FREEXL_CELL_DATE:
        return QVariant(QDate::fromString(QString::fromLatin1(value.value.text_value), Qt::ISODate));
    case FREEXL_CELL_DATETIME:
        return QVariant(QDateTime::fromString(QString::fromLatin1(value.value.text_value), QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    case FREEXL_CELL_TIME:
        return QVariant(QTime::fromString(QString::fromLatin1(value.value.text_value), QStringLiteral("HH:mm:ss")));
    default:
        return QVariant();
    }
}

QString RicavaPrimaTable(const Workbook& workbook)
{
    QStringList names = workbook.sheetNames();
    names.removeAll(QString());
    if (names.isEmpty()) {
        return {};
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    QString name = (names.first() + QLatin1Char('$')).trimmed();
    if (!name.startsWith(QLatin1Char('[')) && !name.startsWith(QLatin1Char('`'))) {
        name = QLatin1Char('[') + name + QLatin1Char(']');
    }
    return name;
}

} // namespace zb32
