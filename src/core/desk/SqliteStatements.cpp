// Prepared statements straight on SQLite's connection.
#include "core/desk/SqliteStatements.h"

#include "core/desk/FieldCodec.h"
#include "core/desk/Formats.h"

#include <QDateTime>
#include <QSqlDriver>
#include <algorithm>
#include <cstring>
#include <sqlite3.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zb32 {

sqlite3* SqliteStatements::connectionOf(const QSqlDatabase& db)
{
    const QVariant handle = db.isOpen() && db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        return nullptr;
    }
    return *static_cast<sqlite3* const*>(handle.constData());
}

SqliteStatements::SqliteStatements(sqlite3* connection)
    : m_connection(connection)
{ }

SqliteStatements::~SqliteStatements()
{
    for (sqlite3_stmt* s : std::as_const(m_statements)) {
        sqlite3_finalize(s);
    }
}

sqlite3_stmt* SqliteStatements::prepared(const QString& sql, QString* error)
{
    if (sqlite3_stmt* s = m_statements.value(sql)) {
        return s;
    }
    sqlite3_stmt* s = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v3(m_connection, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT, &s, nullptr)
        != SQLITE_OK) {
        if (error) {
            *error = QString::fromUtf8(sqlite3_errmsg(m_connection));
        }
        sqlite3_finalize(s);
        return nullptr;
    }
    m_statements.insert(sql, s);
    return s;
}

void SqliteStatements::bind(sqlite3_stmt* statement, int pos, const QVariant& value, bool copyText)
{
    const int at = pos + 1;
    if (FieldCodec::isMissing(value)) {
        sqlite3_bind_null(statement, at);
        return;
    }
    QString text;
    switch (FieldCodec::variantType(value).id()) {
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        sqlite3_bind_blob(statement, at, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        return;
    }
    case QMetaType::Int:
    case QMetaType::Bool:
        sqlite3_bind_int(statement, at, value.toInt());
        return;
    case QMetaType::UInt:
    case QMetaType::LongLong:
        sqlite3_bind_int64(statement, at, value.toLongLong());
        return;
    case QMetaType::ULongLong:
        sqlite3_bind_int64(statement, at, sqlite3_int64(value.toULongLong()));
        return;
    case QMetaType::Double:
        sqlite3_bind_double(statement, at, value.toDouble());
        return;
    case QMetaType::QString: {
        const QString* held = static_cast<const QString*>(value.constData());
        sqlite3_bind_text16(statement, at, held->utf16(), int(held->size() * sizeof(QChar)),
            copyText ? SQLITE_TRANSIENT : SQLITE_STATIC);
        return;
    }
    case QMetaType::QDateTime:
        text = value.toDateTime().toString(Qt::ISODateWithMs); // as the driver writes them
        break;
    default:
        text = value.toString();
        break;
    }
    sqlite3_bind_text16(statement, at, text.utf16(), int(text.size() * sizeof(QChar)), SQLITE_TRANSIENT);
}

void SqliteStatements::bindInteger(sqlite3_stmt* statement, int pos, qint64 value)
{
    sqlite3_bind_int64(statement, pos + 1, value);
}

void SqliteStatements::bindUtf8(sqlite3_stmt* statement, int pos, const QByteArray& text)
{
    sqlite3_bind_text(statement, pos + 1, text.constData(), int(text.size()), SQLITE_STATIC);
}

char* SqliteStatements::keepRoom(qsizetype bytes)
{
    constexpr qsizetype kBlock = 256 * 1024;
    if (m_kept.empty() || m_kept.back().size() - m_keptUsed < bytes) {
        m_kept.emplace_back(std::max(kBlock, bytes), Qt::Uninitialized);
        m_keptUsed = 0;
    }
    char* room = m_kept.back().data() + m_keptUsed;
    m_keptUsed += bytes;
    return room;
}

void SqliteStatements::bindKept(sqlite3_stmt* statement, int pos, const QVariant& value)
{
    const int type = FieldCodec::variantType(value).id();
    if (type == QMetaType::QDate) {
        // Stored as ISO text, as SqliteDialect::storedDate gives it.
        char* to = keepRoom(10);
        if (writeIsoDate(*static_cast<const QDate*>(value.constData()), to)) {
            sqlite3_bind_text(statement, pos + 1, to, 10, SQLITE_STATIC);
        } else {
            m_keptUsed -= 10;
            bind(statement, pos, isoDate(value.toDate()), true);
        }
        return;
    }
    if (type != QMetaType::QString || FieldCodec::isMissing(value)) {
        bind(statement, pos, value);
        return;
    }
    const QString& text = *static_cast<const QString*>(value.constData());
    // Plain ASCII, most of what is stored, is narrowed here; other text goes through UTF-8.
    char* to = keepRoom(text.size());
    const char* from = to;
    const QChar* begin = text.constData();
    const QChar* next = begin;
#if defined(__SSE2__)
    // Sixteen characters a step while they stay ASCII; the first step that does not goes on below.
    const __m128i zero = _mm_setzero_si128();
    const __m128i notAscii = _mm_set1_epi16(short(0xFF80));
    for (; next + 16 <= begin + text.size(); next += 16, to += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(next));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(next + 8));
        const __m128i high = _mm_and_si128(_mm_or_si128(a, b), notAscii);
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, zero)) != 0xFFFF) {
            break;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_packus_epi16(a, b));
    }
