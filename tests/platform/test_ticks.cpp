#include "platform/SystemPlatform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <vector>

namespace vx {
namespace {

constexpr double stepMs = 1000.0 / 64;

// How far a millisecond difference lies from the nearest whole number of 1/64 s steps.
double offStep(std::int64_t ms)
{
    const double steps = std::round(static_cast<double>(ms) / stepMs);
    return std::abs(static_cast<double>(ms) - steps * stepMs);
}

TEST(SystemTicks, ReadingsMoveInWholeStepsAndNeverBack)
{
    SystemPlatform pf(nullptr);
    std::vector<std::uint32_t> readings{pf.tickCount()};
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < until) {
        const std::uint32_t t = pf.tickCount();
        if (t != readings.back())
            readings.push_back(t);
    }
    readings.push_back(pf.tickCount());
    ASSERT_GE(readings.size(), 3u) << "the counter should have moved in 0.3 s";

    for (std::size_t i = 1; i < readings.size(); ++i) {
        const std::int32_t step = tickDiff(readings[i], readings[i - 1]);
        const std::int32_t sinceFirst = tickDiff(readings[i], readings[0]);
        EXPECT_GE(step, 0) << "reading " << i;
        EXPECT_LE(offStep(step), 1.0) << "step " << step << " at reading " << i;
        EXPECT_LE(offStep(sinceFirst), 1.0) << "distance " << sinceFirst << " at reading " << i;
    }
}

TEST(SystemTicks, FromNanosecondsCountsWholeStepsOfSixtyFourthSeconds)
{
    struct Case {
        std::uint64_t ns;
        std::uint32_t ms;
    };
    const std::vector<Case> cases = {
        {0, 0},
        {15'624'999, 0},
        {15'625'000, 15},
        {31'249'999, 15},
        {31'250'000, 31},
        {46'875'000, 46},
        {62'500'000, 62},
        {78'125'000, 78},
        {93'750'000, 93},
        {109'375'000, 109},
        {124'999'999, 109},
        {125'000'000, 125},
        {140'625'000, 140},
        {1'000'000'000, 1000},
        {3'600'000'000'000, 3'600'000},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SystemPlatform::ticksFromNanoseconds(c.ns), c.ms) << c.ns << " ns";
}

TEST(SystemTicks, FromNanosecondsStepsAreFifteenOrSixteenAlsoAcrossTheWrap)
{
    constexpr std::uint64_t step = 15'625'000;
    // The 32-bit millisecond counter wraps after about 49.7 days.
    const std::uint64_t wrapStep = (std::uint64_t{1} << 32) * 8 / 125;
    for (const std::uint64_t first : {std::uint64_t{0}, wrapStep - 40, std::uint64_t{5} * wrapStep - 17}) {
        std::uint32_t prev = SystemPlatform::ticksFromNanoseconds(first * step);
        std::int64_t sum = 0;
        std::set<std::int32_t> seen;
        for (int i = 1; i <= 80; ++i) {
            const std::uint32_t t = SystemPlatform::ticksFromNanoseconds((first + i) * step);
            const std::int32_t d = tickDiff(t, prev);
            seen.insert(d);
            sum += d;
            prev = t;
        }
        EXPECT_EQ(seen, (std::set<std::int32_t>{15, 16})) << "from step " << first;
        EXPECT_EQ(sum, 1250) << "80 steps are 1.25 s, from step " << first;
    }
}

TEST(SystemTicks, TickDiffIsSignedAndWraps)
{
    struct Case {
        std::uint32_t to, from;
        std::int32_t diff;
    };
    const std::vector<Case> cases = {
        {1000, 500, 500},
        {500, 1000, -500},
        {5, 0xFFFF'FFF0u, 21},
        {0xFFFF'FFF0u, 5, -21},
        {0, 0xFFFF'FFFFu, 1},
        {0x8000'0000u, 0, std::numeric_limits<std::int32_t>::min()},
        {0x7FFF'FFFFu, 0, std::numeric_limits<std::int32_t>::max()},
        {123, 123, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(tickDiff(c.to, c.from), c.diff) << c.to << " - " << c.from;
}

TEST(SystemTicks, WaitUntilReachesTheDeadline)
{
    SystemPlatform pf(nullptr);
    const std::uint32_t deadline = pf.tickCount() + 40;
    pf.waitUntil(deadline);
    EXPECT_GE(tickDiff(pf.tickCount(), deadline), 0);
    // A deadline already passed returns at once, without waiting for the counter to wrap.
    pf.waitUntil(deadline - 1000);
    pf.sleep(0);
    pf.sleep(-5);
    SUCCEED();
}

TEST(SystemTicks, SleepsHaveTheTicksGranularity)
{
    SystemPlatform pf(nullptr);
    // A nap shorter than a step lasts until the counter moves on, however close the next step is.
    for (const int ms : {1, 5, 15}) {
        SCOPED_TRACE(ms);
        for (int i = 0; i < 5; ++i) {
            const std::uint32_t before = pf.tickCount();
            pf.sleep(ms);
            EXPECT_GE(tickDiff(pf.tickCount(), before), 15);
        }
    }
    // A longer sleep lasts at least what was asked: the counter covers it, less one partial step.
    const std::uint32_t before = pf.tickCount();
    pf.sleep(100);
    EXPECT_GE(tickDiff(pf.tickCount(), before), 100 - 16);
}

TEST(SystemRandom, ValuesLieInHalfOpenUnitIntervalWhateverTheSeed)
{
    SystemPlatform pf(nullptr);
    for (const double seed : {0.0, 1.0, 59.0, 12345.0, -1.0, 1e300, -std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN()}) {
        pf.randomize(seed);
        double sum = 0;
        for (int i = 0; i < 20000; ++i) {
            const double r = pf.nextRandom();
            ASSERT_GE(r, 0.0);
            ASSERT_LT(r, 1.0);
            sum += r;
        }
        EXPECT_NEAR(sum / 20000, 0.5, 0.02) << "seed " << seed;
    }
}

TEST(SystemRandom, EverySecondOfTheMinuteSeedsADifferentSequence)
{
    SystemPlatform pf(nullptr);
    std::set<std::vector<double>> sequences;
    for (int seed = 0; seed < 60; ++seed) {
        pf.randomize(seed);
        std::vector<double> seq;
        for (int i = 0; i < 4; ++i)
            seq.push_back(pf.nextRandom());
        sequences.insert(seq);
    }
    EXPECT_EQ(sequences.size(), 60u);
}

std::vector<double> draws(Platform &pf, int n)
{
    std::vector<double> out;
    for (int i = 0; i < n; ++i) {
        out.push_back(pf.nextRandom());
        EXPECT_GE(out.back(), 0.0);
        EXPECT_LT(out.back(), 1.0);
    }
    return out;
}

TEST(SystemRandom, ReseedingMixesTheNumberInAndRunsStartApart)
{
    // Set-up reseeds with the clock's seconds: rounds started at the same second of any minute, or in
    // two runs of the game, must still get lines of their own.
    SystemPlatform one(nullptr);
    one.randomize(7);
    const std::vector<double> first = draws(one, 30);
    one.randomize(7);
    EXPECT_NE(draws(one, 30), first) << "the same seconds restarted the same sequence";
    SystemPlatform other(nullptr);
    other.randomize(7);
    EXPECT_NE(draws(other, 30), first) << "two runs started from the same state";
}

} // namespace
} // namespace vx
