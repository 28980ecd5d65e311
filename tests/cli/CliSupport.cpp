// Shared pieces of the command-line tests.
#include "CliSupport.h"

#include "TestWorkspace.h"
#include "core/desk/Cp1252.h"
#include "core/desk/Currency.h"
#include "core/desk/Schema.h"

#include <QProcess>

namespace zb32::test {

QStringList CliRun::outLines() const
{
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString CliRun::describe() const
{
    return QStringLiteral("exit %1\nstdout:\n%2\nstderr:\n%3").arg(exitCode).arg(out.left(4000), err.left(4000));
}

CliRun runZb32(const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZB32_TODAY"), kCliToday.toString(Qt::ISODate));
    p.setProcessEnvironment(env);
    p.setProgram(qEnvironmentVariable("ZB32_BINARY"));
    p.setArguments(args);
    p.start();
    CliRun r;
    if (!p.waitForStarted(30000)) {
        r.err = QStringLiteral("zb32 non parte (%1): %2").arg(p.program(), p.errorString());
        return r;
    }
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

FixedLine& FixedLine::put(int start, int length, const QString& text)
{
    if (m_text.size() < start - 1 + length) {
        m_text = m_text.leftJustified(start - 1 + length, QLatin1Char(' '));
    }
    m_text.replace(start - 1, length, text.left(length).leftJustified(length, QLatin1Char(' ')));
    return *this;
}

FixedLine& FixedLine::putRight(int start, int length, const QString& text)
{
    return put(start, length, text.right(length).rightJustified(length, QLatin1Char(' ')));
}

FixedLine& FixedLine::length(int length)
{
    m_text = m_text.leftJustified(length, QLatin1Char(' '), true);
    return *this;
}

QByteArray cp1252Lines(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += Cp1252::encode(line) + "\r\n";
    }
    return bytes;
}

QString dumpValue(const QVariant& value)
{
    if (!value.isValid() || value.isNull()) {
        return QStringLiteral("null");
    }
    if (value.metaType() == QMetaType::fromType<Currency>()) {
        return value.value<Currency>().toDecimalText();
    }
    switch (value.typeId()) {
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate);
    case QMetaType::QString: {
        QString shown = QStringLiteral("\"");
        for (const QChar c : value.toString()) {
            if (c.unicode() < 0x20 || c == QLatin1Char('"') || c == QLatin1Char('\\')) {
                shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            } else {
                shown += c;
            }
        }
        return shown + QLatin1Char('"');
    }
    default:
        return value.toString();
    }
}

QStringList dumpRows(TestDatabase& tdb)
{
    QStringList out;
    for (const TableDef& table : Schema::tables()) {
        for (const QVariantMap& row : tdb.rows(table.name)) {
            QString line = table.name + QLatin1Char(' ') + dumpValue(row.value(table.key.toLower()));
            for (const FieldDef& f : table.fields) {
                if (f.name.compare(table.key, Qt::CaseInsensitive) != 0) {
                    line += QLatin1Char(' ') + f.name + QLatin1Char('=') + dumpValue(row.value(f.name.toLower()));
                }
            }
            out << line;
        }
    }
    return out;
}

QString firstDifference(const QStringList& actual, const QStringList& expected)
{
    for (qsizetype i = 0; i < qMax(actual.size(), expected.size()); ++i) {
        const QString a = actual.value(i, QStringLiteral("(nessuna riga)"));
        const QString e = expected.value(i, QStringLiteral("(nessuna riga)"));
        if (a != e) {
            return QStringLiteral("riga %1 del contenuto del database\n  trovata: %2\n  attesa:  %3")
                .arg(i + 1)
                .arg(a, e);
        }
    }
    return {};
}

CliRun runImport(const TestDatabase& tdb, const QString& job, const QString& file, const QByteArray& bytes,
    const QStringList& options)
{
    TestWorkspace ws;
    ws.writeIni(tdb.connectionString());
    ws.writeImportFile(file, bytes);
    return runZb32(QStringList { QStringLiteral("run"), job, QStringLiteral("--file"), file } + options);
}

} // namespace zb32::test
