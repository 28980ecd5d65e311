// What the dialects share: the name rewriting and the statements every database accepts alike.
#include "core/desk/SqlDialect.h"

#include "core/desk/Formats.h"
#include "core/desk/OdbcDialect.h"
#include "core/desk/PostgresDialect.h"
#include "core/desk/SqliteDialect.h"

#include <QRegularExpression>
#include <QSqlError>
#include <charconv>
#include <cmath>

namespace zb32 {

std::unique_ptr<SqlDialect> SqlDialect::create(Kind kind)
{
    switch (kind) {
    case Kind::SQLite:
        return std::make_unique<SqliteDialect>();
    case Kind::PostgreSQL:
        return std::make_unique<PostgresDialect>();
    case Kind::Odbc:
        return std::make_unique<OdbcDialect>();
    }
    return std::make_unique<SqliteDialect>();
}

SqlDialect::~SqlDialect() = default;

QString SqlDialect::describe(const QSqlError& error)
{
    return describe(error.text());
}

QString SqlDialect::describe(const QString& words)
{
    // The drivers' texts run over several indented lines; a message box shows them as one.
    const QString text = words.simplified();
    if (text.isEmpty()) {
        return QStringLiteral("errore sconosciuto del database");
    }
    // A file database on a disk with no room left (SQLite's SQLITE_FULL): said as such, not as a
    // fault of the database.
    if (text.contains(QLatin1String("database or disk is full"))) {
        return QStringLiteral("disco pieno: non c'è più spazio per il database (%1)").arg(text);
    }
    return text;
}

bool SqlDialect::run(QSqlDatabase& db, const QString& sql, QString* error)
{
    if (!db.isOpen()) {
        if (error) {
            *error = closedConnection();
        }
        return false;
    }
    QSqlQuery q(db);
    if (!q.exec(sql)) {
        if (error) {
            *error = describe(q.lastError());
        }
        return false;
    }
    return true;
}

QString SqlDialect::quoteName(const QString& name) const
{
    return QLatin1Char('[') + name + QLatin1Char(']');
}

QString SqlDialect::storedTableName(const QSqlDatabase& db, const QString& table) const
{
    for (const QString& t : db.tables(QSql::Tables)) {
        if (t.compare(table, Qt::CaseInsensitive) == 0) {
            return t;
        }
    }
    return table;
}

QVariant SqlDialect::storedDate(const QDate& date) const
{
    return date;
}

QVariant SqlDialect::storedCurrency(const Currency& amount) const
{
    return amount.toDouble();
}

QVariant SqlDialect::storedNull(FieldType type) const
{
    switch (type) {
    case FieldType::Key:
    case FieldType::Integer:
        return QVariant(QMetaType::fromType<qlonglong>());
    case FieldType::Double:
    case FieldType::Currency:
        return QVariant(QMetaType::fromType<double>());
    case FieldType::Date:
        return QVariant(QMetaType::fromType<QDate>());
    case FieldType::Text:
    case FieldType::Memo:
        break;
    }
    return QVariant(QMetaType::fromType<QString>());
}

QString SqlDialect::returningKey(const QString&) const
{
    return {};
}

QVariant SqlDialect::newKey(QSqlQuery& insert) const
{
    return insert.lastInsertId();
}

QString SqlDialect::savepoint(const QString& name) const
{
    return QStringLiteral("SAVEPOINT ") + name;
}

QString SqlDialect::releaseSavepoint(const QString& name) const
{
    return QStringLiteral("RELEASE SAVEPOINT ") + name;
}

QString SqlDialect::rollbackToSavepoint(const QString& name) const
{
    return QStringLiteral("ROLLBACK TO SAVEPOINT ") + name;
}

QStringList SqlDialect::nextSavepoint(const QString& name) const
{
    return { releaseSavepoint(name), savepoint(name) };
}

bool SqlDialect::startSession(QSqlDatabase&, QString*)
{
    return true;
}

void SqlDialect::setJob(QSqlDatabase&, const QString&)
{ }

bool SqlDialect::isAlive(QSqlDatabase&) const
{
    return true;
}

bool SqlDialect::copyIn(
    QSqlDatabase& db, const QString& table, const QStringList& columns, const QByteArray& rows, QString* error) const
{
    qsizetype done = 0;
    return copyIn(db, {}, { { table, columns, rows } }, &done, error);
}

bool SqlDialect::copyIn(
    QSqlDatabase&, const QString&, const QList<CopyBlock>& blocks, qsizetype* done, QString* error) const
{
    *done = 0;
    if (error) {
        *error = QStringLiteral("il database non carica righe in blocco (tabella %1)")
                     .arg(blocks.isEmpty() ? QString() : blocks.first().table);
    }
    return false;
}

bool SqlDialect::updateRows(
    QSqlDatabase&, const QString& table, const QString&, const QList<RowChange>&, QString* error) const
{
    if (error) {
        *error = QStringLiteral("il database non aggiorna righe in blocco (tabella %1)").arg(table);
    }
    return false;
}

namespace {

// The COPY escape of a byte, nullptr when it goes as it is.
const char* copyEscape(char c)
{
    switch (c) {
    case '\\':
        return "\\\\";
    case '\t':
        return "\\t";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    default:
        return nullptr;
    }
}

void appendCopyEscaped(SqlDialect::CopyText* out, const QByteArray& text)
{
    // The runs between characters to escape go whole.
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (const char* escaped = copyEscape(text[i])) {
            out->append(text.constData() + from, i - from);
            out->append(escaped, 2);
            from = i + 1;
        }
    }
    out->append(text.constData() + from, text.size() - from);
}

} // namespace

