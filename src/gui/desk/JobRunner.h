// Runs the desk's jobs on one job thread, which owns the desk's database connection.
#pragma once

#include "core/JobCatalog.h"
#include "core/jobs/BatchData.h"
#include "core/jobs/Job.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <functional>

namespace zb32 {

class CaseDatabase;
class JobWorker;

class JobRunner : public QObject
{
    Q_OBJECT
public:
    explicit JobRunner(QObject* parent = nullptr);
    ~JobRunner() override;

    bool isRunning() const { return m_running; }
    // Starts a job; refused (false) while another one runs, since they would share the connection.
    // `rerun`: what the job does with a file the register has seen (the register window's
    // "Riprendi" asks for Resume); by default the operator is asked.
    // `check`: a check run of the job, which writes nothing and ends with checkReported.
    bool start(JobId id, const BatchData& batch, Rerun rerun = Rerun::Refuse, bool check = false);
    // Work of the desk that is not a job of the catalog (taking a run back), run as one: on the
    // connection, refused while anything runs; `workFinished` at its end.
    using Work = std::function<JobResult(JobContext&)>;
    bool startWork(Work work);
    // A reading on the desk's connection, queued behind a job that runs: `query` on the job
    // thread (the connection opened first; the error says why not), then `done` on the window's
    // thread while `receiver` lives. It holds nothing the job buttons care about.
    using Query = std::function<void(CaseDatabase& db, QString* error)>;
    void read(QObject* receiver, Query query, std::function<void(const QString& error)> done);
    // Tests fix "now"; an invalid value means the real clock.
    void setNow(const QDateTime& now);
    // Who answers a job's questions, on the window's thread while the job waits; without one a
    // job's question goes unanswered (-1).
    using Asker = std::function<int(const QString& text, const QStringList& choices, int defaultChoice)>;
    void setAsker(Asker asker) { m_asker = std::move(asker); }
    int ask(const QString& text, const QStringList& choices, int defaultChoice)
    {
        return m_asker ? m_asker(text, choices, defaultChoice) : -1;
    }

Q_SIGNALS:
    void counterChanged(int box, const QString& text);
    void progressMaximumChanged(qint64 maximum);
    void progressChanged(qint64 value);
    void logCleared();
    void logAppended(const QStringList& lines);
    void messageRequested(const QString& text);
    void errorRequested(const QString& text);
    void captionChanged(const QString& text);
    // A check run read its file: the report's text, and whether the file had no bad line.
    void checkReported(const QString& text, bool clean);
    void started(zb32::JobId id);
    void finished(zb32::JobId id, int status);
    void workFinished(int status);

private:
    void onWorkerFinished(zb32::JobId id, int status);

    QThread m_thread;
    JobWorker* m_worker = nullptr;
    bool m_running = false;
    Asker m_asker;
};

} // namespace zb32
