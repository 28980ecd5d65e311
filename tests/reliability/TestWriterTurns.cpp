// How the transactions of two connections to one case database wait for each other: the turns
// that let two desks write at once without failing, deadlocking or losing an update.
#include "TestDatabase.h"
#include "core/desk/CaseDatabase.h"

#include <QAtomicInt>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
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

// Another desk's job: holds the write lock (SQLite) or the turn of the transactions that change
// shared records (PostgreSQL) for a while, committing a record every few dozen milliseconds or
// never.
class Holder : public QThread
{
public:
    Holder(const QString& connString, bool commits, int forMs, int transactionMs = 40)
        : m_connString(connString)
        , m_commits(commits)
        , m_forMs(forMs)
        , m_transactionMs(transactionMs)
    { }
    static inline const QString kJob = QStringLiteral("incassi");
    // Set once the lock is held: the waiting desk starts then.
    QAtomicInt holding;
    QString failure;

protected:
    void run() override
    {
        CaseDatabase db;
        QString error;
        db.setJob(kJob);
        if (!db.open(m_connString, &error) || !db.beginTransaction(&error, true)) {
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
            QThread::msleep(m_transactionMs);
            if (!m_commits) {
                continue;
            }
            QSqlQuery* insert = db.statement(QStringLiteral("INSERT INTO [Aliquote] (COD_AGENT) VALUES ('x')"), &error);
            if (!insert || !insert->exec() || !db.commit(&error) || !db.beginTransaction(&error, true)) {
                failure = insert && error.isEmpty() ? insert->lastError().text() : error;
                return;
            }
        }
        db.commit(&error);
    }

private:
    QString m_connString;
    bool m_commits;
    int m_forMs;
    int m_transactionMs;
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

    void waitingForAnotherWriter_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<bool>("holderCommits");
        QTest::addColumn<bool>("begins");
        // The other desk holds the lock six busy time-outs long in all: while it keeps
        // committing the waiting desk waits for it; a desk stuck in one transaction is given up
        // on after one time-out.
        QTest::newRow("sqlite: other desk committing") << "sqlite" << true << true;
        QTest::newRow("sqlite: other desk stuck") << "sqlite" << false << false;
        // The same on PostgreSQL for the confirmation runs' turn, and the wait names the holder.
        QTest::newRow("postgresql: other desk committing") << "postgresql" << true << true;
        QTest::newRow("postgresql: other desk stuck") << "postgresql" << false << false;
    }
    void waitingForAnotherWriter()
    {
        QFETCH(QString, backend);
        QFETCH(bool, holderCommits);
        QFETCH(bool, begins);
        constexpr int kBusyMs = 300;
        constexpr int kHoldMs = 6 * kBusyMs;
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        // The waiting desk is connected first, so it asks for the turn as soon as it is held.
        CaseDatabase waiting;
        QStringList notices;
        waiting.setJob(QStringLiteral("spese"), [&notices](const QString& text) { notices << text; });
        QString error;
        QVERIFY2(waiting.open(tdb.connectionString() + QStringLiteral(";Busy Timeout=%1").arg(kBusyMs), &error),
            qPrintable(error));
        // On PostgreSQL the waiting desk queues at the server and gets the turn at the holder's
        // next commit; a wait is told once it outlasts a moment, so the holder's transactions
        // take several.
        Holder holder(
            tdb.connectionString(), holderCommits, kHoldMs, backend == QLatin1String("postgresql") ? 250 : 40);
        holder.start();
        QTRY_VERIFY(holder.holding.loadAcquire() == 1);
        QVERIFY2(holder.failure.isEmpty(), qPrintable(holder.failure));
        QElapsedTimer clock;
        clock.start();
        const bool began = waiting.beginTransaction(&error, true);
        const qint64 waited = clock.elapsed();
        waiting.rollback(); // the other desk goes on
        const bool holderDone = holder.wait(20000);
        QVERIFY(holderDone);
        QVERIFY2(holder.failure.isEmpty(), qPrintable(holder.failure));
        QVERIFY2(
            began == begins, qPrintable(QStringLiteral("began: %1 after %2 ms, %3").arg(began).arg(waited).arg(error)));
        const QString holderName = QStringLiteral("zb32 %1 %2").arg(QSysInfo::machineHostName(), Holder::kJob);
        if (!begins) {
            QVERIFY2(error.contains(backend == QLatin1String("sqlite") ? QStringLiteral("locked") : holderName),
                qPrintable(error));
            // One time-out, not the holder's whole hold.
            QVERIFY2(
                waited >= kBusyMs && waited < kHoldMs, qPrintable(QStringLiteral("gave up after %1 ms").arg(waited)));
        }
        if (backend == QLatin1String("postgresql")) {
            QVERIFY2(!notices.isEmpty()
                    && notices.constFirst().startsWith(QStringLiteral("In attesa del turno di "
                                                                      "scrittura: lo tiene ")
                        + holderName),
                qPrintable(notices.join(QLatin1Char('\n'))));
            // How the server lists the waiting desk's session, and when it ends one left in a transaction.
            QSqlQuery q(waiting.database());
            QVERIFY(q.exec(QStringLiteral("SELECT current_setting('application_name'), "
                                          "current_setting('idle_in_transaction_session_timeout')")));
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("zb32 %1 spese").arg(QSysInfo::machineHostName()));
            QCOMPARE(q.value(1).toString(), QStringLiteral("2min"));
        }
    }
};

QTEST_GUILESS_MAIN(TestWriterTurns)
#include "TestWriterTurns.moc"
