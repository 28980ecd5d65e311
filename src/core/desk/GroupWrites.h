// The writes of one group of input lines, held until the group is committed and then sent in as
// few statements as the database takes: the new records of a table as multi-row INSERTs (a record
// created and then changed by later lines of the group goes as one row with its final values),
// the changes of records that were there before one by one. New records get their keys at once,
// so the lines after them can refer to them: on PostgreSQL from the key's sequence, a block at a
// time; on SQLite the next free keys, counted inside the transaction's write lock.
//
// When the database refuses a group, it is taken back to where the group began and its writes are
// replayed line by line, each line under its own savepoint, as every line was written before the
// writes were grouped: the first refused line is found with the database's own words, and what the
// lines before it wrote (up to the start of its case) stays. A check's group (setCollecting) goes
// on past a refused line to the group's end, so every line the database would refuse is found.
#pragma once

#include "core/desk/SqlDialect.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <array>
#include <functional>
#include <memory>

class QSqlQuery;
struct sqlite3_stmt;

namespace zb32 {

class CaseDatabase;
class SqliteStatements;

class GroupWrites
{
public:
    explicit GroupWrites(CaseDatabase& db);
    ~GroupWrites();

    // Whether the records of `table` can wait for the group: its new records get keys ahead of
    // their INSERT.
    bool takes(const QString& table, const QString& keyField);
    // A key for a new record of `table`; false with the reason when the database cannot be asked.
    bool newKey(const QString& table, const QString& keyField, qint64* key, QString* error);

    // Writes held for the group; `fields` and `values` (as bound, see FieldCodec::toStorage) in
    // the same order, without the key.
    void insert(const QString& table, const QString& keyField, qint64 key, const QStringList& fields,
        QVector<QVariant>&& values);
    void update(const QString& table, const QString& keyField, qint64 key, const QStringList& fields,
        QVector<QVariant>&& values);

    // The input line the next writes belong to, the first line of its case (0 when none), and
    // the line the run is reading as it makes them (a refusal names it).
    void setLine(qint64 line, qint64 unitFirst, qint64 reading)
    {
        m_line = line;
        m_unitFirst = unitFirst;
        m_reading = reading;
    }
    // Whether record access hands its writes to the group now (inside a line).
    bool accepting() const { return m_accepting; }
    void setAccepting(bool accepting) { m_accepting = accepting; }

    qsizetype size() const { return m_ops.size(); }
    bool hasUnsent() const { return m_sent < m_ops.size(); }
    bool isSending() const { return m_sending; }
    // Takes back the writes from the `from`-th on. Those already sent are taken back in the
    // database too (back to the group's start, the rest sent again later); false when that fails
    // (the transaction is gone).
    bool takeBack(qsizetype from);

    struct Refusal
    {
        qint64 line = 0; // the line the run was reading when it made the first write refused
        qint64 unitFirst = 0; // the first line of its case, 0 when it is in none
        qint64 cut = 0; // the first line whose writes are dropped
        QString error;
        // A check's refusal of a write the run had taken back already (its case had a bad line).
        bool takenBack = false;
    };
    enum class Outcome { Sent, Refused, Lost };
    // Sends what is not sent yet. Refused: the writes before the refused line's case (or line) are
    // in the database, the others are dropped. Lost: the transaction is gone.
    Outcome send(QString* error, Refusal* refusal);
    // The group's transaction ended (committed or rolled back): nothing is held any more.
    void clear();
    // The group's transaction was just begun (WriteBatch). On SQLite what the connection has
    // changed so far is noted: when the group's writes are all the transaction holds, they go
    // without a savepoint (SQLite would keep the earlier content of every page they change), and
    // taking them back rolls the transaction back whole and begins it again, in turn with other
    // desks. That holds only if no other desk committed in between: what the lines read and the
    // keys they took may have changed, so the transaction counts as lost (its first line named).
    void transactionBegun();

