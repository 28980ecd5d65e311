// Group-wise writing: composing a group's writes into multi-row statements, and the replay.
#include "core/desk/GroupWrites.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/SqliteDialect.h"
#include "core/desk/SqliteStatements.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <bit>
#include <numeric>
#include <sqlite3.h>
#include <vector>

namespace zb32 {

namespace {

const QString kGroupSavepoint = QStringLiteral("zb32_group");
const QString kLineSavepoint = QStringLiteral("zb32_line");
const QString kUnitSavepoint = QStringLiteral("zb32_unit");
const QString kAsideSavepoint = QStringLiteral("zb32_aside");
// Rows of one INSERT, and the values it binds at most (PostgreSQL takes 65,535, SQLite 32,766).
constexpr qsizetype kMaxRows = 256;
constexpr qsizetype kMaxValues = 30000;
// How many keys PostgreSQL hands out in one round trip at most.
constexpr int kMaxKeyBlock = 1024;

// A held value as the driver binds it: dates are held as dates (FieldCodec::toHeld).
QVariant bound(const SqlDialect& d, const QVariant& value)
{
    return value.typeId() == QMetaType::QDate ? d.storedDate(value.toDate()) : value;
}

QString sqlError(const QSqlQuery& q)
{
    const QString text = q.lastError().text().simplified();
    return text.isEmpty() ? QStringLiteral("errore sconosciuto del database") : text;
}

} // namespace

GroupWrites::GroupWrites(CaseDatabase& db)
    : m_db(db)
{ }

GroupWrites::~GroupWrites() = default;

bool GroupWrites::run(const QString& sql, QString* error)
{
    return m_db.exec(sql, error);
}

GroupWrites::Sequence& GroupWrites::sequence(const QString& table)
{
    // Asked at every write: a record set names its table by the same text each time, and a job
    // writes two tables in turn (cases and their invoices).
    const auto holds = [&table](const LastTable& last) {
        return last.sequence && last.table.constData() == table.constData() && last.table.size() == table.size();
    };
    if (holds(m_lastTables[0])) {
        return *m_lastTables[0].sequence;
    }
    if (!holds(m_lastTables[1])) {
        const qsizetype known = m_sequences.size();
        Sequence& s = m_sequences[table];
        if (m_sequences.size() != known) {
            m_lastTables[0] = {}; // a new entry may have moved the others
        }
        m_lastTables[1] = { table, &s };
    }
    std::swap(m_lastTables[0], m_lastTables[1]);
    return *m_lastTables[0].sequence;
}

QSqlQuery* GroupWrites::runWith(const QString& sql, const QVariantList& values, const QString& table, QString* error)
{
    QSqlQuery* q = m_db.statement(sql, error);
    if (!q) {
        return nullptr;
    }
    for (int i = 0; i < values.size(); ++i) {
        q->bindValue(i, values[i]);
    }
    if (!q->exec()) {
        if (error) {
            *error = QStringLiteral("%1 nella tabella %2").arg(sqlError(*q), table);
        }
        q->finish();
        return nullptr;
    }
    return q;
}

bool GroupWrites::hasUnusedKeys(const Sequence& s)
{
    return s.reservable && s.reservedEnd > 0 && !s.keys.isEmpty();
}

bool GroupWrites::takes(const QString& table, const QString& keyField)
{
    if (keyField.isEmpty()) {
        return false;
    }
    Sequence& s = sequence(table);
    if (s.known) {
        return !s.name.isEmpty();
    }
    s.known = true;
    const SqlDialect& d = m_db.dialect();
    if (d.kind() == SqlDialect::Kind::SQLite) {
        s.name = table; // the rowid: any key not taken is good
        s.storedName = d.storedTableName(m_db.database(), table);
        // Keys can be reserved ahead only where the database itself hands out keys after a counter.
        m_sending = true;
        QSqlQuery* q = runWith(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?"),
            { s.storedName }, table, nullptr);
        m_sending = false;
        if (q) {
            s.reservable
                = q->next() && q->value(0).toString().contains(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive);
            q->finish();
        }
        return true;
    }
    if (d.kind() != SqlDialect::Kind::PostgreSQL) {
        return false;
    }
    m_sending = true;
    QSqlQuery* q = m_db.statement(QStringLiteral("SELECT pg_get_serial_sequence(?, ?)"), nullptr);
    m_sending = false;
    if (!q) {
        return false;
    }
    q->bindValue(0, d.quoteName(table));
    q->bindValue(1, keyField.toLower());
    if (q->exec() && q->next() && !q->value(0).isNull()) {
        s.name = q->value(0).toString();
    }
    q->finish();
    return !s.name.isEmpty();
}

bool GroupWrites::fetchKeys(const QString& table, Sequence& s, qsizetype count, QString* error)
{
    QSqlQuery* q = runWith(
        QStringLiteral("SELECT nextval(?::regclass) FROM generate_series(1, ?)"), { s.name, count }, table, error);
    if (!q) {
        return false;
    }
    while (q->next()) {
        s.keys.append(q->value(0).toLongLong());
    }
    q->finish();
    std::sort(s.keys.begin(), s.keys.end());
    if (s.keys.isEmpty()) {
        if (error) {
            *error = QStringLiteral("nessuna chiave nuova per la tabella %1").arg(table);
        }
        return false;
    }
    return true;
}

bool GroupWrites::stockKeys(QString* error)
{
    // Before a group is sent behind: each table gets keys enough for a group like the one that
    // ends, so the next lines need not wait for its answer to ask for more (they still can: a
    // larger group waits, then fetches).
    const bool sqlite = m_db.dialect().kind() == SqlDialect::Kind::SQLite;
    for (auto it = m_sequences.begin(); it != m_sequences.end(); ++it) {
        Sequence& s = it.value();
        const qsizetype want = std::exchange(s.usedInGroup, 0);
        if (s.name.isEmpty() || s.keys.size() >= want || (sqlite && !(m_reserveKeys && s.reservable))) {
            continue;
        }
        m_sending = true;
        // Two groups' worth: a round trip every other group.
        const qsizetype count = std::max<qsizetype>(s.block, 2 * want - s.keys.size());
        const bool fetched = sqlite ? reserveKeys(s, count, error) : fetchKeys(it.key(), s, count, error);
        m_sending = false;
        if (!fetched) {
            return false;
        }
    }
    return true;
}

bool GroupWrites::nextFreeKey(const QString& table, const QString& keyField, Sequence& s, qint64* key, QString* error)
{
    // Inside the write lock nobody else adds records: the keys after the highest one, and after
    // the highest one ever handed out (reserved ones included), are free.
    const SqlDialect& d = m_db.dialect();
    auto it = m_lastKeys.find(table);
    if (it == m_lastKeys.end()) {
        QSqlQuery* q = runWith(
            QStringLiteral("SELECT max(%1) FROM %2").arg(d.quoteName(keyField), d.quoteName(table)), {}, table, error);
        if (!q) {
            return false;
        }
        qint64 last = q->next() ? q->value(0).toLongLong() : 0;
        q->finish();
        // Only a table with AUTOINCREMENT has a row here; a database without any has no such table.
        if (QSqlQuery* seq = runWith(
                QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?"), { s.storedName }, table, nullptr)) {
            if (seq->next()) {
                last = std::max(last, seq->value(0).toLongLong());
            }
            seq->finish();
        }
        it = m_lastKeys.insert(table, last);
    }
    *key = ++*it;
    return true;
}

bool GroupWrites::reserveKeys(Sequence& s, qsizetype count, QString* error)
{
    // The block goes after the highest key, the counter and the last block reserved: whoever
    // adds a record after this commits (this run's next groups, another desk, the collection
    // system) is handed a key after the block.
    const SqlDialect& d = m_db.dialect();
    QSqlQuery* q = runWith(QStringLiteral("SELECT max(coalesce((SELECT max(rowid) FROM %1), 0), "
                                          "coalesce((SELECT seq FROM sqlite_sequence WHERE name = ?), 0))")
                               .arg(d.quoteName(s.name)),
        { s.storedName }, s.name, error);
    if (!q) {
        return false;
    }
    const qint64 last = std::max(s.reservedEnd, q->next() ? q->value(0).toLongLong() : 0);
    q->finish();
    const qint64 end = last + count;
    QSqlQuery* set = runWith(
        QStringLiteral("UPDATE sqlite_sequence SET seq = ? WHERE name = ?"), { end, s.storedName }, s.name, error);
    if (!set) {
        return false;
    }
    const bool hadRow = set->numRowsAffected() > 0;
    set->finish();
    if (!hadRow) {
        // A table nothing was ever added to has no row yet.
        QSqlQuery* add = runWith(QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)"),
            { s.storedName, end }, s.name, error);
        if (!add) {
            return false;
        }
        add->finish();
    }
    for (qint64 k = last + 1; k <= end; ++k) {
        s.keys.append(k);
    }
    s.reservedEnd = end;
    return true;
}

bool GroupWrites::holdsReservedKeys() const
{
    return std::any_of(m_sequences.cbegin(), m_sequences.cend(), hasUnusedKeys);
}

bool GroupWrites::returnKeys(QString* error)
{
    for (Sequence& s : m_sequences) {
        if (!hasUnusedKeys(s)) {
            continue;
        }
        m_sending = true;
        QSqlQuery* q = runWith(QStringLiteral("UPDATE sqlite_sequence SET seq = ? WHERE name = ? AND seq = ?"),
            { s.keys.first() - 1, s.storedName, s.reservedEnd }, s.name, error);
        m_sending = false;
        if (!q) {
            return false;
        }
        q->finish();
        s.keys.clear();
        s.reservedEnd = 0;
    }
    return true;
}

bool GroupWrites::newKey(const QString& table, const QString& keyField, qint64* key, QString* error)
{
    Sequence& s = sequence(table);
    const bool sqlite = m_db.dialect().kind() == SqlDialect::Kind::SQLite;
    m_sending = true;
    const auto done = [this](bool ok) {
        m_sending = false;
        return ok;
    };
    if (sqlite && m_reserveKeys && !s.reservable && m_beforeKeys && !m_beforeKeys(false, error)) {
        return done(false);
    }
    if (s.keys.isEmpty() && (!sqlite || m_reserveKeys)) {
        // A group sent behind has its answer first: the keys are asked on a connection that is
        // free (on SQLite inside the group's write lock, taken now).
        if (m_beforeKeys && !m_beforeKeys(true, error)) {
            return done(false);
        }
        m_sending = true; // taking that answer may have written a group again
        if (!sqlite) {
            if (!fetchKeys(table, s, s.block, error)) {
                return done(false);
            }
        } else if (m_reserveKeys && !reserveKeys(s, s.block, error)) {
            return done(false);
        }
        s.block = std::min(kMaxKeyBlock, s.block * 2);
    }
    if (sqlite && (!m_reserveKeys || s.keys.isEmpty())) {
        // Groups are committed as they end (or stopped being sent behind just now).
        return done(nextFreeKey(table, keyField, s, key, error));
    }
    ++s.usedInGroup;
    *key = s.keys.takeFirst();
    return done(true);
}

void GroupWrites::insert(
    const QString& table, const QString& keyField, qint64 key, const QStringList& fields, QVector<QVariant>&& values)
{
    m_ops.append({ true, m_line, m_unitFirst, m_reading, table, keyField, key, fields, std::move(values) });
}

void GroupWrites::update(
    const QString& table, const QString& keyField, qint64 key, const QStringList& fields, QVector<QVariant>&& values)
{
    m_ops.append({ false, m_line, m_unitFirst, m_reading, table, keyField, key, fields, std::move(values) });
}

void GroupWrites::refusalsTakenBack(qsizetype from)
{
    for (qsizetype i = 0; i < m_refusals.size(); ++i) {
        if (m_refusedAt[i] >= from) {
            m_refusals[i].takenBack = true;
        }
    }
}

QList<GroupWrites::Refusal> GroupWrites::takeRefusals()
{
    m_refusedAt.clear();
    return std::exchange(m_refusals, {});
}

bool GroupWrites::setAside(qsizetype from)
{
    for (qsizetype i = from; i < m_ops.size(); ++i) {
        if (!m_ops[i].dropped) {
            m_aside.append(std::move(m_ops[i]));
        }
    }
    return takeBack(from);
}

GroupWrites::Outcome GroupWrites::tryAside(QString* error)
{
    if (m_aside.isEmpty()) {
        return Outcome::Sent;
    }
    m_sending = true;
    const auto done = [this](Outcome outcome) {
        m_sending = false;
        m_aside.clear();
        return outcome;
    };
    const SqlDialect& d = m_db.dialect();
    const auto takeBackCase = [&] {
        return run(d.rollbackToSavepoint(kAsideSavepoint), error) && run(d.releaseSavepoint(kAsideSavepoint), error);
    };
    qint64 segment = 0; // the case (its first line), or minus the line of a write outside any
    qint64 skipLine = -1; // a line refused: its other writes are not tried
    for (const Op& op : std::as_const(m_aside)) {
        const qint64 next = op.unitFirst != 0 ? op.unitFirst : -op.line;
        if (next != segment) {
            if ((segment != 0 && !takeBackCase()) || !run(d.savepoint(kAsideSavepoint), error)) {
                return done(Outcome::Lost);
            }
            segment = next;
        }
        if (op.line == skipLine) {
            continue;
        }
        if (!run(d.savepoint(kLineSavepoint), error)) {
            return done(Outcome::Lost);
        }
        QString why;
        const bool ok = execSingle(op, &why);
        if ((!ok && !run(d.rollbackToSavepoint(kLineSavepoint), error))
            || !run(d.releaseSavepoint(kLineSavepoint), error)) {
            return done(Outcome::Lost);
        }
        if (!ok) {
            m_refusals.append({ op.reading, op.unitFirst, op.unitFirst != 0 ? op.unitFirst : op.line, why, true });
            m_refusedAt.append(-1);
            skipLine = op.line;
        }
    }
    return done(takeBackCase() ? Outcome::Sent : Outcome::Lost);
}

bool GroupWrites::takeBack(qsizetype from)
{
    if (from >= m_ops.size()) {
        return true;
    }
    const bool wasSent = from < m_sent;
    refusalsTakenBack(from);
    m_ops.remove(from, m_ops.size() - from);
    if (!wasSent) {
        return true;
    }
    // Writes already in the database: the group goes back to its start and what stays is sent again.
    m_sent = 0;
    m_sending = true;
    const bool ok = backToGroupStart(nullptr);
    m_sending = false;
    return ok;
}

qint64 GroupWrites::changesMade() const
{
    sqlite3* connection
        = m_db.dialect().kind() == SqlDialect::Kind::SQLite ? SqliteStatements::connectionOf(m_db.database()) : nullptr;
    return connection ? sqlite3_total_changes64(connection) : -1;
}

void GroupWrites::transactionBegun()
{
    m_changesAtBegin = changesMade();
}

bool GroupWrites::backToGroupStart(QString* error)
{
    if (!m_bare) {
        return run(m_db.dialect().rollbackToSavepoint(kGroupSavepoint), nullptr);
    }
    QSqlDatabase db = m_db.database();
    sqlite3* connection = SqliteStatements::connectionOf(db);
    if (!connection || sqlite3_get_autocommit(connection)) {
        return false; // SQLite ended the transaction itself (a full disk, a failed write)
    }
    // Inside the write lock nobody else commits: the count is the one of the transaction's start.
    const qint64 seen = SqliteDialect::dataVersion(db);
    m_db.rollback();
    if (!sqlite3_get_autocommit(connection)) {
        m_db.adoptTransaction(); // the rollback did not go through: still there, to be rolled back as lost
        return false;
    }
    if (!m_db.beginTransaction(error, true)) {
        return false;
    }
    if (seen < 0 || SqliteDialect::dataVersion(db) != seen) {
        if (error) {
            *error = QStringLiteral("un'altra postazione ha scritto sul database mentre le righe del gruppo "
                                    "venivano riprese una per una");
        }
        return false;
    }
    return true;
}

SqliteStatements* GroupWrites::sqliteStatements()
{
    if (!m_sqlite && m_db.dialect().kind() == SqlDialect::Kind::SQLite) {
        if (sqlite3* connection = SqliteStatements::connectionOf(m_db.database())) {
            m_sqlite = std::make_unique<SqliteStatements>(connection);
        }
    }
    return m_sqlite.get();
}

void GroupWrites::clearBehind()
{
    m_behindImages.clear();
    m_behindChanges.clear();
    m_behind.clear();
}

void GroupWrites::clear()
{
    m_ops.clear();
    clearBehind();
    m_laterOps.clear();
    m_aside.clear();
    m_refusals.clear();
    m_refusedAt.clear();
    m_sent = 0;
    m_groupSavepoint = false;
    m_bare = false;
    m_changesAtBegin = -1;
    m_lastKeys.clear();
}

QList<QList<qsizetype>> GroupWrites::byShape(const QList<Image>& images)
{
    QList<QList<qsizetype>> groups; // in the order their shapes came
    QHash<QString, qsizetype> byShape;
    // Record access hands the same list of fields to every write of a shape, so most images share
    // it: found by its address, the shape's text is built once per list, not once per record.
    QHash<const QString*, qsizetype> byList;
    const auto sameShape = [](const Image& a, const Image& b) {
        return a.fieldList() == b.fieldList() && a.op->table == b.op->table && a.op->keyField == b.op->keyField;
    };
    for (qsizetype i = 0; i < images.size(); ++i) {
        const Image& image = images[i];
        const QString* list = image.fieldList().constData();
        if (const auto known = byList.constFind(list);
            known != byList.constEnd() && sameShape(images[groups[*known].first()], image)) {
            groups[*known].append(i);
            continue;
        }
        const QString shape
            = image.op->table + QChar(0) + image.op->keyField + QChar(0) + image.fieldList().join(QChar(0));
        auto it = byShape.constFind(shape);
        if (it == byShape.constEnd()) {
            it = byShape.insert(shape, groups.size());
            groups.append(QList<qsizetype>());
        }
        groups[*it].append(i);
        byList.insert(list, *it);
    }
    return groups;
}

void GroupWrites::compose(const QList<Op>& ops, qsizetype from, QList<Image>* imagesOut, QList<Image>* changesOut)
{
    // The new records with their final values, by table and set of fields, in the order they came.
    // The changes of records that were there before likewise: one image a record, with the final
    // value of every field the lines changed.
    QList<Image>& images = *imagesOut;
    QList<Image>& changes = *changesOut;
    // By table: key → image, key → change. A job writes to a few tables: a short list is
    // searched faster than a table name is hashed.
    struct TableKeys
    {
        QString table;
        QHash<qint64, qsizetype> created;
        QHash<qint64, qsizetype> changed;
    };
    std::vector<TableKeys> tables;
    const auto keysOf = [&tables](const QString& table) -> TableKeys& {
        for (TableKeys& t : tables) {
            if (t.table == table) {
                return t;
            }
        }
        return tables.emplace_back(TableKeys { table, {}, {} });
    };
    // The records of a table mostly go through the same writes, so the same two lists of fields
    // meet again and again: their union is worked out once, and the images that come from it
    // share its list (which byShape then finds by its address). Each entry keeps the lists it was
    // made from, so no other list can take their addresses meanwhile.
    struct Union
    {
        QStringList from;
        QStringList with;
        QStringList fields;
        QList<qsizetype> at; // where each of `with`'s values goes
    };
    QHash<std::pair<const QString*, const QString*>, Union> unions;
    const auto merge = [&unions](Image& image, const Op& op) {
        const std::pair<const QString*, const QString*> lists { image.fieldList().constData(), op.fields.constData() };
        auto known = unions.constFind(lists);
        if (known == unions.constEnd()) {
            Union u { image.fieldList(), op.fields, image.fieldList(), {} };
            for (const QString& f : op.fields) {
                qsizetype pos = u.fields.indexOf(f);
                if (pos < 0) {
                    pos = u.fields.size();
                    u.fields.append(f);
                }
                u.at.append(pos);
            }
            known = unions.insert(lists, u);
        }
        image.fields = known->fields;
        if (image.merged.isEmpty()) {
            image.merged.reserve(known->fields.size());
            for (const QVariant& v : image.op->values) {
                image.merged.append(&v);
            }
        }
        // (Every field the union adds is one of this write's, so no room stays empty.)
        image.merged.resize(known->fields.size());
        for (qsizetype f = 0; f < known->at.size(); ++f) {
            image.merged[known->at[f]] = op.values.constData() + f;
        }
    };
    for (qsizetype i = from; i < ops.size(); ++i) {
        const Op& op = ops[i];
        if (op.dropped) {
            continue;
        }
        TableKeys& keys = keysOf(op.table);
        if (op.insert) {
            keys.created.insert(op.key, images.size());
            images.append({ &op, {}, {}, {} });
            continue;
        }
        const qsizetype at = keys.created.value(op.key, -1);
        if (at >= 0) {
            merge(images[at], op);
            continue;
        }
        auto& byKey = keys.changed;
        const auto it = byKey.constFind(op.key);
        if (it == byKey.constEnd()) {
            byKey.insert(op.key, changes.size());
            changes.append({ &op, {}, {}, {} });
        } else {
            merge(changes[*it], op);
        }
    }
}

void GroupWrites::Image::ownValues()
{
    if (merged.isEmpty()) {
        if (fields.isEmpty() && values.isEmpty()) {
            fields = op->fields;
            values = op->values;
        }
        return;
    }
    QVector<QVariant> own;
    own.reserve(merged.size());
    for (const QVariant* v : std::as_const(merged)) {
        own.append(*v);
    }
    values = std::move(own);
    merged.clear();
}

QStringList GroupWrites::columnsOf(const SqlDialect& d, const Image& image)
{
    QStringList names { d.quoteName(image.op->keyField) };
    for (const QString& f : image.fieldList()) {
        names << d.quoteName(f);
    }
    return names;
}

SqlDialect::CopyBlock GroupWrites::copyBlock(
    const QList<Image>& images, const QList<qsizetype>& rows, const QStringList& names)
{
    SqlDialect::CopyText text(rows.size() * 16 * names.size());
    for (const qsizetype at : rows) {
        const Image& image = images[at];
        SqlDialect::copyValue(&text, image.op->key);
        for (qsizetype v = 0; v < image.size(); ++v) {
            text.append('\t');
            SqlDialect::copyValue(&text, image.value(v));
        }
        text.append('\n');
    }
    return { images[rows.first()].op->table, names, text.take() };
}

bool GroupWrites::takeForBehind(QList<SqlDialect::CopyBlock>* blocks)
{
    const SqlDialect& d = m_db.dialect();
    if (!d.copiesRows() || m_sent > 0) {
        return false;
    }
    QList<Image> images;
    QList<Image> changes;
    compose(m_ops, m_sent, &images, &changes);
    if (!changes.isEmpty()) {
        return false; // records that were there before: written as the group is written otherwise
    }
    for (const QList<qsizetype>& rows : byShape(images)) {
        blocks->append(copyBlock(images, rows, columnsOf(d, images[rows.first()])));
    }
    // Kept until the group has its answer: a refused group is written again line by line.
    // (Swapped: the next group's writes go into the room the last group's left.)
    m_behind.clear();
    m_behind.swap(m_ops);
    m_groupSavepoint = false;
    return true;
}

QString GroupWrites::behindSavepoint()
{
    return kGroupSavepoint;
}

QString GroupWrites::behindOpening(int* statements) const
{
    *statements = 2;
    return QStringLiteral("BEGIN; ") + m_db.dialect().savepoint(kGroupSavepoint);
}

GroupWrites::Outcome GroupWrites::replayBehind(QString* error, Refusal* refusal)
{
    // The group's transaction is open at its savepoint, the writes of the lines after it are held.
    m_behindImages.clear();
    m_behindChanges.clear();
    QList<Op> later = std::exchange(m_ops, std::move(m_behind));
    m_behind.clear();
    m_sent = 0;
    m_groupSavepoint = true;
    m_sending = true;
    Outcome outcome = Outcome::Lost;
    if (run(m_db.dialect().rollbackToSavepoint(kGroupSavepoint), nullptr)) {
        outcome = replay(error, refusal);
    }
    m_sending = false;
    if (outcome == Outcome::Sent) {
        // Nothing refused this time: the group is whole in the transaction, the lines after it
        // go on from where they were.
        m_sent = m_ops.size();
        m_laterOps = std::move(later);
    }
    return outcome;
}

void GroupWrites::resumeLater()
{
    m_ops = std::move(m_laterOps);
    m_laterOps.clear();
    m_sent = 0;
    m_groupSavepoint = false;
}

QList<GroupWrites::Chunk> GroupWrites::insertChunks(const Image& first, const QStringList& names, qsizetype rows)
{
    const SqlDialect& d = m_db.dialect();
    const qsizetype columns = names.size();
    const qsizetype most
        = qsizetype(std::bit_floor(quint64(std::max<qsizetype>(1, std::min(kMaxRows, kMaxValues / columns)))));
    // On SQLite "OR FAIL": a refused INSERT keeps the rows before the refused one instead of
    // copying every page it changes into a journal of its own first. A refused group is taken
    // back whole anyway (to its savepoint, or its transaction begun again).
    const QString head = QStringLiteral("INSERT %1INTO %2 (%3) VALUES ")
                             .arg(d.kind() == SqlDialect::Kind::SQLite ? QStringLiteral("OR FAIL ") : QString(),
                                 d.quoteName(first.op->table), names.join(QStringLiteral(", ")));
    QList<Chunk> chunks;
    qsizetype done = 0;
    while (done < rows) {
        // Chunks of a power of two rows: a few statement texts per table, each prepared once.
        qsizetype chunk = most;
        while (chunk > rows - done) {
            chunk /= 2;
        }
        // The text of a chunk is made once a run: each group sends the same few.
        const QString shape = head + QLatin1Char('#') + QString::number(chunk);
        auto made = m_insertSql.constFind(shape);
        if (made == m_insertSql.constEnd()) {
            const QString tuple = QLatin1Char('(') + QStringLiteral("?, ").repeated(columns - 1) + QStringLiteral("?)");
            QStringList tuples;
            tuples.reserve(chunk);
            for (qsizetype i = 0; i < chunk; ++i) {
                tuples << tuple;
            }
            const QString text = head + tuples.join(QStringLiteral(", "));
            made = m_insertSql.insert(shape, { text, d.translate(text) });
        }
        chunks.append({ *made, done, chunk });
        done += chunk;
    }
    return chunks;
}

bool GroupWrites::runChunk(SqliteStatements* own, sqlite3_stmt* s, const QList<Image>& images,
    const QList<qsizetype>& rows, const Chunk& chunk, QString* why)
{
    int pos = 0;
    for (qsizetype i = chunk.from; i < chunk.from + chunk.count; ++i) {
        const Image& image = images[rows[i]];
        SqliteStatements::bindInteger(s, pos++, image.op->key);
        for (qsizetype v = 0; v < image.size(); ++v) {
            own->bindKept(s, pos++, image.value(v));
        }
    }
    return own->run(s, why);
}

bool GroupWrites::takeInsertsForBehind(SqlDialect::BehindGroup* group)
{
    SqliteStatements* own = sqliteStatements();
    if (!own || m_sent > 0) {
        return false;
    }
    // Kept until the group has its answer: a refused group is written again line by line.
    // (Swapped: the next group's writes go into the room the last group's left.)
    clearBehind();
    m_behind.swap(m_ops); // (the writes stay where they are: the images will point at them)
    m_groupSavepoint = false;
    group->writes = [this, own](QString* refused) { return writeBehind(own, refused); };
    group->committedWrites = [this] { clearBehind(); };
    return true;
}

bool GroupWrites::writeBehind(SqliteStatements* own, QString* error)
{
    // On the other thread: this touches the group's writes, the INSERT texts and SQLite's own
    // statements, which the run's thread leaves alone until the group has its answer.
    const SqlDialect& d = m_db.dialect();
    m_behindImages.clear();
    m_behindChanges.clear();
    compose(m_behind, 0, &m_behindImages, &m_behindChanges);
    const QList<Image>& images = m_behindImages;
    for (const QList<qsizetype>& rows : byShape(images)) {
        const Image& first = images[rows.first()];
        for (const Chunk& chunk : insertChunks(first, columnsOf(d, first), rows.size())) {
            sqlite3_stmt* s = own->prepared(chunk.sql.second, error);
            if (!s) {
                return false;
            }
            QString why;
            if (!runChunk(own, s, images, rows, chunk, &why)) {
                *error = QStringLiteral("%1 nella tabella %2").arg(why, first.op->table);
                return false;
            }
        }
    }
    return sendChanges(m_behindChanges, error);
}

bool GroupWrites::sendComposed(QString* error, const QString& leading, bool* leadingDone)
{
    const SqlDialect& d = m_db.dialect();
    QList<Image> images;
    QList<Image> changes;
    compose(m_ops, m_sent, &images, &changes);
    // The statement that leads the group's writes (its savepoint) goes before the first of them.
    const auto lead = [&]() {
        if (leading.isEmpty() || *leadingDone) {
            return true;
        }
        *leadingDone = run(leading, error);
        return *leadingDone;
    };
    QList<SqlDialect::CopyBlock> copies;
    for (const QList<qsizetype>& rows : byShape(images)) {
        const Image& first = images[rows.first()];
        const QStringList names = columnsOf(d, first);
        if (d.copiesRows()) {
            // The server's own bulk load: one COPY of the table's rows of this shape, all of them
            // sent below in one query.
            copies.append(copyBlock(images, rows, names));
            continue;
        }
        if (!lead()) {
            return false;
        }
        for (const Chunk& chunk : insertChunks(first, names, rows.size())) {
            if (SqliteStatements* own = sqliteStatements()) {
                sqlite3_stmt* s = own->prepared(chunk.sql.second, error);
                if (!s) {
                    return false;
                }
                QString why;
                if (!runChunk(own, s, images, rows, chunk, &why)) {
                    if (error) {
                        *error = QStringLiteral("%1 nella tabella %2").arg(why, first.op->table);
                    }
                    return false;
                }
                continue;
            }
            QSqlQuery* q = m_db.statement(chunk.sql.first, error);
            if (!q) {
                return false;
            }
            int pos = 0;
            for (qsizetype i = chunk.from; i < chunk.from + chunk.count; ++i) {
                const Image& image = images[rows[i]];
                q->bindValue(pos++, image.op->key);
                for (qsizetype v = 0; v < image.size(); ++v) {
                    q->bindValue(pos++, bound(d, image.value(v)));
                }
            }
            const bool ok = q->exec();
            if (!ok && error) {
                *error = QStringLiteral("%1 nella tabella %2").arg(sqlError(*q), first.op->table);
            }
            q->finish();
            if (!ok) {
                return false;
            }
        }
    }
    if (!copies.isEmpty()) {
        const QString withCopies = *leadingDone ? QString() : leading;
        qsizetype went = 0;
        QString why;
        QSqlDatabase db = m_db.database();
        const bool copied = d.copyIn(db, withCopies, copies, &went, &why);
        *leadingDone = *leadingDone || withCopies.isEmpty() || went > 0;
        if (!copied) {
            const qsizetype refused = went - (withCopies.isEmpty() ? 0 : 1);
            if (error) {
                *error = refused >= 0 && refused < copies.size()
                    ? QStringLiteral("%1 nella tabella %2").arg(why, copies[refused].table)
                    : why;
            }
            return false;
        }
    }
    return lead() && sendChanges(changes, error);
}

bool GroupWrites::sendChanges(QList<Image>& changes, QString* error)
{
    const SqlDialect& d = m_db.dialect();
    for (Image& change : changes) {
        change.ownValues(); // put in order, or handed on as lists, below
    }
    if (d.updatesRows()) {
        // A statement a table.
        QList<const Op*> tables; // the first change of each
        QHash<QString, QList<SqlDialect::RowChange>> byTable;
        for (const Image& change : std::as_const(changes)) {
            auto it = byTable.find(change.op->table);
            if (it == byTable.end()) {
                tables.append(change.op);
                it = byTable.insert(change.op->table, {});
            }
            it->append({ change.op->key, &change.fields, &change.values });
        }
        for (const Op* first : std::as_const(tables)) {
            const QString& table = first->table;
            QString why;
            QSqlDatabase db = m_db.database();
            if (!d.updateRows(db, table, first->keyField, byTable[table], &why)) {
                if (error) {
                    *error = QStringLiteral("%1 nella tabella %2").arg(why, table);
                }
                return false;
            }
        }
        return true;
    }
    // By table and set of fields; the fields of each in one order, so records whose lines
    // changed the same fields in another order go together. A list of fields that several records
    // share is put in order once, and they share the ordered one (byShape then finds it by its
    // address). The lists met are kept meanwhile, so no address is met twice for two lists.
    struct Ordered
    {
        QStringList met;
        QStringList fields;
        QList<qsizetype> order; // empty: already in order
    };
    QHash<const QString*, Ordered> ordered;
    for (Image& change : changes) {
        const QStringList& fields = change.fields; // (read only: a shared list is not copied)
        auto it = ordered.find(fields.constData());
        if (it == ordered.end()) {
            Ordered o { fields, fields, {} };
            if (!std::is_sorted(fields.cbegin(), fields.cend())) {
                o.order.resize(fields.size());
                std::iota(o.order.begin(), o.order.end(), 0);
                std::sort(o.order.begin(), o.order.end(),
                    [&fields](qsizetype a, qsizetype b) { return fields.at(a) < fields.at(b); });
                o.fields.clear();
                for (const qsizetype at : std::as_const(o.order)) {
                    o.fields << fields.at(at);
                }
            }
            it = ordered.insert(fields.constData(), std::move(o));
        }
        if (!it->order.isEmpty()) {
            QVector<QVariant> values;
            values.reserve(change.values.size());
            for (const qsizetype at : std::as_const(it->order)) {
                values << change.values.at(at);
            }
            change.values = std::move(values);
        }
        change.fields = it->fields;
    }
    for (const QList<qsizetype>& rows : byShape(changes)) {
        const Image& first = changes[rows.first()];
        const QString& table = first.op->table;
        const auto refused = [&](const QString& why) {
            if (error) {
                *error = QStringLiteral("%1 nella tabella %2").arg(why, table);
            }
            return false;
        };
        SqliteStatements* own = sqliteStatements();
        if (!own) {
            for (const qsizetype at : rows) {
                Op op = *changes[at].op;
                op.fields = changes[at].fields;
                op.values = changes[at].values;
                if (!execSingle(op, error)) {
                    return false;
                }
            }
            continue;
        }
        // One statement prepared once, run for each record.
        QStringList names;
        for (const QString& f : first.fields) {
            names << d.quoteName(f);
        }
        sqlite3_stmt* s = own->prepared(d.translate(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ?")
                                                        .arg(d.quoteName(table), names.join(QStringLiteral(" = ?, ")),
                                                            d.quoteName(first.op->keyField))),
            error);
        if (!s) {
            return false;
        }
        for (const qsizetype at : rows) {
            const Image& change = changes[at];
            int pos = 0;
            for (const QVariant& v : change.values) {
                own->bindKept(s, pos++, v);
            }
            SqliteStatements::bindInteger(s, pos, change.op->key);
            QString why;
            if (!own->run(s, &why)) {
                return refused(why);
            }
        }
    }
    return true;
}

bool GroupWrites::execSingle(const Op& op, QString* error)
{
    const SqlDialect& d = m_db.dialect();
    QStringList names;
    for (const QString& f : op.fields) {
        names << d.quoteName(f);
    }
    QString sql;
    if (op.insert) {
        names.prepend(d.quoteName(op.keyField));
        sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(d.quoteName(op.table), names.join(QStringLiteral(", ")),
                      QStringLiteral("?, ").repeated(names.size() - 1) + QLatin1Char('?'));
    } else {
        sql = QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ?")
                  .arg(d.quoteName(op.table), names.join(QStringLiteral(" = ?, ")), d.quoteName(op.keyField));
    }
    QSqlQuery* q = m_db.statement(sql, error);
    if (!q) {
        return false;
    }
    int pos = 0;
    if (op.insert) {
        q->bindValue(pos++, op.key);
    }
    for (const QVariant& v : op.values) {
        q->bindValue(pos++, bound(d, v));
    }
    if (!op.insert) {
        q->bindValue(pos++, op.key);
    }
    const bool ok = q->exec();
    if (!ok && error) {
        *error = QStringLiteral("%1 nella tabella %2").arg(sqlError(*q), op.table);
    }
    q->finish();
    return ok;
}

GroupWrites::Outcome GroupWrites::send(QString* error, Refusal* refusal)
{
    if (!hasUnsent()) {
        return Outcome::Sent;
    }
    m_sending = true;
    const auto done = [this](Outcome outcome) {
        m_sending = false;
        return outcome;
    };
    const SqlDialect& d = m_db.dialect();
    if (!m_groupSavepoint && !m_bare && m_sent == 0 && !m_collecting && !m_reserveKeys && m_changesAtBegin >= 0
        && m_db.inTransaction()) {
        // SQLite: nothing but the group's writes in the transaction since it began (transactionBegun).
        m_bare = changesMade() == m_changesAtBegin;
    }
    // The group's savepoint goes with its first writes (in the same query as its COPYs).
    const QString leading = m_groupSavepoint || m_bare ? QString() : d.savepoint(kGroupSavepoint);
    bool leadingDone = false;
    QString composedError;
    const bool sent = sendComposed(&composedError, leading, &leadingDone);
    m_groupSavepoint = m_groupSavepoint || leadingDone;
    if (sent) {
        m_sent = m_ops.size();
        return done(Outcome::Sent);
    }
    if (!m_groupSavepoint && !m_bare) {
        // Nothing of the group was written: without its savepoint it cannot be taken back alone.
        if (error) {
            *error = composedError;
        }
        return done(Outcome::Lost);
    }
    // Refused, or the server went away: only a server that answers takes the group back.
    QString why;
    if (!backToGroupStart(&why)) {
        if (error) {
            *error = why.isEmpty() ? composedError : QStringLiteral("%1 (%2)").arg(composedError, why);
        }
        return done(Outcome::Lost);
    }
    return done(replay(error, refusal));
}

GroupWrites::Outcome GroupWrites::replay(QString* error, Refusal* refusal)
{
    const SqlDialect& d = m_db.dialect();
    // Every write of the group again, one line at a time, each under its savepoint; a case's lines
    // under the case's as well.
    qint64 line = -1;
    qint64 reading = -1;
    qint64 unit = 0;
    qsizetype lineStart = 0;
    qsizetype unitStart = 0;
    bool lineRefused = false; // a check's line refused: its savepoint is gone, its other writes dropped
    bool unitRefused = false; // a check's case with a line refused: taken back at its end
    const auto endUnit = [&](qsizetype end) {
        if (unit == 0) {
            return true;
        }
        if (unitRefused) {
            for (qsizetype i = unitStart; i < end; ++i) {
                m_ops[i].dropped = true;
            }
            if (!run(d.rollbackToSavepoint(kUnitSavepoint), error)) {
                return false;
            }
        }
        return run(d.releaseSavepoint(kUnitSavepoint), error);
    };
    for (qsizetype i = 0; i < m_ops.size(); ++i) {
        Op& op = m_ops[i];
        if (op.dropped) {
            continue;
        }
        if (op.line != line || op.reading != reading || op.unitFirst != unit) {
            if (line >= 0 && !lineRefused && !run(d.releaseSavepoint(kLineSavepoint), error)) {
                return Outcome::Lost;
            }
            if (op.unitFirst != unit) {
                if (!endUnit(i) || (op.unitFirst != 0 && !run(d.savepoint(kUnitSavepoint), error))) {
                    return Outcome::Lost;
                }
                unit = op.unitFirst;
                unitStart = i;
                unitRefused = false;
            }
            if (!run(d.savepoint(kLineSavepoint), error)) {
                return Outcome::Lost;
            }
            line = op.line;
            reading = op.reading;
            lineStart = i;
            lineRefused = false;
        }
        if (lineRefused) {
            op.dropped = true;
            continue;
        }
        QString why;
        if (execSingle(op, &why)) {
            continue;
        }
        if (m_collecting) {
            // A check notes the line and goes on with the next one.
            if (!run(d.rollbackToSavepoint(kLineSavepoint), nullptr)
                || !run(d.releaseSavepoint(kLineSavepoint), nullptr)) {
                if (error) {
                    *error = why;
                }
                return Outcome::Lost;
            }
            m_refusals.append({ op.reading, unit, unit != 0 ? unit : op.line, why, false });
            m_refusedAt.append(i);
            for (qsizetype j = lineStart; j <= i; ++j) {
                m_ops[j].dropped = true;
            }
            lineRefused = true;
            unitRefused = unit != 0;
            continue;
        }
        if (!run(d.rollbackToSavepoint(kLineSavepoint), nullptr)
            || (unit != 0 && !run(d.rollbackToSavepoint(kUnitSavepoint), nullptr))) {
            if (error) {
                *error = why;
            }
            return Outcome::Lost;
        }
        // What stays: the writes of the lines before the refused line's case (or the line).
        const qint64 cut = unit != 0 ? unit : op.line;
        qsizetype keep = 0;
        while (keep < m_ops.size() && m_ops[keep].line < cut) {
            ++keep;
        }
        m_ops.remove(keep, m_ops.size() - keep);
        m_sent = m_ops.size();
        *refusal = { op.reading, unit, cut, why };
        if (error) {
            *error = why;
        }
        return Outcome::Refused;
    }
    // Line by line the database takes every write (a rule that only the composed rows broke), or
    // a check has noted each line it refused.
    if ((line >= 0 && !lineRefused && !run(d.releaseSavepoint(kLineSavepoint), error)) || !endUnit(m_ops.size())) {
        return Outcome::Lost;
    }
    m_sent = m_ops.size();
    return Outcome::Sent;
}

} // namespace zb32
