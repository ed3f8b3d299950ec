#include "present/NumberFormat.h"

#include "platform/Rounding.h"

#include <cmath>

namespace vx {

namespace {

// |rounded value| as decimal digits, and whether it is negative.
QString magnitudeDigits(double value, bool &negative)
{
    double r = std::isfinite(value) ? roundHalfEven(value) : 0.0;
    negative = r < 0;
    return QString::number(std::fabs(r), 'f', 0);
}

} // namespace

QString formatDigits(double value, int minDigits)
{
    bool negative = false;
    QString digits = magnitudeDigits(value, negative);
    if (digits.size() < minDigits)
        digits = QString(minDigits - digits.size(), QLatin1Char('0')) + digits;
    return negative ? QLatin1Char('-') + digits : digits;
}

QString formatGrouped(double value)
{
    bool negative = false;
    const QString digits = magnitudeDigits(value, negative);
    QString out;
    const auto n = digits.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += QLatin1Char(',');
        out += digits[i];
    }
    return negative ? QLatin1Char('-') + out : out;
}

QString printItem(long long value)
{
    return (value < 0 ? QStringLiteral("-") : QStringLiteral(" ")) + QString::number(value < 0 ? -value : value)
        + QLatin1Char(' ');
}

} // namespace vx
