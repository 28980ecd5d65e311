// The letter run on a large batch: letters per second, peak memory of the run, file size, and
// the bare read of the same rows for comparison. Run by hand (see RESULTS.md).
#include "core/desk/CaseDatabase.h"
#include "core/desk/DrivePath.h"
#include "core/desk/Platform.h"
#include "core/desk/Schema.h"
#include "core/jobs/Job.h"
#include "core/letters/PostelLetters.h"
#include "core/letters/PostelWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

using namespace zb32;

namespace {

QTextStream out(stdout);

class QuietReporter : public JobReporter
{
public:
    void message(const QString& text) override { messages << text; }
    void error(const QString& text) override { errors << text; }
    void setCaption(const QString& text) override { caption = text; }
    QStringList messages;
    QStringList errors;
    QString caption;
};

// Peak resident memory since the last reset, in KiB; -1 where the system does not say.
qint64 peakKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    return -1;
}

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) {
        f.write("5");
    }
}

bool check(bool ok, const QString& what, const QSqlQuery& q)
{
    if (!ok) {
        out << what << ": " << q.lastError().text() << Qt::endl;
    }
    return ok;
}

// Cases of batch 1, each with two invoices (a third batch of decoys around them), written
// straight through prepared statements: the fill is not what is measured.
bool fill(CaseDatabase& db, int letters)
{
    QString why;
    if (!db.beginTransaction(&why)) {
        out << why << Qt::endl;
        return false;
    }
    const SqlDialect& d = db.dialect();
    QSqlQuery c(db.database());
    QSqlQuery f(db.database());
    const QString caseSql = QStringLiteral(
        "INSERT INTO [tabella pratiche] (contatore, posizione, [Tipo Mandato], lottoimportazione, [ragione sociale], "
        "Indirizzo, Cap, Citta, Provincia, altroriferimento, Assignment_id, [importo totale]) "
        "VALUES (?, ?, 'DODAD', ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    const QString invoiceSql = QStringLiteral(
        "INSERT INTO [tabella fatture] (conta, [numero fattura], periodo, [data fattura], [data scadenza], saldo) "
        "VALUES (?, ?, ?, ?, ?, ?)");
    if (!check(c.prepare(d.translate(caseSql)), QStringLiteral("cases"), c)
        || !check(f.prepare(d.translate(invoiceSql)), QStringLiteral("invoices"), f)) {
        return false;
    }
    const bool pg = d.kind() == SqlDialect::Kind::PostgreSQL;
    auto date = [&](const QDate& day) { return pg ? QVariant(day) : QVariant(day.toString(Qt::ISODate)); };
    auto money
        = [&](qint64 cents) { return pg ? QVariant(QString::number(cents / 100.0, 'f', 2)) : QVariant(cents / 100.0); };
    const QDate base(2023, 1, 1);
    const int total = letters + letters / 10;
    for (int i = 1; i <= total; ++i) {
        const bool decoy = i % 11 == 0;
        const qint64 a = 1000 + (i * 7919) % 250000;
        const qint64 b = 500 + (i * 104729) % 90000;
        c.bindValue(0, i);
        c.bindValue(1, QStringLiteral("%1/2024").arg(i));
        c.bindValue(2, decoy ? 2 : 1);
        c.bindValue(3, QStringLiteral("CLIENTE NUMERO %1 DELLA PROVA DI CARICO").arg(i));
        c.bindValue(4, QStringLiteral("VIA DELLE PROVE %1").arg(i % 500));
        c.bindValue(5, QStringLiteral("00%1").arg(100 + i % 900));
        c.bindValue(6, QStringLiteral("ROMA"));
        c.bindValue(7, QStringLiteral("RM"));
        c.bindValue(8, QStringLiteral("CTR%1").arg(i, 7, 10, QLatin1Char('0')));
        c.bindValue(9, QStringLiteral("CL%1").arg(i));
        c.bindValue(10, money(a + b));
        if (!check(c.exec(), QStringLiteral("case"), c)) {
            return false;
        }
        for (int k = 0; k < 2; ++k) {
            const QDate day = base.addDays((i + k * 40) % 700);
            f.bindValue(0, i);
            f.bindValue(1, QStringLiteral("F%1/%2").arg(i).arg(k));
            f.bindValue(2, QStringLiteral("%1/2023").arg(1 + k));
            f.bindValue(3, date(day));
            f.bindValue(4, date(day.addDays(30)));
            f.bindValue(5, money(k == 0 ? a : b));
            if (!check(f.exec(), QStringLiteral("invoice"), f)) {
                return false;
            }
        }
    }
    if (pg) {
        db.exec(
            QStringLiteral("SELECT setval(pg_get_serial_sequence('\"tabella pratiche\"', 'contatore'), %1)").arg(total),
            nullptr);
        db.exec(QStringLiteral("ANALYZE"), nullptr);
    }
    return db.commit(&why);
}

