// `zb32 annulla RUN`: a run taken back leaves the database as it was before the import, row for
// row; an undo that would lose someone else's later work is refused and changes nothing.
#include "CliSupport.h"
#include "JobFiles.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "core/desk/Schema.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

using namespace zb32;
using namespace zb32::test;

namespace {

QString fileFor(const QString& job)
{
    return job == QLatin1String("spese") ? QStringLiteral("lotto.xls") : QStringLiteral("lotto.txt");
}

QStringList jobArgs(const QString& job, QString file = {})
{
    file = file.isEmpty() ? fileFor(job) : file;
    return { QStringLiteral("run"), job, QStringLiteral("--file"), file, QStringLiteral("--lotto"), QStringLiteral("7"),
        QStringLiteral("--mandato"), QStringLiteral("460") };
}

QByteArray jobFile(const QString& job, int first, int count)
{
    QStringList lines;
    for (int n = first; n < first + count; ++n) {
        lines += job == QLatin1String("orb") ? orbCase(n)
            : job == QLatin1String("vidiru") ? viDiruCase(n)
                                             : QStringList { collectionRecord(n) };
    }
    return cp1252Lines(lines);
}

bool execSql(TestDatabase& tdb, const QString& sql, const QVariantList& values = {})
{
    QSqlQuery q(tdb.db().database());
    if (values.isEmpty() ? !q.exec(sql) : !q.prepare(sql)) {
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return false;
    }
    for (int i = 0; i < values.size(); ++i) {
        q.bindValue(i, values[i]);
    }
    if (!values.isEmpty() && !q.exec()) {
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return false;
    }
    return true;
}

// A refusal of the server for one record: the run stops at its line, as on a real refusal.
bool refuseInsert(TestDatabase& tdb, const QString& table, const QString& field, const QString& value, bool on)
{
    const bool pg = tdb.backend() == QLatin1String("postgresql");
    const QString t = pg ? QLatin1Char('"') + table + QLatin1Char('"') : QLatin1Char('[') + table + QLatin1Char(']');
    if (!on) {
        return execSql(tdb,
            pg ? QStringLiteral("DROP TRIGGER zb32_ferma ON %1").arg(t) : QStringLiteral("DROP TRIGGER zb32_ferma"));
    }
    if (pg) {
        return execSql(tdb,
                   QStringLiteral(
                       "CREATE OR REPLACE FUNCTION zb32_ferma() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF "
                       "NEW.\"%1\" = '%2' THEN RAISE EXCEPTION 'riga rifiutata'; END IF; RETURN NEW; END $$")
                       .arg(field, value))
            && execSql(tdb,
                QStringLiteral(
                    "CREATE TRIGGER zb32_ferma BEFORE INSERT ON %1 FOR EACH ROW EXECUTE FUNCTION zb32_ferma()")
                    .arg(t));
    }
    // SQLite compares an amount with a number, not with a text.
    const bool number = field == QLatin1String("totale");
    return execSql(tdb,
        QStringLiteral("CREATE TRIGGER zb32_ferma BEFORE INSERT ON %1 WHEN NEW.[%2] = %3 BEGIN SELECT "
                       "RAISE(ABORT, 'riga rifiutata'); END")
            .arg(t, field, number ? value : QLatin1Char('\'') + value + QLatin1Char('\'')));
}

} // namespace

