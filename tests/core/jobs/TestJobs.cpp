// The seams every job is built on: the batch stamp and the line-by-line import skeleton.
#include "RecordingReporter.h"
#include "TestDatabase.h"
#include "core/desk/CaseDatabase.h"
#include "core/desk/Recordset.h"
#include "core/desk/Schema.h"
#include "core/jobs/BatchStamp.h"
#include "core/jobs/ImportRun.h"

#include <QTemporaryDir>
#include <QTest>

using namespace zb32;
using zb32::test::RecordingReporter;
using zb32::test::TestDatabase;

namespace {

// A job of one case per line: the line is the position; "rotta" cannot be saved.
class PositionLines : public ImportRun::LineHandler
{
public:
    PositionLines(ImportRun& run, CaseDatabase& db)
        : m_run(run)
        , m_cases(db, Schema::kCases)
    {
        QString ignored;
        m_cases.openForAppend(&ignored);
    }
    bool endsInput(const QString& text) override { return text.isEmpty(); }
    bool line(const QString& text, qint64, QString* why) override
    {
        if (text == QLatin1String("rotta")) {
            *why = QStringLiteral("riga rotta");
            return false;
        }
        WriteBatch& batch = m_run.batch();
        if (!batch.beginLine(why) || !m_cases.addNew(why) || !m_cases.setValue(QStringLiteral("posizione"), text, why)
            || !m_cases.update(why)) {
            m_cases.cancelUpdate();
            batch.abandonLine();
            return false;
        }
        m_run.setCount(JobReporter::Clienti, m_run.count(JobReporter::Clienti) + 1);
        return batch.endLine(why);
    }
    QString closing() const override { return QStringLiteral("fatto"); }

private:
    ImportRun& m_run;
    Recordset m_cases;
};

} // namespace

class TestJobs : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void batchStamp_data()
    {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("defaults convert") << -1 << ""
                                          << "";
        QTest::newRow("ISO date") << 0 << "2026-02-28"
                                  << "";
        QTest::newRow("day of no month") << 0 << "31/02/2026"
                                         << "Data Affido non valida: \"31/02/2026\"";
        QTest::newRow("empty expiry") << 1 << ""
                                      << "Scadenza non valida: \"\"";
        QTest::newRow("batch with blanks") << 3 << " 12 "
                                           << "";
        QTest::newRow("batch with text") << 3 << "12 OR 1=1"
                                         << "Lotto non valido: \"12 OR 1=1\"";
        QTest::newRow("batch past 32 bits") << 3 << "2147483648"
                                            << "Lotto non valido: \"2147483648\"";
    }
    void batchStamp()
    {
        QFETCH(int, box);
        QFETCH(QString, text);
        QFETCH(QString, error);
        BatchData batch = BatchData::defaults(QDate(2026, 1, 31));
        if (box >= 0) {
            batch.Text1[box] = text;
        }
        BatchStamp stamp;
        QString why;
        QCOMPARE(BatchStamp::read(batch, &stamp, &why), error.isEmpty());
        QCOMPARE(why, error);
        if (error.isEmpty()) {
            QCOMPARE(stamp.scadenzaMandato, QDate(2026, 2, 28));
            QCOMPARE(stamp.lotto, box == 3 ? 12 : 0);
            QCOMPARE(stamp.mandates().size(), 7);
        }
    }

    // The "Nome File" box names a file of the import folder, nothing outside it.
    void inputFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        const QString path = QStringLiteral("contiene un percorso");
        QTest::newRow("up and out") << "../../../etc/passwd" << path;
        QTest::newRow("windows path") << "..\\dati\\kx32.ini" << path;
        QTest::newRow("drive") << "c:kx32.ini" << path;
        QTest::newRow("subfolder") << "vecchi/orb.txt" << path;
        QTest::newRow("not there") << "nessuno.txt"
                                   << "FILE MANCANTE";
        QTest::newRow("empty") << ""
                               << "FILE MANCANTE";
    }
    void inputFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        BatchData batch = BatchData::defaults(QDate(2026, 1, 31));
        batch.Text1[4] = name;
        RecordingReporter report;
        JobContext ctx { tdb.db(), batch, report };
        QString path;
        JobResult result;
        QVERIFY(!ImportRun::findInput(ctx, &path, &result));
        QCOMPARE(result.status, JobStatus::Condition);
        QCOMPARE(report.messages.size(), 1);
        QVERIFY2(report.messages[0].contains(message), qPrintable(report.messages[0]));
    }

    // The skeleton reads to the end or to the first bad line, and says which.
    void importRun_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("saved");
        QTest::addColumn<QString>("error");
        QTest::newRow("every line") << QByteArray("1\r\n2\r\n3\r\n") << 3 << "";
        QTest::newRow("an empty line ends the file") << QByteArray("1\r\n\r\n2\r\n") << 1 << "";
        QTest::newRow("a bad line") << QByteArray("1\r\n2\r\nrotta\r\n4\r\n") << 2
                                    << "Importazione interrotta. File prova.txt, riga 3: riga rotta";
        QTest::newRow("a binary line") << QByteArray("1\r\n\x01\x02\r\n") << 1
                                       << "Importazione interrotta. File prova.txt, riga 2: ";
    }
    void importRun()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, saved);
        QFETCH(QString, error);
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        QTemporaryDir dir;
        QFile input(dir.filePath(QStringLiteral("prova.txt")));
        QVERIFY(input.open(QIODevice::WriteOnly) && input.write(file) == file.size());
        input.close();
        const BatchData batch = BatchData::defaults(QDate(2026, 1, 31));
        RecordingReporter report;
        JobContext ctx { tdb.db(), batch, report };
        JobResult result;
        {
            ImportRun run(ctx, QStringLiteral("prova.txt"));
            PositionLines lines(run, tdb.db());
            result = run.readTextFile(input.fileName(), lines);
        }
        QCOMPARE(tdb.count(Schema::kCases), saved);
        QCOMPARE(report.clienti, QString::number(saved));
        QCOMPARE(report.progressMaximum, file.size() + 128);
        if (error.isEmpty()) {
            QCOMPARE(result.status, JobStatus::Completed);
            QCOMPARE(report.messages, QStringList { QStringLiteral("fatto") });
            QVERIFY(report.errors.isEmpty());
        } else {
            QCOMPARE(result.status, JobStatus::Failed);
            QCOMPARE(report.errors.size(), 1);
            QVERIFY2(report.errors[0].startsWith(error), qPrintable(report.errors[0]));
            QVERIFY(report.messages.isEmpty());
        }
        QVERIFY(!tdb.db().inTransaction());
    }
};

QTEST_GUILESS_MAIN(TestJobs)
#include "TestJobs.moc"
