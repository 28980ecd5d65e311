// Start-up values of the desk's boxes.
#include "core/jobs/BatchData.h"

#include "core/desk/Formats.h"

namespace zb32 {

QDate BatchData::oneMonthLater(const QDate& today)
{
    return today.addMonths(1); // QDate clamps to the last day of a shorter month
}

BatchData BatchData::defaults(const QDate& today)
{
    BatchData b;
    b.Text1[0] = shortDate(today);
    b.Text1[1] = shortDate(oneMonthLater(today));
    b.Text1[2] = QStringLiteral("mo");
    b.Text1[3] = QStringLiteral("0");
    b.Text1[4] = QStringLiteral("esempio.txt");
    b.Text1[5] = QStringLiteral("460,462,463,464,465,466,467");
    b.Text1[6] = QStringLiteral("1");
    return b;
}

} // namespace zb32