QByteArray SqlDialect::textForm(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QByteArray::number(value.toLongLong());
    case QMetaType::Double: {
        // The shortest text that reads back as the same double.
        char text[32];
        const double d = value.toDouble();
        if (!std::isfinite(d)) {
            return QByteArray::number(d);
        }
        return QByteArray(text, std::to_chars(text, text + sizeof text, d).ptr - text);
    }
    case QMetaType::Bool:
        return value.toBool() ? QByteArrayLiteral("t") : QByteArrayLiteral("f");
    case QMetaType::QDate: {
        char text[10];
        if (writeIsoDate(*static_cast<const QDate*>(value.constData()), text)) {
            return QByteArray(text, sizeof text);
        }
        return value.toDate().toString(Qt::ISODate).toLatin1();
    }
    case QMetaType::QString:
        return static_cast<const QString*>(value.constData())->toUtf8();
    default:
        return value.toString().toUtf8();
    }
}

void SqlDialect::copyValue(QByteArray* out, const QVariant& value)
{
    CopyText text;
    copyValue(&text, value);
    out->append(text.take());
}

void SqlDialect::copyValue(CopyText* out, const QVariant& value)
{
    if (value.isNull()) {
        out->append("\\N", 2);
        return;
    }
    // The common values are written straight into `out`, with no text of their own in between.
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        constexpr qsizetype kMost = 24;
        char* at = out->room(kMost);
        out->unuse(kMost - (std::to_chars(at, at + kMost, value.toLongLong()).ptr - at));
        return;
    }
    case QMetaType::Double:
        if (const double d = value.toDouble(); std::isfinite(d)) {
            constexpr qsizetype kMost = 32;
            char* at = out->room(kMost);
            out->unuse(kMost - (std::to_chars(at, at + kMost, d).ptr - at));
            return;
        }
        break;
    case QMetaType::QDate:
        if (writeIsoDate(*static_cast<const QDate*>(value.constData()), out->room(10))) {
            return;
        }
        out->unuse(10);
        break;
    case QMetaType::QString: {
        // ASCII text, the most there is, is escaped here; other text goes through UTF-8.
        const QString& text = *static_cast<const QString*>(value.constData());
        const qsizetype most = 2 * text.size();
        char* const start = out->room(most);
        char* to = start;
        for (const QChar c : text) {
            if (c.unicode() >= 0x80) {
                out->unuse(most);
                appendCopyEscaped(out, text.toUtf8());
                return;
            }
            if (const char* escaped = copyEscape(char(c.unicode()))) {
                *to++ = escaped[0];
                *to++ = escaped[1];
            } else {
                *to++ = char(c.unicode());
            }
        }
        out->unuse(most - (to - start));
        return;
    }
    default:
        break;
    }
    appendCopyEscaped(out, textForm(value));
}

bool SqlDialect::begin(QSqlDatabase& db, bool, QString* error)
{
    // A connection the driver has closed after losing the server can begin nothing.
    if (!db.isOpen()) {
        if (error) {
            *error = closedConnection();
        }
        return false;
    }
    if (!db.transaction()) {
        if (error) {
            *error = describe(db.lastError());
        }
        return false;
    }
    return true;
}

bool SqlDialect::commit(QSqlDatabase& db, QString* error)
{
    if (!db.commit()) {
        if (error) {
            *error = describe(db.lastError());
        }
        rollback(db);
        return false;
    }
    return true;
}

bool SqlDialect::commitWith(QSqlDatabase& db, const Statement& first, QString* error)
{
    QSqlQuery q(db);
    bool ok = q.prepare(first.sql);
    for (qsizetype i = 0; ok && i < first.values.size(); ++i) {
        q.bindValue(int(i), first.values[i]);
    }
    if (!ok || !q.exec()) {
        if (error) {
            *error = describe(q.lastError());
        }
        rollback(db);
        return false;
    }
    return commit(db, error);
}

void SqlDialect::rollback(QSqlDatabase& db)
{
    // Nothing to take back on a connection that is gone: the server ended the transaction.
    if (db.isOpen()) {
        db.rollback();
    }
}

void SqlDialect::deferCheckpoints(QSqlDatabase&)
{ }

void SqlDialect::resumeCheckpoints(QSqlDatabase&, bool)
{ }

void SqlDialect::setAppending(QSqlDatabase&, bool)
{ }

QString SqlDialect::topToLimit(const QString& sql)
{
    // Only a selection can have a top; the others go without the expression (which a group sent
    // behind would otherwise share with the thread that makes the lines).
    if (!sql.trimmed().startsWith(QLatin1String("select"), Qt::CaseInsensitive)) {
        return sql;
    }
    static const QRegularExpression top(
        QStringLiteral("^(\\s*select\\s+)top\\s+(\\d+)\\s+"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = top.match(sql);
    if (!m.hasMatch()) {
        return sql;
    }
    return m.captured(1) + sql.mid(m.capturedEnd(0)) + QStringLiteral(" LIMIT ") + m.captured(2);
}

QString SqlDialect::quoteBracketedNames(const QString& sql) const
{
    QString out;
    out.reserve(sql.size() + 16);
    QChar quote;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (!quote.isNull()) {
            out += c;
            if (c == quote) {
                quote = QChar();
            }
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
            out += c;
        } else if (c == QLatin1Char('[')) {
            const qsizetype close = sql.indexOf(QLatin1Char(']'), i + 1);
            if (close < 0) {
                out += c;
                continue;
            }
            out += quoteName(sql.mid(i + 1, close - i - 1));
            i = close;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace zb32
