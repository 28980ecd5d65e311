// The confirmation tests' desk.
#include "ConfirmationDesk.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/Currency.h"
#include "core/imports/confirmations/ConfirmationImport.h"

#include <QFile>
#include <QFileInfo>

namespace zb32::test {

QString money(const QVariant& value)
{
    if (!value.isValid() || value.isNull()) {
        return QStringLiteral("null");
    }
    return Currency::fromVariant(value).toDecimalText();
}

QString plain(const QVariant& value)
{
    return (!value.isValid() || value.isNull()) ? QStringLiteral("null") : value.toString();
}

QString day(const QVariant& value)
{
    return (!value.isValid() || value.isNull()) ? QStringLiteral("null")
                                                : value.toDate().toString(QStringLiteral("dd/MM/yyyy"));
}

QString cents(qint64 value)
{
    return value < 0 ? QStringLiteral("-%1").arg(-value, 7, 10, QLatin1Char('0'))
                     : QStringLiteral("%1").arg(value, 8, 10, QLatin1Char('0'));
}

QByteArray collectionLine(const QString& position, const QString& code, const QString& amount8,
    const QString& reference, const QString& date8, const QString& invoice)
{
    const QString line = QStringLiteral("ORB0001") + position.leftJustified(9, QLatin1Char(' '), true)
        + invoice.leftJustified(10, QLatin1Char(' '), true) + QStringLiteral("XXXX")
        + amount8.leftJustified(8, QLatin1Char(' '), true) + QStringLiteral("YYYYYYYY") + date8
        + QStringLiteral("ZZZZZZ") + code.leftJustified(3, QLatin1Char(' '), true) + reference;
    return line.toLatin1() + "\r\n";
}

ConfirmationDesk::ConfirmationDesk(const QString& backend)
    : tdb(backend)
    , batch(BatchData::defaults(kToday))
{
    if (tdb.isAvailable()) {
        ws.writeIni(tdb.connectionString());
    }
    batch.Text1[5] = QStringLiteral("460");
}

qint64 ConfirmationDesk::addCase(const QString& position, const QVariantMap& fields)
{
    QVariantMap values = confirmationCase(position);
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        values.insert(it.key(), it.value());
    }
    for (auto it = values.begin(); it != values.end();) {
        it = it.value().isValid() ? std::next(it) : values.erase(it);
    }
    return tdb.insert(Schema::kCases, values);
}

qint64 ConfirmationDesk::addPayment(qint64 caseKey, const QVariantMap& fields)
{
    QVariantMap values = fields;
    values.insert(QStringLiteral("conta"), caseKey);
    return tdb.insert(Schema::kPayments, values);
}

void ConfirmationDesk::addRate(const QString& agent, const QString& client, const QString& mode, double first)
{
    tdb.insert(Schema::kRates,
        { { QStringLiteral("COD_AGENT"), agent }, { QStringLiteral("codice cliente"), client },
            { QStringLiteral("modalita"), mode }, { QStringLiteral("AL1"), first },
            { QStringLiteral("AL2"), first + 1 }, { QStringLiteral("AL3"), first + 2 },
            { QStringLiteral("AL4"), first + 3 }, { QStringLiteral("AL FISSA"), first + 4 } });
}

JobResult ConfirmationDesk::runText(const QByteArray& bytes, const QString& name)
{
    ws.writeImportFile(name, bytes);
    batch.Text1[4] = name;
    return run(0);
}

JobResult ConfirmationDesk::runWorkbook(const QString& fixture, const QString& folder)
{
    QFile source(qEnvironmentVariable("ZB32_TEST_DATA") + u'/' + folder + u'/' + fixture);
    if (!source.open(QIODevice::ReadOnly)) {
        qFatal("fixture %s missing", qPrintable(fixture));
    }
    const QString name = QFileInfo(fixture).fileName();
    ws.writeImportFile(name, source.readAll());
    batch.Text1[4] = name;
    return run(1);
}

JobResult ConfirmationDesk::run(int mode)
{
    CaseDatabase db;
    JobContext ctx { db, batch, report };
    return ImportaPag(ctx, mode);
}

JobResult ConfirmationDesk::check(int mode, CheckReport* check)
{
    CaseDatabase db;
    JobContext ctx { db, batch, report };
    ctx.check = check;
    return ImportaPag(ctx, mode);
}

QVariantMap ConfirmationDesk::caseRow(qint64 key)
{
    for (const QVariantMap& row : tdb.rows(Schema::kCases)) {
        if (row.value(QStringLiteral("contatore")).toLongLong() == key) {
            return row;
        }
    }
    return {};
}

QList<QVariantMap> ConfirmationDesk::payments(qint64 caseKey)
{
    QList<QVariantMap> out;
    for (const QVariantMap& row : tdb.rows(Schema::kPayments)) {
        if (row.value(QStringLiteral("conta")).toLongLong() == caseKey) {
            out << row;
        }
    }
    return out;
}

QList<QVariantMap> ConfirmationDesk::invoices(qint64 caseKey)
{
    QList<QVariantMap> out;
    for (const QVariantMap& row : tdb.rows(Schema::kInvoices)) {
        if (row.value(QStringLiteral("conta")).toLongLong() == caseKey) {
            out << row;
        }
    }
    return out;
}

} // namespace zb32::test
