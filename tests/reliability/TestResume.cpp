// A run killed mid-way, or stopped at a line the database refuses, and then resumed with
// --riprendi leaves the database as one clean run of the file would: every record once, none
// missing, compared record by record. A refused line is named as the check (which writes line
// by line) names it, wherever it falls in a group of writes, and the run keeps exactly the
// whole cases before it.
#include "CliSupport.h"
#include "FaultInputs.h"
#include "JobFiles.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "core/desk/Schema.h"
#include "core/desk/WriteBatch.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

using namespace zb32;
using namespace zb32::test;

namespace {

const QString kFile = QStringLiteral("grande.txt");
// Cases enough for about three groups of a case import (some five lines a case).
constexpr int kThreeGroups = WriteBatch::kNewRecordLinesPerCommit * 3 / 5;

QStringList jobArgs(const QString& job)
{
    return { QStringLiteral("run"), job, QStringLiteral("--file"), kFile, QStringLiteral("--lotto"),
        QStringLiteral("7"), QStringLiteral("--mandato"), QStringLiteral("460") };
}

// The four tables' records without the keys the runs gave the records they wrote (a server's
// sequence does not take back the keys of a killed transaction), sorted.
QStringList contentWithoutNewKeys(TestDatabase& tdb)
{
    static const QRegularExpression key(QStringLiteral("^(tabella fatture|tabella pagamenti) \\S+ "));
    QStringList rows = dumpRows(tdb);
    for (QString& row : rows) {
        row.replace(key, QStringLiteral("\\1 "));
    }
    rows.sort();
    return rows;
}

QByteArray collectionsFile(int records)
{
    QStringList lines;
    for (int n = 0; n < records; ++n) {
        lines << collectionRecord(n);
    }
    return cp1252Lines(lines);
}

const QString kRefusal = QStringLiteral("riga rifiutata dalla regola di prova");

// A rule of the database the jobs know nothing of: it refuses every write of a case
// ("pratica"), the write of a case that gives it its total ("totale"), or an invoice
// ("fattura"), named in the table zb32_rifiuti; and a log of the register's last saved line,
// one row per group committed.
bool installRules(CaseDatabase& db, QString* error)
{
    // On a server the database outlives the tables a test makes anew: what an earlier row left goes first.
    const bool pg = db.dialect().kind() == SqlDialect::Kind::PostgreSQL;
    QStringList sql { QStringLiteral("DROP TABLE IF EXISTS zb32_rifiuti"),
        QStringLiteral("DROP TABLE IF EXISTS zb32_gruppi"),
        QStringLiteral("CREATE TABLE zb32_rifiuti (cosa varchar(10), valore varchar(60))"),
        QStringLiteral("CREATE TABLE zb32_gruppi (riga integer)") };
    if (pg) {
        for (const char* f : { "zb32_rifiuta_pratica", "zb32_rifiuta_fattura", "zb32_gruppo" }) {
            sql << QStringLiteral("DROP FUNCTION IF EXISTS %1() CASCADE").arg(QLatin1String(f));
        }
    }
    const QString caseRule = QStringLiteral("EXISTS (SELECT 1 FROM zb32_rifiuti r WHERE r.valore = NEW.posizione AND "
                                            "(r.cosa = 'pratica' OR (r.cosa = 'totale' AND NEW.%1 IS NOT NULL)))");
    // On the server an invoice can also be refused only when it comes in bulk ('copia'), so a
    // group's COPY is refused and the same rows written line by line are taken.
    const QString invoiceRule
        = QStringLiteral(
            "EXISTS (SELECT 1 FROM zb32_rifiuti r WHERE (r.cosa = 'fattura'%2) AND r.valore = trim(NEW.%1))")
              .arg(QStringLiteral("%1"),
                  pg ? QStringLiteral(" OR (r.cosa = 'copia' AND current_query() LIKE '%COPY%')") : QString());
    if (pg) {
        const auto function = [](const QString& name, const QString& condition) {
            return QStringLiteral("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF %2 THEN "
                                  "RAISE EXCEPTION '%3'; END IF; RETURN NEW; END $$")
                .arg(name, condition, kRefusal);
        };
        sql << function(QStringLiteral("zb32_rifiuta_pratica"), caseRule.arg(QStringLiteral("\"importo totale\"")))
            << function(QStringLiteral("zb32_rifiuta_fattura"), invoiceRule.arg(QStringLiteral("\"numero fattura\"")))
            << QStringLiteral("CREATE TRIGGER zb32_rifiuta BEFORE INSERT OR UPDATE ON \"tabella pratiche\" FOR EACH "
                              "ROW EXECUTE FUNCTION zb32_rifiuta_pratica()")
            << QStringLiteral("CREATE TRIGGER zb32_rifiuta BEFORE INSERT OR UPDATE ON \"tabella fatture\" FOR EACH "
                              "ROW EXECUTE FUNCTION zb32_rifiuta_fattura()")
            << QStringLiteral("CREATE FUNCTION zb32_gruppo() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN INSERT "
                              "INTO zb32_gruppi VALUES (NEW.\"ultima riga salvata\"); RETURN NEW; END $$")
            << QStringLiteral("CREATE TRIGGER zb32_gruppo AFTER UPDATE ON \"tabella importazioni\" FOR EACH ROW "
                              "EXECUTE FUNCTION zb32_gruppo()");
    } else {
        for (const char* op : { "INSERT", "UPDATE" }) {
            const auto trigger = [op](const char* name, const QString& table, const QString& condition) {
                return QStringLiteral("CREATE TRIGGER zb32_%1_%2 BEFORE %2 ON [%3] WHEN %4 BEGIN SELECT RAISE(ABORT, "
                                      "'%5'); END")
                    .arg(QLatin1String(name), QLatin1String(op), table, condition, kRefusal);
            };
            sql << trigger("pratica", Schema::kCases, caseRule.arg(QStringLiteral("[importo totale]")))
                << trigger("fattura", Schema::kInvoices, invoiceRule.arg(QStringLiteral("[numero fattura]")));
        }
        sql << QStringLiteral("CREATE TRIGGER zb32_gruppo AFTER UPDATE ON [tabella importazioni] BEGIN INSERT INTO "
                              "zb32_gruppi VALUES (NEW.[ultima riga salvata]); END");
    }
    for (const QString& statement : std::as_const(sql)) {
        if (!db.exec(statement, error)) {
            return false;
        }
    }
    return true;
}

bool refuse(CaseDatabase& db, const QString& what, const QString& value, QString* error)
{
    QSqlQuery q(db.database());
    if (!q.prepare(QStringLiteral("INSERT INTO zb32_rifiuti (cosa, valore) VALUES (?, ?)"))) {
        *error = q.lastError().text();
        return false;
    }
    q.addBindValue(what);
    q.addBindValue(value);
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    return true;
}

// The last line of every group a run committed, in order.
QList<qint64> groupEnds(CaseDatabase& db)
{
    QList<qint64> ends;
    QSqlQuery q(db.database());
    if (q.exec(QStringLiteral("SELECT riga FROM zb32_gruppi ORDER BY riga"))) {
        while (q.next()) {
            const qint64 line = q.value(0).toLongLong();
            if (line > 0 && (ends.isEmpty() || ends.last() != line)) {
                ends << line;
            }
        }
    }
    return ends;
}

// The first bad line a check lists ("File F, riga N: reason"), empty when it lists none.
QString firstBadLine(const QString& checkOutput)
{
    for (const QString& line : checkOutput.split(QLatin1Char('\n'))) {
        if (line.trimmed().startsWith(QLatin1String("File "))) {
            return line.trimmed();
        }
    }
    return {};
}

// Where in the groups of the file a refused line falls.
enum class Where { FirstOfFirstGroup, MiddleOfFirstGroup, LastOfFirstGroup, ClosingOfFirstGroup, FirstOfSecondGroup };

struct Target
{
    QString what; // the rule: "pratica", "totale" or "fattura"
    QString value;
    qint64 line = 0; // the line the run stops at
    qint64 caseFirst = 0; // the first line of its case
};

// The line at `where` and what to refuse there, from the groups a clean run committed.
Target targetAt(const FaultInput& input, const QList<qint64>& ends, Where where)
{
    const auto caseAt = [&](qint64 line) {
        Target t { QStringLiteral("pratica"), input.lines[line - 1].caseKey, line, 0 };
        // An "A01" line only fills the case in: its record goes to the database with the next line.
        t.line = input.job == FaultInput::Job::Orb ? line + 1 : line;
        return t;
    };
    const auto invoiceAt = [&](qint64 line) {
        return Target { QStringLiteral("fattura"), input.lines[line - 1].detail, line, 0 };
    };
    Target t;
    switch (where) {
    case Where::FirstOfFirstGroup:
        t = caseAt(1);
        break;
    case Where::MiddleOfFirstGroup: {
        qint64 line = ends.value(0) / 2;
        while (input.lines[line - 1].kind != LineEffect::Kind::Invoice) {
            ++line;
        }
        t = invoiceAt(line);
        break;
    }
    case Where::LastOfFirstGroup:
        t = invoiceAt(ends.value(0));
        break;
    case Where::ClosingOfFirstGroup:
        // The case's total is written as the next case begins: the run stops at that line.
        t = { QStringLiteral("totale"), input.lines[ends.value(0) - 1].caseKey, ends.value(0) + 1, 0 };
        break;
    case Where::FirstOfSecondGroup:
        t = caseAt(ends.value(0) + 1);
        break;
    }
    // The first line of the refused write's case: the whole case is taken back.
    t.caseFirst = where == Where::ClosingOfFirstGroup ? ends.value(0) : t.line;
    while (t.caseFirst > 1 && input.lines[t.caseFirst - 1].kind != LineEffect::Kind::Case) {
        --t.caseFirst;
    }
    return t;
}

} // namespace

