// The command line's reporter.
#include "cli/CliReporter.h"

namespace zb32 {

CliReporter::CliReporter(QTextStream& out, QTextStream& err, bool progressBar, const QDateTime& now)
    : m_out(out)
    , m_err(err)
    , m_bar(progressBar)
    , m_now(now)
{
    m_timer.start();
}

QDateTime CliReporter::now() const
{
    return m_now.isValid() ? m_now : QDateTime::currentDateTime();
}

void CliReporter::setCounter(Counter box, const QString& text)
{
    (box == Clienti ? clienti : fatture) = text;
}

void CliReporter::setProgressMaximum(qint64 maximum)
{
    m_maximum = maximum;
}

void CliReporter::setProgress(qint64 value)
{
    if (!m_bar || m_maximum <= 0 || m_timer.elapsed() - m_lastDraw < 100) {
        return;
    }
    m_lastDraw = m_timer.elapsed();
    const int percent = static_cast<int>(qBound(qint64(0), value * 100 / m_maximum, qint64(100)));
    const int filled = percent * 40 / 100;
    m_err << '\r' << '[' << QString(filled, QLatin1Char('#')) << QString(40 - filled, QLatin1Char(' ')) << "] "
          << percent << '%';
    m_err.flush();
    m_barShown = true;
}

void CliReporter::clearBar()
{
    if (m_barShown) {
        m_err << '\r' << QString(50, QLatin1Char(' ')) << '\r';
        m_err.flush();
        m_barShown = false;
    }
}

void CliReporter::Addlist(const QString& line)
{
    clearBar();
    m_out << line << '\n';
    m_out.flush();
}

void CliReporter::message(const QString& text)
{
    clearBar();
    m_out << text << '\n';
    m_out.flush();
}

void CliReporter::error(const QString& text)
{
    clearBar();
    m_err << text << '\n';
    m_err.flush();
}

void CliReporter::finish()
{
    clearBar();
}

} // namespace zb32
