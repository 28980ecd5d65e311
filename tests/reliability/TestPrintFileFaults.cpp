// The letter run when the print file cannot be written: a folder that refuses new files, a disk
// that fills up while the file is written (the file-size limit of the process), a folder in the
// file's place. The run says so, and the earlier file of the day stays exactly as it was.
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "core/desk/Schema.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace zb32;

namespace {

const QString kFileName = QStringLiteral("LO071226.ASC");
constexpr int kCases = 250;

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// How the child process is hampered.
enum class Fault { None, FileSizeLimit, ReadOnlyFolder };

Run runLetters(const QString& lotto, Fault fault = Fault::None, qint64 sizeLimit = 0)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZB32_TODAY"), QStringLiteral("2026-12-07"));
    p.setProcessEnvironment(env);
    if (fault == Fault::FileSizeLimit) {
        // A full disk: writes past the limit fail with EFBIG instead of killing the process.
        p.setChildProcessModifier([sizeLimit] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit { rlim_t(sizeLimit), rlim_t(sizeLimit) };
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    } else if (fault == Fault::ReadOnlyFolder && ::geteuid() == 0) {
        // Permissions do not hold root back: the run goes as the unprivileged user "nobody".
        p.setChildProcessModifier([] {
            const gid_t group = 65534;
            if (::setgroups(1, &group) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
                ::_exit(99);
            }
        });
    }
    p.start(qEnvironmentVariable("ZB32_BINARY"),
        { QStringLiteral("run"), QStringLiteral("postel"), QStringLiteral("--lotto"), lotto, QStringLiteral("--cc") });
    p.waitForFinished(60000);
    return { p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
        QString::fromLocal8Bit(p.readAllStandardError()) };
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// Batch 2: one case; batch 3: many cases with three invoices each, a file of some hundred KB.
void insertBatches(test::TestDatabase& tdb)
{
    QString error;
    QVERIFY(tdb.db().beginTransaction(&error));
    for (int n = 0; n <= kCases; ++n) {
        const qint64 key = tdb.insert(Schema::kCases,
            { { QStringLiteral("posizione"), QStringLiteral("%1/2026").arg(n) },
                { QStringLiteral("lottoimportazione"), n == 0 ? 2 : 3 },
                { QStringLiteral("ragione sociale"), QStringLiteral("DEBITORE %1").arg(n) },
                { QStringLiteral("Indirizzo"), QStringLiteral("VIA ROMA %1").arg(n) },
                { QStringLiteral("Cap"), QStringLiteral("00100") }, { QStringLiteral("Citta"), QStringLiteral("ROMA") },
                { QStringLiteral("Provincia"), QStringLiteral("RM") },
                { QStringLiteral("importo totale"), QStringLiteral("%1,50").arg(n * 3) } });
        for (int k = 1; k <= 3; ++k) {
            tdb.insert(Schema::kInvoices,
                { { QStringLiteral("conta"), key },
                    { QStringLiteral("numero fattura"), QStringLiteral("F%1-%2").arg(n).arg(k) },
                    { QStringLiteral("data fattura"), QStringLiteral("0%1/03/2026").arg(k) },
                    { QStringLiteral("saldo"), QStringLiteral("%1,50").arg(n) },
                    { QStringLiteral("periodo"), QStringLiteral("BIM 1/2026") } });
        }
    }
    QVERIFY(tdb.db().commit(&error));
    // Nothing left for a reader to write back when it closes the database.
    QVERIFY(tdb.db().exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), &error));
}

} // namespace

class TestPrintFileFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_db.isAvailable(), qPrintable(m_db.skipReason()));
        insertBatches(m_db);
        if (QTest::currentTestFailed()) {
            return;
        }
        // The whole file of batch 3, written where nothing hampers the run.
        test::TestWorkspace ws;
        ws.writeIni(m_db.connectionString());
        const Run r = runLetters(QStringLiteral("3"));
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        m_fullFile = readFile(ws.driveC() + QLatin1Char('/') + kFileName);
        QVERIFY(m_fullFile.size() > 100000);
    }

    // The disk fills up at a point of the file: the run fails naming the file, the day's earlier
    // file is untouched and no partial file is left behind. With room enough the file is replaced.
    void diskFullWhileWriting_data()
    {
        QTest::addColumn<double>("share"); // of the whole file that fits
        QTest::newRow("full from the start") << 0.0;
        QTest::newRow("full halfway") << 0.5;
        QTest::newRow("full one byte before the end") << 1.0;
        QTest::newRow("room enough") << 2.0;
    }
    void diskFullWhileWriting()
    {
        QFETCH(double, share);
        test::TestWorkspace ws;
        ws.writeIni(m_db.connectionString());
        const QString path = ws.driveC() + QLatin1Char('/') + kFileName;
        const Run first = runLetters(QStringLiteral("2"));
        QCOMPARE(first.exitCode, 0);
        const QByteArray earlier = readFile(path);
        QVERIFY(earlier.size() < m_fullFile.size());

        // The database's shared-memory file takes 32 KB: a smaller limit would stop the run
        // before it reaches its print file.
        const qint64 limit = qMax<qint64>(40000, qint64(m_fullFile.size() * share) - (share == 1.0 ? 1 : 0));
        const Run r = runLetters(QStringLiteral("3"), Fault::FileSizeLimit, limit);
        if (limit >= m_fullFile.size()) {
            QVERIFY2(r.exitCode == 0, qPrintable(r.err));
            QCOMPARE(readFile(path), m_fullFile);
        } else {
            QCOMPARE(r.exitCode, 3);
            const QString shown = QDir::toNativeSeparators(path);
            QVERIFY2(
                r.err.contains(QStringLiteral("Lettere Postel non create. File %1: ").arg(shown)), qPrintable(r.err));
            QVERIFY2(!r.out.contains(QLatin1String("Creati ")), qPrintable(r.out));
            QCOMPARE(readFile(path), earlier);
        }
        QCOMPARE(entries(ws.driveC()), QStringList { kFileName });
    }

    // A folder where no new file can be made, and a folder standing where the file would go:
    // the run names the file and the system's reason, and changes nothing.
    void fileCannotBeCreated_data()
    {
        QTest::addColumn<bool>("folderInItsPlace");
        QTest::newRow("read-only folder") << false;
        QTest::newRow("a folder with the file's name") << true;
    }
    void fileCannotBeCreated()
    {
        QFETCH(bool, folderInItsPlace);
        test::TestWorkspace ws;
        ws.writeIni(m_db.connectionString());
        const QString path = ws.driveC() + QLatin1Char('/') + kFileName;
        QByteArray earlier = "<missing>";
        Run r;
        if (folderInItsPlace) {
            QVERIFY(QDir().mkpath(path));
            r = runLetters(QStringLiteral("3"));
            QVERIFY(QFileInfo(path).isDir());
        } else {
            QCOMPARE(runLetters(QStringLiteral("2")).exitCode, 0);
            earlier = readFile(path);
            // The unprivileged run must reach the drive folders through the temporary folder.
            QFile::setPermissions(QFileInfo(ws.driveZ()).absolutePath(),
                QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
            QVERIFY(QFile::setPermissions(
                ws.driveC(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
            r = runLetters(QStringLiteral("3"), Fault::ReadOnlyFolder);
            QFile::setPermissions(ws.driveC(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QCOMPARE(readFile(path), earlier);
        }
        QVERIFY2(r.exitCode == 1, qPrintable(QStringLiteral("exit %1: %2 %3").arg(r.exitCode).arg(r.out, r.err)));
        const QString tail = QStringLiteral("\r\nper il file ") + QDir::toNativeSeparators(path);
        QVERIFY2(r.out.contains(tail), qPrintable(r.out));
        QVERIFY2(!r.out.startsWith(tail), "the system's reason comes first");
        QCOMPARE(entries(ws.driveC()), QStringList { kFileName });
    }

private:
    test::TestDatabase m_db { QStringLiteral("sqlite") };
    QByteArray m_fullFile;
};

QTEST_GUILESS_MAIN(TestPrintFileFaults)
#include "TestPrintFileFaults.moc"
