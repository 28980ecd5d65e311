// Filling the template.
#include "core/letters/LetterText.h"

#include "core/letters/PostelReader.h"

namespace zb32 {

namespace {

void append(QList<LetterRun>& runs, QStringView text, bool strong)
{
    if (text.isEmpty()) {
        return;
    }
    if (!runs.isEmpty() && runs.last().strong == strong) {
        runs.last().text += text;
    } else {
        runs.append({ text.toString(), strong });
    }
}

void trimEnd(QList<LetterRun>& runs)
{
    while (!runs.isEmpty()) {
        QString& t = runs.last().text;
        qsizetype n = t.size();
        while (n > 0 && t[n - 1] == QLatin1Char(' ')) {
            --n;
        }
        t.truncate(n);
        if (!t.isEmpty()) {
            return;
        }
        runs.removeLast();
    }
}

} // namespace

QString LetterLine::text() const
{
    QString out;
    for (const LetterRun& r : runs) {
        out += r.text;
    }
    return out;
}

QList<LetterLine> fillLetter(const QStringList& templateLines, const PostelLetter& letter)
{
    QList<LetterLine> lines;
    lines.reserve(templateLines.size());
    for (const QString& source : templateLines) {
        LetterLine line;
        if (source.startsWith(QLatin1Char('!'))) {
            line.kind = LetterLine::Kind::Commands;
            for (const QString& word : source.mid(1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                line.commands << word.trimmed();
            }
            lines.append(line);
            continue;
        }
        qsizetype i = 0;
        while (i < source.size() && source[i] == QLatin1Char(' ')) {
            ++i;
        }
        line.indent = static_cast<int>(i);
        bool strong = false;
        bool inAmount = false;
        int placeholders = 0;
        int values = 0;
        QString amount;
        qsizetype plainFrom = i;
        auto flush = [&](qsizetype to) {
            const QStringView part = QStringView(source).mid(plainFrom, to - plainFrom);
            if (inAmount) {
                amount += part;
            } else {
                append(line.runs, part, strong);
            }
        };
        while (i < source.size()) {
            if (source[i] != QLatin1Char('@') || i + 1 >= source.size()) {
                ++i;
                continue;
            }
            const QChar c = source[i + 1];
            qsizetype skip = 0;
            if (c.isDigit() && i + 2 < source.size() && source[i + 2].isDigit()) {
                flush(i);
                const int n = (c.unicode() - '0') * 10 + (source[i + 2].unicode() - '0');
                const QString value = n >= 1 && n <= 9 ? letter.item(n).trimmed() : QString();
                ++placeholders;
                values += value.isEmpty() ? 0 : 1;
                if (inAmount) {
                    amount += value;
                } else {
                    append(line.runs, value, strong);
                }
                skip = 3;
            } else if (c == QLatin1Char('O') || c == QLatin1Char('o')) {
                flush(i);
                strong = c == QLatin1Char('O');
                skip = 2;
            } else if (c == QLatin1Char('L') && i + 2 < source.size() && source[i + 2] == QLatin1Char(':')) {
                flush(i);
                inAmount = true;
                line.kind = LetterLine::Kind::Amount;
                skip = 3;
            } else if (c == QLatin1Char('?') && i + 3 < source.size() && source[i + 2].isDigit()
                && source[i + 3].isDigit()) {
                flush(i);
                skip = 4;
            } else if (c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('>')
                || c == QLatin1Char('<')) {
                flush(i);
                skip = 2;
            }
            if (skip == 0) {
                ++i; // an "@" of the text itself
                continue;
            }
            i += skip;
            plainFrom = i;
        }
        flush(source.size());
        if (line.kind == LetterLine::Kind::Amount) {
            trimEnd(line.runs);
            line.amount = amount.trimmed();
        }
        line.filled = placeholders == 0 || values > 0;
        lines.append(line);
    }
    return lines;
}

QString letterSignature(const QStringList& templateLines)
{
    for (qsizetype i = templateLines.size() - 1; i >= 0; --i) {
        const QString& line = templateLines[i];
        if (!line.startsWith(QLatin1Char('!')) && !line.trimmed().isEmpty()) {
            return line.trimmed();
        }
    }
    return {};
}

} // namespace zb32
