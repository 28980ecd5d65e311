// Runs the desk's jobs on one job thread, which owns the desk's database connection.
#pragma once

#include "core/JobCatalog.h"
#include "core/jobs/BatchData.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QThread>

namespace zb32 {

class JobWorker;

class JobRunner : public QObject
{
    Q_OBJECT
public:
    explicit JobRunner(QObject* parent = nullptr);
    ~JobRunner() override;

    bool isRunning() const { return m_running; }
    // Starts a job; refused (false) while another one runs, since they would share the connection.
    bool start(JobId id, const BatchData& batch);
    // Tests fix "now"; an invalid value means the real clock.
    void setNow(const QDateTime& now);

Q_SIGNALS:
    void counterChanged(int box, const QString& text);
    void progressMaximumChanged(qint64 maximum);
    void progressChanged(qint64 value);
    void logCleared();
    void logAppended(const QStringList& lines);
    void messageRequested(const QString& text);
    void errorRequested(const QString& text);
    void captionChanged(const QString& text);
    void started(zb32::JobId id);
    void finished(zb32::JobId id, int status);

private:
    void onWorkerFinished(zb32::JobId id, int status);

    QThread m_thread;
    JobWorker* m_worker = nullptr;
    bool m_running = false;
};

} // namespace zb32
