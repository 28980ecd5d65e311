// Vi Diru lines for tests, built field by field so every text lands at its columns.
#pragma once

#include "core/desk/Cp1252.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace zb32::test {

class ViDiruLine
{
public:
    explicit ViDiruLine(const QString& code, int sequence = 1)
    {
        put(1, 10, QString::number(sequence).rightJustified(10, QLatin1Char('0')));
        put(11, 8, code);
    }

    // The text cut or padded with blanks to `length`, at column `start` (1-based).
    ViDiruLine& put(int start, int length, const QString& text)
    {
        const QString padded = text.left(length).leftJustified(length, QLatin1Char(' '));
        if (m_text.size() < start - 1 + length) {
            m_text = m_text.leftJustified(start - 1 + length, QLatin1Char(' '));
        }
        m_text.replace(start - 1, length, padded);
        return *this;
    }
    // The text as it stands from column `start`; the line ends where the text ends.
    ViDiruLine& from(int start, const QString& text)
    {
        m_text = m_text.leftJustified(start - 1, QLatin1Char(' ')).left(start - 1) + text;
        return *this;
    }
    // Pads the line with blanks up to `length` characters, or cuts it there.
    ViDiruLine& length(int length)
    {
        m_text = m_text.leftJustified(length, QLatin1Char(' '), true);
        return *this;
    }
    QString text() const { return m_text; }
    operator QString() const { return m_text; }

private:
    QString m_text;
};

// A header with its case number; the other fields blank, the line as long as the layout.
inline ViDiruLine headerLine(const QString& numero, int sequence = 1)
{
    return ViDiruLine(QStringLiteral("IBGI0001"), sequence).put(19, 10, numero).length(542);
}
inline ViDiruLine noteLine(const QString& text)
{
    return ViDiruLine(QStringLiteral("IBGI0004")).from(19, text);
}
inline ViDiruLine componentLine(const QString& description, const QString& amount)
{
    return ViDiruLine(QStringLiteral("IBGI0007")).put(19, 35, description).put(58, 13, amount.rightJustified(13));
}
inline ViDiruLine totalLine(const QString& amount)
{
    return ViDiruLine(QStringLiteral("IBGI0008")).put(19, 13, amount.rightJustified(13));
}
inline ViDiruLine instalmentLine(
    const QString& number, const QString& due, const QString& amount, const QString& reference)
{
    return ViDiruLine(QStringLiteral("IBGI0011"))
        .put(19, 2, number)
        .put(21, 10, due)
        .put(31, 35, QStringLiteral("Fattura"))
        .put(66, 13, amount.rightJustified(13))
        .put(79, 40, reference);
}

// A file as the partner writes it: Windows-1252, every line ended by CR LF.
inline QByteArray viDiruFile(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += Cp1252::encode(line) + "\r\n";
    }
    return bytes;
}

} // namespace zb32::test
