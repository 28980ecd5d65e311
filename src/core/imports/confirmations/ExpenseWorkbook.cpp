// Reading the expense-confirmation workbook row by row.
#include "core/imports/confirmations/ExpenseWorkbook.h"

#include "core/desk/Formats.h"

#include <QDateTime>
#include <cmath>

namespace zb32 {

namespace {

constexpr int kPositionColumn = 0;
constexpr int kDateColumn = 1;
constexpr int kAmountColumn = 2;
constexpr int kReferenceColumn = 5;

bool isEmptyCell(const QVariant& cell)
{
    return !cell.isValid() || cell.isNull()
        || (cell.typeId() == QMetaType::QString && cell.toString().trimmed().isEmpty());
}

QString numberText(double value)
{
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15) {
        return QString::number(static_cast<qlonglong>(value));
    }
    return QString::number(value, 'g', 15).replace(QLatin1Char('.'), QLatin1Char(','));
}

} // namespace

QString cellText(const QVariant& cell)
{
    if (!cell.isValid() || cell.isNull()) {
        return {};
    }
    switch (cell.typeId()) {
    case QMetaType::Double:
        return numberText(cell.toDouble());
    case QMetaType::QDate:
        return shortDate(cell.toDate());
    case QMetaType::QDateTime: {
        const QDateTime dt = cell.toDateTime();
        return dt.time() == QTime(0, 0)
            ? shortDate(dt.date())
            : shortDate(dt.date()) + QLatin1Char(' ') + dt.time().toString(QStringLiteral("HH:mm:ss"));
    }
    case QMetaType::QTime:
        return cell.toTime().toString(QStringLiteral("HH:mm:ss"));
    case QMetaType::Bool:
        return cell.toBool() ? QStringLiteral("VERO") : QStringLiteral("FALSO");
    default:
        return cell.toString();
    }
}

QDate cellDate(const QVariant& cell)
{
    if (cell.typeId() == QMetaType::QDate) {
        return cell.toDate();
    }
    if (cell.typeId() == QMetaType::QDateTime) {
        return cell.toDateTime().date();
    }
    if (cell.typeId() != QMetaType::QString) {
        return {};
    }
    return parseDate(cell.toString(), DateForm::IsoWhole | DateForm::AnySeparator | DateForm::TwoDigitYear);
}

bool cellAmount(const QVariant& cell, Currency* amount)
{
    bool ok = false;
    switch (cell.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Double:
        *amount = Currency::fromVariant(cell, &ok);
        return ok;
    case QMetaType::QString:
        *amount = Currency::fromItalianText(cell.toString(), &ok);
        return ok;
    default:
        return false;
    }
}

bool ExpenseWorkbook::open(const QString& path, QString* error)
{
    if (!m_book.open(path, error)) {
        return false;
    }
    m_sheet = RicavaPrimaTable(m_book);
    if (m_sheet.isEmpty()) {
        *error = QStringLiteral("la cartella di lavoro non ha fogli");
        return false;
    }
    return m_book.selectSheet(m_sheet, error);
}

int ExpenseWorkbook::recordCount() const
{
    return m_book.rowCount() > 0 ? m_book.rowCount() - 1 : 0;
}

ExpenseWorkbook::Row ExpenseWorkbook::read(int index, ConfirmationRecord* record, QString* error) const
{
    QString cellError;
    const QVariant position = m_book.cell(index, kPositionColumn, &cellError);
    const QVariant date = m_book.cell(index, kDateColumn, &cellError);
    const QVariant amount = m_book.cell(index, kAmountColumn, &cellError);
    const QVariant reference = m_book.cell(index, kReferenceColumn, &cellError);
    if (!cellError.isEmpty()) {
        *error = cellError;
        return Row::Unreadable;
    }
    if (isEmptyCell(position) && isEmptyCell(date) && isEmptyCell(amount) && isEmptyCell(reference)) {
        return Row::Blank;
    }
    if (isEmptyCell(position)) {
        *error = QStringLiteral("manca la posizione (colonna 1)");
        return Row::Unreadable;
    }
    if (isEmptyCell(date)) {
        *error = QStringLiteral("manca la data (colonna 2)");
        return Row::Unreadable;
    }
    if (isEmptyCell(amount)) {
        *error = QStringLiteral("manca l'importo (colonna 3)");
        return Row::Unreadable;
    }
    *record = ConfirmationRecord();
    record->date = cellDate(date);
    if (!record->date.isValid()) {
        *error = QStringLiteral("la data \"%1\" (colonna 2) non è una data").arg(cellText(date));
        return Row::Unreadable;
    }
    if (!cellAmount(amount, &record->amount)) {
        *error = QStringLiteral("l'importo \"%1\" (colonna 3) non è un numero").arg(cellText(amount));
        return Row::Unreadable;
    }
    record->position = cellText(position);
    record->dateText = shortDate(record->date);
    record->reference = cellText(reference);
    record->invoiceNumber.clear(); // the workbook has no invoice-number column: stored as an empty text
    return Row::Record;
}

} // namespace zb32