// The same join as the run, read and dropped: what the database costs alone.
double rawRead(CaseDatabase& db)
{
    QSqlQuery q(db.database());
    q.setForwardOnly(true);
    q.prepare(db.dialect().translate(QStringLiteral(
        "Select p.contatore, p.posizione, p.[Tipo Mandato], p.[ragione sociale], p.Indirizzo, p.Cap, p.Citta, "
        "p.Provincia, p.altroriferimento, p.Assignment_id, p.[importo totale], "
        "f.ID, f.[numero fattura], f.[data fattura], f.saldo, f.periodo, f.[data scadenza] "
        "From [tabella pratiche] p Left Join [tabella fatture] f On f.conta = p.contatore "
        "Where p.lottoimportazione = ? "
        "Order By p.contatore, Case When f.[data fattura] Is Null Then 1 Else 0 End, f.[data fattura], f.ID")));
    q.addBindValue(1);
    QElapsedTimer t;
    t.start();
    q.exec();
    qint64 rows = 0;
    while (q.next()) {
        for (int i = 0; i < 17; ++i) {
            (void)q.value(i);
        }
        ++rows;
    }
    return t.elapsed() / 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    // As the desk itself runs (see there).
    zb32::restartWithAvx2StringFunctions(argv);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString backend = QStringLiteral("sqlite");
    QString pgConn;
    int letters = 100000;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--letters") && i + 1 < args.size()) {
            letters = args[++i].toInt();
        } else if (args[i] == QLatin1String("--postgresql") && i + 1 < args.size()) {
            backend = QStringLiteral("postgresql");
            pgConn = args[++i];
        } else {
            out << "uso: bench_letters [--letters N] [--postgresql CONNSTRING]" << Qt::endl;
            return 2;
        }
    }

    QTemporaryDir dir;
    qputenv("ZB32_DRIVE_Z", QFile::encodeName(dir.path() + QStringLiteral("/Z")));
    qputenv("ZB32_DRIVE_C", QFile::encodeName(dir.path() + QStringLiteral("/C")));
    QDir().mkpath(dir.path() + QStringLiteral("/Z/work/kx32/dati"));
    QDir().mkpath(dir.path() + QStringLiteral("/C"));
    const QString connString = backend == QLatin1String("sqlite")
        ? QStringLiteral("Provider=SQLite;Data Source=Z:\\work\\kx32\\dati\\bench.db")
        : pgConn;
    {
        QFile ini(dir.path() + QStringLiteral("/Z/work/kx32/dati/kx32.ini"));
        ini.open(QIODevice::WriteOnly);
        ini.write("[datiserver]\r\nconnstring=" + connString.toUtf8() + "\r\n");
    }

    QElapsedTimer t;
    t.start();
    {
        CaseDatabase setup;
        QString why;
        if (!setup.open(connString, &why, true)) {
            out << "database: " << why << Qt::endl;
            return 1;
        }
        if (backend == QLatin1String("postgresql")) {
            for (const TableDef& table : Schema::tables()) {
                const QString name = setup.dialect().quoteName(table.name);
                setup.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(name), nullptr);
            }
        }
        if (!Schema::create(setup, &why) || !fill(setup, letters)) {
            out << "fill: " << why << Qt::endl;
            return 1;
        }
        out << "backend " << backend << ", " << letters << " letters of two invoices, filled in "
            << t.elapsed() / 1000.0 << " s" << Qt::endl;
        out << "raw read of the join: " << rawRead(setup) << " s" << Qt::endl;
    }

    QuietReporter report;
    BatchData batch = BatchData::defaults(report.today());
    batch.Text1[3] = QStringLiteral("1");
    batch.cc = true;
    CaseDatabase db;
    JobContext ctx { db, batch, report };
    resetPeak();
    const qint64 before = peakKiB();
    t.restart();
    const JobResult result = PostelDodadAzevaz(ctx);
    const double seconds = t.elapsed() / 1000.0;
    const qint64 peak = peakKiB();
    if (result.status != JobStatus::Completed) {
        out << "run failed: " << report.errors.join(QLatin1Char('\n')) << Qt::endl;
        return 1;
    }
    const QString file = resolveDrivePath(kPostelFolder + PostelWriter::fileName(report.today()));
    out << report.messages.join(QLatin1Char('\n')) << Qt::endl;
    out << "run: " << seconds << " s, " << qRound(report.caption.toLongLong() / seconds) << " letters/s" << Qt::endl;
    out << "peak resident memory: " << before / 1024 << " MiB before the run, " << peak / 1024 << " MiB during it"
        << Qt::endl;
    out << "file: " << QFileInfo(file).size() / (1024 * 1024) << " MiB (" << QFileInfo(file).size() << " bytes)"
        << Qt::endl;
    return 0;
}
