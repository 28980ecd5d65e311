// Fuzz workspace.
#include "FuzzSupport.h"

#include "core/desk/DrivePath.h"
#include "core/desk/LineReader.h"
#include "core/desk/Recordset.h"
#include "core/desk/Schema.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace zb32::fuzz {

namespace {

struct Workspace
{
    Workspace()
    {
        static int argc = 1;
        static char name[] = "zb32-fuzz";
        static char* argv[] = { name, nullptr };
        app = std::make_unique<QCoreApplication>(argc, argv);
        const QString z = dir.path() + QStringLiteral("/Z");
        QDir().mkpath(z + QStringLiteral("/work/kx32/dati"));
        QDir().mkpath(z + QStringLiteral("/work/kx32/import"));
        QDir().mkpath(dir.path() + QStringLiteral("/C"));
        qputenv("ZB32_DRIVE_Z", QFile::encodeName(z));
        qputenv("ZB32_DRIVE_C", QFile::encodeName(dir.path() + QStringLiteral("/C")));
        QFile ini(z + QStringLiteral("/work/kx32/dati/kx32.ini"));
        if (!ini.open(QIODevice::WriteOnly)) {
            fail("the configuration file cannot be written", ini.errorString());
        }
        ini.write("[datiserver]\r\nconnstring=Provider=SQLite;Data Source=:memory:\r\n");
        ini.close();
        QString error;
        if (!db.ApriDB(&error) || !Schema::create(db, &error)) {
            fail("the in-memory database does not open", error);
        }
    }

    std::unique_ptr<QCoreApplication> app;
    QTemporaryDir dir;
    CaseDatabase db;
};

Workspace& workspace()
{
    static Workspace w;
    return w;
}

// Every run starts from the same rows, so an input that fails fails again when replayed.
void reset(CaseDatabase& db, const QList<SeedRow>& rows)
{
    QString error;
    // BEGIN fails when an earlier run left a transaction open.
    ZB32_FUZZ_CHECK(db.exec(QStringLiteral("BEGIN IMMEDIATE"), &error), error);
    for (const TableDef& t : Schema::tables()) {
        ZB32_FUZZ_CHECK(db.exec(QStringLiteral("DELETE FROM [%1]").arg(t.name), &error), error);
    }
    // Keys count from 1 again, so seed rows can name the cases they belong to.
    ZB32_FUZZ_CHECK(db.exec(QStringLiteral("DELETE FROM sqlite_sequence"), &error), error);
    for (const SeedRow& row : rows) {
        Recordset rs(db, row.table);
        bool ok = rs.openForAppend(&error) && rs.addNew(&error);
        for (auto it = row.fields.begin(); ok && it != row.fields.end(); ++it) {
            ok = rs.setValue(it.key(), it.value(), &error);
        }
        ZB32_FUZZ_CHECK(ok && rs.update(&error), error);
    }
    ZB32_FUZZ_CHECK(db.exec(QStringLiteral("COMMIT"), &error), error);
}

QVariantMap caseFields(const QString& position, const QVariantMap& changes = {})
{
    QVariantMap fields {
        { QStringLiteral("posizione"), position },
        { QStringLiteral("Tipo Mandato"), QStringLiteral("460") },
        { QStringLiteral("data affido"), QStringLiteral("01/01/2010") },
        { QStringLiteral("situazione affido"), QStringLiteral("1") },
        { QStringLiteral("codice esattore"), QStringLiteral("E7") },
        { QStringLiteral("importo rata"), QStringLiteral("200") },
        { QStringLiteral("importo interessi"), QStringLiteral("50") },
        { QStringLiteral("importo spese"), QStringLiteral("30") },
        { QStringLiteral("importo speserecupero"), QStringLiteral("10") },
        { QStringLiteral("importo totale"), QStringLiteral("290") },
    };
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        if (it.value().isValid()) {
            fields.insert(it.key(), it.value());
        } else {
            fields.remove(it.key());
        }
    }
    return fields;
}

SeedRow rate(const QString& agent, double first)
{
    return { Schema::kRates,
        { { QStringLiteral("COD_AGENT"), agent }, { QStringLiteral("codice cliente"), QStringLiteral("460") },
            { QStringLiteral("modalita"), QStringLiteral("VEC") }, { QStringLiteral("AL1"), first },
            { QStringLiteral("AL2"), first + 1 }, { QStringLiteral("AL3"), first + 2 },
            { QStringLiteral("AL4"), first + 3 }, { QStringLiteral("AL FISSA"), first + 4 } } };
}

} // namespace

