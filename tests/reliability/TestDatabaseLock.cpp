// An SQLite case database locked by another process while a job runs: with a busy time-out
// longer than the lock the job waits and finishes; with a shorter one it stops with an error
// naming the line, and keeps exactly the lines before it.
#include "FaultInputs.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "Zb32Process.h"
#include "core/desk/Schema.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace zb32;
using test::FaultInput;

Q_DECLARE_METATYPE(FaultInput::Job)

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

// Holds the database's write lock: waits until the invoice table has `after` rows (0: at once),
// takes the lock between two of the job's transactions, holds it `hold` ms, then lets go. The
// wait for the lock is the system's blocking wait on the write-lock byte of the shared-memory
// file (byte 120, as the WAL-index format lays the locks out), so it is granted the moment the
// job commits instead of depending on polling in the short gap between two transactions.
const char* const kLocker = R"(
import fcntl, os, sqlite3, sys, time
path, after, hold = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]) / 1000.0
con = sqlite3.connect(path, timeout=0, isolation_level=None)
con.execute('SELECT COUNT(*) FROM "tabella fatture"').fetchone()
count = 0
while count < after:
    count = con.execute('SELECT COUNT(*) FROM "tabella fatture"').fetchone()[0]
    time.sleep(0.002)
shm = os.open(path + "-shm", os.O_RDWR)
fcntl.lockf(shm, fcntl.LOCK_EX, 1, 120)
con.execute("BEGIN IMMEDIATE")
count = con.execute('SELECT COUNT(*) FROM "tabella fatture"').fetchone()[0]
print("locked", count, flush=True)
time.sleep(hold)
con.execute("ROLLBACK")
os.close(shm)
print("released", flush=True)
)";

bool waitForLine(QProcess& p)
{
    QElapsedTimer clock;
    clock.start();
    while (!p.canReadLine()) {
        if (clock.elapsed() > 30000 || !p.waitForReadyRead(30000)) {
            return false;
        }
    }
    return true;
}

QString jobName(FaultInput::Job job)
{
    return job == FaultInput::Job::Orb ? QStringLiteral("orb") : QStringLiteral("vidiru");
}

} // namespace