Q_DECLARE_METATYPE(Where)

class TestResume : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The refusals are aimed at the group edges of a clean run: every run keeps its groups apart,
    // so the edges are the same in each (on SQLite a group may otherwise go on into the next
    // while the one before is written).
    void initTestCase() { qputenv("ZB32_GROUPS_JOINED", "1"); }
    void stoppedRunResumed_data()
    {
        TestDatabase::addBackendColumn();
        QTest::addColumn<QString>("job");
        QTest::addColumn<int>("killAfter"); // records of the job's table seen saved; 0: not killed
        QTest::addColumn<Where>("refused"); // where the refused line falls, when not killed
        const std::pair<const char*, Where> refusals[] = {
            { "the first line of the first group", Where::FirstOfFirstGroup },
            { "a line in the middle of the first group", Where::MiddleOfFirstGroup },
            { "the last line of the first group", Where::LastOfFirstGroup },
            { "the total of the first group's last case", Where::ClosingOfFirstGroup },
            { "the first line of the second group", Where::FirstOfSecondGroup },
        };
        for (const char* backend : { "sqlite", "postgresql" }) {
            for (const char* job : { "orb", "vidiru", "incassi" }) {
                const auto row = [&](const QString& name) -> QTestData& {
                    return QTest::newRow(
                        qPrintable(QStringLiteral("%1: %2, %3").arg(QLatin1String(backend), QLatin1String(job), name)));
                };
                for (const int killAfter : { 200, 1500 }) {
                    row(QStringLiteral("killed after %1").arg(killAfter)) << QString::fromLatin1(
                        backend) << QString::fromLatin1(job) << killAfter << Where::FirstOfFirstGroup;
                }
                // The collections post record by record; the case imports write in groups.
                for (const auto& [name, where] : refusals) {
                    // A Vi Diru total is a line of its own, written with it.
                    if (job != QLatin1String("incassi")
                        && (where != Where::ClosingOfFirstGroup || job == QLatin1String("orb"))) {
                        row(QStringLiteral("refused at ") + QLatin1String(name))
                            << QString::fromLatin1(backend) << QString::fromLatin1(job) << 0 << where;
                    }
                }
            }
        }
    }
    void stoppedRunResumed()
    {
        QFETCH(QString, backend);
        QFETCH(QString, job);
        QFETCH(int, killAfter);
        QFETCH(Where, refused);
        const bool collections = job == QLatin1String("incassi");
        FaultInput input {};
        QByteArray bytes = collections ? collectionsFile(7000) : QByteArray();
        if (!collections) {
            // Three groups or so when a line is refused: the refusal falls in the first two.
            const int cases = killAfter > 0 ? 1500 : kThreeGroups;
            input = job == QLatin1String("orb") ? FaultInput::orb(cases, QStringLiteral("K"))
                                                : FaultInput::viDiru(cases, QStringLiteral("K"));
            bytes = input.bytes;
        }
        QString why;
        QList<qint64> ends;
        if (killAfter == 0) {
            // Where the groups of this file end, from a clean run of it with the same rules; first,
            // as on a server the two runs share one database.
            TestDatabase learn(backend);
            ZB32_REQUIRE(learn);
            QVERIFY2(installRules(learn.db(), &why), qPrintable(why));
            const CliRun clean = runImport(learn, job, kFile, bytes, jobArgs(job).mid(4));
            QVERIFY2(clean.exitCode == 0, qPrintable(clean.describe()));
            ends = groupEnds(learn.db());
            QVERIFY2(ends.size() >= 3 && ends.last() == input.lineCount(),
                qPrintable(QStringLiteral("%1 groups, the last ending at %2")
                               .arg(ends.size())
                               .arg(ends.value(ends.size() - 1))));
        }
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        if (collections) {
            addCollectionCases(tdb, 4);
        }
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        ws.writeImportFile(kFile, bytes);

        qint64 savedUpTo = 0; // the last line the stopped run kept
        if (killAfter > 0) {
            QProcess run;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("ZB32_TODAY"), kCliToday.toString(Qt::ISODate)); // as the resuming run has it
            run.setProcessEnvironment(env);
            run.start(qEnvironmentVariable("ZB32_BINARY"), jobArgs(job));
            QVERIFY(run.waitForStarted());
            const QString watched = collections ? Schema::kPayments : Schema::kInvoices;
            const int seen
                = waitForRows(tdb.connectionString(), watched, killAfter, [&] { return !run.waitForFinished(2); });
            QVERIFY2(run.state() == QProcess::Running,
                qPrintable(QStringLiteral("the run ended before it was killed (%1 records seen)").arg(seen)));
            run.kill(); // SIGKILL: no closing of any kind
            QVERIFY(run.waitForFinished(10000));
        } else {
            const Target target = targetAt(input, ends, refused);
            QVERIFY2(
                installRules(tdb.db(), &why) && refuse(tdb.db(), target.what, target.value, &why), qPrintable(why));

            // A check writes line by line: the run names the line, and the reason, as it does.
            const CliRun check = runZb32(QStringList { QStringLiteral("check") } + jobArgs(job).mid(1));
            const QString expected = QStringLiteral("File %1, riga %2: ").arg(kFile).arg(target.line);
            const QString badLine = firstBadLine(check.out);
            QVERIFY2(check.exitCode == 3 && badLine.startsWith(expected) && badLine.contains(kRefusal),
                qPrintable(check.describe()));

            const CliRun stopped = runZb32(jobArgs(job));
            QVERIFY2(stopped.exitCode == 3, qPrintable(stopped.describe()));
            const QString message = QStringLiteral("Importazione interrotta. ") + badLine
                + (target.caseFirst < target.line ? QStringLiteral(
                       " (la pratica %1 non è stata salvata: l'importazione va ripresa dalla riga %2)")
                                                        .arg(input.lines[target.caseFirst - 1].caseKey)
                                                        .arg(target.caseFirst)
                                                  : QStringLiteral(" (la pratica %1 non è stata salvata)")
                                                        .arg(input.lines[target.caseFirst - 1].caseKey));
            QCOMPARE(stopped.err.trimmed(), message);
            // Exactly the whole cases before the refused line's case, and the boxes count them.
            const QStringList stored = FaultInput::stored(tdb.db(), input.job, &why);
            QVERIFY2(why.isEmpty(), qPrintable(why));
            QVERIFY2(sameRecords(stored, input.expectedBefore(target.caseFirst), &why), qPrintable(why));
            const auto boxes = printedCounters(stopped.out);
            QVERIFY2(countersMatch(boxes.first, boxes.second, stored, &why), qPrintable(why));
            savedUpTo = target.caseFirst - 1;
            QCOMPARE(tdb.rows(Schema::kImportRuns).value(0).value("ultima riga salvata").toLongLong(), savedUpTo);
            QVERIFY2(tdb.db().exec(QStringLiteral("DELETE FROM zb32_rifiuti"), &why), qPrintable(why));
        }

        const CliRun resumed = runZb32(jobArgs(job) << QStringLiteral("--riprendi"));
        QVERIFY2(resumed.exitCode == 0, qPrintable(resumed.describe()));
        const QList<QVariantMap> runs = tdb.rows(Schema::kImportRuns);
        QCOMPARE(runs.size(), 2);
        QCOMPARE(runs[0].value("stato").toString(), QStringLiteral("interrotta"));
        QCOMPARE(runs[1].value("stato").toString(), QStringLiteral("conclusa"));
        if (killAfter > 0 || savedUpTo > 0) {
            QVERIFY2(resumed.out.contains(QLatin1String("ripresa dalla riga")), qPrintable(resumed.describe()));
            QCOMPARE(runs[1].value("modo").toString(), QStringLiteral("ripresa"));
            QVERIFY(runs[0].value("ultima riga salvata").toLongLong() > 0);
        } else {
            // Nothing was saved: the file is taken from its first line, as a new run.
            QCOMPARE(runs[1].value("modo").toString(), QStringLiteral("nuova"));
        }

        if (collections) {
            // The same file imported once, cleanly, into a database of the same cases.
            TestDatabase clean(backend);
            ZB32_REQUIRE(clean);
            addCollectionCases(clean, 4);
            QCOMPARE(runImport(clean, job, kFile, bytes, jobArgs(job).mid(4)).exitCode, 0);
            const QString difference = firstDifference(contentWithoutNewKeys(tdb), contentWithoutNewKeys(clean));
            QVERIFY2(difference.isEmpty(), qPrintable(difference));
            // Every payment posted is a created record of one of the two runs, every case it
            // changed a row with the fields' values before.
            qint64 created = 0;
            int changed = 0;
            for (const QVariantMap& rec : tdb.rows(Schema::kImportRecords)) {
                const QString table = rec.value("tabella").toString();
                const bool isCase = table == Schema::kCases;
                QCOMPARE(rec.value("valori precedenti").isNull(), !isCase);
                if (isCase) {
                    ++changed;
                } else if (table == Schema::kPayments) {
                    // A row of created records stands for the keys chiave..[chiave fine].
                    created += rec.value("chiave fine").toLongLong() - rec.value("chiave").toLongLong() + 1;
                }
            }
            QCOMPARE(created, qint64(tdb.count(Schema::kPayments)));
            QVERIFY(changed > 0);
        } else {
            const QStringList stored = FaultInput::stored(tdb.db(), input.job, &why);
            QVERIFY2(why.isEmpty(), qPrintable(why));
            QVERIFY2(sameRecords(stored, input.expectedBefore(input.lineCount() + 1), &why), qPrintable(why));
        }
    }

    // A check of a file the database refuses in several places lists every refused line, wherever
    // it falls in a group, and counts only the cases a run could save. A case with a refused
    // line and a bad one lists both.
    // A group the server refuses as a COPY but takes line by line (a rule on how rows come): the
    // run writes it again line by line, commits it and goes on to the end, nothing lost or doubled,
    // the boxes and the register as after a clean run. The server's groups go behind the run, so
    // the refusal is met while the next group is read.
    void refusedOnlyInBulk_data()
    {
        QTest::addColumn<QString>("job");
        QTest::newRow("orb") << QStringLiteral("orb");
        QTest::newRow("vidiru") << QStringLiteral("vidiru");
    }
    void refusedOnlyInBulk()
    {
        QFETCH(QString, job);
        const FaultInput input = job == QLatin1String("orb") ? FaultInput::orb(kThreeGroups, QStringLiteral("K"))
                                                             : FaultInput::viDiru(kThreeGroups, QStringLiteral("K"));
        TestDatabase tdb(QStringLiteral("postgresql"));
        ZB32_REQUIRE(tdb);
        QString why;
        QVERIFY2(installRules(tdb.db(), &why), qPrintable(why));
        // An invoice of the second group.
        QString invoice;
        for (qint64 i = WriteBatch::kNewRecordLinesPerCommit + 10; i < input.lineCount() && invoice.isEmpty(); ++i) {
            if (input.lines[i].kind == LineEffect::Kind::Invoice) {
                invoice = input.lines[i].detail;
            }
        }
        QVERIFY2(refuse(tdb.db(), QStringLiteral("copia"), invoice, &why), qPrintable(why));
        const CliRun run = runImport(tdb, job, kFile, input.bytes, jobArgs(job).mid(4));
        QVERIFY2(run.exitCode == 0, qPrintable(run.describe()));
        const QStringList stored = FaultInput::stored(tdb.db(), input.job, &why);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QVERIFY2(sameRecords(stored, input.expectedBefore(input.lineCount() + 1), &why), qPrintable(why));
        const auto boxes = printedCounters(run.out);
        QVERIFY2(countersMatch(boxes.first, boxes.second, stored, &why), qPrintable(why));
        const QList<QVariantMap> runs = tdb.rows(Schema::kImportRuns);
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs[0].value("stato").toString(), QStringLiteral("conclusa"));
        QCOMPARE(runs[0].value("ultima riga salvata").toLongLong(), input.lineCount());
        // The register's record rows stand for every record once.
        qint64 created = 0;
        for (const QVariantMap& rec : tdb.rows(Schema::kImportRecords)) {
            created += rec.value("chiave fine").toLongLong() - rec.value("chiave").toLongLong() + 1;
        }
        QCOMPARE(created, qint64(tdb.count(Schema::kCases) + tdb.count(Schema::kInvoices)));
    }

    void checkListsEveryRefusal_data()
    {
        TestDatabase::addBackendColumn();
        QTest::addColumn<QString>("job");
        for (const char* backend : { "sqlite", "postgresql" }) {
            for (const char* job : { "orb", "vidiru" }) {
                QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(QLatin1String(job), QLatin1String(backend))))
                    << QString::fromLatin1(backend) << QString::fromLatin1(job);
            }
        }
    }
    void checkListsEveryRefusal()
    {
        QFETCH(QString, backend);
        QFETCH(QString, job);
        const bool orb = job == QLatin1String("orb");
        const FaultInput input = orb ? FaultInput::orb(kThreeGroups, QStringLiteral("K"))
                                     : FaultInput::viDiru(kThreeGroups, QStringLiteral("K"));
        QString why;
        TestDatabase tdb(backend);
        ZB32_REQUIRE(tdb);
        QVERIFY2(installRules(tdb.db(), &why), qPrintable(why));
        QList<qint64> ends;
        {
            const CliRun clean = runImport(tdb, job, kFile, input.bytes, jobArgs(job).mid(4));
            QVERIFY2(clean.exitCode == 0, qPrintable(clean.describe()));
            ends = groupEnds(tdb.db());
            QVERIFY2(ends.size() >= 3, qPrintable(QString::number(ends.size())));
            QVERIFY2(freshTables(tdb.connectionString(), &why) && installRules(tdb.db(), &why), qPrintable(why));
        }
        QList<qint64> expected;
        QStringList spoiled; // the cases a run would not save
        for (const Where where : { Where::FirstOfFirstGroup, Where::MiddleOfFirstGroup, Where::LastOfFirstGroup,
                 Where::ClosingOfFirstGroup, Where::FirstOfSecondGroup }) {
            if (where == Where::ClosingOfFirstGroup && !orb) {
                continue; // a Vi Diru total is a line of its own
            }
            const Target t = targetAt(input, ends, where);
            QVERIFY2(refuse(tdb.db(), t.what, t.value, &why), qPrintable(why));
            expected << t.line;
            spoiled << input.lines[t.caseFirst - 1].caseKey;
        }
        // In the middle of the second group, a case whose first invoice is refused and whose last
        // invoice line is cut short.
        qint64 first = (ends[0] + ends[1]) / 2;
        while (input.lines[first - 1].kind != LineEffect::Kind::Invoice
            || input.lines[first].kind != LineEffect::Kind::Invoice) {
            ++first;
        }
        QByteArrayList lines = input.bytes.split('\n');
        lines[first] = lines[first].left(orb ? 95 : 60) + '\r';
        QVERIFY2(refuse(tdb.db(), QStringLiteral("fattura"), input.lines[first - 1].detail, &why), qPrintable(why));
        expected << first << first + 1;
        spoiled << input.lines[first - 1].caseKey;
        std::sort(expected.begin(), expected.end());

        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        ws.writeImportFile(kFile, lines.join('\n'));
        const CliRun check = runZb32(QStringList { QStringLiteral("check") } + jobArgs(job).mid(1));
        QVERIFY2(check.exitCode == 3, qPrintable(check.describe()));
        QList<qint64> listed;
        qint64 refusals = 0;
        QMap<QString, qint64> writes;
        static const QRegularExpression bad(QStringLiteral("^  File [^,]+, riga (\\d+): (.*)$"));
        static const QRegularExpression count(QStringLiteral("^  (pratiche|fatture): (\\d+)$"));
        for (const QString& line : check.outLines()) {
            if (const QRegularExpressionMatch m = bad.match(line); m.hasMatch()) {
                listed << m.captured(1).toLongLong();
                refusals += m.captured(2).contains(kRefusal) ? 1 : 0;
            } else if (const QRegularExpressionMatch c = count.match(line); c.hasMatch()) {
                writes.insert(c.captured(1), c.captured(2).toLongLong());
            }
        }
        QCOMPARE(listed, expected);
        QCOMPARE(refusals, qint64(expected.size() - 1));
        qint64 cases = 0;
        qint64 invoices = 0;
        for (const LineEffect& e : input.lines) {
            if (!spoiled.contains(e.caseKey)) {
                cases += e.kind == LineEffect::Kind::Case ? 1 : 0;
                invoices += e.kind == LineEffect::Kind::Invoice ? 1 : 0;
            }
        }
        QCOMPARE(writes.value(QStringLiteral("pratiche")), cases);
        QCOMPARE(writes.value(QStringLiteral("fatture")), invoices);
        QCOMPARE(tdb.count(Schema::kCases), 0);
    }
};

QTEST_GUILESS_MAIN(TestResume)
#include "TestResume.moc"
