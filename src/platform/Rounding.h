#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace vx {

// Nearest whole number, halves to even, as every conversion to an integer in the game.
inline double roundHalfEven(double v)
{
    const double r = std::round(v);
    if (std::abs(v - std::trunc(v)) == 0.5)
        return 2.0 * std::round(v / 2.0);
    return r;
}

// Rounded and clamped into int32: a conversion that cannot overflow.
inline std::int32_t toInt32(double v)
{
    if (std::isnan(v))
        return 0;
    const double r = roundHalfEven(v);
    if (r >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (r <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(r);
}

} // namespace vx
