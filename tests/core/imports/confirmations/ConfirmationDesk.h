// A desk for the confirmation tests: a fresh database and workspace, cases to find, and a run
// of the import with the reporter that records what it shows.
#pragma once

#include "RecordingReporter.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "core/desk/Schema.h"
#include "core/jobs/BatchData.h"
#include "core/jobs/CheckReport.h"
#include "core/jobs/Job.h"

#include <QVariantMap>

namespace zb32::test {

// The reporter's fixed today and tomorrow.
inline const QDate kToday(2026, 12, 7);
inline const QDate kTomorrow(2026, 12, 8);

// The backends every database test runs on.
inline QStringList backends()
{
    return { QStringLiteral("sqlite"), QStringLiteral("postgresql") };
}

// An amount as decimal text ("-50", "0.5"), or "null".
QString money(const QVariant& value);
// A text or number as text, or "null".
QString plain(const QVariant& value);
// A date as dd/MM/yyyy, or "null".
QString day(const QVariant& value);

// A collections line: fixed columns, fillers that are not blank, CR LF at the end.
QByteArray collectionLine(const QString& position, const QString& code, const QString& amount8,
    const QString& reference, const QString& date8 = QStringLiteral("05032010"),
    const QString& invoice = QStringLiteral("FT-0001"));
QString cents(qint64 value);

class ConfirmationDesk
{
public:
    explicit ConfirmationDesk(const QString& backend);

    TestDatabase tdb;
    TestWorkspace ws;
    RecordingReporter report;
    BatchData batch;

    // A case of mandate type 460 owing 200 / 50 / 30 / 10 (290 in all), assigned on 01/01/2010,
    // collector "E7", assignment state "1"; `fields` overrides or adds (an invalid value: null).
    qint64 addCase(const QString& position, const QVariantMap& fields = {});
    qint64 addPayment(qint64 caseKey, const QVariantMap& fields);
    void addRate(const QString& agent, const QString& client, const QString& mode, double first);

    JobResult runText(const QByteArray& bytes, const QString& name = QStringLiteral("incassi.txt"));
    // A workbook of the test data (a path under `folder`), imported under its own file name.
    JobResult runWorkbook(const QString& fixture, const QString& folder = QStringLiteral("confirmations"));
    JobResult run(int mode);
    // The same as a check (nothing written), what it found in `check`.
    JobResult check(int mode, CheckReport* check);

    QVariantMap caseRow(qint64 key);
    QList<QVariantMap> payments(qint64 caseKey);
    QList<QVariantMap> invoices(qint64 caseKey);
};

} // namespace zb32::test