    // A group sent behind the run (WriteBatch::setCommitBehind). Where the group holds only new
    // records, its COPY blocks; the writes are then kept aside until the group has its answer,
    // and the next lines' writes are held as a new group. False (nothing changed) otherwise.
    bool takeForBehind(QList<SqlDialect::CopyBlock>* blocks);
    // What opens such a group's transaction, with its savepoint (`statements`: how many).
    QString behindOpening(int* statements) const;
    // The savepoint such a group's writes begin at, where it is set apart from its opening (SQLite).
    static QString behindSavepoint();
    // The group sent behind was refused: its transaction is open at its savepoint. Its writes are
    // written again line by line, as `send` does after a refusal. Refused or Lost: the writes held
    // since are dropped. Sent: they are kept for resumeLater, once the group is committed.
    Outcome replayBehind(QString* error, Refusal* refusal);
    void resumeLater();
    // The group sent behind was committed.
    void clearBehind();
    // SQLite, a group sent behind: `group->writes` composes it and writes it on another thread as
    // `send` would (multi-row INSERTs, changes on prepared statements), and the writes are kept
    // aside as takeForBehind keeps them; once the group is committed they are let go there too,
    // off the run's thread (the desk's, which reads and holds the lines, is the longer of the
    // two). False (nothing changed) where the group cannot go that way.
    bool takeInsertsForBehind(SqlDialect::BehindGroup* group);
    // Asked before new keys are fetched from the database. `reserving` false: the table's keys
    // cannot be reserved ahead (SQLite without AUTOINCREMENT), so groups are no longer sent behind.
    void setBeforeKeys(std::function<bool(bool reserving, QString*)> before) { m_beforeKeys = std::move(before); }
    // Fetches keys for the tables that have fewer at hand than the group that ends took.
    bool stockKeys(QString* error);
    // SQLite, groups sent behind: new keys come from blocks reserved in the table's AUTOINCREMENT
    // counter (sqlite_sequence) inside a write lock, so the lines after a group take keys while it
    // is written, and no other writer (another desk, the collection system) is handed them. Off:
    // the next free keys are counted inside the group's own write lock.
    void setReservingKeys(bool on) { m_reserveKeys = on; }
    // The reserved keys no line took go back to the counter, where nobody took keys after them
    // (at the run's end, inside a write lock).
    bool returnKeys(QString* error);
    bool holdsReservedKeys() const;

    // A check's group: a refused write does not end it. The replay goes on to the group's end;
    // each refused line is kept (takeRefusals), its writes are dropped and, at the end of its
    // case, the rest of the case's writes too, as the case would not be saved.
    void setCollecting(bool collecting) { m_collecting = collecting; }
    // Takes the writes from the `from`-th on out of the group as takeBack does, but keeps them to
    // be tried when the group ends (tryAside): a check lists what the database would refuse of a
    // case it takes back for a bad line as well. Only while collecting.
    bool setAside(qsizetype from);
    // Tries the writes set aside, a case at a time under a savepoint taken back at once; what is
    // refused joins the refusals, marked `takenBack`.
    Outcome tryAside(QString* error);
    QList<Refusal> takeRefusals();

private:
    struct Op
    {
        bool insert = false;
        qint64 line = 0;
        qint64 unitFirst = 0;
        qint64 reading = 0;
        QString table;
        QString keyField;
        qint64 key = 0;
        QStringList fields;
        QVector<QVariant> values;
        bool dropped = false; // a check's write the database refused, or of a case refused
    };
    struct Sequence
    {
        bool known = false;
        QString name; // empty: the table has no key the database hands out ahead
        QList<qint64> keys; // handed out, not used yet
        int block = 16;
        QString storedName; // SQLite: the table's name as the file spells it
        bool reservable = false; // SQLite: the table has an AUTOINCREMENT counter
        qint64 reservedEnd = 0; // SQLite: the last key this run reserved
        qsizetype usedInGroup = 0; // keys handed out since the last stockKeys
    };

    // A record's writes of the group in one: its final value of every field they set. A record
    // only one write made is that write's fields and values; once later writes change it, its
    // fields are their union, and where each final value is in the writes (which stay where
    // they are while the image is there). No value is copied, nor let go again, on the way.
    struct Image
    {
        const Op* op;
        QStringList fields; // empty: the first write's
        QVector<QVariant> values; // of its own (ownValues); empty: the first write's, or `merged`
        QVector<const QVariant*> merged;

        const QStringList& fieldList() const { return fields.isEmpty() ? op->fields : fields; }
        qsizetype size() const
        {
            return !merged.isEmpty() ? merged.size() : values.isEmpty() ? op->values.size() : values.size();
        }
        const QVariant& value(qsizetype i) const
        {
            return !merged.isEmpty() ? *merged.at(i) : values.isEmpty() ? op->values.at(i) : values.at(i);
        }
        // The fields and final values as lists of its own (for a statement that takes them so).
        void ownValues();
    };