#endif
    for (const QChar c : QStringView(next, begin + text.size())) {
        if (c.unicode() >= 0x80) {
            m_keptUsed -= text.size();
            const QByteArray utf8 = text.toUtf8();
            to = keepRoom(utf8.size());
            std::memcpy(to, utf8.constData(), utf8.size());
            sqlite3_bind_text(statement, pos + 1, to, int(utf8.size()), SQLITE_STATIC);
            return;
        }
        *to++ = char(c.unicode());
    }
    sqlite3_bind_text(statement, pos + 1, from, int(text.size()), SQLITE_STATIC);
}

bool SqliteStatements::run(sqlite3_stmt* statement, QString* error)
{
    int rc = sqlite3_step(statement);
    while (rc == SQLITE_ROW) {
        rc = sqlite3_step(statement);
    }
    const bool ok = rc == SQLITE_DONE;
    if (!ok && error) {
        *error = QString::fromUtf8(sqlite3_errmsg(m_connection));
    }
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    releaseKept();
    return ok;
}

void SqliteStatements::releaseKept()
{
    // What the statement had kept is no longer read: the first block is filled again.
    if (m_kept.size() > 1) {
        m_kept.erase(m_kept.begin() + 1, m_kept.end());
    }
    m_keptUsed = 0;
}

bool SqliteStatements::select(sqlite3_stmt* statement, const std::function<void(sqlite3_stmt*)>& row, QString* error)
{
    int rc = sqlite3_step(statement);
    for (; rc == SQLITE_ROW; rc = sqlite3_step(statement)) {
        row(statement);
    }
    const bool ok = rc == SQLITE_DONE;
    if (!ok && error) {
        *error = QString::fromUtf8(sqlite3_errmsg(m_connection));
    }
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    releaseKept();
    return ok;
}

QVariant SqliteStatements::columnValue(sqlite3_stmt* statement, int column)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(statement, column));
    case SQLITE_BLOB:
        return QVariant(QByteArray(
            static_cast<const char*>(sqlite3_column_blob(statement, column)), sqlite3_column_bytes(statement, column)));
    case SQLITE_NULL:
        return {};
    default:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
            sqlite3_column_bytes(statement, column)));
    }
}

QVariant SqliteStatements::fieldValue(sqlite3_stmt* statement, int column, FieldType type)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER: {
        const qint64 n = sqlite3_column_int64(statement, column);
        if (type == FieldType::Currency && n <= Currency::kMaxUnits && n >= -Currency::kMaxUnits) {
            return QVariant::fromValue(Currency::fromUnits(n));
        }
        if (type == FieldType::Integer || type == FieldType::Key || type == FieldType::Currency) {
            return QVariant(qlonglong(n)); // (a currency beyond its range stays as stored)
        }
        break;
    }
    case SQLITE_FLOAT:
        if (type == FieldType::Currency) {
            const double d = sqlite3_column_double(statement, column);
            bool ok = false;
            const Currency c = Currency::fromDouble(d, &ok);
            return ok ? QVariant::fromValue(c) : QVariant(d);
        }
        break;
    case SQLITE_TEXT:
        if (type == FieldType::Text || type == FieldType::Memo || type == FieldType::Date) {
            // (Asked for in this order: the bytes, then their count.)
            const char* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
            const QString text = QString::fromUtf8(bytes, sqlite3_column_bytes(statement, column));
            if (type != FieldType::Date) {
                return QVariant(text.isNull() ? QString(QLatin1String("")) : text); // never a null text
            }
            const QDate d = FieldCodec::parseDate(text);
            return d.isValid() ? QVariant(d) : QVariant(text);
        }
        break;
    default:
        break;
    }
    return FieldCodec::fromStorage(type, columnValue(statement, column));
}

QStringList SqliteStatements::columnNames(sqlite3_stmt* statement)
{
    QStringList names;
    const int n = sqlite3_column_count(statement);
    for (int i = 0; i < n; ++i) {
        QString name = QString::fromUtf8(sqlite3_column_name(statement, i)).remove(QLatin1Char('"'));
        names << name.mid(name.lastIndexOf(QLatin1Char('.')) + 1);
    }
    return names;
}

bool SqliteStatements::takesValues(sqlite3_stmt* statement, qsizetype count, QString* error)
{
    if (sqlite3_bind_parameter_count(statement) == count) {
        return true;
    }
    if (error) {
        *error
            = QStringLiteral("parametri: %1 attesi, %2 dati").arg(sqlite3_bind_parameter_count(statement)).arg(count);
    }
    return false;
}

SqliteReader::~SqliteReader()
{
    sqlite3_finalize(m_statement);
}

bool SqliteReader::open(sqlite3* connection, const QString& sql, const QVariantList& values, QString* error)
{
    m_connection = connection;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(connection, text.constData(), int(text.size()), &m_statement, nullptr) != SQLITE_OK) {
        if (error) {
            *error = QString::fromUtf8(sqlite3_errmsg(connection));
        }
        return false;
    }
    if (!SqliteStatements::takesValues(m_statement, values.size(), error)) {
        return false;
    }
    for (int i = 0; i < values.size(); ++i) {
        // Copied: the caller's values may go before the reading ends.
        SqliteStatements::bind(m_statement, i, values[i], true);
    }
    return true;
}

QStringList SqliteReader::columns() const
{
    return SqliteStatements::columnNames(m_statement);
}

bool SqliteReader::next()
{
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc != SQLITE_DONE) {
        m_error = QString::fromUtf8(sqlite3_errmsg(m_connection));
    }
    return false;
}

QVariant SqliteReader::value(int column) const
{
    return SqliteStatements::columnValue(m_statement, column);
}

} // namespace zb32
