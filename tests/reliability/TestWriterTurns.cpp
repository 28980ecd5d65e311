// How the transactions of two connections to one case database wait for each other: the turns
// that let two desks write at once without failing, deadlocking or losing an update.
#include "TestDatabase.h"
#include "core/desk/CaseDatabase.h"

#include <QAtomicInt>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

using namespace zb32;
using zb32::test::TestDatabase;

namespace {

// A connection of its own on a thread of its own (a connection belongs to the thread that opened
// it), beginning one transaction and ending it again.
class Beginner : public QThread
{
public:
    Beginner(const QString& connString, bool shared)
        : m_connString(connString)
        , m_shared(shared)
    { }
    bool began() const { return m_began; }
    QString error() const { return m_error; }

protected:
    void run() override
    {
        CaseDatabase db;
        if (!db.open(m_connString, &m_error)) {
            return;
        }
        m_began = db.beginTransaction(&m_error, m_shared);
        if (m_began) {
            db.rollback();
        }
    }

private:
    QString m_connString;
    bool m_shared;
    bool m_began = false;
    QString m_error;
};

// Another desk's job on SQLite: holds the write lock for a while, committing a record every few
// dozen milliseconds or never.
class Holder : public QThread
{
public:
    Holder(const QString& connString, bool commits, int forMs)
        : m_connString(connString)
        , m_commits(commits)
        , m_forMs(forMs)
    { }
    // Set once the lock is held: the waiting desk starts then.
    QAtomicInt holding;
    QString failure;

protected:
    void run() override
    {
        CaseDatabase db;
        QString error;
        if (!db.open(m_connString, &error) || !db.beginTransaction(&error)) {
            failure = error;
            holding.storeRelease(1);
            return;
        }
        holding.storeRelease(1);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < m_forMs) {
            // Each transaction takes a while; the next begins right after the commit, so a
            // desk waiting for the lock hardly ever finds it free.
            QThread::msleep(40);
            if (!m_commits) {
                continue;
            }
            if (!db.exec(QStringLiteral("INSERT INTO [Aliquote] (COD_AGENT) VALUES ('x')"), &error)
                || !db.commit(&error) || !db.beginTransaction(&error)) {
                failure = error;
                return;
            }
        }
        db.commit(&error);
    }

private:
    QString m_connString;
    bool m_commits;
    int m_forMs;
};

} // namespace

class TestWriterTurns : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void secondTransaction_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<bool>("firstShared");
        QTest::addColumn<bool>("secondShared");
        QTest::addColumn<bool>("waits");
        // SQLite lets one writer in at a time, whatever it writes.
        QTest::newRow("sqlite: additions") << "sqlite" << false << false << true;
        QTest::newRow("sqlite: shared records") << "sqlite" << true << true << true;
        // PostgreSQL: only two transactions that change shared records take turns.
        QTest::newRow("postgresql: shared records") << "postgresql" << true << true << true;
        QTest::newRow("postgresql: additions") << "postgresql" << false << false << false;
        QTest::newRow("postgresql: addition beside shared") << "postgresql" << true << false << false;
        QTest::newRow("postgresql: shared beside addition") << "postgresql" << false << true << false;
    }
    void secondTransaction()
    {
        QFETCH(QString, backend);
        QFETCH(bool, firstShared);
        QFETCH(bool, secondShared);
        QFETCH(bool, waits);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        CaseDatabase first;
        QString error;
        QVERIFY2(first.open(tdb.connectionString(), &error), qPrintable(error));
        QVERIFY2(first.beginTransaction(&error, firstShared), qPrintable(error));
        Beginner second(tdb.connectionString(), secondShared);
        second.start();
        if (waits) {
            QVERIFY2(!second.wait(400), "the second transaction began while the first was open");
            QVERIFY2(first.commit(&error), qPrintable(error));
        }
        QVERIFY2(second.wait(20000), "the second transaction is still waiting");
        QVERIFY2(second.began(), qPrintable(second.error()));
        first.rollback();
    }

    void waitingForSqliteWriter_data()
    {
        QTest::addColumn<bool>("holderCommits");
        QTest::addColumn<bool>("begins");
        // The other desk holds the lock six busy time-outs long in all: while it keeps
        // committing the waiting desk waits for it; a desk stuck in one transaction is given up
        // on after one time-out.
        QTest::newRow("other desk committing") << true << true;
        QTest::newRow("other desk stuck") << false << false;
    }
    void waitingForSqliteWriter()
    {
        QFETCH(bool, holderCommits);
        QFETCH(bool, begins);
        constexpr int kBusyMs = 200;
        constexpr int kHoldMs = 6 * kBusyMs;
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        Holder holder(tdb.connectionString(), holderCommits, kHoldMs);
        holder.start();
        QTRY_VERIFY(holder.holding.loadAcquire() == 1);
        QVERIFY2(holder.failure.isEmpty(), qPrintable(holder.failure));

        CaseDatabase waiting;
        QString error;
        QVERIFY2(waiting.open(tdb.connectionString() + QStringLiteral(";Busy Timeout=%1").arg(kBusyMs), &error),
            qPrintable(error));
        QElapsedTimer clock;
        clock.start();
        const bool began = waiting.beginTransaction(&error);
        const qint64 waited = clock.elapsed();
        waiting.rollback(); // the other desk goes on
        const bool holderDone = holder.wait(20000);
        QVERIFY(holderDone);
        QVERIFY2(holder.failure.isEmpty(), qPrintable(holder.failure));
        QVERIFY2(
            began == begins, qPrintable(QStringLiteral("began: %1 after %2 ms, %3").arg(began).arg(waited).arg(error)));
        if (!begins) {
            QVERIFY2(error.contains(QStringLiteral("locked")), qPrintable(error));
            // One time-out, not the holder's whole hold.
            QVERIFY2(
                waited >= kBusyMs && waited < kHoldMs, qPrintable(QStringLiteral("gave up after %1 ms").arg(waited)));
        }
    }
};

QTEST_GUILESS_MAIN(TestWriterTurns)
#include "TestWriterTurns.moc"
