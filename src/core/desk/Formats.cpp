// The shared text, date and money helpers.
#include "core/desk/Formats.h"

namespace zb32 {

QString leadingNumberText(QStringView text)
{
    QString intPart;
    QString fracPart;
    bool negative = false;
    bool signSeen = false;
    bool pointSeen = false;
    bool digitSeen = false;
    for (const QChar c : text) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            continue;
        }
        if ((c == QLatin1Char('-') || c == QLatin1Char('+')) && !signSeen && !digitSeen && !pointSeen) {
            signSeen = true;
            negative = c == QLatin1Char('-');
        } else if (c == QLatin1Char('.') && !pointSeen) {
            pointSeen = true;
        } else if (c.unicode() >= '0' && c.unicode() <= '9') {
            digitSeen = true;
            (pointSeen ? fracPart : intPart) += c;
        } else {
            break;
        }
    }
    qsizetype lead = 0;
    while (lead < intPart.size() - 1 && intPart[lead] == QLatin1Char('0')) {
        ++lead;
    }
    intPart = intPart.mid(lead);
    while (fracPart.endsWith(QLatin1Char('0'))) {
        fracPart.chop(1);
    }
    if (intPart.isEmpty()) {
        intPart = QStringLiteral("0");
    }
    QString result = intPart;
    if (!fracPart.isEmpty()) {
        result += QLatin1Char('.') + fracPart;
    }
    if (negative && result != QLatin1String("0")) {
        result.prepend(QLatin1Char('-'));
    }
    return result;
}

double leadingNumber(QStringView text)
{
    return leadingNumberText(text).toDouble();
}

Currency leadingAmount(QStringView text, int divisor)
{
    QString digits = leadingNumberText(text);
    // Dividing by a power of ten is a shift of the decimal point, so the amount stays exact.
    int shift = 0;
    for (int d = divisor; d > 1; d /= 10) {
        ++shift;
    }
    if (shift > 0) {
        const bool negative = digits.startsWith(QLatin1Char('-'));
        if (negative) {
            digits.remove(0, 1);
        }
        qsizetype point = digits.indexOf(QLatin1Char('.'));
        if (point < 0) {
            point = digits.size();
        } else {
            digits.remove(point, 1);
        }
        while (point < shift) {
            digits.prepend(QLatin1Char('0'));
            ++point;
        }
        digits.insert(point - shift, QLatin1Char('.'));
        if (negative) {
            digits.prepend(QLatin1Char('-'));
        }
    }
    bool ok = false;
    Currency amount = Currency::fromDecimalText(digits, &ok);
    return ok ? amount : Currency::fromDouble(digits.toDouble());
}

QString FormData(const QString& field)
{
    return field.left(2) + QLatin1Char('/') + field.mid(2, 2) + QLatin1Char('/') + field.right(4);
}

QString shortDate(const QDate& date)
{
    return date.toString(QStringLiteral("dd/MM/yyyy"));
}

QDate parseShortDate(QStringView text)
{
    const QString t = text.trimmed().toString();
    QDate d = QDate::fromString(t, QStringLiteral("dd/MM/yyyy"));
    if (!d.isValid()) {
        d = QDate::fromString(t, QStringLiteral("d/M/yyyy"));
    }
    return d;
}

QString FormSoldi(QVariant& amount)
{
    if (amount.isNull() || !amount.isValid()) {
        amount = QVariant(0);
    }
    return FormSoldi(Currency::fromVariant(amount));
}

QString FormSoldi(const Currency& amount)
{
    const QString text = QString(10, QLatin1Char(' ')) + amount.toGroupedText(1);
    return text.right(10);
}

QString Fill(QString& text, int width, int signedFlag)
{
    int digits = width;
    QString sign;
    if (signedFlag != 0) {
        digits = width - 1;
        sign = QStringLiteral("+");
        if (leadingNumber(text) < 0) {
            text = text.trimmed().mid(1);
            sign = QStringLiteral("-");
        }
    }
    if (text.size() < digits) {
        text = QString(digits - text.size(), QLatin1Char('0')) + text;
    }
    text = sign + text;
    return text.left(width);
}

QString Filla(const QString& text, int width)
{
    return (text.left(width) + QString(width, QLatin1Char(' '))).left(width);
}

QDate parseDateText(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        return {};
    }
    QDate d = QDate::fromString(t.left(10), Qt::ISODate);
    if (d.isValid() && t.size() >= 10 && t[4] == QLatin1Char('-')) {
        return d;
    }
    QString norm = t;
    norm.replace(QLatin1Char('-'), QLatin1Char('/')).replace(QLatin1Char('.'), QLatin1Char('/'));
    for (const char* fmt : { "d/M/yyyy", "d/M/yy" }) {
        d = QDate::fromString(norm, QString::fromLatin1(fmt));
        if (d.isValid()) {
            if (QByteArray(fmt).endsWith("/yy") && d.year() < 1930) {
                d = d.addYears(100); // two-digit years: 1930..2029
            }
            return d;
        }
    }
    return {};
}

} // namespace zb32
