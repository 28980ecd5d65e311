// Prints what the desk would show: message texts and log lines on the output stream, errors
// on the error stream, a progress bar on the error stream when it is a terminal.
#pragma once

#include "core/jobs/JobReporter.h"

#include <QElapsedTimer>
#include <QTextStream>

namespace zb32 {

class CliReporter : public JobReporter
{
public:
    CliReporter(QTextStream& out, QTextStream& err, bool progressBar, const QDateTime& now = {});

    void setCounter(Counter box, const QString& text) override;
    void setProgressMaximum(qint64 maximum) override;
    void setProgress(qint64 value) override;
    void clearLog() override { }
    void Addlist(const QString& line) override;
    void message(const QString& text) override;
    void error(const QString& text) override;
    void setCaption(const QString&) override { }
    QDateTime now() const override;

    // Ends the progress line, if one is drawn.
    void finish();

    QString clienti;
    QString fatture;

private:
    void clearBar();

    QTextStream& m_out;
    QTextStream& m_err;
    bool m_bar;
    QDateTime m_now;
    qint64 m_maximum = 0;
    bool m_barShown = false;
    QElapsedTimer m_timer;
    qint64 m_lastDraw = -1000;
};

} // namespace zb32
