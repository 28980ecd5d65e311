// "zb32 run orb" as a separate process: exit status, what it prints, what it leaves in the database.
#include "OrbFixture.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "Zb32Process.h"
#include "core/desk/Schema.h"

#include <QDir>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace zb32;
using zb32::test::OrbFixture;
using zb32::test::TestDatabase;

namespace {

using Run = zb32::test::Zb32Run;
using zb32::test::runZb32;

// The command-line options that fill the desk's boxes as the fixture has them.
QStringList batchOptions(const BatchData& batch, const QString& file)
{
    return { QStringLiteral("--file"), file, QStringLiteral("--data-affido"), batch.Text1[0],
        QStringLiteral("--scadenza"), batch.Text1[1], QStringLiteral("--intervento"), batch.Text1[2],
        QStringLiteral("--lotto"), batch.Text1[3], QStringLiteral("--mandato"), batch.Text1[5],
        QStringLiteral("--sit-aff"), batch.Text1[6] };
}

} // namespace

class TestOrbCommand : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void runs_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("out");
        TestDatabase::addBackendColumn();
        struct Row
        {
            const char* name;
            const char* fixture;
            const char* file; // "" = the fixture's own name
            int exitCode;
            QStringList out;
        };
        const Row rows[] = {
            { "completed", "tre_pratiche", "", 0, { "importazione conclusa", "clienti: 3", "fatture: 7" } },
            { "stopped at a date", "data_non_valida", "", 3, { "clienti: 1", "fatture: 1" } },
            { "refused batch box", "lotto_non_numerico", "", 3, { "clienti: ", "fatture: " } },
            { "missing file", "tre_pratiche", "manca.txt", 1, { "FILE MANCANTE", "clienti: ", "fatture: " } },
            { "empty file", "file_vuoto", "", 0, { "importazione conclusa", "clienti: ", "fatture: " } },
        };
        for (const Row& r : rows) {
            for (const char* backend : { "sqlite", "postgresql" }) {
                QTest::newRow(qPrintable(QString::fromLatin1(r.name) + QLatin1Char('/') + QLatin1String(backend)))
                    << QString::fromLatin1(r.fixture) << QString::fromLatin1(r.file) << r.exitCode << r.out
                    << QString::fromLatin1(backend);
            }
        }
    }
    void runs()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, file);
        QFETCH(int, exitCode);
        QFETCH(QStringList, out);
        QFETCH(QString, backend);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        const OrbFixture f(fixture);
        QVERIFY2(f.isValid(), qPrintable(f.errorString()));
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        ws.writeImportFile(f.fileName(), f.input());

        const Run r = runZb32(QStringList { QStringLiteral("run"), QStringLiteral("orb") }
            + batchOptions(f.batch(), file.isEmpty() ? f.fileName() : file));
        QVERIFY2(r.exitCode == exitCode, qPrintable(QStringLiteral("exit %1\n%2%3").arg(r.exitCode).arg(r.out, r.err)));
        QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), out);

        const QPair<QString, QString> error = f.expectedError();
        if (exitCode == 3) {
            QVERIFY2(r.err.startsWith(error.first), qPrintable(r.err));
            QVERIFY2(r.err.contains(error.second, Qt::CaseInsensitive), qPrintable(r.err));
        } else {
            QCOMPARE(r.err, QString());
        }
        if (exitCode == 1) {
            QCOMPARE(tdb.count(Schema::kCases), 0);
            QCOMPARE(tdb.count(Schema::kInvoices), 0);
        } else {
            QString why;
            QVERIFY2(OrbFixture::sameText(OrbFixture::dumpTables(tdb), f.expectedTables(), &why), qPrintable(why));
        }
    }

    // A first start makes the demo workspace, and the desk's defaults import its sample file.
    void firstStartImportsTheSample()
    {
        QTemporaryDir home;
        const QByteArray oldZ = qgetenv("ZB32_DRIVE_Z");
        const QByteArray oldToday = qgetenv("ZB32_TODAY");
        qputenv("ZB32_DRIVE_Z", QFile::encodeName(home.path() + QStringLiteral("/Z")));
        qputenv("ZB32_TODAY", "2026-01-31");
        const Run r = runZb32({ QStringLiteral("run"), QStringLiteral("orb") });
        for (const auto& [name, old] : { std::pair { "ZB32_DRIVE_Z", oldZ }, std::pair { "ZB32_TODAY", oldToday } }) {
            if (old.isNull()) {
                qunsetenv(name);
            } else {
                qputenv(name, old);
            }
        }

        const OrbFixture sample(QStringLiteral("esempio"));
        QVERIFY2(sample.isValid(), qPrintable(sample.errorString()));
        QString fatture;
        for (const QString& line : sample.expected().split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("fatture="))) {
                fatture = line.mid(8);
            }
        }
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
            QStringList({ QStringLiteral("importazione conclusa"), QStringLiteral("clienti: 12"),
                QStringLiteral("fatture: ") + fatture }));

        // The cases carry the desk's start-up boxes: today, today plus one month, batch 0.
        CaseDatabase db;
        QString error;
        QVERIFY2(
            db.open(QStringLiteral("Provider=SQLite;Data Source=%1/Z/work/kx32/dati/kx32.db").arg(home.path()), &error),
            qPrintable(error));
        QSqlQuery q(db.database());
        QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*), MIN([data Affido]), MAX([scadenza mandato]), "
                                      "MAX(lottoimportazione), MIN([Tipo Mandato]) FROM [tabella pratiche]")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 12);
        QCOMPARE(q.value(1).toString(), QStringLiteral("2026-01-31"));
        QCOMPARE(q.value(2).toString(), QStringLiteral("2026-02-28"));
        QCOMPARE(q.value(3).toInt(), 0);
        QCOMPARE(q.value(4).toString(), QStringLiteral("460,462,463,464,465,466,467"));
    }
};

QTEST_GUILESS_MAIN(TestOrbCommand)
#include "TestOrbCommand.moc"
