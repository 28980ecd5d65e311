// Record access: the cursor, the changed fields, and the INSERT/UPDATE texts they need.
#include "core/desk/Recordset.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/FieldCodec.h"
#include "core/desk/GroupWrites.h"
#include "core/desk/RecordJournal.h"
#include "core/desk/SqliteStatements.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <algorithm>
#include <cstring>

namespace zb32 {

namespace {

// A prepared statement keeps its values from one exec to the next, and binding one costs more
// in QtSql than comparing it: a value equal to the one already bound (same type, same nullness:
// an empty text is not a null one) is left as it is. Appending payments repeats most of theirs.
void bindChanged(QSqlQuery* q, int pos, const QVariant& value)
{
    const QVariant bound = q->boundValue(pos);
    if (bound.metaType() == value.metaType() && bound.isNull() == value.isNull() && bound == value) {
        return;
    }
    q->bindValue(pos, value);
}

QString sqlError(const QSqlQuery& q)
{
    const QString text = q.lastError().text().simplified();
    return text.isEmpty() ? QStringLiteral("errore sconosciuto del database") : text;
}

} // namespace

Recordset::Recordset(CaseDatabase& db, const QString& table, const QStringList& joinedTables)
    : m_db(db)
    , m_table(table)
    , m_def(Schema::table(table))
{
    if (m_def) {
        m_keyField = m_def->key;
    }
    for (const QString& name : joinedTables) {
        if (const TableDef* def = Schema::table(name)) {
            m_joined.append(def);
        }
    }
}

Recordset::~Recordset() = default;

void Recordset::close()
{
    m_open = false;
    m_appendOnly = false;
    m_rows.clear();
    m_pos = 0;
    m_reader.reset();
    if (m_forward) {
        m_forward->finish();
        m_forward.reset();
    }
}

bool Recordset::setFields(const QStringList& names, QString* error)
{
    m_fields = names;
    m_index.clear();
    m_lookup.clear();
    m_recent.fill({});
    m_writeSql.clear();
    m_heldFields.clear();
    m_lastHeld.fill({});
    m_types.clear();
    m_keyIndex = -1;
    for (int i = 0; i < names.size(); ++i) {
        m_index.insert(names[i].toLower(), i);
        const FieldDef* f = m_def ? Schema::field(*m_def, names[i]) : nullptr;
        for (qsizetype t = 0; !f && t < m_joined.size(); ++t) {
            f = Schema::field(*m_joined[t], names[i]);
        }
        m_types.append(f ? f->type : FieldType::Text);
    }
    if (!m_keyField.isEmpty()) {
        m_keyIndex = m_index.value(m_keyField.toLower(), -1);
    }
    if (names.isEmpty()) {
        if (error) {
            // The driver gives no fields for a table it cannot ask about either.
            *error = m_db.isAlive() ? QStringLiteral("la tabella %1 non esiste nel database").arg(m_table)
                                    : QStringLiteral("connessione con il database interrotta: impossibile leggere "
                                                     "la tabella %1")
                                          .arg(m_table);
        }
        return false;
    }
    return true;
}

bool Recordset::openForAppend(QString* error)
{
    close();
    const QSqlRecord record = m_db.tableRecord(m_table);
    QStringList names;
    for (int i = 0; i < record.count(); ++i) {
        names << record.fieldName(i);
    }
    m_layoutQuery = nullptr;
    if (!setFields(names, error)) {
        return false;
    }
    m_mode = Mode::Static;
    m_appendOnly = true;
    m_open = true;
    return true;
}

bool Recordset::open(const QString& sql, const QVariantList& values, QString* error, Mode mode)
{
    close();
    // What the group holds is sent first: a selection sees what the lines before wrote.
    if (!m_db.sendHeldWrites(error)) {
        return false;
    }
    // A forward-only reader keeps its query for as long as it reads, so it gets its own
    // statement; static sets read everything at once and can share the cached one.
    QSqlQuery* q = nullptr;
    if (sqlite3* connection = mode == Mode::ForwardOnly ? SqliteStatements::connectionOf(m_db.database()) : nullptr) {
        // On SQLite a long selection is read on the database's own connection: the driver's copy
        // of every row costs more than reading it.
        QVariantList bound;
        bound.reserve(values.size());
        for (const QVariant& v : values) {
            bound << FieldCodec::parameter(v);
        }
        m_reader = std::make_unique<SqliteReader>();
        if (!m_reader->open(connection, m_db.dialect().translate(sql), bound, error)
            || !setFields(m_reader->columns(), error)) {
            m_reader.reset();
            return false;
        }
        m_layoutQuery = nullptr;
        m_mode = mode;
        m_open = true;
        readForwardRow();
        return true;
    }
    if (SqliteStatements* own = mode == Mode::Static ? m_db.sqliteStatements() : nullptr) {
        return openOnSqlite(*own, sql, values, error);
    }
    if (mode == Mode::ForwardOnly) {
        m_forward = std::make_unique<QSqlQuery>(m_db.database());
        m_forward->setForwardOnly(true);
        if (!m_forward->prepare(m_db.dialect().translate(sql))) {
            if (error) {
                *error = sqlError(*m_forward);
            }
            m_forward.reset();
            return false;
        }
        q = m_forward.get();
    } else {
        q = m_db.statement(sql, error);
        if (!q) {
            return false;
        }
    }
    for (int i = 0; i < values.size(); ++i) {
        q->bindValue(i, FieldCodec::parameter(values[i]));
    }
    if (!q->exec()) {
        if (error) {
            *error = sqlError(*q);
        }
        m_forward.reset();
        return false;
    }
    // A set reopened on the same cached statement (a lookup per input line) keeps the columns it
    // read the first time; the count guards against a table changed under a running job.
    const QSqlRecord record = q->record();
    const bool sameLayout = mode == Mode::Static && q == m_layoutQuery && sql == m_layoutSql
        && record.count() == m_fields.size() && !m_fields.isEmpty();
    if (!sameLayout) {
        m_layoutQuery = nullptr;
        QStringList names;
        for (int i = 0; i < record.count(); ++i) {
            names << record.fieldName(i);
        }
        if (!setFields(names, error)) {
            q->finish();
            m_forward.reset();
            return false;
        }
        if (mode == Mode::Static) {
            m_layoutQuery = q;
            m_layoutSql = sql;
        }
    }
    m_mode = mode;
    m_open = true;
    if (mode == Mode::ForwardOnly) {
        readForwardRow();
        return true;
    }
    while (q->next()) {
        Row row;
        row.values.resize(m_fields.size());
        row.dirty.fill(false, m_fields.size());
        for (int i = 0; i < m_fields.size(); ++i) {
            row.values[i] = FieldCodec::fromStorage(m_types[i], q->value(i));
        }
        m_rows.append(std::move(row));
    }
    q->finish();
    return true;
}

bool Recordset::openAsText(const QString& sql, const QVariantList& values, QString* error)
{
    close();
    if (!m_db.sendHeldWrites(error)) {
        return false;
    }
    SqlDialect::Statement select { m_db.dialect().translate(sql), {} };
    for (const QVariant& v : values) {
        select.values << FieldCodec::parameter(v);
    }
    QSqlDatabase db = m_db.database();
    QString why;
    const std::unique_ptr<SqlDialect::TextRows> rows = m_db.dialect().selectText(db, select, &why);
    if (!rows) {
        if (!why.isEmpty()) {
            if (error) {
                *error = why;
            }
            return false;
        }
        return open(sql, values, error);
    }
    const QStringList names = rows->columns();
    m_layoutQuery = nullptr; // (a driver's statement reopened later reads its columns again)
    if (names != m_fields && !setFields(names, error)) {
        return false;
    }
    const int columns = int(m_fields.size());
    for (int i = 0; i < columns; ++i) {
        if (!rows->holds(i, m_types[i])) {
            return open(sql, values, error);
        }
    }
    m_mode = Mode::Static;
    m_rows.reserve(rows->rowCount());
    for (qsizetype r = 0; r < rows->rowCount(); ++r) {
        Row row;
        row.values.resize(columns);
        row.dirty.fill(false, columns);
        for (int i = 0; i < columns; ++i) {
            int length = 0;
            const char* text = rows->value(r, i, &length);
            row.values[i] = FieldCodec::fromServerText(m_types[i], text, length);
        }
        m_rows.append(std::move(row));
    }
    m_open = true;
    return true;
}

bool Recordset::openOnSqlite(SqliteStatements& own, const QString& sql, const QVariantList& values, QString* error)
{
    // The statement is prepared once for the connection, as the driver's would be; its rows are
    // read straight into the set.
    sqlite3_stmt* s = own.prepared(m_db.dialect().translate(sql), error);
    if (!s || !SqliteStatements::takesValues(s, values.size(), error)) {
        return false;
    }
    QVariantList bound;
    bound.reserve(values.size());
    for (qsizetype i = 0; i < values.size(); ++i) {
        bound << FieldCodec::parameter(values[i]);
        own.bindKept(s, int(i), bound.last()); // (a text as the UTF-8 SQLite compares)
    }
    if (s != m_layoutQuery || sql != m_layoutSql || m_fields.isEmpty()) {
        m_layoutQuery = nullptr;
        if (!setFields(SqliteStatements::columnNames(s), error)) {
            return false;
        }
        m_layoutQuery = s;
        m_layoutSql = sql;
    }
    m_mode = Mode::Static;
    const int columns = int(m_fields.size());
    QString why;
    const bool ok = own.select(
        s,
        [&](sqlite3_stmt* statement) {
            Row row;
            row.values.resize(columns);
            row.dirty.fill(false, columns);
            for (int i = 0; i < columns; ++i) {
                row.values[i] = SqliteStatements::fieldValue(statement, i, m_types[i]);
            }
            m_rows.append(std::move(row));
        },
        &why);
    if (!ok) {
        m_rows.clear();
        if (error) {
            *error = why;
        }
        return false;
    }
    m_open = true;
    return true;
}

bool Recordset::readForwardRow()
{
    m_rows.clear();
    m_pos = 0;
    if (m_reader ? !m_reader->next() : !m_forward || !m_forward->next()) {
        return false;
    }
    Row row;
    row.values.resize(m_fields.size());
    row.dirty.fill(false, m_fields.size());
    for (int i = 0; i < m_fields.size(); ++i) {
        row.values[i] = FieldCodec::fromStorage(m_types[i], m_reader ? m_reader->value(i) : m_forward->value(i));
    }
    m_rows.append(std::move(row));
    return true;
}

bool Recordset::eof() const
{
    return m_pos >= m_rows.size();
}

bool Recordset::moveNext(QString* error)
{
    if (m_mode == Mode::ForwardOnly) {
        const bool got = readForwardRow();
        if (!got && m_reader && !m_reader->error().isEmpty()) {
            if (error) {
                *error = m_reader->error();
            }
            return false;
        }
        if (!got && m_forward && m_forward->lastError().isValid()) {
            if (error) {
                *error = sqlError(*m_forward);
            }
            return false;
        }
        return true;
    }
    if (m_pos < m_rows.size()) {
        ++m_pos;
    }
    return true;
}

void Recordset::moveFirst()
{
    m_pos = 0;
}

void Recordset::moveTo(int row)
{
    m_pos = std::clamp<qsizetype>(row, 0, m_rows.size());
}

void Recordset::appendSaved(const Recordset& other)
{
    Row row;
    row.values.resize(m_fields.size());
    row.dirty.fill(false, m_fields.size());
    for (int i = 0; i < m_fields.size(); ++i) {
        row.values[i] = other.value(m_fields[i]);
    }
    m_rows.append(std::move(row));
}

Recordset::Row* Recordset::current()
{
    return m_pos < m_rows.size() ? &m_rows[m_pos] : nullptr;
}

const Recordset::Row* Recordset::current() const
{
    return m_pos < m_rows.size() ? &m_rows[m_pos] : nullptr;
}

const QList<int>& Recordset::changedFields(const Row& row)
{
    m_changed.resize(m_fields.size()); // room for every field, allocated once
    int* out = m_changed.data();
    // A record changes a few of its fields: the others are passed over a block at a time.
    const char* dirty = reinterpret_cast<const char*>(row.dirty.constData());
    const char* end = dirty + row.dirty.size();
    qsizetype n = 0;
    for (const char* at = dirty; (at = static_cast<const char*>(std::memchr(at, 1, size_t(end - at)))); ++at) {
        if (const int i = int(at - dirty); i != m_keyIndex) {
            out[n++] = i;
        }
    }
    m_changed.resize(n);
    return m_changed;
}

bool Recordset::nothingAfterLeading(QString* error) const
{
    if (error) {
        *error = QStringLiteral("nessuna modifica da salvare nella tabella %1 dopo l'istruzione che la precede")
                     .arg(m_table);
    }
    return false;
}

int Recordset::indexOf(const QString& field) const
{
    // Two entries for each hash of the address: some fifty names of a job meet in 64 pairs,
    // and a name that shared its place with another one lost it at every record.
    const qsizetype pair = qsizetype((quint64(quintptr(field.constData())) * 0x9E3779B97F4A7C15ULL) >> 58) * 2;
    const auto holds = [&field](const Recent& r) {
        return r.name.constData() == field.constData() && r.name.size() == field.size() && !r.name.isNull();
    };
    if (holds(m_recent[pair])) {
        return m_recent[pair].index;
    }
    if (holds(m_recent[pair + 1])) {
        return m_recent[pair + 1].index;
    }
    auto it = m_lookup.constFind(field);
    if (it == m_lookup.constEnd()) {
        it = m_lookup.insert(field, m_index.value(field.toLower(), -1));
    }
    // The newer name goes first, the one it found there second.
    m_recent[pair + 1] = std::move(m_recent[pair]);
    m_recent[pair] = { field, *it };
    return *it;
}

bool Recordset::hasField(const QString& field) const
{
    return indexOf(field) >= 0;
}

FieldType Recordset::typeOf(int index) const
{
    return m_types.value(index, FieldType::Text);
}

QVariant Recordset::value(const QString& field) const
{
    const int i = indexOf(field);
    const Row* row = current();
    return (i >= 0 && row) ? row->values[i] : QVariant();
}

bool Recordset::isNull(const QString& field) const
{
    return FieldCodec::isMissing(value(field));
}

QString Recordset::text(const QString& field) const
{
    return FieldCodec::text(value(field));
}

Currency Recordset::currency(const QString& field) const
{
    return FieldCodec::currency(value(field));
}

QDate Recordset::date(const QString& field) const
{
    return FieldCodec::date(value(field));
}

bool Recordset::currency(const QString& field, Currency* out, QString* error) const
{
    return FieldCodec::readCurrency(value(field), field, out, error);
}

bool Recordset::date(const QString& field, QDate* out, QString* error) const
{
    return FieldCodec::readDate(value(field), field, out, error);
}

qint64 Recordset::key() const
{
    const Row* row = current();
    return (row && m_keyIndex >= 0 && !FieldCodec::isMissing(row->values[m_keyIndex]))
        ? row->values[m_keyIndex].toLongLong()
        : -1;
}

bool Recordset::setValue(const QString& field, const QVariant& value, QString* error)
{
    const int i = indexOf(field);
    if (i < 0) {
        if (error) {
            *error = QStringLiteral("il campo %1 non esiste nella tabella %2").arg(field, m_table);
        }
        return false;
    }
    Row* row = current();
    if (!row) {
        if (error) {
            *error = QStringLiteral("nessun record corrente nella tabella %1").arg(m_table);
        }
        return false;
    }
    QVariant converted;
    if (!FieldCodec::convert(typeOf(i), m_fields[i], value, &converted, error)) {
        return false;
    }
    store(row, i, std::move(converted));
    return true;
}

bool Recordset::setValue(const QString& field, const QString& value, QString* error)
{
    const int i = indexOf(field);
    Row* row = current();
    if (i < 0 || !row || value.isNull() || (typeOf(i) != FieldType::Text && typeOf(i) != FieldType::Memo)) {
        return setValue(field, QVariant(value), error);
    }
    store(row, i, QVariant(value));
    return true;
}

void Recordset::store(Row* row, int i, QVariant&& value)
{
    if (!row->isNew && !row->createdHere && !row->dirty[i] && m_db.recordJournal()) {
        if (row->before.size() <= i) {
            row->before.resize(m_fields.size());
        }
        row->before[i] = std::move(row->values[i]);
    }
    row->values[i] = std::move(value);
    row->dirty[i] = true;
}

bool Recordset::hasPendingChanges() const
{
    const Row* row = current();
    if (!row) {
        return false;
    }
    return row->isNew || std::memchr(row->dirty.constData(), 1, size_t(row->dirty.size()));
}

void Recordset::cancelUpdate()
{
    Row* row = current();
    if (!row) {
        return;
    }
    if (row->isNew) {
        m_rows.removeAt(m_pos);
        return;
    }
    row->before.clear(); // (a taken back change: the row's room goes too, seldom)
    row->dirty.fill(false);
}

bool Recordset::addNew(QString* error)
{
    if (hasPendingChanges() && !update(error)) {
        return false;
    }
    if (m_appendOnly && m_rows.size() == 1) {
        // Appending keeps one row: it is emptied in place rather than given up and allocated again.
        Row& row = m_rows.first();
        for (QVariant& v : row.values) {
            if (v.isValid()) { // (most fields of a table stay unset: those are passed over)
                v.clear();
            }
        }
        row.dirty.fill(false);
        row.isNew = true;
        row.createdHere = false;
        row.before.clear();
        m_pos = 0;
        return true;
    }
    Row row;
    row.values.resize(m_fields.size());
    row.dirty.fill(false, m_fields.size());
    row.isNew = true;
    if (m_appendOnly) {
        m_rows.clear();
    }
    m_rows.append(std::move(row));
    m_pos = m_rows.size() - 1;
    return true;
}

QString Recordset::writeSql(const QList<int>& changed, bool insert) const
{
    const SqlDialect& d = m_db.dialect();
    if (insert) {
        QStringList names;
        QStringList marks;
        for (int i : changed) {
            names << d.quoteName(m_fields[i]);
            marks << QStringLiteral("?");
        }
        QString sql = names.isEmpty()
            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(d.quoteName(m_table))
            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(d.quoteName(m_table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
        if (m_keyIndex >= 0) {
            sql += d.returningKey(m_fields[m_keyIndex]);
        }
        return sql;
    }
    QStringList sets;
    for (int i : changed) {
        sets << d.quoteName(m_fields[i]) + QStringLiteral(" = ?");
    }
    return QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
        .arg(d.quoteName(m_table), sets.join(QStringLiteral(", ")), d.quoteName(m_fields[m_keyIndex]));
}

bool Recordset::update(QString* error)
{
    return update(error, {}, {});
}

bool Recordset::update(QString* error, const QString& leading, const QVariantList& leadingValues)
{
    Row* row = current();
    if (!row) {
        if (error) {
            *error = QStringLiteral("nessun record corrente nella tabella %1").arg(m_table);
        }
        return false;
    }
    if (m_mode == Mode::ForwardOnly) {
        if (error) {
            *error = QStringLiteral("selezione in sola lettura sulla tabella %1").arg(m_table);
        }
        return false;
    }
    const SqlDialect& d = m_db.dialect();
    const QList<int> changed = changedFields(*row);
    if (!leading.isEmpty() && (row->isNew || changed.isEmpty())) {
        return nothingAfterLeading(error);
    }
    if (!row->isNew && changed.isEmpty()) {
        return true;
    }
    if (!row->isNew && (m_keyIndex < 0 || row->values[m_keyIndex].isNull())) {
        if (error) {
            *error = QStringLiteral("la tabella %1 non ha una chiave per aggiornare il record").arg(m_table);
        }
        return false;
    }
    // Inside a line of a batch that groups its writes they wait for the group's commit.
    if (GroupWrites* group = m_db.groupWrites(); leading.isEmpty() && group && group->accepting() && m_keyIndex >= 0
        && group->takes(m_table, m_fields[m_keyIndex])) {
        return hold(*group, changed, error);
    }
    // Appending runs the same few statements over and over: their text is built once.
    QByteArray shape;
    shape.reserve(1 + 2 * changed.size());
    shape.append(row->isNew ? 'I' : 'U');
    for (int i : changed) {
        shape.append(char(i & 0xff)).append(char(i >> 8));
    }
    auto cached = m_writeSql.constFind(shape);
    if (cached == m_writeSql.constEnd()) {
        cached = m_writeSql.insert(shape, writeSql(changed, row->isNew));
    }
    // The SQL is already in the driver's form; translate() leaves it unchanged (and turns what
    // leads it into that form).
    QSqlQuery* q = m_db.statement(leading.isEmpty() ? *cached : leading + QLatin1Char(' ') + *cached, error);
    if (!q) {
        return false;
    }
    int pos = 0;
    for (const QVariant& v : leadingValues) {
        q->bindValue(pos++, v);
    }
    for (int i : changed) {
        bindChanged(q, pos++, FieldCodec::toStorage(typeOf(i), row->values[i], d));
    }
    if (!row->isNew) {
        q->bindValue(pos++, row->values[m_keyIndex]);
    }
    if (!q->exec()) {
        if (error) {
            *error = QStringLiteral("%1 nella tabella %2").arg(sqlError(*q), m_table);
        }
        return false;
    }
    if (row->isNew && m_keyIndex >= 0) {
        const QVariant key = d.newKey(*q);
        row->values[m_keyIndex] = key.isValid() ? QVariant(key.toLongLong()) : QVariant();
    }
    q->finish();
    written(changed);
    return true;
}

bool Recordset::updateLater(
    SqlDialect::Statement* later, QString* error, const QString& leading, const QVariantList& leadingValues)
{
    *later = {};
    Row* row = current();
    if (!row || row->isNew || m_keyIndex < 0 || row->values[m_keyIndex].isNull()) {
        if (error) {
            *error = QStringLiteral("nessun record salvato da aggiornare nella tabella %1").arg(m_table);
        }
        return false;
    }
    const QList<int> changed = changedFields(*row);
    if (changed.isEmpty()) {
        return leading.isEmpty() || nothingAfterLeading(error);
    }
    const SqlDialect& d = m_db.dialect();
    const QString sql = writeSql(changed, false);
    later->sql = leading.isEmpty() ? sql : d.translate(leading + QLatin1Char(' ') + sql);
    later->values = leadingValues;
    for (int i : changed) {
        later->values << FieldCodec::toStorage(typeOf(i), row->values[i], d);
    }
    later->values << row->values[m_keyIndex];
    written(changed);
    return true;
}

void Recordset::written(const QList<int>& changed)
{
    Row* row = current();
    if (RecordJournal* journal = m_db.recordJournal(); journal && m_keyIndex >= 0) {
        const qint64 key = row->values[m_keyIndex].toLongLong();
        if (row->isNew) {
            journal->recordCreated(m_table, key);
        } else if (!row->createdHere) {
            QList<RecordJournal::Change> changes;
            changes.reserve(changed.size());
            for (int i : changed) {
                // (Taken out: the entry is empty for the row's next change.)
                changes.append({ m_fields[i], i < row->before.size() ? std::exchange(row->before[i], {}) : QVariant(),
                    row->values[i] });
            }
            journal->recordChanged(m_table, key, changes);
        }
    }
    row->createdHere = row->createdHere || row->isNew;
    row->isNew = false;
    row->dirty.fill(false);
}

bool Recordset::hold(GroupWrites& group, const QList<int>& changed, QString* error)
{
    Row* row = current();
    const QString& keyField = m_fields[m_keyIndex];
    if (row->isNew) {
        qint64 key = 0;
        if (!group.newKey(m_table, keyField, &key, error)) {
            return false;
        }
        row->values[m_keyIndex] = key;
    }
    // A job's lines write the same few sets of fields record after record: the last sixteen are
    // tried first.
    HeldShape* recent = nullptr;
    for (HeldShape& h : m_lastHeld) {
        // (std::equal: two empty lists, one of them never allocated, compare without a null pointer.)
        if (!h.fields.isEmpty() && std::equal(h.changed.begin(), h.changed.end(), changed.begin(), changed.end())) {
            recent = &h;
            break;
        }
    }
    if (!recent) {
        QByteArray shape;
        shape.reserve(2 * changed.size());
        for (int i : changed) {
            shape.append(char(i & 0xff)).append(char(i >> 8));
        }
        auto known = m_heldFields.constFind(shape);
        if (known == m_heldFields.constEnd()) {
            QStringList fields;
            for (int i : changed) {
                fields << m_fields[i];
            }
            known = m_heldFields.insert(shape, fields);
        }
        recent = &m_lastHeld[m_nextHeld++ % m_lastHeld.size()];
        *recent = { QList<int>(changed.cbegin(), changed.cend()), *known }; // a copy: `changed` is reused
    }
    const QStringList* names = &recent->fields;
    const SqlDialect& d = m_db.dialect();
    QVector<QVariant> values;
    values.reserve(changed.size());
    for (int i : changed) {
        values.append(FieldCodec::toHeld(typeOf(i), row->values[i], d));
    }
    const qint64 key = row->values[m_keyIndex].toLongLong();
    if (row->isNew) {
        group.insert(m_table, keyField, key, *names, std::move(values));
    } else {
        group.update(m_table, keyField, key, *names, std::move(values));
    }
    written(changed);
    return true;
}

} // namespace zb32
