// One line of an Orb assignment file: its record kind and the fields of its layout.
#pragma once

#include "core/desk/Currency.h"

#include <QDate>
#include <QString>
#include <QStringView>

namespace zb32 {

// Columns count on the line stripped of its leading and trailing blanks; a field that the line
// is too short for holds only the characters present, possibly none. Fields come as they stand
// (the import trims where it wants to); amounts are hundredths read by the leading-number rule.
class OrbLine
{
public:
    enum class Kind {
        Case, // "A01": a new case, the debtor
        Contract, // "A02": contract date and equipment
        Assignment, // "R01": total assigned and amount band
        Detail, // anything else: one unpaid invoice
    };

    explicit OrbLine(const QString& stripped);

    Kind kind() const { return m_kind; }
    const QString& text() const { return m_line; }
    QString code() const { return field(3, 3); }
    QString account() const { return field(12, 15); }
    // The fields a job reads rather than stores as they are: views of the line, no copy.
    QStringView accountView() const { return view(12, 15); }

    // "A01"
    QString debtorStatus() const { return field(27, 12); }
    QStringView debtorStatusView() const { return view(27, 12); }
    QString name() const { return field(39, 40); }
    QStringView nameView() const { return view(39, 40); }
    QString address() const { return field(79, 40); }
    QStringView addressView() const { return view(79, 40); }
    QString postcode() const { return field(119, 5); }
    QString town() const { return field(124, 40); }
    QString province() const { return field(164, 2); }
    QString taxCode() const { return field(166, 16); }
    QString phone1() const { return field(182, 14); }
    QString phone2() const { return field(196, 14); }
    QString company() const { return field(210, 30); }
    QStringView companyView() const { return view(210, 30); }
    Currency deposit() const { return amount(240, 8); }
    QString subscriptionExpiry() const { return field(248, 12); }
    QStringView subscriptionExpiryView() const { return view(248, 12); }

    // "A02"
    QString contractDate() const { return field(27, 8); }
    QStringView contractDateView() const { return view(27, 8); }
    QString decoder1() const { return field(137, 15); }
    QStringView decoder1View() const { return view(137, 15); }
    QString decoder2() const { return field(152, 15); }
    QStringView decoder2View() const { return view(152, 15); }
    QString card1() const { return field(167, 15); }
    QStringView card1View() const { return view(167, 15); }
    QString card2() const { return field(182, 15); }
    QStringView card2View() const { return view(182, 15); }

    // "R01"
    Currency assignedTotal() const { return amount(27, 15); }
    QString amountBand() const { return field(42, 2); }
    QStringView amountBandView() const { return view(42, 2); }

    // Detail line
    QString period() const { return field(35, 15); }
    QString invoiceDate() const { return field(50, 8); }
    QStringView invoiceDateView() const { return view(50, 8); }
    QString invoiceNumber() const { return field(58, 15); }
    Currency outstanding() const { return amount(88, 15); }
    QString dueDate() const { return field(103, 8); }
    QStringView dueDateView() const { return view(103, 8); }

private:
    // Never a null text: a field the line is too short for is the empty text, as stored.
    QString field(int start, int length) const;
    QStringView view(int start, int length) const { return QStringView(m_line).mid(start - 1, length); }
    Currency amount(int start, int length) const;

    QString m_line;
    Kind m_kind;
};

} // namespace zb32
