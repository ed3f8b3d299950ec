#include "fake/FakePlatform.h"
#include "fake/GameFixture.h"

#include <QKeyEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace vx::test {
namespace {

// Records every key that reaches it, with the virtual tick it arrived at.
class KeyProbe : public QWidget {
public:
    explicit KeyProbe(FakePlatform &pf)
        : pf_(pf)
    {
    }
    struct Seen {
        int key;
        QString text;
        std::uint32_t tick;
    };
    std::vector<Seen> seen;

protected:
    void keyPressEvent(QKeyEvent *e) override { seen.push_back({e->key(), e->text(), pf_.tickCount()}); }

private:
    FakePlatform &pf_;
};

TEST(FakeClock, YieldSleepAndWaitAdvanceVirtualTime)
{
    FakePlatform pf(1000);
    EXPECT_EQ(pf.tickCount(), 1000u);

    for (int i = 0; i < 64; ++i)
        pf.doEvents();
    EXPECT_EQ(pf.micros(), 1'000'000u) << "every yield is one 1/64 s step";
    EXPECT_EQ(pf.tickCount(), 2000u);
    EXPECT_EQ(pf.yields, 64);

    pf.sleep(100);
    EXPECT_EQ(pf.micros(), 1'100'000u);
    EXPECT_EQ(pf.tickCount(), 2093u) << "the counter shows whole steps only";
    pf.sleep(0);
    pf.sleep(-3);
    EXPECT_EQ(pf.micros(), 1'100'000u);

    pf.waitUntil(2500);
    EXPECT_EQ(pf.tickCount(), 2500u) << "2500 is a step boundary: 1.5 s after the start";
    pf.waitUntil(2501);
    EXPECT_EQ(pf.tickCount(), 2515u) << "the first step at or after the deadline";
    const std::uint64_t before = pf.micros();
    pf.waitUntil(2000);
    EXPECT_EQ(pf.micros(), before) << "a passed deadline does not wait";
}

TEST(FakeClock, CounterWrapsAndDifferencesStaySmall)
{
    FakePlatform pf(0xFFFF'FF00u);
    const std::uint32_t start = pf.tickCount();
    pf.sleep(1000);
    const std::uint32_t later = pf.tickCount();
    EXPECT_LT(later, start) << "the counter has wrapped";
    EXPECT_EQ(tickDiff(later, start), 1000);
    EXPECT_EQ(tickDiff(start, later), -1000);

    // A deadline beyond the wrap is reached in virtual time, not after 49 days.
    const std::uint32_t deadline = later + 2000;
    pf.waitUntil(deadline);
    EXPECT_EQ(tickDiff(pf.tickCount(), deadline), 0);
    EXPECT_EQ(pf.micros(), 3'000'000u);
}

TEST(FakeScript, TypedKeyArrivesAtFirstYieldAtOrAfterItsTick)
{
    for (const std::uint32_t startTick : {1'000'000u, 0xFFFF'FF80u}) {
        FakePlatform pf(startTick);
        KeyProbe probe(pf);
        pf.target = &probe;
        // Not a step boundary, so the delivering yield lands after the scripted time.
        const std::uint32_t at = startTick + 200;
        pf.typeAt(at, QStringLiteral("x"));

        std::uint32_t lastBefore = 0;
        while (probe.seen.empty()) {
            lastBefore = pf.tickCount();
            pf.sleep(3);
            ASSERT_TRUE(probe.seen.empty()) << "sleep dispatches nothing";
            pf.doEvents();
            ASSERT_LT(pf.yields, 100);
        }
        ASSERT_EQ(probe.seen.size(), 1u);
        EXPECT_EQ(probe.seen[0].text, QStringLiteral("x"));
        EXPECT_GE(tickDiff(probe.seen[0].tick, at), 0) << "not before its time";
        EXPECT_LT(tickDiff(lastBefore, at), 0) << "the yield before had not reached its time";
        EXPECT_LT(tickDiff(probe.seen[0].tick, at), 20) << "at the first yield past it";
    }
}

TEST(FakeScript, ItemsArriveInTickOrderAcrossTheWrap)
{
    FakePlatform pf(0xFFFF'FFF0u);
    KeyProbe probe(pf);
    pf.target = &probe;
    const std::uint32_t t0 = pf.tickCount();
    // Scheduled out of order, and the later ones past the wrap.
    pf.typeAt(t0 + 200, QStringLiteral("c"));
    pf.typeAt(t0 + 5, QStringLiteral("a"));
    pf.keyAt(t0 + 300, Qt::Key_Escape);
    pf.typeAt(t0 + 100, QStringLiteral("b"));
    bool called = false;
    pf.callAt(t0 + 250, [&] {
        called = true;
        EXPECT_EQ(probe.seen.size(), 3u) << "the call runs between the keys around it";
    });
    for (int i = 0; i < 40; ++i)
        pf.doEvents();
    ASSERT_EQ(probe.seen.size(), 4u);
    EXPECT_EQ(probe.seen[0].text, QStringLiteral("a"));
    EXPECT_EQ(probe.seen[1].text, QStringLiteral("b"));
    EXPECT_EQ(probe.seen[2].text, QStringLiteral("c"));
    EXPECT_EQ(probe.seen[3].key, int(Qt::Key_Escape));
    EXPECT_TRUE(called);
}

class FakeToGame : public GameFixture {};

TEST_F(FakeToGame, ScriptedTextReachesKeyPressOncePerCharacterAtItsTime)
{
    form->rs.keyRows = {QStringLiteral("1234567890-^\\"), QStringLiteral("QWERTYUIOP@["),
                        QStringLiteral("ASDFGHJKL;:]"), QStringLiteral("ZXCVBNM,./_")};
    form->rs.isPlaying = true;
    form->rs.gauge = 5;
    form->rs.targetText = QStringLiteral("QWE");
    form->rs.textLeft = 100;
    const std::uint32_t at = now() + 200;
    pf.typeAt(at, QStringLiteral("qwX"));

    for (;;) {
        pf.doEvents();
        if (tickDiff(pf.tickCount(), at) >= 0)
            break;
        ASSERT_EQ(form->rs.hitCount, 0) << "delivered early, at " << pf.tickCount();
        ASSERT_TRUE(form->rs.lastKey.isEmpty());
    }
    EXPECT_EQ(form->rs.hitCount, 2);
    EXPECT_EQ(form->rs.missCount, 1);
    EXPECT_EQ(form->rs.lastKey, QStringLiteral("X"));
    EXPECT_EQ(form->rs.targetText, QStringLiteral("E"));

    pf.keyAt(pf.tickCount() + 20, Qt::Key_Escape);
    pf.doEvents();
    EXPECT_TRUE(form->rs.isPlaying) << "Esc is not due yet";
    pf.doEvents();
    EXPECT_FALSE(form->rs.isPlaying);
    EXPECT_EQ(form->rs.gauge, 0);
    EXPECT_EQ(form->rs.missCount, 1) << "the Esc character finds judging off";
}

} // namespace
} // namespace vx::test
