// Records per second of the confirmation import on a generated database: the collections file
// (mode 0) and the expense workbook (mode 1), against one indexed lookup and one insert per
// record done directly on the database and, on PostgreSQL, a set-based reference.
//
//   bench_confirmations [--backend sqlite|postgresql] [--pg CONNSTRING] [--cases N]
//                       [--records N] [--rows N] [--seed N]
#include "core/desk/CaseDatabase.h"
#include "core/desk/DrivePath.h"
#include "core/desk/Platform.h"
#include "core/desk/Schema.h"
#include "core/imports/confirmations/CollectionLine.h"
#include "core/imports/confirmations/ConfirmationImport.h"
#include "core/jobs/Job.h"
#include "core/jobs/JobReporter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlError>
#include <QTemporaryDir>
#include <QTextStream>
#include <ctime>
#include <utility>

using namespace zb32;

namespace {

const QString kMandates = QStringLiteral("460,462,463,464,465,466,467");
constexpr int kCollectors = 50;

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

[[noreturn]] void die(const QString& why)
{
    out() << "bench_confirmations: " << why << Qt::endl;
    std::exit(1);
}

class QuietReporter : public JobReporter
{
public:
    void Addlist(const QString&) override { ++logLines; }
    void message(const QString& text) override { messages << text; }
    void error(const QString& text) override { errors << text; }
    QDateTime now() const override { return QDateTime(QDate(2026, 12, 7), QTime(10, 0)); }

