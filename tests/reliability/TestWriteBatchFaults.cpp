// The write batch under faults, in one process: commits held until a job's records are whole,
// and a batch that could not begin a transaction (a database locked by another connection)
// refuses every later line, so no later commit can leave a gap of unsaved lines behind it.
#include "TestDatabase.h"
#include "core/desk/Recordset.h"
#include "core/desk/Schema.h"
#include "core/desk/WriteBatch.h"

#include <QTest>

using namespace zb32;

class TestWriteBatchFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // One unit per line; "w" lets a full group be committed after the line, "h" holds it.
    void heldCommits_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QList<int>>("commitsAfter");
        QTest::newRow("every line may commit") << 2 << "wwwww" << QList<int> { 0, 1, 1, 2, 2 };
        QTest::newRow("held to a closing line") << 2 << "hhhwhw" << QList<int> { 0, 0, 0, 1, 1, 2 };
        QTest::newRow("held past several groups") << 1 << "hhhhw" << QList<int> { 0, 0, 0, 0, 1 };
        QTest::newRow("group not full at the closing line") << 4 << "hwhhw" << QList<int> { 0, 0, 0, 0, 1 };
    }
    void heldCommits()
    {
        QFETCH(int, group);
        QFETCH(QString, pattern);
        QFETCH(QList<int>, commitsAfter);
        test::TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        CaseDatabase db;
        QString error;
        QVERIFY2(db.open(tdb.connectionString(), &error), qPrintable(error));
        Recordset rs(db, Schema::kInvoices);
        QVERIFY(rs.openForAppend(&error));
        WriteBatch batch(db, group);
        for (int line = 1; line <= pattern.size(); ++line) {
            QVERIFY2(batch.beginLine(&error, line), qPrintable(error));
            QVERIFY(rs.addNew(&error) && rs.setValue(QStringLiteral("conta"), line, &error) && rs.update(&error));
            const bool hold = pattern[line - 1] == QLatin1Char('h');
            QVERIFY(batch.endLine(&error, hold ? WriteBatch::Commit::Hold : WriteBatch::Commit::WhenDue));
            QCOMPARE(batch.commitCount(), commitsAfter[line - 1]);
            // Another connection sees only what is committed.
            QCOMPARE(tdb.count(Schema::kInvoices) > 0, batch.commitCount() > 0);
        }
        QVERIFY(batch.finish(&error));
        QCOMPARE(tdb.count(Schema::kInvoices), pattern.size());
    }

    // The lock falls at the start of a group, after `committedLines` lines were committed.
    void lockedAtTheStartOfAGroup_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("committedLines");
        QTest::newRow("first line") << 3 << 0;
        QTest::newRow("after one group") << 3 << 3;
        QTest::newRow("after two groups") << 2 << 4;
    }
    void lockedAtTheStartOfAGroup()
    {
        QFETCH(int, group);
        QFETCH(int, committedLines);
        test::TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        CaseDatabase db;
        QString error;
        QVERIFY2(db.open(tdb.connectionString() + QStringLiteral(";Busy Timeout=50"), &error), qPrintable(error));
        Recordset rs(db, Schema::kInvoices);
        QVERIFY(rs.openForAppend(&error));
        WriteBatch batch(db, group);
        int line = 1;
        for (; line <= committedLines; ++line) {
            QVERIFY2(batch.beginLine(&error, line), qPrintable(error));
            QVERIFY(rs.addNew(&error) && rs.setValue(QStringLiteral("conta"), line, &error) && rs.update(&error));
            QVERIFY(batch.endLine(&error));
        }
        QVERIFY(!db.inTransaction());

        CaseDatabase holder;
        QVERIFY2(holder.open(tdb.connectionString(), &error), qPrintable(error));
        QVERIFY2(holder.beginTransaction(&error), qPrintable(error));
        QVERIFY(!batch.beginLine(&error, line));
        QVERIFY2(
            error.startsWith(QLatin1String("database occupato da un'altra postazione: dopo 50 ms")), qPrintable(error));
        QVERIFY(batch.hasFailed());
        QVERIFY(!batch.transactionLost());
        QCOMPARE(batch.firstUnsavedLine(), qint64(committedLines + 1));
        const QString reason = batch.stopReason(error);
        QVERIFY2(!reason.contains(QLatin1String("connessione")), qPrintable(reason));

        // Once the lock is gone the batch still writes nothing more: the failed line is unsaved.
        holder.rollback();
        QVERIFY(!batch.beginLine(&error, line + 1));
        QVERIFY(batch.finish(&error));
        QCOMPARE(tdb.count(Schema::kInvoices), committedLines);
    }
};

QTEST_GUILESS_MAIN(TestWriteBatchFaults)
#include "TestWriteBatchFaults.moc"