    // The records of each table and set of fields (the indexes in `images`), in the order they came.
    static QList<QList<qsizetype>> byShape(const QList<Image>& images);
    // The writes of `ops` from the `from`-th on, one image a record: new records, changes of others.
    static void compose(const QList<Op>& ops, qsizetype from, QList<Image>* images, QList<Image>* changes);
    // SQLite, on the thread of a group sent behind: its writes, as `send` writes them.
    bool writeBehind(SqliteStatements* own, QString* error);
    // The columns an image is written to, quoted: its key, then its fields.
    static QStringList columnsOf(const SqlDialect& d, const Image& image);
    // The COPY rows of the images at `rows` (one table and set of fields), its columns `names`.
    static SqlDialect::CopyBlock copyBlock(
        const QList<Image>& images, const QList<qsizetype>& rows, const QStringList& names);
    // A multi-row INSERT of `count` rows from the `from`-th of a shape's: its text as written and
    // as the database takes it.
    struct Chunk
    {
        std::pair<QString, QString> sql;
        qsizetype from;
        qsizetype count;
    };
    // The INSERTs of `rows` records of one shape, a power of two rows each, whose columns are `names`.
    QList<Chunk> insertChunks(const Image& first, const QStringList& names, qsizetype rows);
    // Binds a chunk's rows (`rows`: the indexes in `images`) to SQLite's statement and runs it.
    static bool runChunk(SqliteStatements* own, sqlite3_stmt* s, const QList<Image>& images,
        const QList<qsizetype>& rows, const Chunk& chunk, QString* why);
    // `leading` (when not empty) runs before the first write; `leadingDone` tells whether it did.
    bool sendComposed(QString* error, const QString& leading, bool* leadingDone);
    Sequence& sequence(const QString& table);
    // `count` keys more for `s` from its sequence, in one round trip.
    bool fetchKeys(const QString& table, Sequence& s, qsizetype count, QString* error);
    // SQLite: `count` keys more for `s`, reserved in the table's counter inside the open transaction.
    bool reserveKeys(Sequence& s, qsizetype count, QString* error);
    // Runs `sql` (in the case database's names) with `values`: the statement, to read and then
    // finish, or nullptr with the database's words, for `table`, when it is refused.
    QSqlQuery* runWith(const QString& sql, const QVariantList& values, const QString& table, QString* error);
    // SQLite: keys reserved and not taken yet.
    static bool hasUnusedKeys(const Sequence& s);
    // SQLite: the next free key, counted inside the group's write lock.
    bool nextFreeKey(const QString& table, const QString& keyField, Sequence& s, qint64* key, QString* error);
    // The changes of records that were there before, a statement for all of a shape where the
    // database takes that.
    bool sendChanges(QList<Image>& changes, QString* error);
    bool execSingle(const Op& op, QString* error);
    Outcome replay(QString* error, Refusal* refusal);
    bool run(const QString& sql, QString* error);
    // SQLite's own statements for the multi-row INSERTs, nullptr on other databases.
    SqliteStatements* sqliteStatements();
    // SQLite: the rows the connection has changed since it opened (sqlite3_total_changes64); -1
    // elsewhere.
    qint64 changesMade() const;
    // The group's writes in the database taken back: to its savepoint, or (without one) by
    // beginning the transaction again. False when the transaction is gone.
    bool backToGroupStart(QString* error);
    // Marks the refusals of the writes from the `from`-th on as taken back.
    void refusalsTakenBack(qsizetype from);

    CaseDatabase& m_db;
    QList<Op> m_ops;
    qsizetype m_sent = 0;
    bool m_groupSavepoint = false;
    bool m_bare = false; // SQLite: the group's writes went without a savepoint (transactionBegun)
    qint64 m_changesAtBegin = -1; // SQLite: changesMade() as the group's transaction began
    bool m_sending = false;
    bool m_accepting = false;
    bool m_collecting = false;
    QList<Op> m_aside;
    QList<Op> m_behind; // the writes of the group sent behind, until its answer
    // SQLite: the records they come to, composed, written and let go on the other thread.
    QList<Image> m_behindImages;
    QList<Image> m_behindChanges;
    QList<Op> m_laterOps; // the lines' after it, while it is committed after a replay
    std::function<bool(bool, QString*)> m_beforeKeys;
    bool m_reserveKeys = false;
    QList<Refusal> m_refusals;
    QList<qsizetype> m_refusedAt; // where in the group each refusal's write is
    qint64 m_line = 0;
    qint64 m_unitFirst = 0;
    qint64 m_reading = 0;
    std::unique_ptr<SqliteStatements> m_sqlite; // prepared once for the run; a batch ends before its connection
    QHash<QString, Sequence> m_sequences; // by table
    // The two tables last asked for, the last first, each kept so no other text takes its
    // address, with its entry (good until the next one is added).
    struct LastTable
    {
        QString table;
        Sequence* sequence = nullptr;
    };
    std::array<LastTable, 2> m_lastTables;
    QHash<QString, qint64> m_lastKeys; // SQLite: the last key handed out in this transaction, by table
    QHash<QString, std::pair<QString, QString>> m_insertSql; // multi-row INSERTs: as written, as the database takes it
};

} // namespace zb32