class TestDatabaseLock : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (!QFileInfo(kPython).isExecutable()) {
            QSKIP("no /usr/bin/python3 here to hold the lock from another process");
        }
    }

    void lockedDatabase_data()
    {
        QTest::addColumn<FaultInput::Job>("job");
        QTest::addColumn<int>("busyMs");
        QTest::addColumn<int>("lockAfter"); // invoices saved before the lock is taken
        QTest::addColumn<int>("holdMs");
        QTest::addColumn<bool>("completes");
        QTest::newRow("orb, locked at the start, waits") << FaultInput::Job::Orb << 10000 << 0 << 700 << true;
        QTest::newRow("orb, locked at the start, gives up") << FaultInput::Job::Orb << 150 << 0 << 4000 << false;
        QTest::newRow("orb, locked midway, waits") << FaultInput::Job::Orb << 10000 << 1000 << 700 << true;
        QTest::newRow("orb, locked midway, gives up") << FaultInput::Job::Orb << 150 << 1000 << 4000 << false;
        QTest::newRow("vidiru, locked midway, waits") << FaultInput::Job::ViDiru << 10000 << 1000 << 700 << true;
        QTest::newRow("vidiru, locked midway, gives up") << FaultInput::Job::ViDiru << 150 << 1000 << 4000 << false;
    }
    void lockedDatabase()
    {
        QFETCH(FaultInput::Job, job);
        QFETCH(int, busyMs);
        QFETCH(int, lockAfter);
        QFETCH(int, holdMs);
        QFETCH(bool, completes);
        test::TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString() + QStringLiteral(";Busy Timeout=%1").arg(busyMs));
        const FaultInput input = job == FaultInput::Job::Orb ? FaultInput::orb(3000) : FaultInput::viDiru(3000);
        ws.writeImportFile(QStringLiteral("lotto.txt"), input.bytes);
        const QString dbPath = tdb.connectionString().section(QStringLiteral("Data Source="), 1);

        QProcess locker;
        locker.start(kPython,
            { QStringLiteral("-c"), QString::fromUtf8(kLocker), dbPath, QString::number(lockAfter),
                QString::number(holdMs) });
        QVERIFY(locker.waitForStarted());
        QProcess run;
        run.setProgram(qEnvironmentVariable("ZB32_BINARY"));
        run.setArguments({ QStringLiteral("run"), jobName(job), QStringLiteral("--file"), QStringLiteral("lotto.txt"),
            QStringLiteral("--lotto"), QStringLiteral("3") });
        QElapsedTimer sinceLocked;
        if (lockAfter == 0) {
            // The lock is there before the job starts.
            QVERIFY(waitForLine(locker));
            sinceLocked.start();
            run.start();
        } else {
            run.start();
            QVERIFY2(waitForLine(locker), locker.readAllStandardError().constData());
            sinceLocked.start();
        }
        QVERIFY(run.waitForStarted());
        const QByteArray locked = locker.readLine().trimmed();
        QVERIFY2(locked.startsWith("locked "), locked.constData());
        const int invoicesAtLock = locked.mid(7).toInt();
        // The lock fell in the middle of the run, not after it.
        QVERIFY2(invoicesAtLock >= lockAfter && invoicesAtLock < input.invoiceCount(), locked.constData());

        QVERIFY(run.waitForFinished(60000));
        const qint64 ranFor = sinceLocked.elapsed();
        const QString err = QString::fromLocal8Bit(run.readAllStandardError());
        const QString out = QString::fromLocal8Bit(run.readAllStandardOutput());
        locker.kill();
        locker.waitForFinished();

        QString why;
        if (completes) {
            QVERIFY2(run.exitCode() == 0, qPrintable(err));
            // It cannot have committed its last lines before the lock was let go (less the time
            // the locker's word took to arrive).
            QVERIFY2(ranFor >= holdMs - 250, qPrintable(QStringLiteral("finished %1 ms after the lock").arg(ranFor)));
            QVERIFY2(test::sameRecords(
                         FaultInput::stored(tdb.db(), job, &why), input.expectedBefore(input.lineCount() + 1), &why),
                qPrintable(why));
            return;
        }
        QCOMPARE(run.exitCode(), 3);
        QVERIFY2(err.contains(QLatin1String("occupato")), qPrintable(err));
        if (lockAfter == 0) {
            // Locked before the run's register row could be written: nothing of the file is.
            QVERIFY2(
                err.startsWith(QLatin1String("Importazione interrotta. File lotto.txt: il registro")), qPrintable(err));
            QCOMPARE(tdb.count(Schema::kInvoices), 0);
            return;
        }
        QVERIFY2(err.startsWith(QLatin1String("Importazione interrotta. File lotto.txt, riga ")), qPrintable(err));
        // It gave up on the lock rather than waiting it out.
        QVERIFY2(ranFor < holdMs, qPrintable(QStringLiteral("stopped %1 ms after the lock").arg(ranFor)));
        const qint64 firstUnsaved = test::firstUnsavedLineOf(err);
        QVERIFY2(firstUnsaved >= 1 && firstUnsaved <= input.lineCount(), qPrintable(err));
        const QStringList stored = FaultInput::stored(tdb.db(), job, &why);
        QVERIFY2(test::sameRecords(stored, input.expectedBefore(firstUnsaved), &why),
            qPrintable(why + QLatin1Char('\n') + err));
        const auto boxes = test::printedCounters(out);
        QVERIFY2(test::countersMatch(boxes.first, boxes.second, stored, &why), qPrintable(why));
        // What was saved before the lock is all there.
        QVERIFY(tdb.count(Schema::kInvoices) >= invoicesAtLock);
    }

    // The disk under the database fills up mid-run: the run stops saying so, naming the first
    // line not saved, and not as a connection that broke.
    void diskFull()
    {
        QTemporaryDir medium;
        if (QProcess::execute(QStringLiteral("mount"),
                { QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), QStringLiteral("size=1m"),
                    QStringLiteral("tmpfs"), medium.path() })
            != 0) {
            QSKIP("a small disk needs mount (root)");
        }
        test::TestWorkspace ws;
        ws.writeIni(QStringLiteral("Provider=SQLite;Data Source=") + medium.filePath(QStringLiteral("casi.db")));
        ws.writeImportFile(QStringLiteral("grande.txt"), FaultInput::orb(3000).bytes);
        const test::Zb32Run init = test::runZb32({ QStringLiteral("initdb") });
        const test::Zb32Run run = test::runZb32({ QStringLiteral("run"), QStringLiteral("orb"),
            QStringLiteral("--file"), QStringLiteral("grande.txt"), QStringLiteral("--lotto"), QStringLiteral("7") });
        QProcess::execute(QStringLiteral("umount"), { medium.path() });
        QVERIFY2(init.exitCode == 0, qPrintable(init.err));
        QCOMPARE(run.exitCode, 3);
        QVERIFY2(run.err.contains(QLatin1String("disco pieno")), qPrintable(run.err));
        QVERIFY2(!run.err.contains(QLatin1String("connessione")), qPrintable(run.err));
        QVERIFY2(
            run.err.contains(QLatin1String("Importazione interrotta. File grande.txt, riga ")), qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(TestDatabaseLock)
#include "TestDatabaseLock.moc"