class TestUndo : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // What happens between the import and its undo, and what the undo then says.
    void undo_data()
    {
        TestDatabase::addBackendColumn();
        QTest::addColumn<QString>("job");
        QTest::addColumn<QString>("between");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        const QString undone = QStringLiteral("annullata: cancellate");
        for (const char* backend : { "sqlite", "postgresql" }) {
            const QString b = QString::fromLatin1(backend);
            auto row = [&](const char* job, const char* between, int exitCode, const QString& says) {
                QTest::newRow(
                    qPrintable(QStringLiteral("%1: %2, %3").arg(b, QLatin1String(job), QLatin1String(between))))
                    << b << QString::fromLatin1(job) << QString::fromLatin1(between) << exitCode << says;
            };
            for (const char* job : { "orb", "vidiru", "incassi" }) {
                row(job, "nothing", 0, undone);
                row(job, "resumed", 0, QStringLiteral("con le sue riprese (corse 1, 2)"));
            }
            row("spese", "nothing", 0, undone);
            row("orb", "letters", 1, QStringLiteral("le lettere non si annullano"));
            for (const char* job : { "orb", "vidiru" }) {
                row(job, "payment posted", 1, QStringLiteral("c'è il pagamento"));
                row(job, "case deleted", 1, QStringLiteral("record creato dall'importazione, non c'è più"));
            }
            row("incassi", "field changed", 1, QStringLiteral("il campo \"totale incassato\" vale \"999"));
            row("incassi", "later run", 1, QStringLiteral("è stato cambiato dopo dall'importazione 2 (incassi"));
        }
    }
    void undo()
    {
        QFETCH(QString, backend);
        QFETCH(QString, job);
        QFETCH(QString, between);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        const bool collections = job == QLatin1String("incassi");
        const bool expenses = job == QLatin1String("spese");
        if (collections) {
            addCollectionCases(tdb, 4);
        }
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        if (expenses) {
            // The expense workbook of the confirmation tests: its "00042" row posts a payment.
            addCases(tdb, { QStringLiteral("00042") });
            QFile fixture(qEnvironmentVariable("ZB32_TEST_DATA") + QStringLiteral("/confirmations/spese.xls"));
            QVERIFY(fixture.open(QIODevice::ReadOnly));
            ws.writeImportFile(fileFor(job), fixture.readAll());
        } else {
            ws.writeImportFile(fileFor(job), jobFile(job, collections ? 0 : 1, collections ? 12 : 3));
        }
        const QStringList before = dumpRows(tdb);

        qint64 undoRun = 1;
        if (between == QLatin1String("resumed")) {
            // The first run stops at a record the server refuses, the second goes on after the
            // lines it saved; the run taken back is the second.
            const QString table = collections ? Schema::kPayments : Schema::kCases;
            const QString field = collections ? QStringLiteral("totale") : QStringLiteral("posizione");
            const QString value = collections ? QStringLiteral("25")
                : job == QLatin1String("orb") ? QStringLiteral("ORB-3")
                                              : QStringLiteral("503");
            QVERIFY(refuseInsert(tdb, table, field, value, true));
            QCOMPARE(runZb32(jobArgs(job)).exitCode, 3);
            QVERIFY(refuseInsert(tdb, table, field, value, false));
            const CliRun resumed = runZb32(jobArgs(job) << QStringLiteral("--riprendi"));
            QVERIFY2(resumed.exitCode == 0 && resumed.out.contains(QLatin1String("ripresa dalla riga")),
                qPrintable(resumed.describe()));
            undoRun = 2;
        } else {
            const CliRun imported = runZb32(jobArgs(job));
            QVERIFY2(imported.exitCode == 0, qPrintable(imported.describe()));
        }
        if (between == QLatin1String("letters")) {
            QVERIFY(runZb32({ "run", "postel", "--lotto", "7" }).exitCode <= 1);
            undoRun = 2;
        } else if (between == QLatin1String("payment posted")) {
            const qint64 someCase = tdb.rows(Schema::kCases).value(1).value("contatore").toLongLong();
            tdb.insert(Schema::kPayments, { { "conta", someCase }, { "data", "01/12/2026" }, { "totale", "10" } });
        } else if (between == QLatin1String("case deleted")) {
            const qint64 someCase = tdb.rows(Schema::kCases).value(1).value("contatore").toLongLong();
            QVERIFY(execSql(tdb,
                backend == QLatin1String("postgresql")
                    ? QStringLiteral("DELETE FROM \"tabella pratiche\" WHERE contatore = ?")
                    : QStringLiteral("DELETE FROM [tabella pratiche] WHERE contatore = ?"),
                { someCase }));
            says = QStringLiteral("la pratica %1, ").arg(someCase) + says;
        } else if (between == QLatin1String("field changed")) {
            // Another program corrects the collected total the run wrote on one case.
            const bool pg = backend == QLatin1String("postgresql");
            QVERIFY(execSql(tdb,
                pg ? QStringLiteral("UPDATE \"tabella pratiche\" SET \"totale incassato\" = ? WHERE posizione = ?")
                   : QStringLiteral("UPDATE [tabella pratiche] SET [totale incassato] = ? WHERE posizione = ?"),
                { 999, QStringLiteral("1003") }));
        } else if (between == QLatin1String("later run")) {
            ws.writeImportFile(QStringLiteral("dopo.txt"), jobFile(job, 40, 4));
            QCOMPARE(runZb32(jobArgs(job, QStringLiteral("dopo.txt"))).exitCode, 0);
        }
        const QStringList beforeUndo = dumpRows(tdb);
        const QList<QVariantMap> runsBefore = tdb.rows(Schema::kImportRuns);

        if (expenses) {
            QVERIFY(firstDifference(dumpRows(tdb), before).size() > 0); // the payment is there
        }
        const CliRun undo = runZb32({ QStringLiteral("annulla"), QString::number(undoRun) });
        QVERIFY2(undo.exitCode == exitCode, qPrintable(undo.describe()));
        QVERIFY2((undo.out + undo.err).contains(says), qPrintable(undo.describe()));
        const QList<QVariantMap> runs = tdb.rows(Schema::kImportRuns);
        if (exitCode != 0) {
            // Refused: not a record changed, the register as it was.
            const QString difference = firstDifference(dumpRows(tdb), beforeUndo);
            QVERIFY2(difference.isEmpty(), qPrintable(difference));
            for (qsizetype i = 0; i < runs.size(); ++i) {
                QCOMPARE(runs[i].value("stato"), runsBefore[i].value("stato"));
            }
            return;
        }
        const QString difference = firstDifference(dumpRows(tdb), before);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        QCOMPARE(runs.size(), int(undoRun));
        for (const QVariantMap& r : runs) {
            QCOMPARE(r.value("stato").toString(), QStringLiteral("annullata"));
        }
        // Twice is refused, for any part of the import, with nothing changed.
        const CliRun again = runZb32({ QStringLiteral("annulla"), QStringLiteral("1") });
        QVERIFY2(again.exitCode == 1 && again.out.contains(QStringLiteral("è già stata annullata")),
            qPrintable(again.describe()));
        QVERIFY(firstDifference(dumpRows(tdb), before).isEmpty());
        // The file counts as not imported: the next run takes it as a new one.
        const CliRun reimport = runZb32(jobArgs(job));
        QVERIFY2(reimport.exitCode == 0, qPrintable(reimport.describe()));
        QCOMPARE(tdb.rows(Schema::kImportRuns).last().value("modo").toString(), QStringLiteral("nuova"));
    }

    void refusedArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        QTest::newRow("no run") << QStringList { "annulla" } << 2 << QStringLiteral("il numero di una corsa");
        QTest::newRow("not a number") << QStringList { "annulla", "x" } << 2
                                      << QStringLiteral("il numero di una corsa");
        QTest::newRow("unknown run") << QStringList { "annulla", "42" } << 1 << QStringLiteral("non è nel registro");
    }
    void refusedArguments()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        const CliRun run = runZb32(args);
        QVERIFY2(run.exitCode == exitCode && (run.out + run.err).contains(says), qPrintable(run.describe()));
    }
};

QTEST_GUILESS_MAIN(TestUndo)
#include "TestUndo.moc"
