// The PostgreSQL server going away in the middle of an import, and the jobs after it comes back:
// the run names the first line not saved, the database holds exactly the lines before it, and
// the next job works without the program being started again.
#include "FaultInputs.h"
#include "PrivatePgServer.h"
#include "RecordingReporter.h"
#include "TestWorkspace.h"
#include "desk/CaseDatabase.h"
#include "desk/Job.h"
#include "desk/Schema.h"

#include <QProcess>
#include <QTest>
#include <QThread>

using namespace zb32;
using test::FaultInput;
using test::PrivatePgServer;

Q_DECLARE_METATYPE(PrivatePgServer::StopMode)
Q_DECLARE_METATYPE(FaultInput::Job)

namespace {

// Invoices saved before the server is stopped: several groups of writes are committed by then.
constexpr int kInvoicesBeforeStop = 1200;

QStringList jobArgs(FaultInput::Job job, const QString& file)
{
    return {QStringLiteral("run"), job == FaultInput::Job::Orb ? QStringLiteral("orb") : QStringLiteral("vidiru"),
            QStringLiteral("--file"), file, QStringLiteral("--lotto"), QStringLiteral("7"), QStringLiteral("--mandato"),
            QStringLiteral("460")};
}

FaultInput makeInput(FaultInput::Job job, int cases, const QString& tag)
{
    return job == FaultInput::Job::Orb ? FaultInput::orb(cases, tag) : FaultInput::viDiru(cases, tag);
}

BatchData batchFor(const QString& file)
{
    BatchData batch = BatchData::defaults(QDate(2026, 12, 7));
    batch.Text1[4] = file;
    batch.Text1[3] = QStringLiteral("7");
    batch.Text1[5] = QStringLiteral("460");
    return batch;
}

} // namespace

