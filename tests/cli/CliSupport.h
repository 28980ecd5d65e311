// What the command-line tests share: running zb32 as a process, building fixed-column lines,
// and writing a database's rows out as text that two runs can be compared by.
#pragma once

#include "TestDatabase.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

namespace zb32::test {

// The day every run of these tests takes as today (ZB32_TODAY).
inline const QDate kCliToday(2026, 12, 7);

struct CliRun
{
    int exitCode = -1; // -1: crashed or hung
    QString out;
    QString err;

    // The lines of stdout, blank ones left out.
    QStringList outLines() const;
    // Exit status and both streams, for a failure message.
    QString describe() const;
};

// Runs the zb32 of the build with the given arguments, today fixed at kCliToday.
CliRun runZb32(const QStringList& args);
// "zb32 run JOB --file FILE OPTIONS" in a fresh workspace whose configuration file names the
// database of `tdb` and whose import folder holds FILE with `bytes`.
CliRun runImport(const TestDatabase& tdb, const QString& job, const QString& file, const QByteArray& bytes,
    const QStringList& options = {});

// A line of fixed columns: fields put at 1-based columns, blanks between them.
class FixedLine
{
public:
    FixedLine() = default;
    // The text cut or padded with blanks to `length`, left-aligned, at column `start`.
    FixedLine& put(int start, int length, const QString& text);
    // The same, right-aligned (amounts).
    FixedLine& putRight(int start, int length, const QString& text);
    // Pads with blanks, or cuts, to exactly `length` characters.
    FixedLine& length(int length);
    QString text() const { return m_text; }

private:
    QString m_text;
};

// Lines in Windows-1252, each ended by CR LF.
QByteArray cp1252Lines(const QStringList& lines);

// Every row of the four tables, one text line per row: the table, the key, then every field
// as name=value in the table's order. Texts are quoted with their control characters shown,
// amounts as plain decimals, dates as yyyy-MM-dd, nulls as "null". Two databases hold the same
// records exactly when their dumps are equal.
QStringList dumpRows(TestDatabase& tdb);
// One value as dumpRows writes it.
QString dumpValue(const QVariant& value);

// The first line where two dumps differ, for a failure message; empty when they are equal.
QString firstDifference(const QStringList& actual, const QStringList& expected);

} // namespace zb32::test
