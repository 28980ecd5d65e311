// The case database on SQLite and PostgreSQL: schema, record access, write batches, ApriDB.
#include "RecordingReporter.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "core/desk/FieldCodec.h"
#include "core/desk/Recordset.h"
#include "core/desk/Schema.h"
#include "core/desk/SqliteDialect.h"
#include "core/desk/SqliteStatements.h"
#include "core/desk/WriteBatch.h"

#include <QFileInfo>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <sqlite3.h>

using namespace zb32;
using zb32::test::TestDatabase;

namespace {
// zb32_sleep(ms) in SQL: a write that takes its time.
void sleepFor(sqlite3_context* context, int, sqlite3_value** args)
{
    QThread::msleep(static_cast<unsigned long>(sqlite3_value_int(args[0])));
    sqlite3_result_null(context);
}
} // namespace

// How a batch writes: statement by statement, in groups held to their end, or (on a server) in
// groups sent from another thread while the next lines are made.
enum class Writes { Lines, Groups, Behind };
Q_DECLARE_METATYPE(Writes)
Q_DECLARE_METATYPE(zb32::FieldType)

class TestCaseDatabase : public QObject
{
    Q_OBJECT
private:
    static void backends()
    {
        TestDatabase::addBackendColumn();
        TestDatabase::addBackendRow(QStringLiteral("sqlite"));
        TestDatabase::addBackendRow(QStringLiteral("postgresql"));
    }

    static void writeModes(const QStringList& backendsWanted)
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<Writes>("writes");
        for (const QString& backend : backendsWanted) {
            for (const auto& [name, writes] : { std::pair { "line by line", Writes::Lines },
                     std::pair { "groups", Writes::Groups }, std::pair { "groups sent behind", Writes::Behind } }) {
                QTest::newRow(qPrintable(backend + QLatin1Char('/') + QLatin1String(name))) << backend << writes;
            }
        }
    }
    static void setWrites(WriteBatch& batch, Writes writes)
    {
        batch.setGroupWrites(writes != Writes::Lines);
        batch.setCommitBehind(writes == Writes::Behind);
    }

