// What the fuzz targets share: a reporter that checks how a job ends, and a workspace with an
// in-memory database that every run starts from in the same state.
#pragma once

#include "core/JobCatalog.h"
#include "core/desk/CaseDatabase.h"
#include "core/jobs/BatchData.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariantMap>
#include <functional>

namespace zb32::fuzz {

// Counts what a run shows, so the end of the run can be checked against what it returned.
class CheckingReporter : public JobReporter
{
public:
    void message(const QString&) override { ++messages; }
    void error(const QString& text) override
    {
        ++errors;
        lastError = text;
    }
    QDateTime now() const override { return QDateTime(QDate(2026, 12, 7), QTime(10, 0)); }

    int messages = 0;
    int errors = 0;
    QString lastError;
};

// A row the database holds when a run starts.
struct SeedRow
{
    QString table;
    QVariantMap fields;
};

// Prints the reason and aborts, so libFuzzer keeps the input.
[[noreturn]] void fail(const char* what, const QString& detail = {});
#define ZB32_FUZZ_CHECK(condition, detail)                                                                             \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            ::zb32::fuzz::fail(#condition, (detail));                                                                  \
        }                                                                                                              \
    } while (false)

// Sets up (once) temporary drive folders whose configuration file names an in-memory SQLite
// database; empties its tables and inserts `rows`, writes `bytes` as the import file `name` and
// runs the job on it. Aborts when the run breaks the jobs' contract: a failed run reports exactly
// one error, the one it returns, naming the file; a completed run reports none and closes with a
// message; no run leaves a transaction open.
JobResult runJobOn(
    JobId id, const QString& name, const QByteArray& bytes, BatchData batch = {}, const QList<SeedRow>& rows = {});

// Cases (mandate type 460), open instalments and rates for the confirmation jobs: their
// positions are those of the seed inputs, so lookups find cases and the postings run.
const QList<SeedRow>& confirmationCases();

// Reads `bytes` as a job's text file reads it and hands every line to `decode`.
void forEachLine(const QByteArray& bytes, const std::function<void(const QString&)>& decode);

// Points the workbook jobs at the reader process built beside the fuzz targets.
void useBuiltWorkbookReader();

// A sanitizer report of the reader process ends up as the text of the run's error: a fault in
// the reader, to fix.
void checkReaderReport(const QString& error);

} // namespace zb32::fuzz
