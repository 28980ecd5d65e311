// Record access on one table: open a selection, read fields by name without regard to case,
// add a record, set fields, save (INSERT the first time, UPDATE of the changed fields after).
#pragma once

#include "core/desk/Currency.h"
#include "core/desk/Schema.h"
#include "core/desk/SqlDialect.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <array>
#include <memory>

namespace zb32 {

class CaseDatabase;
class GroupWrites;
class SqliteReader;
class SqliteStatements;

class Recordset
{
public:
    enum class Mode {
        Static, // every row fetched at open; editable
        ForwardOnly, // rows read one at a time; read only; memory stays flat
    };

    // Fields of `table` and, for a selection that joins others, of `joinedTables` read in
    // their types; a field none of them defines reads as text.
    explicit Recordset(CaseDatabase& db, const QString& table, const QStringList& joinedTables = {});
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // `sql` is written in the case database's names; every value is bound in order.
    bool open(const QString& sql, const QVariantList& values, QString* error, Mode mode = Mode::Static);
    // As open() (static), where the database sends the rows as text (SqlDialect::selectText):
    // read straight from it. The driver reads them otherwise, and where a column is not of the
    // type the case database gives its field.
    bool openAsText(const QString& sql, const QVariantList& values, QString* error);
    // A set that only serves to append: nothing is fetched, and only the current record is kept.
    bool openForAppend(QString* error);
    void close();
    bool isOpen() const { return m_open; }

    bool eof() const;
    int recordCount() const { return static_cast<int>(m_rows.size()); }
    bool moveNext(QString* error = nullptr);
    void moveFirst();
    // The `row`-th record (from 0) of a static set becomes the current one; past the last, eof.
    void moveTo(int row);
    int currentRow() const { return static_cast<int>(m_pos); }

    bool hasField(const QString& field) const;
    QVariant value(const QString& field) const;
    bool isNull(const QString& field) const;
    // Null reads as "", a date as dd/MM/yyyy, an amount as plain text with a decimal comma.
    QString text(const QString& field) const;
    // Null reads as 0.
    Currency currency(const QString& field) const;
    // Null or not a date reads as an invalid date.
    QDate date(const QString& field) const;
    // As stored: null reads as 0 or an invalid date, a value that is not an amount or a date
    // is refused with the field named.
    bool currency(const QString& field, Currency* out, QString* error) const;
    bool date(const QString& field, QDate* out, QString* error) const;
    qint64 key() const;

    // Converts the value to the field's type (a date text dd/MM/yyyy, an Italian amount
    // text, a number); a value that does not convert is refused with the reason.
    bool setValue(const QString& field, const QVariant& value, QString* error);
    // The same for a text: into a text field it goes as it is, shared.
    bool setValue(const QString& field, const QString& value, QString* error);
    bool setNull(const QString& field, QString* error) { return setValue(field, QVariant(), error); }

    // Saves pending changes of the current record first.
    bool addNew(QString* error);
    bool update(QString* error);
    // The same UPDATE of a record read before, led by `leading` (a WITH clause in the case
    // database's names whose parameters are `leadingValues`): one round trip for both.
    bool update(QString* error, const QString& leading, const QVariantList& leadingValues);
    // The same UPDATE as a statement to run later, in the driver's form (CaseDatabase::commit
    // with it): the record counts as saved. An empty statement when nothing changed.
    bool updateLater(SqlDialect::Statement* later, QString* error, const QString& leading = {},
        const QVariantList& leadingValues = {});
    bool hasPendingChanges() const;
    // Appends the current record of `other` (its values of this set's fields, null where it has
    // none) as a record read: a set that stands for a group's view of some records sees a record
    // the group saved through another set as a selection made now would.
    void appendSaved(const Recordset& other);
    // Forgets the current record's unsaved changes (a stopped run).
    void cancelUpdate();

    QString table() const { return m_table; }

private:
    struct Row
    {
        QVector<QVariant> values;
        QVector<bool> dirty;
        bool isNew = false;
        bool createdHere = false; // inserted by this set: its later changes are part of its creation
        // For a journal: the stored values of the fields changed since (where `dirty`), sized
        // at the first change.
        QVector<QVariant> before;
    };

    bool setFields(const QStringList& names, QString* error);
    int indexOf(const QString& field) const;
    // The fields of `row` changed since it was read or saved, the key left out (good until the
    // next call).
    const QList<int>& changedFields(const Row& row);
    // The field's new value, converted; its stored one is kept for the journal.
    void store(Row* row, int i, QVariant&& value);
    // An UPDATE led by another statement has nothing to save: false with the reason.
    bool nothingAfterLeading(QString* error) const;
    QString writeSql(const QList<int>& changed, bool insert) const;
    FieldType typeOf(int index) const;
    Row* current();
    const Row* current() const;
    bool readForwardRow();
    // A static selection read with SQLite's own statement.
    bool openOnSqlite(SqliteStatements& own, const QString& sql, const QVariantList& values, QString* error);
    // Hands the current record's write to the group's (WriteBatch::setGroupWrites).
    bool hold(GroupWrites& group, const QList<int>& changed, QString* error);
    // The current record is written: the journal is told, the record is clean.
    void written(const QList<int>& changed);

    CaseDatabase& m_db;
    QString m_table;
    const TableDef* m_def = nullptr;
    QList<const TableDef*> m_joined;
    QString m_keyField;
    int m_keyIndex = -1;
    Mode m_mode = Mode::Static;
    bool m_open = false;
    bool m_appendOnly = false;
    QStringList m_fields;
    QVector<FieldType> m_types;
    QHash<QString, int> m_index;
    // Names as callers spell them, so a lookup does not lower-case the name every time.
    mutable QHash<QString, int> m_lookup;
    // The names last looked up, by where their text is: callers name fields by literals, whose
    // text stays where it is, so most lookups compare an address instead of hashing the name.
    // Each entry keeps its name, so no other text can take that address while it is here.
    struct Recent
    {
        QString name;
        int index = -1;
    };
    mutable std::array<Recent, 128> m_recent;
    // INSERT and UPDATE texts by the set of fields they write.
    QHash<QByteArray, QString> m_writeSql;
    QHash<QByteArray, QStringList> m_heldFields; // the fields of held writes, by the same shapes
    struct HeldShape
    {
        QList<int> changed;
        QStringList fields;
    };
    std::array<HeldShape, 16> m_lastHeld;
    QList<int> m_changed; // changedFields's list, kept for its room
    quint32 m_nextHeld = 0;
    QList<Row> m_rows;
    qsizetype m_pos = 0;
    std::unique_ptr<QSqlQuery> m_forward;
    std::unique_ptr<SqliteReader> m_reader; // a forward-only selection on SQLite
    // The cached statement whose columns m_fields holds: reopening it skips reading them again.
    const void* m_layoutQuery = nullptr; // a QSqlQuery, or SQLite's own statement
    QString m_layoutSql;
};

} // namespace zb32
