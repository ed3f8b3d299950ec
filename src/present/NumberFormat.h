#pragma once

#include <QString>

namespace vx {

// The game's number formats; each rounds to a whole number (halves to even) first
// and puts a minus sign before a negative value.

// "0", "##0" (minDigits 1), "0000000" (minDigits 7): digits without separators.
QString formatDigits(double value, int minDigits = 1);
// "#,##0": thousands grouped with commas.
QString formatGrouped(double value);
// A whole number as a print item: a blank (or the minus sign) before it, a blank after it.
QString printItem(long long value);

} // namespace vx
