// The job thread and the reporter that carries a job's reports back to the window, throttled
// so that a fast job does not flood the event queue.
#include "gui/desk/JobRunner.h"

#include "core/desk/CaseDatabase.h"
#include "core/jobs/CheckReport.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <memory>

namespace zb32 {

namespace {
constexpr qint64 kThrottleMs = 30;
}

class JobWorker : public QObject, public JobReporter
{
    Q_OBJECT
public:
    explicit JobWorker(JobRunner* runner)
        : m_runner(runner)
    { }

    void run(JobId id, const BatchData& batch, Rerun rerun, bool check)
    {
        if (!m_db) {
            m_db = std::make_unique<CaseDatabase>(); // created, and later destroyed, on this thread
        }
        m_clock.start();
        JobContext ctx { *m_db, batch, *this };
        ctx.rerun = rerun;
        CheckReport report;
        ctx.check = check ? &report : nullptr;
        const JobResult result = runJob(id, ctx);
        flush();
        if (report.isFinished()) {
            Q_EMIT m_runner->checkReported(report.text(batch.Text1[4]), report.clean());
        }
        Q_EMIT workerFinished(id, static_cast<int>(result.status));
    }

    void runWork(const JobRunner::Work& work)
    {
        if (!m_db) {
            m_db = std::make_unique<CaseDatabase>();
        }
        m_clock.start();
        const BatchData batch;
        JobContext ctx { *m_db, batch, *this };
        const JobResult result = work(ctx);
        flush();
        Q_EMIT workDone(static_cast<int>(result.status));
    }

    // `done` is called on the window's thread, where `receiver` is looked at.
    void read(const QPointer<QObject>& receiver, const JobRunner::Query& query,
        const std::function<void(const QString&)>& done)
    {
        if (!m_db) {
            m_db = std::make_unique<CaseDatabase>();
        }
        QString error;
        if (m_db->ApriDB(&error)) {
            query(*m_db, &error);
        }
        QMetaObject::invokeMethod(
            m_runner,
            [receiver, done, error] {
                if (receiver) {
                    done(error);
                }
            },
            Qt::QueuedConnection);
    }

    void shutdown() { m_db.reset(); }

    void setNow(const QDateTime& now)
    {
        QMutexLocker lock(&m_nowMutex);
        m_now = now;
    }

    // JobReporter
    void setCounter(Counter box, const QString& text) override
    {
        m_counters[box == Clienti ? 1 : 0] = text;
        m_counterDirty[box == Clienti ? 1 : 0] = true;
        maybeFlush();
    }
    void setProgressMaximum(qint64 maximum) override
    {
        flush();
        Q_EMIT m_runner->progressMaximumChanged(maximum);
    }
    void setProgress(qint64 value) override
    {
        m_progress = value;
        m_progressDirty = true;
        maybeFlush();
    }
    void clearLog() override
    {
        m_log.clear();
        flush();
        Q_EMIT m_runner->logCleared();
    }
    void Addlist(const QString& line) override
    {
        m_log << line;
        maybeFlush();
    }
    void message(const QString& text) override
    {
        flush();
        Q_EMIT m_runner->messageRequested(text);
    }
    void error(const QString& text) override
    {
        flush();
        Q_EMIT m_runner->errorRequested(text);
    }
    int ask(const QString& text, const QStringList& choices, int defaultChoice) override
    {
        flush();
        int answer = -1;
        // The job waits for the operator; the window stays live meanwhile.
        QMetaObject::invokeMethod(
            m_runner, [&] { answer = m_runner->ask(text, choices, defaultChoice); }, Qt::BlockingQueuedConnection);
        return answer;
    }
    void setCaption(const QString& text) override
    {
        m_caption = text;
        m_captionDirty = true;
        maybeFlush();
    }
    QDateTime now() const override
    {
        QMutexLocker lock(&m_nowMutex);
        return m_now.isValid() ? m_now : QDateTime::currentDateTime();
    }

Q_SIGNALS:
    void workerFinished(zb32::JobId id, int status);
    void workDone(int status);

private:
    void maybeFlush()
    {
        if (m_clock.elapsed() - m_lastFlush >= kThrottleMs) {
            flush();
        }
    }
    void flush()
    {
        m_lastFlush = m_clock.elapsed();
        if (m_counterDirty[1]) {
            Q_EMIT m_runner->counterChanged(4, m_counters[1]);
        }
        if (m_counterDirty[0]) {
            Q_EMIT m_runner->counterChanged(0, m_counters[0]);
        }
        m_counterDirty[0] = m_counterDirty[1] = false;
        if (m_progressDirty) {
            Q_EMIT m_runner->progressChanged(m_progress);
            m_progressDirty = false;
        }
        if (!m_log.isEmpty()) {
            Q_EMIT m_runner->logAppended(m_log);
            m_log.clear();
        }
        if (m_captionDirty) {
            Q_EMIT m_runner->captionChanged(m_caption);
            m_captionDirty = false;
        }
    }

    JobRunner* m_runner;
    std::unique_ptr<CaseDatabase> m_db;
    QElapsedTimer m_clock;
    qint64 m_lastFlush = 0;
    QString m_counters[2];
    bool m_counterDirty[2] = { false, false };
    qint64 m_progress = 0;
    bool m_progressDirty = false;
    QStringList m_log;
    QString m_caption;
    bool m_captionDirty = false;
    mutable QMutex m_nowMutex;
    QDateTime m_now;
};

JobRunner::JobRunner(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<zb32::JobId>("zb32::JobId");
    m_thread.setObjectName(QStringLiteral("zb32-jobs"));
    m_worker = new JobWorker(this);
    m_worker->moveToThread(&m_thread);
    connect(m_worker, &JobWorker::workerFinished, this, &JobRunner::onWorkerFinished, Qt::QueuedConnection);
    connect(
        m_worker, &JobWorker::workDone, this,
        [this](int status) {
            m_running = false;
            Q_EMIT workFinished(status);
        },
        Qt::QueuedConnection);
    m_thread.start();
}

JobRunner::~JobRunner()
{
    // The connection belongs to the job thread: close it there before the thread ends.
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker] { w->shutdown(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
}

bool JobRunner::start(JobId id, const BatchData& batch, Rerun rerun, bool check)
{
    if (m_running) {
        return false;
    }
    m_running = true;
    Q_EMIT started(id);
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker, id, batch, rerun, check] { w->run(id, batch, rerun, check); }, Qt::QueuedConnection);
    return true;
}

bool JobRunner::startWork(Work work)
{
    if (m_running) {
        return false;
    }
    m_running = true;
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker, work = std::move(work)] { w->runWork(work); }, Qt::QueuedConnection);
    return true;
}

void JobRunner::read(QObject* receiver, Query query, std::function<void(const QString& error)> done)
{
    QMetaObject::invokeMethod(
        m_worker,
        [w = m_worker, receiver = QPointer<QObject>(receiver), query = std::move(query), done = std::move(done)] {
            w->read(receiver, query, done);
        },
        Qt::QueuedConnection);
}

void JobRunner::setNow(const QDateTime& now)
{
    m_worker->setNow(now);
}

void JobRunner::onWorkerFinished(JobId id, int status)
{
    m_running = false;
    Q_EMIT finished(id, status);
}

} // namespace zb32

#include "JobRunner.moc"