    int logLines = 0;
    QStringList messages;
    QStringList errors;
};

QSqlQuery prepare(CaseDatabase& db, const QString& sql)
{
    QSqlQuery q(db.database());
    if (!q.prepare(db.dialect().translate(sql))) {
        die(q.lastError().text());
    }
    return q;
}

void exec(QSqlQuery& q)
{
    if (!q.exec()) {
        die(q.lastError().text());
    }
}

void transaction(CaseDatabase& db, bool commit)
{
    QString why;
    if (commit ? !db.commit(&why) : !db.beginTransaction(&why)) {
        die(why);
    }
}

QString collector(int i)
{
    return QStringLiteral("E%1").arg(i % kCollectors, 2, 10, QLatin1Char('0'));
}

// 100,000 cases over eight mandate types (461 is not in the desk's list), an open instalment on
// every fourth, and VEC rates of every collector and of the agency.
void generateDatabase(CaseDatabase& db, int cases)
{
    const QStringList types = QStringLiteral("460,461,462,463,464,465,466,467").split(QLatin1Char(','));
    QSqlQuery c = prepare(db,
        QStringLiteral(
            "INSERT INTO [tabella pratiche] (posizione, [Tipo Mandato], [data Affido], [Situazione Affido], "
            "[codice esattore], [importo rata], [importo interessi], [importo spese], [importo speserecupero], "
            "[importo totale]) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    QSqlQuery p = prepare(db,
        QStringLiteral("INSERT INTO [tabella pagamenti] (conta, data, causale, totale, capitale) "
                       "VALUES (?, ?, ?, ?, ?)"));
    const bool sqlite = db.dialect().kind() == SqlDialect::Kind::SQLite;
    const auto date = [&](const QDate& d) { return sqlite ? QVariant(d.toString(Qt::ISODate)) : QVariant(d); };
    const auto amount = [&](int cents) {
        return sqlite ? QVariant(cents / 100.0) : QVariant(QString::number(cents / 100.0, 'f', 2));
    };
    transaction(db, false);
    for (int i = 1; i <= cases; ++i) {
        c.bindValue(0, QString::number(i));
        c.bindValue(1, types[i % types.size()]);
        c.bindValue(2, date(QDate(2009, 1, 1).addDays(i % 730)));
        c.bindValue(3, QStringLiteral("1"));
        c.bindValue(4, i % 10 == 0 ? QVariant(QMetaType::fromType<QString>()) : QVariant(collector(i)));
        const int rata = 10000 + (i % 500) * 100;
        c.bindValue(5, amount(rata));
        c.bindValue(6, amount(i % 7 == 0 ? 0 : 2500));
        c.bindValue(7, amount(1500));
        c.bindValue(8, amount(500));
        c.bindValue(9, amount(rata + 4500));
        exec(c);
        if (i % 4 == 0) {
            p.bindValue(0, i); // keys follow the insertion order on a fresh database
            p.bindValue(1, date(QDate(2010, 1, 1)));
            p.bindValue(2, QStringLiteral("rata"));
            p.bindValue(3, amount(1000 + (i % 300) * 100));
            p.bindValue(4, amount(1000 + (i % 300) * 100));
            exec(p);
        }
        if (i % 5000 == 0) {
            transaction(db, true);
            transaction(db, false);
        }
    }
    QSqlQuery r = prepare(db,
        QStringLiteral("INSERT INTO Aliquote (COD_AGENT, [codice cliente], modalita, AL1, AL2, "
                       "AL3, AL4, [AL FISSA]) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    QStringList agents { QStringLiteral("999"), QStringLiteral("80") };
    for (int i = 0; i < kCollectors; ++i) {
        agents << collector(i);
    }
    for (const QString& agent : agents) {
        for (const QString& client : { kMandates, QStringLiteral("460") }) {
            for (const QString& mode : { QStringLiteral("VEC"), QStringLiteral("VN") }) {
                const QVariantList values { agent, client, mode, 10.0, 8.0, 6.0, 4.0, 2.5 };
                for (int k = 0; k < values.size(); ++k) {
                    r.bindValue(k, values[k]);
                }
                exec(r);
            }
        }
    }
    transaction(db, true);
}

// Collections records: 60% payments (some confirming the open instalment exactly), 15% invoices,
// 5% each outcome 37 and 36, 5% an unknown code; one position in ten has no case.
QByteArray generateCollections(int records, int cases, quint32 seed)
{
    QRandomGenerator rnd(seed);
    QByteArray bytes;
    bytes.reserve(records * 86);
    for (int n = 1; n <= records; ++n) {
        const bool unknown = rnd.bounded(10) == 0;
        const int position = unknown ? cases + 1 + rnd.bounded(100000) : 1 + rnd.bounded(cases);
        const int pick = rnd.bounded(100);
        QString code = QStringLiteral("350");
        if (pick >= 60 && pick < 75) {
            code = QStringLiteral("362");
        } else if (pick < 80 && pick >= 75) {
            code = QStringLiteral("37");
        } else if (pick < 85 && pick >= 80) {
            code = QStringLiteral("36");
        } else if (pick >= 85 && pick < 90) {
            code = QStringLiteral("351");
        }
        int cents = 100 + rnd.bounded(50000);
        if (code == QLatin1String("350") && position % 4 == 0 && rnd.bounded(3) == 0) {
            cents = 1000 + (position % 300) * 100; // the open instalment
        }
        QString reference = QStringLiteral("RIF%1").arg(n, 8, 10, QLatin1Char('0'));
        const int r = rnd.bounded(20);
        if (r == 0) {
            reference.prepend(QStringLiteral("611"));
        } else if (r == 1) {
            reference = QStringLiteral("3A05") + reference;
        } else if (r == 2) {
            reference.prepend(QLatin1Char('9'));
        }
        const QDate date = QDate(2009, 6, 1).addDays(rnd.bounded(700));
        const QString line = QStringLiteral("ORB%1").arg(n % 10000, 4, 10, QLatin1Char('0'))
            + QStringLiteral("%1").arg(position, 9, 10, QLatin1Char('0'))
            + QStringLiteral("F%1").arg(n, 9, 10, QLatin1Char('0')) + QStringLiteral("    ")
            + QStringLiteral("%1").arg(cents, 8, 10, QLatin1Char('0')) + QString(8, QLatin1Char('0'))
            + date.toString(QStringLiteral("ddMMyyyy")) + QString(6, QLatin1Char(' ')) + code.leftJustified(3)
            + reference.left(20);
        bytes += line.toLatin1() + "\r\n";
    }
    return bytes;
}

// The reference: one indexed lookup and one insert per record, prepared once, bound per record,
// committed every 500 records.
double rawRate(CaseDatabase& db, const QByteArray& bytes)
{
    QSqlQuery find = prepare(db,
        QStringLiteral("Select contatore from [tabella pratiche] where [Tipo Mandato]=? "
                       "AND posizione=?"));
    QSqlQuery add
        = prepare(db, QStringLiteral("INSERT INTO [tabella pagamenti] (conta, causale, totale) VALUES (?, ?, ?)"));
    const QList<QByteArray> lines = bytes.split('\n');
    QElapsedTimer t;
    t.start();
    transaction(db, false);
    int n = 0;
    for (const QByteArray& raw : lines) {
        if (raw.trimmed().isEmpty()) {
            continue;
        }
        const QString line = QString::fromLatin1(raw);
        find.bindValue(0, QStringLiteral("460"));
        find.bindValue(1, QString::number(line.mid(7, 9).toInt()));
        exec(find);
        if (find.next()) {
            add.bindValue(0, find.value(0));
            add.bindValue(1, QStringLiteral("raw"));
            add.bindValue(2, line.mid(30, 8).toInt() / 100.0);
            exec(add);
        }
        find.finish();
        if (++n % 500 == 0) {
            transaction(db, true);
            transaction(db, false);
        }
    }
    transaction(db, true);
    return n / (t.nsecsElapsed() / 1e9);
}

// The set-based reference (PostgreSQL): the records loaded with COPY into a temporary table, then
// one INSERT ... SELECT of a payment for every payment record whose case is found (the lowest key
// of the position among the desk's mandate types) and one UPDATE ... FROM adding them up in the
// cases' collected totals, in one transaction. Records per second, the decoding of the lines counted.
double setBasedRate(CaseDatabase& db, const QByteArray& bytes)
{
    QElapsedTimer t;
    t.start();
    const QDate today(2026, 12, 7);
    QByteArray rows;
    int n = 0;
    for (const QByteArray& raw : bytes.split('\n')) {
        const CollectionLine line = decodeCollectionLine(QString::fromLatin1(raw), today);
        if (line.empty || line.truncated()) {
            continue;
        }
        ++n;
        const ConfirmationRecord& r = line.record;
        bool first = true;
        for (const QVariant& v : { QVariant(r.position), QVariant(r.code), QVariant(r.amount.toDecimalText()),
                 QVariant(r.date), QVariant(r.reference), QVariant(r.invoiceNumber) }) {
            if (!std::exchange(first, false)) {
                rows.append('\t');
            }
            SqlDialect::copyValue(&rows, v);
        }
        rows.append('\n');
    }
    QSqlDatabase sql = db.database();
    transaction(db, false);
    QString why;
    const QString cases = QStringLiteral(
        "(SELECT r.*, c.contatore, c.\"codice esattore\" FROM zb32_ref r JOIN LATERAL (SELECT p.contatore, "
        "p.\"codice esattore\" FROM \"tabella pratiche\" p WHERE p.posizione = r.posizione AND p.\"tipo mandato\" = "
        "ANY(string_to_array('%1', ',')) ORDER BY p.contatore LIMIT 1) c ON true WHERE r.codice = '350')")
                              .arg(kMandates);
    if (!db.exec(QStringLiteral("CREATE TEMP TABLE zb32_ref (posizione text, codice text, importo numeric, data date, "
                                "riferimento text, fattura text) ON COMMIT DROP"),
            &why)
        || !db.dialect().copyIn(sql, QStringLiteral("zb32_ref"),
            { QStringLiteral("posizione"), QStringLiteral("codice"), QStringLiteral("importo"), QStringLiteral("data"),
                QStringLiteral("riferimento"), QStringLiteral("fattura") },
            rows, &why)
        || !db.exec(QStringLiteral("INSERT INTO \"tabella pagamenti\" (conta, data, datascarico, causale, totale, "
                                   "capitale, codesattore, modo) SELECT contatore, DATE '2026-12-07', data, 'da file "
                                   "(Fatt.' || fattura || ')', importo, importo, coalesce(\"codice esattore\", '80'), "
                                   "'VN' FROM %1 AS f")
                        .arg(cases),
            &why)
        || !db.exec(QStringLiteral("UPDATE \"tabella pratiche\" AS p SET \"totale incassato\" = "
                                   "coalesce(p.\"totale incassato\", 0) + s.total, assignment_id = '76' FROM (SELECT "
                                   "contatore, sum(importo) AS total FROM %1 AS f GROUP BY contatore) AS s WHERE "
                                   "p.contatore = s.contatore")
                        .arg(cases),
            &why)) {
        die(why);
    }
    transaction(db, true);
    return n / (t.nsecsElapsed() / 1e9);
}

struct Timing
{
    int records;
    double seconds; // wall clock
    double cpuSeconds; // this process only: the machine is shared, so wall time drifts with others' load
    QString closing;
};

double cpuNow()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

Timing runJob(int mode, const QString& file, int records)
{
    BatchData batch = BatchData::defaults(QDate(2026, 12, 7));
    batch.Text1[4] = file;
    batch.Text1[5] = kMandates;
    batch.chkRevocaCop = true;
    QuietReporter report;
    CaseDatabase db;
    JobContext ctx { db, batch, report };
    QString why;
    if (!db.ApriDB(&why)) {
        die(why); // opened before the clock starts
    }
    QElapsedTimer t;
    t.start();
    const double cpu = cpuNow();
    const JobResult r = ImportaPag(ctx, mode);
    const double seconds = t.nsecsElapsed() / 1e9;
    const double cpuSeconds = cpuNow() - cpu;
    if (r.status != JobStatus::Completed) {
        die(QStringLiteral("the run stopped: %1").arg(report.errors.join(QLatin1Char(' '))));
    }
    return { records, seconds, cpuSeconds,
        report.messages.value(0) + QStringLiteral(" (non trovate: %1)").arg(report.logLines) };
}

QString optionValue(const QStringList& args, const QString& name, const QString& fallback)
{
    const qsizetype i = args.indexOf(name);
    return (i >= 0 && i + 1 < args.size()) ? args[i + 1] : fallback;
}

} // namespace

int main(int argc, char** argv)
{
    // As the desk itself runs (see there).
    zb32::restartWithAvx2StringFunctions(argv);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString backend = optionValue(args, QStringLiteral("--backend"), QStringLiteral("sqlite"));
    const int cases = optionValue(args, QStringLiteral("--cases"), QStringLiteral("100000")).toInt();
    const int records = optionValue(args, QStringLiteral("--records"), QStringLiteral("100000")).toInt();
    const int rows = optionValue(args, QStringLiteral("--rows"), QStringLiteral("20000")).toInt();
    const quint32 seed = optionValue(args, QStringLiteral("--seed"), QStringLiteral("7")).toUInt();

    QTemporaryDir dir;
    const QString z = dir.path() + QStringLiteral("/Z");
    QDir().mkpath(z + QStringLiteral("/work/kx32/dati"));
    QDir().mkpath(z + QStringLiteral("/work/kx32/import"));
    qputenv("ZB32_DRIVE_Z", QFile::encodeName(z));
    if (qEnvironmentVariableIsEmpty("ZB32_XLS_READER")) {
        qputenv("ZB32_XLS_READER", QByteArrayLiteral(ZB32_BENCH_XLS_READER));
    }

    QString connString;
    if (backend == QLatin1String("sqlite")) {
        connString = QStringLiteral("Provider=SQLite;Data Source=%1/work/kx32/dati/bench.db").arg(z);
    } else if (backend == QLatin1String("postgresql")) {
        const QString server = optionValue(args, QStringLiteral("--pg"), qEnvironmentVariable("ZB32_BENCH_PG"));
        if (server.isEmpty()) {
            die(QStringLiteral("--pg CONNSTRING (or ZB32_BENCH_PG) names the PostgreSQL server"));
        }
        CaseDatabase admin;
        QString why;
        if (!admin.open(server, &why)
            || !admin.exec(QStringLiteral("DROP DATABASE IF EXISTS zb32_bench WITH (FORCE)"), &why)
            || !admin.exec(QStringLiteral("CREATE DATABASE zb32_bench"), &why)) {
            die(why);
        }
        QStringList parts;
        for (const QString& part : server.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            if (!part.trimmed().startsWith(QLatin1String("Database="), Qt::CaseInsensitive)) {
                parts << part;
            }
        }
        connString = parts.join(QLatin1Char(';')) + QStringLiteral(";Database=zb32_bench");
    } else {
        die(QStringLiteral("unknown backend %1").arg(backend));
    }
    QFile ini(z + QStringLiteral("/work/kx32/dati/kx32.ini"));
    if (!ini.open(QIODevice::WriteOnly)) {
        die(ini.errorString());
    }
    ini.write("[datiserver]\r\nconnstring=" + connString.toUtf8() + "\r\n");
    ini.close();

    QElapsedTimer t;
    t.start();
    {
        CaseDatabase db;
        QString why;
        if (!db.open(connString, &why, true) || !Schema::create(db, &why)) {
            die(why);
        }
        generateDatabase(db, cases);
        if (db.dialect().kind() == SqlDialect::Kind::PostgreSQL) {
            db.exec(QStringLiteral("ANALYZE"), nullptr);
        }
    }
    const QByteArray collections = generateCollections(records, cases, seed);
    QFile f(z + QStringLiteral("/work/kx32/import/incassi.txt"));
    if (!f.open(QIODevice::WriteOnly) || f.write(collections) != collections.size()) {
        die(f.errorString());
    }
    f.close();
    const QString book = z + QStringLiteral("/work/kx32/import/spese.xls");
    if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
            { QStringLiteral(ZB32_BENCH_WORKBOOK_SCRIPT), QString::number(rows), QString::number(cases),
                QString::number(seed), book })
        != 0) {
        die(QStringLiteral("the workbook was not made (python3-xlwt missing?)"));
    }
    out() << backend << ": " << cases << " cases generated in " << QString::number(t.elapsed() / 1000.0, 'f', 1) << " s"
          << Qt::endl;

    const auto report = [](const char* what, const Timing& run) {
        out() << what << run.records << ": " << QString::number(run.seconds, 'f', 2) << " s, "
              << qRound(run.records / run.seconds) << " per second (" << QString::number(run.cpuSeconds, 'f', 2)
              << " s of CPU, " << qRound(run.records / run.cpuSeconds) << " per CPU second) — " << run.closing
              << Qt::endl;
    };
    report("collections file, records ", runJob(0, QStringLiteral("incassi.txt"), records));
    report("expense workbook, rows ", runJob(1, QStringLiteral("spese.xls"), rows));

    CaseDatabase db;
    QString why;
    if (!db.open(connString, &why)) {
        die(why);
    }
    if (db.dialect().kind() == SqlDialect::Kind::PostgreSQL) {
        out() << "set-based reference (COPY, INSERT ... SELECT, UPDATE ... FROM): "
              << qRound(setBasedRate(db, collections)) << " records/s" << Qt::endl;
    }
    out() << "raw lookup + insert per record: " << qRound(rawRate(db, collections)) << " records/s" << Qt::endl;
    return 0;
}
