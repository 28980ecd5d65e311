// The PostgreSQL server going away in the middle of an import, and the jobs after it comes back:
// the run names the first line not saved, the database holds exactly the lines before it, and
// the next job works without the program being started again.
#include "FaultInputs.h"
#include "PrivatePgServer.h"
#include "RecordingReporter.h"
#include "TestWorkspace.h"
#include "core/JobCatalog.h"
#include "core/desk/CaseDatabase.h"
#include "core/desk/Recordset.h"
#include "core/desk/Schema.h"
#include "core/desk/WriteBatch.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

using namespace zb32;
using test::FaultInput;
using test::PrivatePgServer;

Q_DECLARE_METATYPE(PrivatePgServer::StopMode)
Q_DECLARE_METATYPE(FaultInput::Job)

namespace {

// Invoices saved before the server is stopped: several groups of writes are committed by then.
constexpr int kInvoicesBeforeStop = 600;

QStringList jobArgs(FaultInput::Job job, const QString& file)
{
    return { QStringLiteral("run"), job == FaultInput::Job::Orb ? QStringLiteral("orb") : QStringLiteral("vidiru"),
        QStringLiteral("--file"), file, QStringLiteral("--lotto"), QStringLiteral("7"), QStringLiteral("--mandato"),
        QStringLiteral("460") };
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
        QTest::addColumn<QString>("options"); // added to the connection string
        QTest::addColumn<int>("endsWithin"); // seconds from the stop to the end of the run
        QTest::newRow("orb, fast stop") << FaultInput::Job::Orb << PrivatePgServer::StopMode::Fast << "" << 60;
        QTest::newRow("orb, crash") << FaultInput::Job::Orb << PrivatePgServer::StopMode::Immediate << "" << 60;
        QTest::newRow("vidiru, crash") << FaultInput::Job::ViDiru << PrivatePgServer::StopMode::Immediate << "" << 60;
        // A server that hangs answers nothing and drops nothing: the round-trip limit ends the wait.
        QTest::newRow("orb, frozen server, Timeout=3")
            << FaultInput::Job::Orb << PrivatePgServer::StopMode::Freeze << ";Timeout=3" << 3 + 5;
        QTest::newRow("vidiru, frozen server, Timeout=2")
            << FaultInput::Job::ViDiru << PrivatePgServer::StopMode::Freeze << ";Timeout=2" << 2 + 5;
    }
    void importStopsWhenTheServerGoes()
    {
        QFETCH(FaultInput::Job, job);
        QFETCH(PrivatePgServer::StopMode, mode);
        QFETCH(QString, options);
        QFETCH(int, endsWithin);
        test::TestWorkspace ws;
        ws.writeIni(m_server.connectionString() + options);
        // Far more than the run gets through before the server is stopped.
        const FaultInput input = makeInput(job, 6000, QStringLiteral("1"));
        ws.writeImportFile(QStringLiteral("grande.txt"), input.bytes);

        QProcess run;
        run.setProgram(qEnvironmentVariable("ZB32_BINARY"));
        run.setArguments(jobArgs(job, QStringLiteral("grande.txt")));
        run.start();
        QVERIFY(run.waitForStarted());
        const int seen = test::waitForRows(m_server.connectionString(), Schema::kInvoices, kInvoicesBeforeStop,
            [&] { return !run.waitForFinished(5); });
        QVERIFY2(run.state() == QProcess::Running,
            qPrintable(QStringLiteral("the run ended before the server was stopped: ")
                + QString::fromLocal8Bit(run.readAllStandardError())));
        QVERIFY2(seen >= kInvoicesBeforeStop, qPrintable(QStringLiteral("only %1 invoices seen").arg(seen)));
        QString error;
        QVERIFY2(m_server.stop(mode, &error), qPrintable(error));
        QElapsedTimer stopped;
        stopped.start();

        const bool ended = run.waitForFinished(endsWithin * 1000);
        const qint64 took = stopped.elapsed();
        if (!ended) {
            run.kill();
            run.waitForFinished();
        }
        const QString err = QString::fromLocal8Bit(run.readAllStandardError());
        const QString out = QString::fromLocal8Bit(run.readAllStandardOutput());
        QVERIFY2(ended, qPrintable(QStringLiteral("still running %1 s after the stop: %2").arg(endsWithin).arg(err)));
        qInfo("the run ended %lld ms after the stop", took);
        QCOMPARE(run.exitCode(), 3);
        QVERIFY2(err.contains(QLatin1String("connessione con il database interrotta")), qPrintable(err));
        QVERIFY2(err.contains(QLatin1String("Importazione interrotta. File grande.txt, riga ")), qPrintable(err));
        // One account of what was saved, not a string of contradicting ones.
        QCOMPARE(err.count(QLatin1String("Importazione interrotta")), 1);
        // The message alone: no library noise about statements or transactions, no server notice.
        QVERIFY2(err.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size() == 1, qPrintable(err));
        QVERIFY2(!err.contains(QLatin1String("righe precedenti non sono state salvate")), qPrintable(err));
        const qint64 firstUnsaved = test::firstUnsavedLineOf(err);
        QVERIFY2(firstUnsaved > 1 && firstUnsaved <= input.lineCount(), qPrintable(err));

        QVERIFY2(m_server.start(&error), qPrintable(error));
        CaseDatabase check;
        QVERIFY2(check.open(m_server.connectionString(), &error), qPrintable(error));
        const QStringList stored = FaultInput::stored(check, job, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY2(stored.size() > kInvoicesBeforeStop, qPrintable(err));
        QString why;
        QVERIFY2(test::storedAsTheErrorSays(stored, input, err, &why), qPrintable(why + QLatin1Char('\n') + err));
        QVERIFY2(test::countersMatchTheError(test::printedCounters(out), stored, input, err, &why),
            qPrintable(why + QLatin1Char('\n') + err));

        // Once the server is back the stopped run is resumed after its last saved line: then
        // every record of the file is there once.
        QProcess resumed;
        resumed.start(qEnvironmentVariable("ZB32_BINARY"),
            jobArgs(job, QStringLiteral("grande.txt")) << QStringLiteral("--riprendi"));
        QVERIFY(resumed.waitForFinished(120000));
        QVERIFY2(resumed.exitCode() == 0, resumed.readAllStandardError().constData());
        const QStringList whole = FaultInput::stored(check, job, &error);
        QVERIFY2(test::sameRecords(whole, input.expectedBefore(input.lineCount() + 1), &why), qPrintable(why));

        // The next run works and adds its records to those kept.
        const FaultInput next = makeInput(job, 30, QStringLiteral("2"));
        ws.writeImportFile(QStringLiteral("dopo.txt"), next.bytes);
        QProcess after;
        after.start(qEnvironmentVariable("ZB32_BINARY"), jobArgs(job, QStringLiteral("dopo.txt")));
        QVERIFY(after.waitForFinished(60000));
        QVERIFY2(after.exitCode() == 0, after.readAllStandardError().constData());
        QVERIFY2(test::sameRecords(FaultInput::stored(check, job, &error),
                     test::mergeRecords(whole, next.expectedBefore(next.lineCount() + 1)), &why),
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
        JobContext c1 { db, first, r1 };
        QVERIFY2(runJob(JobId::Orb, c1).status == JobStatus::Completed, qPrintable(r1.errors.join(QLatin1Char('\n'))));

        QString error;
        QVERIFY2(m_server.stop(mode, &error), qPrintable(error));
        const BatchData second = batchFor(QStringLiteral("vidiru.txt"));
        if (downAtNextJob) {
            test::RecordingReporter down;
            JobContext c { db, second, down };
            const JobResult result = runJob(JobId::ViDiru, c);
            QCOMPARE(result.status, JobStatus::Failed);
            QCOMPARE(down.errors.size(), 1);
            QVERIFY2(
                down.errors[0].startsWith(QLatin1String("Impossibile aprire il database")), qPrintable(down.errors[0]));
            QVERIFY(down.messages.isEmpty());
        }
        QVERIFY2(m_server.start(&error), qPrintable(error));
        test::RecordingReporter r2;
        JobContext c2 { db, second, r2 };
        const JobResult result = runJob(JobId::ViDiru, c2);
        QVERIFY2(result.status == JobStatus::Completed, qPrintable(r2.errors.join(QLatin1Char('\n'))));
        QCOMPARE(r2.messages, QStringList { QStringLiteral("Importazione conclusa") });

        CaseDatabase check;
        QVERIFY2(check.open(m_server.connectionString(), &error), qPrintable(error));
        QString why;
        QVERIFY2(test::sameRecords(
                     test::recordsOf(FaultInput::stored(check, FaultInput::Job::Orb, &error), QStringLiteral("A")),
                     orb.expectedBefore(orb.lineCount() + 1), &why),
            qPrintable(why));
        QVERIFY2(test::sameRecords(
                     test::recordsOf(FaultInput::stored(check, FaultInput::Job::ViDiru, &error), QStringLiteral("2")),
                     viDiru.expectedBefore(viDiru.lineCount() + 1), &why),
            qPrintable(why));
    }

    // The connection breaks while a group is being committed (a trigger run at commit time ends
    // the session): nobody can tell from the program whether the commit was made, so the run
    // names that group's lines as to be checked, and the lines after it as not saved. Here the
    // commit was not made, so the database holds the lines before the group. Or it breaks while
    // the group's rows are being sent (its server process ended from another connection as the
    // row of the cut invoice is written): the run names the group's first line as the first not
    // saved, and the database holds exactly the groups committed before it.
    void commitCutOff_data()
    {
        QTest::addColumn<FaultInput::Job>("job");
        QTest::addColumn<int>("cases");
        QTest::addColumn<int>("cutCase"); // the case whose first invoice's group is cut off
        QTest::addColumn<bool>("inFlight"); // cut while the rows are sent, else at the commit
        for (const bool inFlight : { false, true }) {
            const char* when = inFlight ? ", rows in flight" : ", at the commit";
            const auto row = [&](const char* name) -> QTestData& {
                return QTest::newRow(qPrintable(QLatin1String(name) + QLatin1String(when)));
            };
            // Some five lines a case: about six groups, cut in the third.
            constexpr int kCases = WriteBatch::kNewRecordLinesPerCommit * 6 / 5;
            row("orb, a group in the middle") << FaultInput::Job::Orb << kCases << kCases / 2 << inFlight;
            row("orb, the last group") << FaultInput::Job::Orb << 60 << 40 << inFlight;
            row("vidiru, a group in the middle") << FaultInput::Job::ViDiru << kCases << kCases / 2 << inFlight;
            row("vidiru, the last group") << FaultInput::Job::ViDiru << 60 << 40 << inFlight;
        }
    }
    void commitCutOff()
    {
        QFETCH(FaultInput::Job, job);
        QFETCH(int, cases);
        QFETCH(int, cutCase);
        QFETCH(bool, inFlight);
        test::TestWorkspace ws;
        ws.writeIni(m_server.connectionString());
        const FaultInput input = makeInput(job, cases, QStringLiteral("3"));
        ws.writeImportFile(QStringLiteral("taglio.txt"), input.bytes);
        qint64 cutLine = 0;
        QString cutInvoice;
        for (qint64 i = 0, seen = 0; i < input.lineCount() && cutInvoice.isEmpty(); ++i) {
            if (input.lines[i].kind == test::LineEffect::Kind::Case) {
                ++seen;
            } else if (input.lines[i].kind == test::LineEffect::Kind::Invoice && seen == cutCase) {
                cutLine = i + 1;
                cutInvoice = input.lines[i].detail;
            }
        }
        CaseDatabase admin;
        QString error;
        QVERIFY2(admin.open(m_server.connectionString(), &error), qPrintable(error));
        // In flight the row waits for a lock the test holds, until the test ends its session.
        constexpr int kHeld = 724201;
        const QString body = inFlight
            ? QStringLiteral("BEGIN PERFORM pg_advisory_lock(%1); RETURN NEW; END").arg(kHeld)
            : QStringLiteral(
                "BEGIN PERFORM pg_terminate_backend(pg_backend_pid()); PERFORM pg_sleep(5); RETURN NULL; END");
        QVERIFY2(
            admin.exec(QStringLiteral("CREATE OR REPLACE FUNCTION zb32_cut() RETURNS trigger LANGUAGE plpgsql AS $$ "
                                      "%1 $$")
                           .arg(body),
                &error),
            qPrintable(error));
        QVERIFY2(admin.exec(QStringLiteral("CREATE %1 zb32_cut %2 INSERT ON \"tabella fatture\" %3 FOR EACH ROW "
                                           "WHEN (trim(NEW.\"numero fattura\") = '%4') EXECUTE FUNCTION zb32_cut()")
                                .arg(inFlight ? QStringLiteral("TRIGGER") : QStringLiteral("CONSTRAINT TRIGGER"),
                                    inFlight ? QStringLiteral("BEFORE") : QStringLiteral("AFTER"),
                                    inFlight ? QString() : QStringLiteral("DEFERRABLE INITIALLY DEFERRED"), cutInvoice),
                     &error),
            qPrintable(error));
        QSqlQuery lock(admin.database());
        QVERIFY2(!inFlight || lock.exec(QStringLiteral("SELECT pg_advisory_lock(%1)").arg(kHeld)),
            qPrintable(lock.lastError().text()));

        QProcess run;
        run.start(qEnvironmentVariable("ZB32_BINARY"), jobArgs(job, QStringLiteral("taglio.txt")));
        QVERIFY(run.waitForStarted());
        if (inFlight) {
            // The run's server process waiting for the lock is ended from here.
            QSqlQuery waiting(admin.database());
            bool ended = false;
            for (int tries = 0; tries < 600 && !ended && run.state() == QProcess::Running; ++tries) {
                QVERIFY(waiting.exec(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_locks WHERE locktype = "
                                                    "'advisory' AND objid = %1 AND NOT granted")
                                         .arg(kHeld)));
                ended = waiting.next() && waiting.value(0).toBool();
                if (!ended) {
                    QThread::msleep(50);
                }
            }
            QVERIFY2(ended, "the run never waited on the cut invoice's row");
            QVERIFY(lock.exec(QStringLiteral("SELECT pg_advisory_unlock(%1)").arg(kHeld)));
        }
        QVERIFY(run.waitForFinished(60000));
        const QString err = QString::fromLocal8Bit(run.readAllStandardError());
        QCOMPARE(run.exitCode(), 3);
        qint64 first = 0; // the first line of the group cut off
        if (inFlight) {
            QVERIFY2(err.contains(QLatin1String("connessione con il database interrotta")), qPrintable(err));
            QVERIFY2(!err.contains(QLatin1String("potrebbero")), qPrintable(err));
            first = test::firstUnsavedLineOf(err);
            // A group begins with a case, and holds the cut line.
            QVERIFY2(first >= 1 && first <= cutLine && input.lines[first - 1].kind == test::LineEffect::Kind::Case,
                qPrintable(err));
            QVERIFY2(cutLine - first < 2 * WriteBatch::kNewRecordLinesPerCommit, qPrintable(err));
        } else {
            static const QRegularExpression range(
                QStringLiteral("le righe dalla (\\d+) alla (\\d+) potrebbero essere state "
                               "salvate o no.*le righe dalla (\\d+) in poi non sono state salvate"));
            const QRegularExpressionMatch m = range.match(err);
            QVERIFY2(m.hasMatch(), qPrintable(err));
            first = m.captured(1).toLongLong();
            const qint64 last = m.captured(2).toLongLong();
            QVERIFY2(first <= cutLine && cutLine <= last && m.captured(3).toLongLong() == last + 1, qPrintable(err));
            QCOMPARE(test::firstUnsavedLineOf(err), last + 1);
        }
        // A group in the middle leaves the groups before it saved.
        QVERIFY2(cases <= 60 || first > WriteBatch::kNewRecordLinesPerCommit, qPrintable(err));

        QVERIFY(admin.exec(QStringLiteral("DROP TRIGGER zb32_cut ON \"tabella fatture\""), &error));
        QString why;
        const QStringList stored = FaultInput::stored(admin, job, &error);
        QVERIFY2(
            test::sameRecords(stored, input.expectedBefore(first), &why), qPrintable(why + QLatin1Char('\n') + err));
        // The boxes count what is known to be saved.
        const auto boxes = test::printedCounters(QString::fromLocal8Bit(run.readAllStandardOutput()));
        QVERIFY2(test::countersMatch(boxes.first, boxes.second, stored, &why), qPrintable(why));
    }

    // The driver gives no fields for a table it cannot reach: that is a broken connection, not a
    // missing table.
    void tableOverABrokenConnection()
    {
        CaseDatabase db;
        QString error;
        QVERIFY2(db.open(m_server.connectionString(), &error), qPrintable(error));
        QVERIFY2(m_server.stop(PrivatePgServer::StopMode::Fast, &error), qPrintable(error));
        Recordset cases(db, Schema::kCases);
        QVERIFY(!cases.openForAppend(&error));
        QVERIFY2(error.contains(QLatin1String("connessione con il database interrotta")), qPrintable(error));
        QVERIFY2(!error.contains(QLatin1String("non esiste")), qPrintable(error));
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
