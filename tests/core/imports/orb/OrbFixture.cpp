// Reading the Orb fixtures and writing the database and report in their form.
#include "OrbFixture.h"

#include "core/desk/Currency.h"
#include "core/desk/Schema.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QHash>

namespace zb32::test {

namespace {

QString dataFolder()
{
    return qEnvironmentVariable("ZB32_TEST_DATA") + QStringLiteral("/orb");
}

QString escape(QString text)
{
    return text.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\r'), QLatin1String("\\r"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

QString format(const QVariant& v)
{
    if (v.metaType() == QMetaType::fromType<Currency>()) {
        return v.value<Currency>().toDecimalText();
    }
    if (v.typeId() == QMetaType::QDate) {
        return v.toDate().toString(Qt::ISODate);
    }
    return escape(v.toString());
}

} // namespace

QStringList OrbFixture::names()
{
    QStringList out;
    const QDir dir(dataFolder());
    for (const QString& entry : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (QFile::exists(dir.filePath(entry + QStringLiteral("/expected.txt")))) {
            out << entry;
        }
    }
    return out;
}

OrbFixture::OrbFixture(const QString& name)
{
    const QString folder = dataFolder() + QLatin1Char('/') + name + QLatin1Char('/');
    auto read = [&](const QString& file, QByteArray* bytes) {
        QFile f(folder + file);
        if (!f.open(QIODevice::ReadOnly)) {
            m_error = QStringLiteral("%1: %2").arg(f.fileName(), f.errorString());
            return false;
        }
        *bytes = f.readAll();
        return true;
    };
    QByteArray batch;
    QByteArray expected;
    if (!read(QStringLiteral("input.txt"), &m_input) || !read(QStringLiteral("batch.txt"), &batch)
        || !read(QStringLiteral("expected.txt"), &expected)) {
        return;
    }
    m_expected = QString::fromUtf8(expected);
    for (const QString& line : QString::fromUtf8(batch).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        const QString key = line.left(eq);
        const QString value = line.mid(eq + 1);
        bool isIndex = false;
        const int index = key.toInt(&isIndex);
        if (isIndex && index >= 0 && index < 7) {
            m_batch.Text1[size_t(index)] = value;
        } else if (key == QLatin1String("runs")) {
            m_runs = value.toInt();
        } else if (key == QLatin1String("refuse")) {
            m_refusal = { value.section(QLatin1Char(':'), 0, 0), value.section(QLatin1Char(':'), 1) };
        } else {
            m_error = QStringLiteral("%1batch.txt: unknown key %2").arg(folder, key);
        }
    }
}

QString OrbFixture::expectedTables() const
{
    return m_expected.left(m_expected.indexOf(QLatin1String("[report]\n")));
}

QPair<QString, QString> OrbFixture::expectedError() const
{
    QPair<QString, QString> out;
    for (const QString& line : m_expected.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("error="))) {
            out.first = line.mid(6);
        } else if (line.startsWith(QLatin1String("error.mentions="))) {
            out.second = line.mid(15);
        }
    }
    return out;
}

QString OrbFixture::dumpTables(TestDatabase& tdb)
{
    QString out;
    QHash<qint64, int> ordinal;
    const QList<QVariantMap> cases = tdb.rows(Schema::kCases);
    const QList<QVariantMap> invoices = tdb.rows(Schema::kInvoices);
    for (int i = 0; i < cases.size(); ++i) {
        ordinal.insert(cases[i].value(QStringLiteral("contatore")).toLongLong(), i + 1);
    }
    const std::pair<QString, const QList<QVariantMap>*> tables[]
        = { { Schema::kCases, &cases }, { Schema::kInvoices, &invoices } };
    for (const auto& [name, rows] : tables) {
        out += QLatin1Char('[') + name + QStringLiteral("]\n");
        for (int i = 0; i < rows->size(); ++i) {
            out += QStringLiteral("row %1\n").arg(i + 1);
            const QVariantMap& row = rows->at(i);
            for (auto it = row.begin(); it != row.end(); ++it) {
                const QVariant& v = it.value();
                if (it.key() == QLatin1String("contatore") || it.key() == QLatin1String("id") || !v.isValid()
                    || v.isNull()) {
                    continue;
                }
                QString text = format(v);
                if (it.key() == QLatin1String("conta")) {
                    const int n = ordinal.value(v.toLongLong(), 0);
                    text = n > 0 ? QStringLiteral("@%1").arg(n) : QStringLiteral("no case with key ") + text;
                }
                out += it.key() + QLatin1Char('=') + text + QLatin1Char('\n');
            }
        }
    }
    return out;
}

QString OrbFixture::dump(TestDatabase& tdb, const RecordingReporter& reporter, const JobResult& result,
    const QPair<QString, QString>& expectedError)
{
    QString out = dumpTables(tdb);
    out += QStringLiteral("[report]\n");
    if (!reporter.clienti.isEmpty()) {
        out += QStringLiteral("clienti=") + escape(reporter.clienti) + QLatin1Char('\n');
    }
    for (const QString& error : reporter.errors) {
        // The reason is the operator's text; the fixture fixes where it points and what it names.
        if (!expectedError.first.isEmpty() && error.startsWith(expectedError.first)
            && error.contains(expectedError.second, Qt::CaseInsensitive)) {
            out += QStringLiteral("error=") + expectedError.first + QLatin1Char('\n');
            out += QStringLiteral("error.mentions=") + expectedError.second + QLatin1Char('\n');
        } else {
            out += QStringLiteral("error=") + escape(error) + QLatin1Char('\n');
        }
    }
    if (!reporter.fatture.isEmpty()) {
        out += QStringLiteral("fatture=") + escape(reporter.fatture) + QLatin1Char('\n');
    }
    for (const QString& message : reporter.messages) {
        out += QStringLiteral("message=") + escape(message) + QLatin1Char('\n');
    }
    QStringList progress;
    for (qint64 value : reporter.progressValues) {
        progress << QString::number(value);
    }
    out += QStringLiteral("progress=") + progress.join(QLatin1Char(',')) + QLatin1Char('\n');
    out += QStringLiteral("progress.maximum=%1\n").arg(reporter.progressMaximum);
    const char* status = "";
    switch (result.status) {
    case JobStatus::Completed:
        status = "completed";
        break;
    case JobStatus::Condition:
        status = "condition";
        break;
    case JobStatus::Failed:
        status = "failed";
        break;
    }
    out += QStringLiteral("status=") + QLatin1String(status) + QLatin1Char('\n');
    return out;
}

bool OrbFixture::sameText(const QString& actual, const QString& expected, QString* why)
{
    const QStringList a = actual.split(QLatin1Char('\n'));
    const QStringList e = expected.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < qMax(a.size(), e.size()); ++i) {
        const QString got = a.value(i, QStringLiteral("<end>"));
        const QString want = e.value(i, QStringLiteral("<end>"));
        if (got != want) {
            // The section and row the line belongs to, for the reader of the failure.
            QString row;
            QString section;
            for (qsizetype k = qMin(i, e.size() - 1); k >= 0 && section.isEmpty(); --k) {
                if (row.isEmpty() && e[k].startsWith(QLatin1String("row "))) {
                    row = e[k];
                } else if (e[k].startsWith(QLatin1Char('['))) {
                    section = e[k];
                }
            }
            const QString where = row.isEmpty() ? section : section + QLatin1Char(' ') + row;
            *why = QStringLiteral("line %1 (%2)\n   actual: %3\n expected: %4").arg(i + 1).arg(where, got, want);
            return false;
        }
    }
    return true;
}

} // namespace zb32::test
