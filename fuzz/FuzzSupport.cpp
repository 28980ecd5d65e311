// Fuzz workspace.
#include "FuzzSupport.h"

#include "desk/DrivePath.h"
#include "desk/Schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

namespace zb32::fuzz {

namespace {

struct Workspace
{
    Workspace()
    {
        static int argc = 1;
        static char name[] = "zb32-fuzz";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QCoreApplication>(argc, argv);
        const QString z = dir.path() + QStringLiteral("/Z");
        QDir().mkpath(z + QStringLiteral("/work/kx32/dati"));
        QDir().mkpath(z + QStringLiteral("/work/kx32/import"));
        QDir().mkpath(dir.path() + QStringLiteral("/C"));
        qputenv("ZB32_DRIVE_Z", QFile::encodeName(z));
        qputenv("ZB32_DRIVE_C", QFile::encodeName(dir.path() + QStringLiteral("/C")));
        QFile ini(z + QStringLiteral("/work/kx32/dati/kx32.ini"));
        ini.open(QIODevice::WriteOnly);
        ini.write("[datiserver]\r\nconnstring=Provider=SQLite;Data Source=:memory:\r\n");
        ini.close();
        QString error;
        db.ApriDB(&error);
        Schema::create(db, &error);
    }

    std::unique_ptr<QCoreApplication> app;
    QTemporaryDir dir;
    CaseDatabase db;
    int runs = 0;
};

Workspace& workspace()
{
    static Workspace w;
    return w;
}

} // namespace

JobResult runJobOn(JobId id, const QString& name, const QByteArray& bytes, BatchData batch)
{
    Workspace& w = workspace();
    const BatchData defaults = BatchData::defaults(QDate(2026, 12, 7));
    for (int i = 0; i < 7; ++i) {
        if (batch.Text1[i].isNull()) {
            batch.Text1[i] = defaults.Text1[i];
        }
    }
    batch.Text1[4] = name;
    QFile f(resolveDrivePath(kImportFolder + name));
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
    f.close();
    QuietReporter reporter;
    JobContext ctx{w.db, batch, reporter};
    const JobResult result = runJob(id, ctx);
    // Keep the in-memory database small over a long run.
    if (++w.runs % 500 == 0) {
        for (const TableDef& t : Schema::tables()) {
            w.db.exec(QStringLiteral("DELETE FROM [%1]").arg(t.name), nullptr);
        }
    }
    return result;
}

} // namespace zb32::fuzz
