// One fixture of tests/data/orb: input file, desk boxes and expected rows and report.
#pragma once

#include "RecordingReporter.h"
#include "TestDatabase.h"
#include "core/jobs/BatchData.h"
#include "core/jobs/Job.h"

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QStringList>

namespace zb32::test {

class OrbFixture
{
public:
    // Every fixture folder, by name.
    static QStringList names();

    explicit OrbFixture(const QString& name);

    bool isValid() const { return m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    // The name the input goes by in the import folder (the file-name box).
    QString fileName() const { return m_batch.Text1[4]; }
    const QByteArray& input() const { return m_input; }
    const BatchData& batch() const { return m_batch; }
    int runs() const { return m_runs; }
    // ("invoice" or "case", prefix): the database refuses such rows.
    QPair<QString, QString> refusal() const { return m_refusal; }
    const QString& expected() const { return m_expected; }
    // The expected rows alone, without the report.
    QString expectedTables() const;
    // The error's expected start ("Importazione interrotta. File F, riga N: ") and a word its
    // reason must mention; empty when the run must not fail.
    QPair<QString, QString> expectedError() const;

    // The two tables as the fixtures write them: non-null fields sorted by name, keys left out,
    // an invoice's `conta` as "@n", the n-th case.
    static QString dumpTables(TestDatabase& tdb);
    static QString dump(TestDatabase& tdb, const RecordingReporter& reporter, const JobResult& result,
        const QPair<QString, QString>& expectedError);
    // Line by line; `why` names the first line that differs.
    static bool sameText(const QString& actual, const QString& expected, QString* why);

private:
    QString m_error;
    QByteArray m_input;
    BatchData m_batch;
    int m_runs = 1;
    QPair<QString, QString> m_refusal;
    QString m_expected;
};

} // namespace zb32::test
