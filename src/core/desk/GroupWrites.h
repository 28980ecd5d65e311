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
// lines before it wrote (up to the start of its case) stays.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace zb32 {

class CaseDatabase;

class GroupWrites
{
public:
    explicit GroupWrites(CaseDatabase& db);

    // Whether the records of `table` can wait for the group: its new records get keys ahead of
    // their INSERT.
    bool takes(const QString& table, const QString& keyField);
    // A key for a new record of `table`; false with the reason when the database cannot be asked.
    bool newKey(const QString& table, const QString& keyField, qint64* key, QString* error);

    // Writes held for the group; `fields` and `values` (as bound, see FieldCodec::toStorage) in
    // the same order, without the key.
    void insert(const QString& table, const QString& keyField, qint64 key, const QStringList& fields,
        const QVector<QVariant>& values);
    void update(const QString& table, const QString& keyField, qint64 key, const QStringList& fields,
        const QVector<QVariant>& values);

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
    };
    enum class Outcome { Sent, Refused, Lost };
    // Sends what is not sent yet. Refused: the writes before the refused line's case (or line) are
    // in the database, the others are dropped. Lost: the transaction is gone.
    Outcome send(QString* error, Refusal* refusal);
    // The group's transaction ended (committed or rolled back): nothing is held any more.
    void clear();

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
    };
    struct Sequence
    {
        bool known = false;
        QString name; // empty: the table has no key the database hands out ahead
        QList<qint64> keys; // handed out, not used yet
        int block = 16;
    };

    bool sendComposed(QString* error);
    bool execSingle(const Op& op, QString* error);
    Outcome replay(QString* error, Refusal* refusal);
    bool run(const QString& sql, QString* error);

    CaseDatabase& m_db;
    QList<Op> m_ops;
    qsizetype m_sent = 0;
    bool m_groupSavepoint = false;
    bool m_sending = false;
    bool m_accepting = false;
    qint64 m_line = 0;
    qint64 m_unitFirst = 0;
    qint64 m_reading = 0;
    QHash<QString, Sequence> m_sequences; // by table
    QHash<QString, qint64> m_lastKeys; // SQLite: the last key handed out in this transaction, by table
};

} // namespace zb32