void fail(const char* what, const QString& detail)
{
    std::fprintf(stderr, "zb32 fuzz check failed: %s\n%s\n", what, detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

JobResult runJobOn(JobId id, const QString& name, const QByteArray& bytes, BatchData batch, const QList<SeedRow>& rows)
{
    Workspace& w = workspace();
    reset(w.db, rows);
    const BatchData defaults = BatchData::defaults(QDate(2026, 12, 7));
    for (int i = 0; i < 7; ++i) {
        if (batch.Text1[i].isNull()) {
            batch.Text1[i] = defaults.Text1[i];
        }
    }
    batch.Text1[4] = name;
    QFile f(resolveDrivePath(kImportFolder + name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        fail("the import file cannot be written", f.errorString());
    }
    f.close();
    CheckingReporter reporter;
    JobContext ctx { w.db, batch, reporter };
    const JobResult result = runJob(id, ctx);

    const QString outcome = QStringLiteral("status %1, %2 error(s), %3 message(s), error: %4")
                                .arg(int(result.status))
                                .arg(reporter.errors)
                                .arg(reporter.messages)
                                .arg(result.error);
    switch (result.status) {
    case JobStatus::Completed:
    case JobStatus::Condition:
        ZB32_FUZZ_CHECK(reporter.errors == 0 && reporter.messages > 0, outcome);
        break;
    case JobStatus::Failed:
        ZB32_FUZZ_CHECK(reporter.errors == 1 && reporter.lastError == result.error, outcome);
        ZB32_FUZZ_CHECK(result.error.startsWith(QStringLiteral("Importazione interrotta. File ") + name), outcome);
        break;
    }
    ZB32_FUZZ_CHECK(!w.db.inTransaction(), outcome);
    return result;
}

const QList<SeedRow>& confirmationCases()
{
    static const QList<SeedRow> rows = [] {
        const QVariant none;
        QList<SeedRow> r;
        // The collections sample and the expense workbooks name these positions.
        r << SeedRow { Schema::kCases, caseFields(QStringLiteral("1001")) };
        r << SeedRow { Schema::kCases,
            caseFields(QStringLiteral("1002"), { { QStringLiteral("codice esattore"), none } }) };
        r << SeedRow { Schema::kCases, caseFields(QStringLiteral("1"), { { QStringLiteral("importo rata"), none } }) };
        r << SeedRow { Schema::kCases, caseFields(QStringLiteral("12345/2003")) };
        r << SeedRow { Schema::kCases,
            caseFields(QStringLiteral("4711"), { { QStringLiteral("data affido"), none } }) };
        r << SeedRow { Schema::kCases, caseFields(QStringLiteral("O'Neil 7")) };
        r << SeedRow { Schema::kCases, caseFields(QStringLiteral("D-9")) };
        r << SeedRow { Schema::kCases,
            caseFields(QStringLiteral("E-1"), { { QStringLiteral("importo rata"), QStringLiteral("20") } }) };
        r << SeedRow { Schema::kCases, caseFields(QStringLiteral("00042")) };
        r << SeedRow { Schema::kCases,
            caseFields(QStringLiteral("A1"), { { QStringLiteral("Tipo Mandato"), QStringLiteral("999") } }) };
        r << SeedRow { Schema::kCases, caseFields(QStringLiteral("A1")) };
        // Totals at the ends of the range: any posting on them passes the largest amount.
        r << SeedRow { Schema::kCases,
            caseFields(
                QStringLiteral("9"), { { QStringLiteral("totale incassato"), QStringLiteral("919999999999999") } }) };
        r << SeedRow { Schema::kCases,
            caseFields(QStringLiteral("8"),
                { { QStringLiteral("importo rata"), QStringLiteral("-919999999999999") },
                    { QStringLiteral("importo totale"), QStringLiteral("-919999999999999") } }) };
        // Open instalments, confirmed by a matching amount: keys 1 (1001) and 7 (D-9).
        r << SeedRow { Schema::kPayments, { { QStringLiteral("conta"), 1 }, { QStringLiteral("totale"), 50 } } };
        r << SeedRow { Schema::kPayments,
            { { QStringLiteral("conta"), 7 }, { QStringLiteral("totale"), 80.4 },
                { QStringLiteral("codesattore"), QStringLiteral("E9") } } };
        r << rate(QStringLiteral("E7"), 1);
        r << rate(QStringLiteral("999"), 10);
        return r;
    }();
    return rows;
}

void useBuiltWorkbookReader()
{
    static const bool set = qputenv("ZB32_XLS_READER", ZB32_XLS_READER_BUILT);
    (void)set;
}

void checkReaderReport(const QString& error)
{
    static const QRegularExpression report(QStringLiteral("Sanitizer|runtime error:"));
    // The reader process is all our own code: any report from it is a fault to fix.
    if (error.contains(report)) {
        fail("the workbook reader process reported a fault", error);
    }
}

void forEachLine(const QByteArray& bytes, const std::function<void(const QString&)>& decode)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    LineReader reader(&buffer);
    QString line;
    while (reader.readLine(&line) == LineReader::Status::Line) {
        decode(line);
    }
}

} // namespace zb32::fuzz
