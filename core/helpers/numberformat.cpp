#include "numberformat_p.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace ka {

QString formatDouble(double value, char format, int precision)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");

    std::chars_format form = std::chars_format::general;
    switch (format) {
    case 'f': case 'F': form = std::chars_format::fixed; break;
    case 'e': case 'E': form = std::chars_format::scientific; break;
    default: break;
    }
    if (precision < 0)
        precision = 6;
    // Digits past 17 significant ones are exact zeros or the exact binary
    // expansion; 1100 covers every fixed-point expansion of a double.
    precision = std::min(precision, 1100);

    // Fixed notation of 1e308 needs 309 integer digits before the fraction.
    char buffer[1500];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, form, precision);
    if (result.ec != std::errc())
        return QString();
    if (format == 'E' || format == 'G')
        std::transform(buffer, result.ptr, buffer, [](char c) { return c == 'e' ? 'E' : c; });
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

} // namespace ka
