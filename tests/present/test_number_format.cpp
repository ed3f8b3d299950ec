#include "present/NumberFormat.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

struct DigitsCase {
    double value;
    int minDigits;
    const char *expected;
};

TEST(NumberFormat, DigitsRoundHalvesToEvenAndPadToTheMinimum)
{
    const std::vector<DigitsCase> cases = {
        {0, 1, "0"},
        {0.5, 1, "0"},
        {1.5, 1, "2"},
        {2.5, 1, "2"},
        {3.5, 1, "4"},
        {0.49, 1, "0"},
        {2.51, 1, "3"},
        {42299.9999999, 1, "42300"},
        {1234567, 1, "1234567"},
        {-3, 1, "-3"},
        {-2.5, 1, "-2"},
        {-1.5, 1, "-2"},
        {-1234, 1, "-1234"},
        // "\+ 000000": six digits at least.
        {500, 6, "000500"},
        {0, 6, "000000"},
        {123456, 6, "123456"},
        {1234567, 6, "1234567"},
        {-42, 6, "-000042"},
        // "0000000": seven digits at least.
        {0, 7, "0000000"},
        {42300, 7, "0042300"},
        {999.5, 7, "0001000"},
        {12345678, 7, "12345678"},
        {2147483647.0, 7, "2147483647"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(formatDigits(c.value, c.minDigits).toStdString(), c.expected) << c.value << " min " << c.minDigits;
}

TEST(NumberFormat, GroupedPutsACommaBetweenEveryThreeDigits)
{
    const std::vector<std::pair<double, const char *>> cases = {
        {0, "0"},
        {0.5, "0"},
        {1.5, "2"},
        {2.5, "2"},
        {999, "999"},
        {999.5, "1,000"},
        {1000, "1,000"},
        {1800, "1,800"},
        {42299.9999999, "42,300"},
        {192200, "192,200"},
        {1234567, "1,234,567"},
        {100000000, "100,000,000"},
        {-5, "-5"},
        {-1234.5, "-1,234"},
        {-1234567, "-1,234,567"},
    };
    for (const auto &[value, expected] : cases)
        EXPECT_EQ(formatGrouped(value).toStdString(), expected) << value;
}

TEST(NumberFormat, PrintItemHasASignPlaceAndATrailingBlank)
{
    const std::vector<std::pair<long long, const char *>> cases = {
        {0, " 0 "}, {5, " 5 "}, {1000, " 1000 "}, {-5, "-5 "}, {-1234567, "-1234567 "},
    };
    for (const auto &[value, expected] : cases)
        EXPECT_EQ(printItem(value).toStdString(), expected) << value;
}

} // namespace
} // namespace vx
