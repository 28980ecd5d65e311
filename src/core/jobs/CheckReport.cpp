// The check run's findings and their text.
#include "core/jobs/CheckReport.h"

namespace zb32 {

void CheckReport::addBadLine(const QString& file, qint64 line, const QString& reason, const QString& unit)
{
    if (m_badLines.contains(line)) {
        return;
    }
    ++m_badLineCount;
    if (qsizetype(m_badLines.size()) == kListed) {
        if (line > m_badLines.rbegin()->first) {
            return;
        }
        m_badLines.erase(std::prev(m_badLines.end()));
    }
    m_badLines.emplace(line, QStringLiteral("File %1, %2 %3: %4").arg(file, unit).arg(line).arg(reason));
}

void CheckReport::addMissingCase(const QString& position)
{
    if (++m_missingCaseCount <= kListed) {
        m_missingCases << position;
    }
}

QString CheckReport::text(const QString& file) const
{
    QStringList out;
    out << QStringLiteral("Verifica del file %1: nulla è stato scritto nel database.").arg(file);
    out << QStringLiteral("Righe lette: %1").arg(m_linesRead);
    if (m_badLineCount == 0) {
        out << QStringLiteral("Righe errate: nessuna");
    } else {
        out << QStringLiteral("Righe errate: %1").arg(m_badLineCount);
        for (const auto& [number, line] : m_badLines) {
            out << QStringLiteral("  ") + line;
        }
        if (m_badLineCount > qsizetype(m_badLines.size())) {
            out << QStringLiteral("  ... e altre %1 righe errate").arg(m_badLineCount - qsizetype(m_badLines.size()));
        }
    }
    if (!m_writes.isEmpty()) {
        out << (m_badLineCount == 0 ? QStringLiteral("L'importazione scriverebbe:")
                                    : QStringLiteral("L'importazione scriverebbe, delle righe senza errori:"));
        for (const auto& [label, count] : m_writes) {
            out << QStringLiteral("  %1: %2").arg(label).arg(count);
        }
    }
    if (m_missingCaseCount > 0) {
        out << QStringLiteral("Posizioni senza pratica: %1").arg(m_missingCaseCount);
        for (const QString& position : m_missingCases) {
            out << QStringLiteral("  ") + position;
        }
        if (m_missingCaseCount > m_missingCases.size()) {
            out << QStringLiteral("  ... e altre %1 posizioni").arg(m_missingCaseCount - m_missingCases.size());
        }
    }
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace zb32