class TestServerLoss : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (PrivatePgServer::binFolder().isEmpty()) {
            QSKIP("no PostgreSQL server programs here (ZB32_PG_BIN, /usr/lib/postgresql/*/bin): nothing to stop");
        }
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
    }

    void init()
    {
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        QVERIFY2(test::freshTables(m_server.connectionString(), &error), qPrintable(error));
    }

    void importStopsWhenTheServerGoes_data()
    {
        QTest::addColumn<FaultInput::Job>("job");
        QTest::addColumn<PrivatePgServer::StopMode>("mode");
        QTest::newRow("orb, fast stop") << FaultInput::Job::Orb << PrivatePgServer::StopMode::Fast;
        QTest::newRow("orb, crash") << FaultInput::Job::Orb << PrivatePgServer::StopMode::Immediate;
        QTest::newRow("vidiru, fast stop") << FaultInput::Job::ViDiru << PrivatePgServer::StopMode::Fast;
        QTest::newRow("vidiru, crash") << FaultInput::Job::ViDiru << PrivatePgServer::StopMode::Immediate;
    }
    void importStopsWhenTheServerGoes()
    {
        QFETCH(FaultInput::Job, job);
        QFETCH(PrivatePgServer::StopMode, mode);
        test::TestWorkspace ws;
        ws.writeIni(m_server.connectionString());
        // Far more than the run gets through before the server is stopped.
        const FaultInput input = makeInput(job, 10000, QStringLiteral("1"));
        ws.writeImportFile(QStringLiteral("grande.txt"), input.bytes);

        QProcess run;
        run.setProgram(qEnvironmentVariable("ZB32_BINARY"));
        run.setArguments(jobArgs(job, QStringLiteral("grande.txt")));
        run.start();
        QVERIFY(run.waitForStarted());
        const int seen = test::waitForRows(m_server.connectionString(), Schema::kInvoices, kInvoicesBeforeStop, [&] {
            return !run.waitForFinished(5);
        });
        QVERIFY2(run.state() == QProcess::Running,
                 qPrintable(QStringLiteral("the run ended before the server was stopped: ")
                            + QString::fromLocal8Bit(run.readAllStandardError())));
        QVERIFY2(seen >= kInvoicesBeforeStop, qPrintable(QStringLiteral("only %1 invoices seen").arg(seen)));
        QString error;
        QVERIFY2(m_server.stop(mode, &error), qPrintable(error));

        QVERIFY(run.waitForFinished(60000));
        const QString err = QString::fromLocal8Bit(run.readAllStandardError());
        QCOMPARE(run.exitCode(), 3);
        QVERIFY2(err.contains(QLatin1String("Importazione interrotta. File grande.txt, riga ")), qPrintable(err));
        const qint64 firstUnsaved = test::firstUnsavedLineOf(err);
        QVERIFY2(firstUnsaved > 1 && firstUnsaved <= input.lineCount(), qPrintable(err));

        QVERIFY2(m_server.start(&error), qPrintable(error));
        CaseDatabase check;
        QVERIFY2(check.open(m_server.connectionString(), &error), qPrintable(error));
        const QStringList expected = input.expectedBefore(firstUnsaved);
        const QStringList stored = FaultInput::stored(check, job, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY2(stored.size() > kInvoicesBeforeStop, qPrintable(err));
        QString why;
        QVERIFY2(test::sameRecords(stored, expected, &why), qPrintable(why + QLatin1Char('\n') + err));

        // The next run, once the server is back, works and adds its records to those kept.
        const FaultInput next = makeInput(job, 30, QStringLiteral("2"));
        ws.writeImportFile(QStringLiteral("dopo.txt"), next.bytes);
        QProcess after;
        after.start(qEnvironmentVariable("ZB32_BINARY"), jobArgs(job, QStringLiteral("dopo.txt")));
        QVERIFY(after.waitForFinished(60000));
        QVERIFY2(after.exitCode() == 0, after.readAllStandardError().constData());
        QVERIFY2(test::sameRecords(FaultInput::stored(check, job, &error),
                                   test::mergeRecords(expected, next.expectedBefore(next.lineCount() + 1)), &why),
                 qPrintable(why));
    }

    // One connection for the whole session, as the desk keeps it: the server restarts between two
    // jobs (or is still down when the second starts, which then fails and the third works).
    void nextJobOpensTheConnectionAgain_data()
    {
        QTest::addColumn<PrivatePgServer::StopMode>("mode");
        QTest::addColumn<bool>("downAtNextJob");
        QTest::newRow("fast stop, back before the next job") << PrivatePgServer::StopMode::Fast << false;
        QTest::newRow("crash, back before the next job") << PrivatePgServer::StopMode::Immediate << false;
        QTest::newRow("fast stop, still down at the next job") << PrivatePgServer::StopMode::Fast << true;
        QTest::newRow("crash, still down at the next job") << PrivatePgServer::StopMode::Immediate << true;
    }
    void nextJobOpensTheConnectionAgain()
    {
        QFETCH(PrivatePgServer::StopMode, mode);
        QFETCH(bool, downAtNextJob);
        test::TestWorkspace ws;
        ws.writeIni(m_server.connectionString());
        const FaultInput orb = FaultInput::orb(40, QStringLiteral("A"));
        const FaultInput viDiru = FaultInput::viDiru(25, QStringLiteral("2"));
        ws.writeImportFile(QStringLiteral("orb.txt"), orb.bytes);
        ws.writeImportFile(QStringLiteral("vidiru.txt"), viDiru.bytes);

        CaseDatabase db;
        const BatchData first = batchFor(QStringLiteral("orb.txt"));
        test::RecordingReporter r1;
        JobContext c1{db, first, r1};
        QVERIFY2(runJob(JobId::Orb, c1).status == JobStatus::Completed, qPrintable(r1.errors.join(QLatin1Char('\n'))));

        QString error;
        QVERIFY2(m_server.stop(mode, &error), qPrintable(error));
        const BatchData second = batchFor(QStringLiteral("vidiru.txt"));
        if (downAtNextJob) {
            test::RecordingReporter down;
            JobContext c{db, second, down};
            const JobResult result = runJob(JobId::ViDiru, c);
            QCOMPARE(result.status, JobStatus::Failed);
            QCOMPARE(down.errors.size(), 1);
            QVERIFY2(down.errors[0].startsWith(QLatin1String("Impossibile aprire il database")), qPrintable(down.errors[0]));
            QVERIFY(down.messages.isEmpty());
        }
        QVERIFY2(m_server.start(&error), qPrintable(error));
        test::RecordingReporter r2;
        JobContext c2{db, second, r2};
        const JobResult result = runJob(JobId::ViDiru, c2);
        QVERIFY2(result.status == JobStatus::Completed, qPrintable(r2.errors.join(QLatin1Char('\n'))));
        QCOMPARE(r2.messages, QStringList{QStringLiteral("Importazione conclusa")});

        CaseDatabase check;
        QVERIFY2(check.open(m_server.connectionString(), &error), qPrintable(error));
        QString why;
        QVERIFY2(test::sameRecords(test::recordsOf(FaultInput::stored(check, FaultInput::Job::Orb, &error), QStringLiteral("A")),
                                   orb.expectedBefore(orb.lineCount() + 1), &why),
                 qPrintable(why));
        QVERIFY2(test::sameRecords(test::recordsOf(FaultInput::stored(check, FaultInput::Job::ViDiru, &error), QStringLiteral("2")),
                                   viDiru.expectedBefore(viDiru.lineCount() + 1), &why),
                 qPrintable(why));
    }

    void cleanupTestCase()
    {
        QString ignored;
        m_server.stop(PrivatePgServer::StopMode::Immediate, &ignored);
    }

private:
    PrivatePgServer m_server;
};

QTEST_GUILESS_MAIN(TestServerLoss)
#include "TestServerLoss.moc"