private Q_SLOTS:
    void schemaHasEveryField_data() { backends(); }
    void schemaHasEveryField()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        for (const TableDef& t : Schema::tables()) {
            const QSqlRecord record = tdb.db().tableRecord(t.name);
            QVERIFY2(!record.isEmpty(), qPrintable(t.name));
            for (const FieldDef& f : t.fields) {
                bool found = false;
                for (int i = 0; i < record.count(); ++i) {
                    found = found || record.fieldName(i).compare(f.name, Qt::CaseInsensitive) == 0;
                }
                QVERIFY2(found, qPrintable(t.name + QLatin1String(".") + f.name));
            }
        }
        // Creating again changes nothing and keeps the data.
        tdb.insert(Schema::kCases, { { QStringLiteral("posizione"), QStringLiteral("1") } });
        QString error;
        QVERIFY2(Schema::create(tdb.db(), &error), qPrintable(error));
        QCOMPARE(tdb.count(Schema::kCases), 1);
    }

    // Written one by one, and held for a batch's group (multi-row statements, the server's bulk
    // load): the same values come back.
    // PostgreSQL takes a group's savepoint and COPYs as one query: what went through before a
    // refusal is told, and the connection takes the next statement, with the savepoint held.
    void copiesInOneQuery_data()
    {
        QTest::addColumn<int>("refused"); // the block refused, -1: none
        QTest::addColumn<qsizetype>("done");
        QTest::newRow("all go") << -1 << qsizetype(3);
        QTest::newRow("first COPY refused") << 0 << qsizetype(1);
        QTest::newRow("second COPY refused") << 1 << qsizetype(2);
    }
    void copiesInOneQuery()
    {
        QFETCH(int, refused);
        QFETCH(qsizetype, done);
        TestDatabase tdb(QStringLiteral("postgresql"));
        ZB32_REQUIRE(tdb);
        CaseDatabase& db = tdb.db();
        const SqlDialect& d = db.dialect();
        QString error;
        QVERIFY2(db.beginTransaction(&error), qPrintable(error));
        const QStringList columns { d.quoteName(QStringLiteral("contatore")),
            d.quoteName(QStringLiteral("posizione")) };
        QList<SqlDialect::CopyBlock> blocks { { Schema::kCases, columns, "1\tA\n2\tB\n" },
            { Schema::kCases, columns, "3\tC\n" } };
        if (refused >= 0) {
            blocks[refused].rows = "4\tD\nnot a key\tE\n";
        }
        QSqlDatabase connection = db.database();
        qsizetype went = -1;
        const bool copied = d.copyIn(connection, d.savepoint(QStringLiteral("t")), blocks, &went, &error);
        QCOMPARE(copied, refused < 0);
        QCOMPARE(went, done);
        if (!copied) {
            QVERIFY2(db.exec(d.rollbackToSavepoint(QStringLiteral("t")), &error), qPrintable(error));
        }
        QVERIFY2(db.commit(&error), qPrintable(error));
        QCOMPARE(tdb.count(Schema::kCases), refused < 0 ? 3 : 0);
    }

    // A column read straight into a field's value (SqliteStatements::fieldValue) is what the
    // driver's value of it makes (FieldCodec::fromStorage), whatever SQLite holds.
    void storedValueAsField_data()
    {
        QTest::addColumn<QString>("stored"); // an SQL expression
        QTest::addColumn<FieldType>("type");
        const std::pair<const char*, std::pair<const char*, FieldType>> rows[] = {
            { "integer as currency", { "1234", FieldType::Currency } },
            { "integer beyond a currency", { "9223372036854775807", FieldType::Currency } },
            { "real as currency", { "12.345", FieldType::Currency } },
            { "real beyond a currency", { "1e300", FieldType::Currency } },
            { "text as currency", { "'12,50'", FieldType::Currency } },
            { "real as double", { "0.1", FieldType::Double } },
            { "integer as double", { "7", FieldType::Double } },
            { "integer as key", { "42", FieldType::Key } },
            { "text as integer", { "'42'", FieldType::Integer } },
            { "real as integer", { "2.5", FieldType::Integer } },
            { "text", { "'ROMA '", FieldType::Text } },
            { "empty text", { "''", FieldType::Text } },
            { "text past ASCII", { "'è€語'", FieldType::Memo } },
            { "integer as text", { "12", FieldType::Text } },
            { "ISO date", { "'2009-12-31'", FieldType::Date } },
            { "date and time", { "'2009-12-31 10:00:00'", FieldType::Date } },
            { "not a date", { "'31-31-2009'", FieldType::Date } },
            { "empty date", { "''", FieldType::Date } },
            { "null currency", { "NULL", FieldType::Currency } },
            { "null text", { "NULL", FieldType::Text } },
            { "blob as text", { "x'41'", FieldType::Text } },
        };
        for (const auto& [name, row] : rows) {
            QTest::newRow(name) << QString::fromUtf8(row.first) << row.second;
        }
    }
    void storedValueAsField()
    {
        QFETCH(QString, stored);
        QFETCH(FieldType, type);
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        SqliteStatements own(SqliteStatements::connectionOf(tdb.db().database()));
        QString error;
        sqlite3_stmt* s = own.prepared(QStringLiteral("SELECT ") + stored, &error);
        QVERIFY2(s, qPrintable(error));
        QVariant direct;
        QVariant viaDriver;
        QVERIFY2(own.select(
                     s,
                     [&](sqlite3_stmt* row) {
                         direct = SqliteStatements::fieldValue(row, 0, type);
                         viaDriver = FieldCodec::fromStorage(type, SqliteStatements::columnValue(row, 0));
                     },
                     &error),
            qPrintable(error));
        QCOMPARE(direct.metaType(), viaDriver.metaType());
        QCOMPARE(direct.isNull(), viaDriver.isNull());
        QCOMPARE(direct, viaDriver);
    }

    // A group's selection read from the server's text (Recordset::openAsText) gives the values
    // the driver's reading gives, for every type the case database gives its fields.
    void serverTextAsField_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("stored"); // an SQL expression
        const std::pair<const char*, std::pair<const char*, const char*>> rows[] = {
            { "text", { "ragione sociale", "'ROMA '" } },
            { "empty text", { "ragione sociale", "''" } },
            { "text past ASCII", { "ragione sociale", "'è€語'" } },
            { "null text", { "ragione sociale", "NULL" } },
            { "memo", { "memo", "repeat('ab', 5000)" } },
            { "date", { "data Affido", "'2009-12-31'" } },
            { "date past 9999", { "data Affido", "'12345-01-02'" } },
            { "infinite date", { "data Affido", "'infinity'" } },
            { "null date", { "data Affido", "NULL" } },
            { "amount", { "importo rata", "1234.5" } },
            { "negative amount", { "importo rata", "-0.0015" } },
            { "largest amount", { "importo rata", "999999999999999.9999" } },
            { "null amount", { "importo rata", "NULL" } },
            { "whole number", { "lottoimportazione", "-42" } },
            { "null whole number", { "lottoimportazione", "NULL" } },
            { "key", { "contatore", "7" } },
        };
        for (const auto& [name, row] : rows) {
            QTest::newRow(name) << QString::fromUtf8(row.first) << QString::fromUtf8(row.second);
        }
    }
    void serverTextAsField()
    {
        QFETCH(QString, field);
        QFETCH(QString, stored);
        TestDatabase tdb(QStringLiteral("postgresql"));
        ZB32_REQUIRE(tdb);
        QString error;
        const QString insert = field == QLatin1String("contatore")
            ? QStringLiteral("INSERT INTO [tabella pratiche] (contatore, posizione) VALUES (%1, 'T')").arg(stored)
            : QStringLiteral("INSERT INTO [tabella pratiche] (posizione, [%1]) VALUES ('T', %2)").arg(field, stored);
        QVERIFY2(tdb.db().exec(tdb.db().dialect().translate(insert), &error), qPrintable(error));
        const QString select
            = QStringLiteral("Select [%1], posizione from [tabella pratiche] where posizione = ?").arg(field);
        // The server's type of the column is the one the text is read for: no reading through the driver.
        QSqlDatabase db = tdb.db().database();
        const auto rows = tdb.db().dialect().selectText(
            db, { tdb.db().dialect().translate(select), { QStringLiteral("T") } }, &error);
        QVERIFY2(rows, qPrintable(error));
        QVERIFY(rows->holds(0, Schema::field(*Schema::table(Schema::kCases), field)->type));
        Recordset asText(tdb.db(), Schema::kCases);
        Recordset viaDriver(tdb.db(), Schema::kCases);
        QVERIFY2(asText.openAsText(select, { QStringLiteral("T") }, &error), qPrintable(error));
        QVERIFY2(viaDriver.open(select, { QStringLiteral("T") }, &error), qPrintable(error));
        QCOMPARE(asText.recordCount(), 1);
        QCOMPARE(viaDriver.recordCount(), 1);
        const QVariant a = asText.value(field);
        const QVariant b = viaDriver.value(field);
        QCOMPARE(a.metaType(), b.metaType());
        QCOMPARE(a.isNull(), b.isNull());
        QCOMPARE(a, b);
    }

    void recordAccessRoundTrip_data()
    {
        TestDatabase::addBackendColumn();
        QTest::addColumn<bool>("grouped");
        for (const char* backend : { "sqlite", "postgresql" }) {
            for (const bool grouped : { false, true }) {
                QTest::newRow(qPrintable(QStringLiteral("%1%2").arg(QLatin1String(backend), grouped ? "/group" : "")))
                    << QString::fromLatin1(backend) << grouped;
            }
        }
    }
    void recordAccessRoundTrip()
    {
        QFETCH(QString, backend);
        QFETCH(bool, grouped);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        Recordset rs(tdb.db(), Schema::kCases);
        QString error;
        QVERIFY2(rs.openForAppend(&error), qPrintable(error));
        WriteBatch batch(tdb.db());
        if (grouped) {
            batch.setGroupWrites(true);
            QVERIFY2(batch.beginLine(&error, 1), qPrintable(error));
        }
        QVERIFY(rs.addNew(&error));
        const QString tricky
            = QStringLiteral("O'Brien\"; DROP TABLE x; -- 100% _ [y] \\N \\ \t tab \r\n riga \u00e8 \u20ac");
        QVERIFY(rs.setValue(QStringLiteral("ragione sociale"), tricky, &error));
        QVERIFY(rs.setValue(QStringLiteral("DATA AFFIDO"), QStringLiteral("31/12/2009"), &error));
        QVERIFY(rs.setValue(QStringLiteral("importo rata"), QStringLiteral("1.234,56"), &error));
        QVERIFY(rs.setValue(QStringLiteral("importo totale"), QVariant::fromValue(Currency::fromRaw(-15)), &error));
        QVERIFY(rs.setValue(QStringLiteral("lottoimportazione"), QStringLiteral("42"), &error));
        QVERIFY(rs.setValue(QStringLiteral("Citta"), QStringLiteral("  ROMA  "), &error));
        // Its only characters past ASCII above U+8000, inside the first sixteen.
        const QString farText = QStringLiteral("VIA \u8a9e\uff21 1234567890123456789");
        QVERIFY(rs.setValue(QStringLiteral("indirizzo"), farText, &error));
        QVERIFY2(rs.update(&error), qPrintable(error));
        const qint64 first = rs.key();
        QVERIFY(first > 0);
        // A second record: the pending one is saved by addNew itself.
        QVERIFY(rs.addNew(&error));
        QVERIFY(rs.setValue(QStringLiteral("posizione"), QStringLiteral("2"), &error));
        // Longer than a block of the text SQLite is handed, beside a short one of the same row.
        const QString longMemo = QStringLiteral("x").repeated(300000) + QStringLiteral("\u00e8");
        QVERIFY(rs.setValue(QStringLiteral("memo"), longMemo, &error));
        QVERIFY(rs.addNew(&error));
        QVERIFY(!rs.hasPendingChanges() || rs.key() < 0);
        rs.cancelUpdate();
        if (grouped) {
            QVERIFY2(batch.endLine(&error) && batch.finish(&error), qPrintable(error));
        }

        const QList<QVariantMap> rows = tdb.rows(Schema::kCases);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].value(QStringLiteral("contatore")).toLongLong(), first);
        QCOMPARE(rows[0].value(QStringLiteral("ragione sociale")).toString(), tricky);
        QCOMPARE(rows[0].value(QStringLiteral("data affido")).toDate(), QDate(2009, 12, 31));
        QCOMPARE(rows[0].value(QStringLiteral("importo rata")).value<Currency>(), Currency::fromRaw(12345600));
        QCOMPARE(rows[0].value(QStringLiteral("importo totale")).value<Currency>(), Currency::fromRaw(-15));
        QCOMPARE(rows[0].value(QStringLiteral("lottoimportazione")).toLongLong(), 42);
        QCOMPARE(rows[0].value(QStringLiteral("citta")).toString(), QStringLiteral("  ROMA  "));
        QCOMPARE(rows[0].value(QStringLiteral("indirizzo")).toString(), farText);
        QVERIFY(rows[0].value(QStringLiteral("memo")).isNull());
        QCOMPARE(rows[1].value(QStringLiteral("posizione")).toString(), QStringLiteral("2"));
        QVERIFY(rows[1].value(QStringLiteral("memo")).toString() == longMemo);

        // Update of changed fields only, found again by a bound selection.
        Recordset sel(tdb.db(), Schema::kCases);
        QVERIFY2(
            sel.open(QStringLiteral("Select * from [tabella pratiche] where [ragione sociale]=?"), { tricky }, &error),
            qPrintable(error));
        QCOMPARE(sel.recordCount(), 1);
        QCOMPARE(sel.text(QStringLiteral("data affido")), QStringLiteral("31/12/2009"));
        QCOMPARE(sel.text(QStringLiteral("importo rata")), QStringLiteral("1234,56"));
        QVERIFY(sel.setValue(QStringLiteral("importo rata"),
            QVariant::fromValue(sel.currency(QStringLiteral("importo rata")) - Currency::fromUnits(34)), &error));
        QVERIFY(sel.setNull(QStringLiteral("importo totale"), &error));
        // Another record, other fields, in the same group: each keeps the fields it was not given.
        Recordset second(tdb.db(), Schema::kCases);
        QVERIFY2(second.open(QStringLiteral("Select * from [tabella pratiche] where posizione=?"),
                     { QStringLiteral("2") }, &error),
            qPrintable(error));
        if (grouped) {
            QVERIFY2(batch.beginLine(&error, 2), qPrintable(error));
        }
        QVERIFY(sel.update(&error));
        // A group's changes of one record go as one, with the last value of each field.
        const QString renamed = tricky + QStringLiteral(" \u0001 {\"a\": [1]}");
        QVERIFY(sel.setValue(QStringLiteral("ragione sociale"), renamed, &error));
        QVERIFY(sel.setValue(QStringLiteral("data affido"), QStringLiteral("01/02/2010"), &error));
        QVERIFY2(sel.update(&error), qPrintable(error));
        QVERIFY(second.setValue(QStringLiteral("Citta"), QStringLiteral("MILANO"), &error));
        QVERIFY2(second.update(&error), qPrintable(error));
        if (grouped) {
            QVERIFY2(batch.endLine(&error) && batch.finish(&error), qPrintable(error));
        }
        const QList<QVariantMap> after = tdb.rows(Schema::kCases);
        QCOMPARE(after[0].value(QStringLiteral("importo rata")).value<Currency>(), Currency::fromRaw(12005600));
        QVERIFY(after[0].value(QStringLiteral("importo totale")).isNull());
        QCOMPARE(after[0].value(QStringLiteral("data affido")).toDate(), QDate(2010, 2, 1));
        QCOMPARE(after[0].value(QStringLiteral("ragione sociale")).toString(), renamed);
        QCOMPARE(after[0].value(QStringLiteral("citta")).toString(), QStringLiteral("  ROMA  "));
        QCOMPARE(after[1].value(QStringLiteral("posizione")).toString(), QStringLiteral("2"));
        QCOMPARE(after[1].value(QStringLiteral("citta")).toString(), QStringLiteral("MILANO"));
        QVERIFY(after[1].value(QStringLiteral("ragione sociale")).isNull());
    }

    void refusedValues_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("date 31 February") << "data affido" << QVariant(QStringLiteral("31/02/2005"));
        QTest::newRow("date text") << "data affido" << QVariant(QStringLiteral("domani"));
        QTest::newRow("empty date") << "scadenza mandato" << QVariant(QStringLiteral(""));
        QTest::newRow("batch not a number") << "lottoimportazione" << QVariant(QStringLiteral("1 or 1=1"));
        QTest::newRow("amount not a number") << "importo rata" << QVariant(QStringLiteral("dieci"));
        QTest::newRow("batch beyond an integer field") << "lottoimportazione" << QVariant(qlonglong(3000000000LL));
        QTest::newRow("unknown field") << "nonesiste" << QVariant(1);
    }
    void refusedValues()
    {
        QFETCH(QString, field);
        QFETCH(QVariant, value);
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        Recordset rs(tdb.db(), Schema::kCases);
        QString error;
        QVERIFY(rs.openForAppend(&error));
        QVERIFY(rs.addNew(&error));
        QVERIFY(!rs.setValue(field, value, &error));
        QVERIFY2(error.contains(field, Qt::CaseInsensitive), qPrintable(error));
    }

    void writeBatchKeepsLinesBeforeFailure_data()
    {
        writeModes({ QStringLiteral("sqlite"), QStringLiteral("postgresql") });
    }
    void writeBatchKeepsLinesBeforeFailure()
    {
        QFETCH(QString, backend);
        QFETCH(Writes, writes);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        CaseDatabase db;
        QString error;
        QVERIFY2(db.open(tdb.connectionString(), &error), qPrintable(error));
        Recordset rs(db, Schema::kInvoices);
        QVERIFY(rs.openForAppend(&error));
        {
            WriteBatch batch(db, 3);
            setWrites(batch, writes);
            for (int line = 1; line <= 7; ++line) {
                QVERIFY2(batch.beginLine(&error), qPrintable(error));
                QVERIFY(rs.addNew(&error));
                QVERIFY(rs.setValue(QStringLiteral("conta"), line, &error));
                QVERIFY2(rs.update(&error), qPrintable(error));
                if (line == 7) {
                    batch.abandonLine();
                } else {
                    QVERIFY(batch.endLine(&error));
                }
            }
            QVERIFY2(batch.finish(&error), qPrintable(error));
        }
        QCOMPARE(tdb.count(Schema::kInvoices), 6);
        QVERIFY(!db.inTransaction());
    }

    // SQLite's groups sent behind take keys reserved ahead in the table's counter: another writer
    // adding a record between two groups is handed a key after them, and the keys no line took
    // are given back at the end. A table without a counter has its keys counted inside the
    // group's own write lock instead.
    void sqliteKeysReservedAhead_data()
    {
        QTest::addColumn<bool>("counter");
        QTest::addColumn<bool>("otherWriter");
        QTest::addColumn<int>("lines"); // groups of 3
        QTest::addColumn<bool>("changedAgain"); // each record changed again in its own line
        // A group's first record takes this long to write: the groups that end meanwhile are
        // joined to the next ones.
        QTest::addColumn<int>("slowMs");
        QTest::addColumn<int>("refused"); // the line whose record the database refuses (0: none)
        QTest::newRow("alone") << true << false << 40 << false << 0 << 0;
        QTest::newRow("alone, the last line ends a group") << true << false << 39 << false << 0 << 0;
        QTest::newRow("another writer between groups") << true << true << 40 << false << 0 << 0;
        QTest::newRow("no counter, another writer") << false << true << 40 << false << 0 << 0;
        QTest::newRow("records changed again") << true << false << 40 << true << 0 << 0;
        QTest::newRow("records changed again, another writer") << true << true << 40 << true << 0 << 0;
        QTest::newRow("slow writes, groups joined") << true << false << 40 << false << 20 << 0;
        QTest::newRow("slow writes, another writer") << true << true << 40 << false << 20 << 0;
        QTest::newRow("slow writes, a line of a joined group refused") << true << false << 40 << false << 20 << 11;
    }
    void sqliteKeysReservedAhead()
    {
        QFETCH(bool, counter);
        QFETCH(bool, otherWriter);
        QFETCH(int, lines);
        QFETCH(bool, changedAgain);
        QFETCH(int, slowMs);
        QFETCH(int, refused);
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        QString error;
        if (!counter) {
            QVERIFY(tdb.db().exec(QStringLiteral("DROP TABLE [tabella pratiche]"), &error));
            QVERIFY2(tdb.db().exec(QStringLiteral("CREATE TABLE [tabella pratiche] (contatore INTEGER PRIMARY KEY, "
                                                  "posizione TEXT)"),
                         &error),
                qPrintable(error));
        }
        CaseDatabase db;
        QVERIFY2(db.open(tdb.connectionString(), &error), qPrintable(error));
        QCOMPARE(sqlite3_create_function(SqliteStatements::connectionOf(db.database()), "zb32_sleep", 1, SQLITE_UTF8,
                     nullptr, &sleepFor, nullptr, nullptr),
            SQLITE_OK);
        QVERIFY2(db.exec(QStringLiteral("CREATE TEMP TRIGGER lenta AFTER INSERT ON [tabella pratiche] WHEN "
                                        "CAST(NEW.posizione AS INTEGER) % 3 = 1 BEGIN SELECT zb32_sleep(%1); END")
                             .arg(slowMs),
                     &error)
                && db.exec(QStringLiteral("CREATE TEMP TRIGGER rifiuta BEFORE INSERT ON [tabella pratiche] WHEN "
                                          "NEW.posizione = '%1' BEGIN SELECT RAISE(ABORT, 'pratica bloccata'); END")
                               .arg(refused),
                    &error),
            qPrintable(error));
        Recordset rs(db, Schema::kCases);
        QVERIFY(rs.openForAppend(&error));
        CaseDatabase other;
        QVERIFY2(other.open(tdb.connectionString(), &error), qPrintable(error));
        QStringList expected;
        {
            WriteBatch batch(db, 3);
            setWrites(batch, Writes::Behind);
            // More lines than the first block of keys: later blocks are reserved as groups end.
            for (int line = 1; line <= lines; ++line) {
                if (!batch.beginLine(&error, line)) {
                    QVERIFY2(refused > 0 && line > refused, qPrintable(error));
                    break;
                }
                QVERIFY(rs.addNew(&error));
                QVERIFY(rs.setValue(QStringLiteral("posizione"), QString::number(line), &error));
                QVERIFY2(rs.update(&error), qPrintable(error));
                if (changedAgain) {
                    // A write of its own, joined to the record's creation in the group's rows.
                    QVERIFY(rs.setValue(QStringLiteral("posizione"), QStringLiteral("%1 bis").arg(line), &error));
                    QVERIFY2(rs.update(&error), qPrintable(error));
                }
                if (!batch.endLine(&error)) {
                    QVERIFY2(refused > 0 && line > refused, qPrintable(error));
                    break;
                }
                if (refused == 0 || line < refused) {
                    expected << (changedAgain ? QStringLiteral("%1 bis").arg(line) : QString::number(line));
                }
                if (otherWriter && line % 3 == 0) {
                    // It waits for the group on its way, then adds its record with a key the
                    // database hands out.
                    QVERIFY2(
                        other.exec(
                            QStringLiteral("INSERT INTO [tabella pratiche] (posizione) VALUES ('altro %1')").arg(line),
                            &error),
                        qPrintable(error));
                    expected << QStringLiteral("altro %1").arg(line);
                }
            }
            bool finished = batch.finish(&error);
            if (refused > 0) {
                // Found as the joined group was written again line by line; the lines before it stay.
                QVERIFY2(batch.refusal() && error.contains(QStringLiteral("pratica bloccata")), qPrintable(error));
                QCOMPARE(batch.firstUnsavedLine(), qint64(refused));
                finished = finished || batch.finish(&error);
            }
            QVERIFY2(finished, qPrintable(error));
            // Another writer waits for each group, so the next one finds it written.
            QVERIFY(slowMs == 0 || otherWriter || batch.commitCount() < lines / 3);
        }
        QStringList stored;
        qint64 last = 0;
        for (const QVariantMap& row : tdb.rows(Schema::kCases)) {
            stored << row.value(QStringLiteral("posizione")).toString();
            last = std::max(last, row.value(QStringLiteral("contatore")).toLongLong());
        }
        stored.sort();
        expected.sort();
        QCOMPARE(stored, expected);
        if (counter) {
            QSqlQuery seq(tdb.db().database());
            QVERIFY(seq.exec(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = 'tabella pratiche'")));
            QVERIFY(seq.next());
            // Alone, the counter is back at the last key used; never before it.
            QVERIFY(seq.value(0).toLongLong() >= last);
            QVERIFY(otherWriter || refused > 0 || seq.value(0).toLongLong() == last);
        } else {
            QCOMPARE(last, qint64(expected.size()));
        }
    }

    // A lost transaction (here: the server closed the session) takes the uncommitted group with
    // it, and the batch says from which line the input has to be imported again. A group sent
    // behind and committed before the loss stays saved, though the batch takes its answer later.
    void lostTransactionNamesTheFirstUnsavedLine_data() { writeModes({ QStringLiteral("postgresql") }); }
    void lostTransactionNamesTheFirstUnsavedLine()
    {
        QFETCH(QString, backend);
        QFETCH(Writes, writes);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        CaseDatabase db;
        QString error;
        QVERIFY2(db.open(tdb.connectionString(), &error), qPrintable(error));
        Recordset rs(db, Schema::kInvoices);
        QVERIFY(rs.openForAppend(&error));
        QSqlQuery pidQuery(db.database());
        QVERIFY(pidQuery.exec(QStringLiteral("SELECT pg_backend_pid()")) && pidQuery.next());
        const int pid = pidQuery.value(0).toInt();
        pidQuery.finish();
        WriteBatch batch(db, 4);
        setWrites(batch, writes);
        for (int line = 1; line <= 6; ++line) {
            QVERIFY(batch.beginLine(&error, line));
            QVERIFY(rs.addNew(&error));
            QVERIFY(rs.setValue(QStringLiteral("conta"), line, &error));
            QVERIFY(rs.update(&error));
            QVERIFY(batch.endLine(&error));
        }
        QTRY_COMPARE(tdb.count(Schema::kInvoices), 4); // the first group, however it went
        // Another session ends ours, as a server restart would.
        CaseDatabase killer;
        QVERIFY(killer.open(tdb.connectionString(), &error));
        QVERIFY(killer.exec(QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid), &error));
        const bool metAtOnce = !batch.beginLine(&error, 7) || !rs.addNew(&error) || !rs.update(&error);
        // Held writes meet the loss only when they are sent, or when the line is taken back.
        QVERIFY(metAtOnce || writes != Writes::Lines);
        batch.abandonLine();
        QVERIFY(batch.transactionLost());
        QCOMPARE(batch.firstUnsavedLine(), 5);
        QCOMPARE(tdb.count(Schema::kInvoices), 4);
    }

    // SQLite: a group that is all its transaction holds goes without a savepoint. Taken back (a
    // refused line, a line abandoned after its writes went), the transaction is begun again and
    // the group written anew, unless another desk committed in between: then the group is lost
    // from its first line. A write of the batch's own before the group's keeps the savepoint.
    void sqliteGroupTakenBackWithoutSavepoint_data()
    {
        QTest::addColumn<int>("ownWrite"); // conta of an invoice written first, outside the group (0: none)
        QTest::addColumn<int>("refused"); // the line whose invoice the database refuses (0: none)
        QTest::addColumn<int>("abandoned"); // the line taken back after its writes went (0: none)
        QTest::addColumn<bool>("otherDesk"); // another desk commits as the transaction begins again
        QTest::addColumn<QList<int>>("stored");
        QTest::newRow("refused") << 0 << 3 << 0 << false << QList<int> { 1, 2 };
        QTest::newRow("refused, another desk between") << 0 << 3 << 0 << true << QList<int> { 900 };
        QTest::newRow("refused after a write of its own") << 800 << 3 << 0 << true << QList<int> { 800, 1, 2 };
        QTest::newRow("taken back") << 0 << 0 << 3 << false << QList<int> { 1, 2, 4, 5 };
        QTest::newRow("taken back, another desk between") << 0 << 0 << 3 << true << QList<int> { 900 };
    }
    void sqliteGroupTakenBackWithoutSavepoint()
    {
        QFETCH(int, ownWrite);
        QFETCH(int, refused);
        QFETCH(int, abandoned);
        QFETCH(bool, otherDesk);
        QFETCH(QList<int>, stored);
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        CaseDatabase db;
        CaseDatabase other;
        QString error;
        QVERIFY2(db.open(tdb.connectionString(), &error) && other.open(tdb.connectionString(), &error)
                && db.exec(QStringLiteral("CREATE TRIGGER rifiuta BEFORE INSERT ON [tabella fatture] WHEN NEW.conta "
                                          "= %1 BEGIN SELECT RAISE(ABORT, 'fattura bloccata'); END")
                               .arg(refused),
                    &error),
            qPrintable(error));
        const auto invoice
            = [](int conta) { return QStringLiteral("INSERT INTO [tabella fatture] (conta) VALUES (%1)").arg(conta); };
        int begins = 0;
        db.setBeforeBegin([&] { QVERIFY(++begins != 2 || !otherDesk || other.exec(invoice(900), &error)); });
        Recordset rs(db, Schema::kInvoices);
        QVERIFY(rs.openForAppend(&error));
        const bool lost = stored.contains(900);
        {
            WriteBatch batch(db, 10);
            batch.setGroupWrites(true);
            for (int line = 1; line <= 5 && batch.beginLine(&error, line); ++line) {
                QVERIFY2((line > 1 || ownWrite == 0 || db.exec(invoice(ownWrite), &error)) && rs.addNew(&error)
                        && rs.setValue(QStringLiteral("conta"), line, &error) && rs.update(&error),
                    qPrintable(error));
                if (line == abandoned) {
                    QVERIFY2(db.exec(QStringLiteral("SELECT 1"), &error), qPrintable(error)); // sends the group
                    batch.abandonLine();
                } else {
                    QVERIFY2(batch.endLine(&error), qPrintable(error));
                }
            }
            bool finished = batch.finish(&error);
            if (!finished && batch.refusal()) {
                QVERIFY2(error.contains(QStringLiteral("fattura bloccata")), qPrintable(error));
                QCOMPARE(batch.firstUnsavedLine(), qint64(refused));
                finished = batch.finish(&error); // the lines before it are committed
            }
            QCOMPARE(finished, !lost);
            QCOMPARE(batch.transactionLost(), lost);
            QVERIFY(!lost || batch.firstUnsavedLine() == 1);
        }
        QList<int> seen;
        for (const QVariantMap& row : tdb.rows(Schema::kInvoices)) {
            seen << row.value(QStringLiteral("conta")).toInt();
        }
        QCOMPARE(seen, stored);
        QVERIFY(!db.inTransaction());
    }

    // Lines taken back in the middle of a group, and saves of different field sets of one
    // record: each save writes its own fields, and the lines around a taken-back one stay.
    void writeBatchGoesOnAfterAnAbandonedLine_data() { backends(); }
    void writeBatchGoesOnAfterAnAbandonedLine()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        CaseDatabase db;
        QString error;
        QVERIFY2(db.open(tdb.connectionString(), &error), qPrintable(error));
        Recordset rs(db, Schema::kInvoices);
        QVERIFY(rs.openForAppend(&error));
        {
            WriteBatch batch(db, 4);
            for (int line = 1; line <= 9; ++line) {
                QVERIFY2(batch.beginLine(&error), qPrintable(error));
                QVERIFY(rs.addNew(&error));
                QVERIFY(rs.setValue(QStringLiteral("conta"), line, &error));
                QVERIFY2(rs.update(&error), qPrintable(error));
                QVERIFY(rs.setValue(QStringLiteral("periodo"), QStringLiteral("P%1").arg(line), &error));
                QVERIFY2(rs.update(&error), qPrintable(error));
                QVERIFY(rs.setValue(QStringLiteral("saldo"), line * 10, &error));
                QVERIFY2(rs.update(&error), qPrintable(error));
                if (line % 3 == 2) {
                    batch.abandonLine();
                } else {
                    QVERIFY2(batch.endLine(&error), qPrintable(error));
                }
            }
            QVERIFY2(batch.finish(&error), qPrintable(error));
        }
        const QList<QVariantMap> rows = tdb.rows(Schema::kInvoices);
        QStringList seen;
        for (const QVariantMap& r : rows) {
            const qlonglong conta = r.value(QStringLiteral("conta")).toLongLong();
            seen << QStringLiteral("%1 %2 %3")
                        .arg(conta)
                        .arg(r.value(QStringLiteral("periodo")).toString())
                        .arg(r.value(QStringLiteral("saldo")).value<Currency>().toPlainText());
        }
        QCOMPARE(seen, (QStringList { "1 P1 10", "3 P3 30", "4 P4 40", "6 P6 60", "7 P7 70", "9 P9 90" }));
    }

    // Lines whose statement fails in the database are taken back whole, wherever they fall in a
    // group, and the batch goes on: every other line is kept, and nothing of a failed one.
    void writeBatchTakesBackFailedLines_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<int>("group");
        QTest::addColumn<QList<int>>("failing");
        for (const char* backend : { "sqlite", "postgresql" }) {
            const auto row = [&](const char* name, int group, const QList<int>& failing) {
                QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(QLatin1String(name), QLatin1String(backend))))
                    << QString::fromLatin1(backend) << group << failing;
            };
            row("none", 3, {});
            row("first line", 3, { 1 });
            row("last of a group", 3, { 3 });
            row("first of a group", 3, { 4 });
            row("two in a row", 3, { 5, 6 });
            row("every other", 2, { 2, 4, 6, 8 });
            row("group of one", 1, { 2, 3, 7 });
            row("one big group", 500, { 1, 9, 10 });
        }
    }
    void writeBatchTakesBackFailedLines()
    {
        QFETCH(QString, backend);
        QFETCH(int, group);
        QFETCH(QList<int>, failing);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        CaseDatabase db;
        QString error;
        QVERIFY2(db.open(tdb.connectionString(), &error), qPrintable(error));
        Recordset rs(db, Schema::kInvoices);
        QVERIFY(rs.openForAppend(&error));
        QList<qint64> kept;
        {
            WriteBatch batch(db, group);
            for (int line = 1; line <= 10; ++line) {
                QVERIFY2(batch.beginLine(&error), qPrintable(error));
                // Two writes per line: a failing line has written its first already.
                QVERIFY(rs.addNew(&error));
                QVERIFY(rs.setValue(QStringLiteral("conta"), line, &error));
                QVERIFY2(rs.update(&error), qPrintable(error));
                if (failing.contains(line)) {
                    QVERIFY(!db.exec(QStringLiteral("INSERT INTO nessuna_tabella VALUES (1)"), &error));
                    batch.abandonLine();
                    continue;
                }
                QVERIFY(rs.addNew(&error));
                QVERIFY(rs.setValue(QStringLiteral("conta"), 100 + line, &error));
                QVERIFY2(rs.update(&error), qPrintable(error));
                QVERIFY2(batch.endLine(&error), qPrintable(error));
                kept << line << 100 + line;
            }
            QVERIFY2(batch.finish(&error), qPrintable(error));
        }
        QList<qint64> stored;
        for (const QVariantMap& row : tdb.rows(Schema::kInvoices)) {
            stored << row.value(QStringLiteral("conta")).toLongLong();
        }
        QCOMPARE(stored, kept);
        QVERIFY(!db.inTransaction());
    }

    // One record set writing records with different sets of fields, in turns: every INSERT and
    // UPDATE writes exactly the fields set on its record, whatever the set before wrote.
    void changingFieldSets_data() { backends(); }
    void changingFieldSets()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        const QList<QStringList> shapes = {
            { QStringLiteral("periodo") },
            { QStringLiteral("periodo"), QStringLiteral("numero fattura") },
            { QStringLiteral("numero fattura") },
            { QStringLiteral("Numero Fattura"), QStringLiteral("PERIODO") },
            { QStringLiteral("numero fattura"), QStringLiteral("periodo") },
        };
        Recordset rs(tdb.db(), Schema::kInvoices);
        QString error;
        QVERIFY(rs.openForAppend(&error));
        for (int round = 0; round < 2; ++round) {
            for (int s = 0; s < shapes.size(); ++s) {
                QVERIFY(rs.addNew(&error));
                for (const QString& field : shapes[s]) {
                    QVERIFY(
                        rs.setValue(field, QStringLiteral("%1-%2-%3").arg(round).arg(s).arg(field.toLower()), &error));
                }
                QVERIFY2(rs.update(&error), qPrintable(error));
                // A later change of one field of the saved record is an UPDATE of that field only.
                QVERIFY(rs.setValue(QStringLiteral("conta"), round * 10 + s, &error));
                QVERIFY2(rs.update(&error), qPrintable(error));
            }
        }
        const QList<QVariantMap> rows = tdb.rows(Schema::kInvoices);
        QCOMPARE(rows.size(), 2 * shapes.size());
        for (int round = 0; round < 2; ++round) {
            for (int s = 0; s < shapes.size(); ++s) {
                const QVariantMap& row = rows[round * shapes.size() + s];
                QCOMPARE(row.value(QStringLiteral("conta")).toLongLong(), qint64(round * 10 + s));
                for (const char* field : { "periodo", "numero fattura" }) {
                    const QString name = QString::fromLatin1(field);
                    bool set = false;
                    for (const QString& f : shapes[s]) {
                        set = set || f.toLower() == name;
                    }
                    const QVariant v = row.value(name);
                    if (set) {
                        QCOMPARE(v.toString(), QStringLiteral("%1-%2-%3").arg(round).arg(s).arg(name));
                    } else {
                        QVERIFY2(v.isNull(), qPrintable(name + QLatin1String(" = ") + v.toString()));
                    }
                }
            }
        }
    }

    // Records written one after another through the same statement, each field going through
    // equal values, an empty text after a null one and back: every record keeps its own values,
    // and a null stays a null (not "" or 0) after an equal value or an empty text.
    void repeatedValuesKeepTheirNullness_data() { backends(); }
    void repeatedValuesKeepTheirNullness()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        const QDate day(2026, 3, 9);
        const QVariant none;
        const QString empty = QStringLiteral("");
        // periodo (text), saldo (amount), data fattura (date), conta (number)
        const QList<QVariantList> records = {
            { QStringLiteral("a"), QVariant::fromValue(Currency::fromDouble(1.5)), day, 4 },
            { QStringLiteral("a"), QVariant::fromValue(Currency::fromDouble(1.5)), day, 4 },
            { empty, QVariant::fromValue(Currency()), none, 0 },
            { none, none, none, none },
            { empty, QVariant::fromValue(Currency()), day, 0 },
            { empty, none, day, none },
            { QString(), none, none, none }, // a null QString is a text like any other: stored as ""
            { none, QVariant::fromValue(Currency()), none, 0 },
            { QStringLiteral("b"), QVariant::fromValue(Currency::fromDouble(-1.5)), day.addDays(1), 5 },
        };
        const QStringList fields { QStringLiteral("periodo"), QStringLiteral("saldo"), QStringLiteral("data fattura"),
            QStringLiteral("conta") };
        Recordset rs(tdb.db(), Schema::kInvoices);
        QString error;
        QVERIFY(rs.openForAppend(&error));
        for (const QVariantList& values : records) {
            QVERIFY(rs.addNew(&error));
            for (int f = 0; f < fields.size(); ++f) {
                QVERIFY2(rs.setValue(fields[f], values[f], &error), qPrintable(error));
            }
            QVERIFY2(rs.update(&error), qPrintable(error));
        }
        // The same fields written again by UPDATE, on the saved records in reverse order.
        Recordset saved(tdb.db(), Schema::kInvoices);
        QVERIFY2(
            saved.open(QStringLiteral("Select * from [tabella fatture] order by ID"), {}, &error), qPrintable(error));
        QCOMPARE(saved.recordCount(), int(records.size()));
        for (qsizetype r = records.size() - 1; r >= 0; --r) {
            saved.moveFirst();
            for (qsizetype i = 0; i < r; ++i) {
                saved.moveNext();
            }
            const QVariantList& values = records[records.size() - 1 - r];
            for (int f = 0; f < 3; ++f) {
                QVERIFY2(saved.setValue(fields[f], values[f], &error), qPrintable(error));
            }
            QVERIFY2(saved.update(&error), qPrintable(error));
        }
        const QList<QVariantMap> rows = tdb.rows(Schema::kInvoices);
        QCOMPARE(rows.size(), records.size());
        for (qsizetype r = 0; r < rows.size(); ++r) {
            const QVariantList& inserted = records[r];
            const QVariantList& updated = records[records.size() - 1 - r];
            const QVariantList expected { updated[0], updated[1], updated[2], inserted[3] };
            for (int f = 0; f < fields.size(); ++f) {
                const QVariant got = rows[r].value(fields[f]);
                const QString where = QStringLiteral("record %1, %2").arg(r).arg(fields[f]);
                QVERIFY2(got.isNull() == expected[f].isNull(), qPrintable(where));
                if (expected[f].isNull()) {
                    continue;
                }
                if (f == 1) {
                    QCOMPARE(got.value<Currency>(), expected[f].value<Currency>());
                } else if (f == 2) {
                    QCOMPARE(got.toDate(), expected[f].toDate());
                } else if (f == 3) {
                    QCOMPARE(got.toLongLong(), expected[f].toLongLong());
                } else {
                    QCOMPARE(got.toString(), expected[f].toString());
                    QCOMPARE(got.toString().isNull(), false);
                }
            }
        }
    }

    // A long run lets SQLite's log grow: the database file takes the commits only when the run
    // resumes checkpoints; meanwhile another connection reads every commit from the log.
    void deferredCheckpoints()
    {
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        CaseDatabase& db = tdb.db();
        const QString file = db.database().databaseName();
        const auto pragma = [&](const char* name) {
            QSqlQuery q(db.database());
            return q.exec(QStringLiteral("PRAGMA ") + QLatin1String(name)) && q.next() ? q.value(0).toLongLong() : -1;
        };
        QString error;
        QVERIFY(db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), &error));
        const qint64 autoPages = pragma("wal_autocheckpoint");
        QVERIFY(autoPages > 0);
        const qint64 sync = pragma("synchronous");
        db.deferCheckpoints();
        QCOMPARE(pragma("wal_autocheckpoint"), qint64(SqliteDialect::kDeferredCheckpointPages));
        QCOMPARE(pragma("temp_store"), qint64(2)); // a group's savepoint journal in memory
        // Not the commits but a thread of the run syncs the log: at the first commit, then at most
        // once a second; resuming syncs what is left. Each commit here is synced once.
        const auto& sqlite = static_cast<const SqliteDialect&>(db.dialect());
        for (int i = 0; i < 2; ++i) {
            QVERIFY2(db.beginTransaction(&error), qPrintable(error));
            QCOMPARE(pragma("synchronous"), sync);
            QVERIFY2(db.commit(&error), qPrintable(error));
            if (i == 0) {
                QTRY_COMPARE_WITH_TIMEOUT(sqlite.logSyncs(), 1, 5000);
            }
        }
        db.resumeCheckpoints();
        QCOMPARE(sqlite.logSyncs(), 2);
        QVERIFY(db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), &error));
        const qint64 before = QFileInfo(file).size();
        db.deferCheckpoints();
        // Well over the usual checkpoint threshold of pages, in several commits.
        const QString text(2000, QLatin1Char('x'));
        Recordset rs(db, Schema::kInvoices);
        QVERIFY(rs.openForAppend(&error));
        const int perCommit = 500;
        const int total = int(autoPages) * 4;
        for (int i = 0; i < total; ++i) {
            if (i % perCommit == 0) {
                QVERIFY2(db.beginTransaction(&error), qPrintable(error));
            }
            QVERIFY(rs.addNew(&error) && rs.setValue(QStringLiteral("periodo"), text, &error)
                && rs.setValue(QStringLiteral("conta"), i, &error));
            QVERIFY2(rs.update(&error), qPrintable(error));
            if (i % perCommit == perCommit - 1 || i == total - 1) {
                QVERIFY2(db.commit(&error), qPrintable(error));
            }
        }
        QCOMPARE(QFileInfo(file).size(), before);
        CaseDatabase other;
        QVERIFY2(other.open(tdb.connectionString(), &error), qPrintable(error));
        QSqlQuery count(other.database());
        QVERIFY(count.exec(QStringLiteral("SELECT COUNT(*) FROM ") + other.dialect().quoteName(Schema::kInvoices))
            && count.next());
        QCOMPARE(count.value(0).toInt(), total);
        count.finish();
        other.close();

        db.resumeCheckpoints();
        QCOMPARE(pragma("wal_autocheckpoint"), autoPages);
        QCOMPARE(pragma("synchronous"), sync);
        QCOMPARE(pragma("temp_store"), qint64(0));
        QVERIFY2(QFileInfo(file).size() > before + qint64(total) * 2000,
            qPrintable(QString::number(QFileInfo(file).size())));
        // Resuming twice does nothing more.
        db.resumeCheckpoints();
        QCOMPARE(pragma("wal_autocheckpoint"), autoPages);
        QCOMPARE(tdb.count(Schema::kInvoices), total);
        // A sync the disk refuses stops the next transaction, in the system's words; the next run
        // begins anew.
        db.deferCheckpoints();
        sqlite.failLogSyncs(EIO);
        const int synced = sqlite.logSyncs();
        QVERIFY2(db.beginTransaction(&error) && db.commit(&error), qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(sqlite.logSyncs(), synced + 1, 5000);
        QVERIFY(!db.beginTransaction(&error));
        QVERIFY2(error.contains(QString::fromLocal8Bit(std::strerror(EIO))), qPrintable(error));
        db.resumeCheckpoints();
        QVERIFY2(db.beginTransaction(&error) && db.commit(&error), qPrintable(error));
    }

    void forwardOnlyReadsEveryRow_data() { backends(); }
    void forwardOnlyReadsEveryRow()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        for (int i = 0; i < 5; ++i) {
            tdb.insert(Schema::kInvoices,
                { { QStringLiteral("conta"), 9 }, { QStringLiteral("periodo"), QString::number(i) } });
        }
        Recordset rs(tdb.db(), Schema::kInvoices);
        QString error;
        QVERIFY(rs.open(QStringLiteral("Select top 3 * from [tabella fatture] where conta=? order by periodo"), { 9 },
            &error, Recordset::Mode::ForwardOnly));
        QStringList seen;
        for (; !rs.eof(); rs.moveNext()) {
            seen << rs.text(QStringLiteral("periodo"));
        }
        QCOMPARE(seen, (QStringList { "0", "1", "2" }));
        QVERIFY(!rs.update(&error));
    }

    void apriDbFollowsTheConfiguration_data() { backends(); }
    void apriDbFollowsTheConfiguration()
    {
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        test::TestWorkspace ws;
        CaseDatabase db;
        QString error;

        ws.writeIni(QString()); // no "connstring" at all
        QVERIFY(!db.ApriDB(&error));
        QVERIFY2(error.contains(QStringLiteral("connstring")) && error.contains(QStringLiteral("kx32.ini")),
            qPrintable(error));
        QVERIFY(!db.isOpen());

        ws.writeIni(QStringLiteral("Provider=SQLite;Data Source=Z:\\work\\kx32\\dati\\manca.db"));
        QVERIFY(!db.ApriDB(&error));
        QVERIFY2(error.contains(QStringLiteral("manca.db")), qPrintable(error));

        ws.writeIni(tdb.connectionString());
        QVERIFY2(db.ApriDB(&error), qPrintable(error));
        QVERIFY(db.isOpen());
        // A changed "connstring" counts only from the next start.
        ws.writeIni(QStringLiteral("Provider=SQLite;Data Source=Z:\\altro.db"));
        QVERIFY(db.ApriDB(&error));
        QCOMPARE(db.connectionString(), tdb.connectionString());
    }
};

QTEST_GUILESS_MAIN(TestCaseDatabase)
#include "TestCaseDatabase.moc"
