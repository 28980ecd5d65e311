// The time a job spends on one kind of work, for the timing log the benchmarks read.
#pragma once

#include <QElapsedTimer>
#include <QLoggingCategory>

// Off unless asked for ("zb32.run.timing.info=true"): what the register costs a run.
Q_DECLARE_LOGGING_CATEGORY(lcTiming)

namespace zb32 {

// Adds the time of a scope to a total in nanoseconds.
class Stopwatch
{
public:
    explicit Stopwatch(qint64* total)
        : m_total(total)
    {
        m_timer.start();
    }
    ~Stopwatch() { *m_total += m_timer.nsecsElapsed(); }
    Q_DISABLE_COPY_MOVE(Stopwatch)

private:
    qint64* m_total;
    QElapsedTimer m_timer;
};

} // namespace zb32
