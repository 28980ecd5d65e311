// Cells, limits, dates and number formats of the workbook readers.
#include "SheetBuilder.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>

namespace zb32::sheets {

FormatKind builtInFormatKind(int id)
{
    if ((id >= 14 && id <= 17) || (id >= 27 && id <= 31) || (id >= 34 && id <= 36) || (id >= 50 && id <= 58)) {
        return FormatKind::Date;
    }
    if (id == 22) {
        return FormatKind::DateTime;
    }
    if ((id >= 18 && id <= 21) || (id >= 32 && id <= 33) || (id >= 45 && id <= 47)) {
        return FormatKind::Time;
    }
    return FormatKind::Number;
}

FormatKind formatCodeKind(QStringView code)
{
    // The date and time letters outside quotes, escapes and brackets, in order.
    QString letters;
    bool time = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i].toLower();
        if (c == u'"') {
            const qsizetype end = code.indexOf(u'"', i + 1);
            i = end < 0 ? code.size() : end;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else if (c == u'[') {
            const qsizetype end = code.indexOf(u']', i + 1);
            const QStringView inside = code.mid(i + 1, (end < 0 ? code.size() : end) - i - 1);
            // [h], [mm], [ss]: elapsed time; anything else ([Red], [$-409], [<100]) is not shown.
            bool elapsed = !inside.isEmpty();
            for (QChar k : inside) {
                elapsed = elapsed && QStringView(u"hHmMsS").contains(k);
            }
            if (elapsed) {
                time = true;
                letters += inside.toString().toLower();
            }
            i = end < 0 ? code.size() : end;
        } else if (c == u'a'
            && (code.mid(i, 5).compare(u"am/pm", Qt::CaseInsensitive) == 0
                || code.mid(i, 3).compare(u"a/p", Qt::CaseInsensitive) == 0)) {
            time = true;
            i += code.mid(i, 5).compare(u"am/pm", Qt::CaseInsensitive) == 0 ? 4 : 2;
        } else if (c == u'd' || c == u'm' || c == u'y' || c == u'h' || c == u's') {
            letters += c;
        }
    }
    bool date = false;
    for (qsizetype i = 0; i < letters.size(); ++i) {
        const QChar c = letters[i];
        if (c == u'd' || c == u'y') {
            date = true;
        } else if (c == u'h' || c == u's') {
            time = true;
        } else {
            qsizetype before = i;
            while (before > 0 && letters[before - 1] == u'm') {
                --before;
            }
            qsizetype after = i;
            while (after < letters.size() && letters[after] == u'm') {
                ++after;
            }
            const bool minutes
                = (before > 0 && letters[before - 1] == u'h') || (after < letters.size() && letters[after] == u's');
            (minutes ? time : date) = true;
            i = after - 1;
        }
    }
    if (date) {
        return time ? FormatKind::DateTime : FormatKind::Date;
    }
    return time ? FormatKind::Time : FormatKind::Number;
}

QVariant serialValue(double serial, FormatKind kind, bool date1904)
{
    // 2958465 is 31/12/9999 in the 1900 system.
    if (kind == FormatKind::Number || !std::isfinite(serial) || serial < 0 || serial >= 2958466) {
        return serial;
    }
    // Whole seconds, as the sheet shows them.
    const qint64 seconds = std::llround(serial * 86400.0);
    qint64 days = seconds / 86400;
    const QTime time = QTime(0, 0).addSecs(static_cast<int>(seconds % 86400));
    if (kind == FormatKind::Time) {
        return time;
    }
    QDate date;
    if (date1904) {
        date = QDate(1904, 1, 1).addDays(days);
    } else if (days < 61) {
        // Before 01/03/1900 the 1900 system counts a 29/02/1900 that never was.
        date = QDate(1899, 12, 31).addDays(days == 60 ? 59 : days);
    } else {
        date = QDate(1899, 12, 30).addDays(days);
    }
    if (kind == FormatKind::Date) {
        return date;
    }
    return QDateTime(date, time, Qt::UTC);
}

bool SheetBuilder::set(qint64 row, qint64 column, const QVariant& value, ReadFailure* failure)
{
    if (!value.isValid() || value.isNull()) {
        return true;
    }
    if (row < 0 || column < 0 || row >= Limits::kMaxRows || column >= Limits::kMaxColumns) {
        *failure = damaged(QStringLiteral("una cella è fuori dal foglio"));
        return false;
    }
    const qint64 key = WorkbookSheet::keyOf(static_cast<int>(row), static_cast<int>(column));
    auto it = m_sheet->cells.find(key);
    if (it != m_sheet->cells.end()) {
        *it = value;
        return true;
    }
    if (*m_cellsLeft <= 0) {
        *failure = tooLarge(QStringLiteral("più di %1 celle piene").arg(Limits::kMaxCells));
        return false;
    }
    --*m_cellsLeft;
    m_sheet->cells.insert(key, value);
    m_sheet->rows = qMax(m_sheet->rows, static_cast<qint32>(row + 1));
    m_sheet->columns = qMax(m_sheet->columns, static_cast<qint32>(column + 1));
    return true;
}

ReadFailure damaged(const QString& detail)
{
    return { ReadFailure::Kind::Damaged, detail };
}

ReadFailure tooLarge(const QString& detail)
{
    return { ReadFailure::Kind::TooLarge, detail };
}

} // namespace zb32::sheets
