#include "fake/FakePlatform.h"
#include "present/BannerProbe.h"
#include "present/Module1.h"

#include <gtest/gtest.h>

#include <optional>

namespace vx::test {
namespace {

// What one banner call did, seen from the screen and the platform.
struct BannerRun {
    BannerGeometry g{};
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    std::uint64_t micros = 0; // virtual time the call took
    std::vector<Frame> frames;
    std::vector<SoundRequest> sounds;
    int yields = 0;
    int sleeps = 0;

    int count(const QString &name) const
    {
        return static_cast<int>(std::count_if(sounds.begin(), sounds.end(), [&](const auto &r) { return r.name == name; }));
    }
    std::optional<std::uint32_t> impactTick() const
    {
        for (const auto &r : sounds)
            if (r.name == QLatin1String("gan.wav"))
                return r.tick;
        return std::nullopt;
    }
    // The resting picture: the last one of a staying banner, the one before the pause of a leaving one.
    std::optional<std::size_t> restIndex(bool stays) const
    {
        if (frames.empty())
            return std::nullopt;
        if (stays)
            return frames.size() - 1;
        for (std::size_t i = 0; i + 1 < frames.size(); ++i)
            if (tickDiff(frames[i + 1].tick, frames[i].tick) >= 500)
                return i;
        return std::nullopt;
    }
};

class BannerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bannerBusy = false;
        screenForm = &screen;
        ClearScreen();
    }
    void TearDown() override
    {
        screenForm = nullptr;
        bannerBusy = false;
    }

    BannerRun run(const QString &text, std::int32_t mode, bool cuePlaying)
    {
        BannerRun r;
        r.g = bannerGeometry(text, screen.surface().scaleWidth(), screen.surface().scaleHeight());
        screen.frames.clear();
        const std::size_t sounds0 = pf.recorder().requests.size();
        const int yields0 = pf.yields;
        const int sleeps0 = pf.sleeps;
        r.start = pf.tickCount();
        const std::uint64_t micros0 = pf.micros();
        ShowBanner(text, mode, cuePlaying);
        r.end = pf.tickCount();
        r.micros = pf.micros() - micros0;
        r.frames = screen.frames;
        r.sounds.assign(pf.recorder().requests.begin() + static_cast<std::ptrdiff_t>(sounds0),
                        pf.recorder().requests.end());
        r.yields = pf.yields - yields0;
        r.sleeps = pf.sleeps - sleeps0;
        return r;
    }

    InkMask inkOf(const QString &text, const BannerGeometry &g)
    {
        return textInk(text, g.W, std::max(g.W, g.w + 64), g.H, g.Y);
    }

    FakePlatform pf;
    ScreenDouble screen{pf};
};

// A phase that ends at the first pass at or past `ms` lasts that long, give or take a tick step or two.
void expectLasts(std::int32_t measured, double ms, const char *phase)
{
    EXPECT_GE(measured, ms - 1) << phase;
    EXPECT_LE(measured, ms + 32) << phase;
}

// Some text with an odd measured width in the banner font.
QString oddWidthText()
{
    for (const char *candidate : {"Ready?", "FAILURE", "CLEARED!", "Total", "Here We Go!", "VX", "Clackon!", "Welcome to",
                                  "1", "4", "7", "A", "Go", "Odd", "Hit!", "Banner", "xyz"}) {
        const QString text = QString::fromLatin1(candidate);
        if (bannerGeometry(text, 366, 107).w % 2 != 0)
            return text;
    }
    return {};
}

struct ModeCase {
    std::int32_t mode;
    bool drop;  // split drop instead of slide-in
    bool stays; // text left on the surface
};

const std::vector<ModeCase> modeCases = {
    {0, false, false}, {1, false, true}, {2, true, false}, {3, true, true}, {7, false, false}, {-1, false, false},
};

TEST_F(BannerTest, EveryModeEntersLandsAndRestsOrLeaves)
{
    const QString odd = oddWidthText();
    ASSERT_FALSE(odd.isEmpty()) << "no candidate text has an odd width in this font";
    const QString wide = QStringLiteral("Here We Go! Here We Go! Go!");
    struct TextCase {
        const char *name;
        QString text;
    };
    const std::vector<TextCase> texts = {
        {"plain", QStringLiteral("Ready?")}, {"odd width", odd}, {"wider than the surface", wide}, {"empty", QString()}};

    for (const auto &tc : texts) {
        for (const auto &mc : modeCases) {
            SCOPED_TRACE(testing::Message() << tc.name << " \"" << tc.text.toStdString() << "\" mode " << mc.mode);
            const BannerRun r = run(tc.text, mc.mode, false);
            const BannerGeometry &g = r.g;
            const InkMask ink = inkOf(tc.text, g);
            if (tc.text == wide) {
                ASSERT_LT(g.X, 0);
                // The text really is cut at both ends: ink left of the surface and past the snapshot.
                bool cutLeft = false, cutRight = false;
                for (int y = 0; y < g.H; ++y)
                    for (int x = 0; x < ink.width; ++x)
                        if (ink.at(x, y)) {
                            cutLeft = cutLeft || x < -g.X;
                            cutRight = cutRight || x >= g.W;
                        }
                ASSERT_TRUE(cutLeft && cutRight);
            }
            if (tc.text == odd) {
                ASSERT_EQ(g.w % 2, 1);
            }

            EXPECT_FALSE(bannerBusy);
            ASSERT_EQ(r.count(QStringLiteral("gan.wav")), 1);
            EXPECT_EQ(r.sounds.size(), 1u);
            EXPECT_EQ(r.sounds.front().flags, 3u);

            // The impact sounds the moment the entrance ends, before any shaken picture.
            const std::uint32_t impact = *r.impactTick();
            expectLasts(tickDiff(impact, r.start), mc.drop ? dropMs(g) : slideInMs(g), "entrance");
            ASSERT_FALSE(r.frames.empty());
            EXPECT_LT(tickDiff(r.frames.front().tick, impact), 0) << "the entrance presents before the impact";

            const auto rest = r.restIndex(mc.stays);
            ASSERT_TRUE(rest.has_value());
            const Frame &restFrame = r.frames[*rest];
            EXPECT_EQ(mismatches(restFrame.image, ink, g.W, g.X, 0), 0) << "resting text centred at X, top at Y";
            expectLasts(tickDiff(restFrame.tick, impact), 100, "shake");

            // Shaken pictures: the whole text, moved at most 3 pixels either way on both axes.
            std::size_t shaken = 0;
            for (std::size_t i = 0; i < *rest; ++i) {
                if (tickDiff(r.frames[i].tick, impact) < 0)
                    continue;
                ++shaken;
                bool found = false;
                for (int dy = -3; dy <= 3 && !found; ++dy)
                    for (int dx = -3; dx <= 3 && !found; ++dx)
                        found = mismatches(r.frames[i].image, ink, g.W, g.X + dx, dy) == 0;
                EXPECT_TRUE(found) << "shake picture " << i;
            }
            EXPECT_GE(shaken, 1u);

            const Surface &s = screen.surface();
            if (mc.stays) {
                EXPECT_EQ(mismatches(s.image(), ink, g.W, g.X, 0), 0);
                EXPECT_EQ(s.fontName(), QStringLiteral("Times New Roman"));
                EXPECT_EQ(r.yields, static_cast<int>(r.frames.size()) - 1);
                EXPECT_EQ(r.sleeps, 0);
            } else {
                ASSERT_LT(*rest + 1, r.frames.size());
                EXPECT_EQ(tickDiff(r.frames[*rest + 1].tick, restFrame.tick), 500) << "the pause before the slide-out";
                expectLasts(tickDiff(r.frames.back().tick, r.frames[*rest + 1].tick), slideOutMs(g), "slide-out");
                // Each slide-out picture is the snapshot alone at its place: nothing is left behind on its right.
                for (std::size_t i = *rest + 1; i + 1 < r.frames.size(); ++i) {
                    const double q = tickDiff(r.frames[i].tick, r.frames[*rest + 1].tick) / 10.0;
                    EXPECT_EQ(mismatches(r.frames[i].image, ink, g.W, toInt32(g.X - q * q), 0), 0) << "slide-out picture " << i;
                }
                EXPECT_TRUE(allBlack(r.frames.back().image)) << "presented black at the end";
                EXPECT_TRUE(allBlack(s.image()));
                // Back in the standard state, but still italic and white.
                EXPECT_EQ(s.fontName(), QStringLiteral("ＭＳ ゴシック"));
                EXPECT_EQ(s.fontSize(), 16);
                EXPECT_TRUE(s.fontBold());
                EXPECT_TRUE(s.fontItalic());
                EXPECT_EQ(s.foreColor, rgb(255, 255, 255));
                EXPECT_EQ(r.yields, static_cast<int>(r.frames.size()) - 2);
                EXPECT_EQ(r.sleeps, 1);
            }
            if (tc.text.isEmpty()) {
                for (const auto &f : r.frames)
                    EXPECT_TRUE(allBlack(f.image));
            }
            ClearScreen();
        }
    }
}

TEST_F(BannerTest, CallerCuePlayingSilencesTheImpactOnly)
{
    for (const auto &mc : modeCases) {
        SCOPED_TRACE(testing::Message() << "mode " << mc.mode);
        const BannerRun withImpact = run(QStringLiteral("Ready?"), mc.mode, false);
        ClearScreen();
        const BannerRun quiet = run(QStringLiteral("Ready?"), mc.mode, true);
        ClearScreen();
        EXPECT_TRUE(quiet.sounds.empty());
        EXPECT_EQ(withImpact.count(QStringLiteral("gan.wav")), 1);
        EXPECT_EQ(quiet.micros, withImpact.micros);
        ASSERT_EQ(quiet.frames.size(), withImpact.frames.size());
        EXPECT_EQ(quiet.frames.back().image, withImpact.frames.back().image);
    }
}

TEST_F(BannerTest, BannerStartedInsideAYieldReturnsAtOnce)
{
    // Modes 0 and 3 between them yield in every kind of pass: slide-in, split drop, shake and slide-out.
    for (const std::int32_t mode : {0, 3}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        const BannerRun undisturbed = run(QStringLiteral("Ready?"), mode, false);
        ClearScreen();

        int nested = 0;
        pf.onYield = [&] {
            ASSERT_TRUE(bannerBusy);
            const QImage before = screen.surface().image().copy();
            const std::size_t frames = screen.frames.size();
            const std::size_t sounds = pf.recorder().requests.size();
            const std::uint64_t micros = pf.micros();
            const int yields = pf.yields;
            ShowBanner(QStringLiteral("Nested"), mode, false);
            ++nested;
            EXPECT_TRUE(bannerBusy) << "the running banner is still running";
            EXPECT_EQ(screen.surface().image(), before);
            EXPECT_EQ(screen.frames.size(), frames);
            EXPECT_EQ(pf.recorder().requests.size(), sounds);
            EXPECT_EQ(pf.micros(), micros);
            EXPECT_EQ(pf.yields, yields);
        };
        const BannerRun outer = run(QStringLiteral("Ready?"), mode, false);
        pf.onYield = nullptr;
        ClearScreen();

        EXPECT_EQ(nested, outer.yields);
        EXPECT_FALSE(bannerBusy);
        EXPECT_EQ(outer.count(QStringLiteral("gan.wav")), 1);
        EXPECT_EQ(outer.micros, undisturbed.micros);
        ASSERT_EQ(outer.frames.size(), undisturbed.frames.size());
        EXPECT_EQ(outer.frames.back().image, undisturbed.frames.back().image);
    }
}

TEST_F(BannerTest, ScreenThatStopsAnsweringEndsTheMotionButTheTextStillLands)
{
    struct Case {
        std::int32_t mode;
        bool stays;
        bool brokenFromStart; // otherwise the screen breaks at the impact
    };
    const std::vector<Case> cases = {
        {1, true, true}, {0, false, true}, {3, true, true}, {2, false, true}, {0, false, false}, {3, true, false},
    };
    const QString text = QStringLiteral("Ready?");
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << (c.brokenFromStart ? ", broken from the start" : ", breaks at the impact"));
        screen.answers = !c.brokenFromStart;
        if (!c.brokenFromStart)
            pf.recorder().clock = [&] {
                screen.answers = false;
                return pf.tickCount();
            };
        const BannerRun r = run(text, c.mode, false);
        pf.recorder().clock = [&] { return pf.tickCount(); };
        screen.answers = true;

        EXPECT_FALSE(bannerBusy);
        ASSERT_EQ(r.count(QStringLiteral("gan.wav")), 1);
        const std::uint32_t impact = *r.impactTick();
        const BannerGeometry &g = r.g;
        const InkMask ink = inkOf(text, g);

        std::vector<Frame> after;
        for (const auto &f : r.frames)
            if (tickDiff(f.tick, impact) >= 0)
                after.push_back(f);
        if (c.brokenFromStart) {
            // One entrance pass, whose failed refresh ends the entrance at the next check.
            EXPECT_EQ(r.frames.size() - after.size(), 1u);
            EXPECT_LE(tickDiff(impact, r.start), 16);
        } else {
            expectLasts(tickDiff(impact, r.start), c.mode == 3 || c.mode == 2 ? dropMs(g) : slideInMs(g), "entrance");
        }
        // One shake pass, then the resting copy; a leaving banner then skips its slide-out entirely.
        ASSERT_EQ(after.size(), c.stays ? 2u : 3u);
        EXPECT_EQ(mismatches(after[1].image, ink, g.W, g.X, 0), 0) << "the text lands at its resting place";
        EXPECT_LE(tickDiff(after[1].tick, impact), 16);
        if (c.stays) {
            EXPECT_EQ(mismatches(screen.surface().image(), ink, g.W, g.X, 0), 0);
        } else {
            EXPECT_EQ(tickDiff(after[2].tick, after[1].tick), 500) << "pause, then straight to the clear";
            EXPECT_TRUE(allBlack(screen.surface().image()));
        }
        ClearScreen();
    }
}

// A machine whose tick counter does not move while the game only yields: time passes only in sleeps.
class StallPlatform final : public Platform {
public:
    struct Event {
        char kind; // 'Y' yield, 'S' sleep, 'R' refresh
        int ms;
        std::uint32_t tick;
    };
    std::uint32_t tickCount() override { return fakeTicks(1'000'000, micros); }
    void sleep(int ms) override
    {
        log.push_back({'S', ms, tickCount()});
        yieldsWithoutSleep = 0;
        micros += static_cast<std::uint64_t>(std::max(ms, 0)) * 1000;
    }
    void waitUntil(std::uint32_t tick) override
    {
        while (tickDiff(tick, tickCount()) > 0)
            micros += 1000;
    }
    void doEvents() override
    {
        log.push_back({'Y', 0, tickCount()});
        // A loop that only yields would never see the tick move here; note it and let time pass.
        if (++yieldsWithoutSleep > 100) {
            stalled = true;
            micros += 15'625;
        }
    }
    void answerWindowSystem() override {}
    void randomize(double) override {}
    double nextRandom() override { return 0.5; }
    QDateTime now() override { return {}; }
    [[noreturn]] void end() override { std::abort(); }
    void beep() override {}
    SoundOutput &sound() override { return silent; }

    std::uint64_t micros = 0;
    std::vector<Event> log;
    int yieldsWithoutSleep = 0;
    bool stalled = false;
    SilentSoundOutput silent;
};

TEST(BannerPacing, PassesInTheSameTickYieldAndNapWithoutPresenting)
{
    StallPlatform pf;
    ScreenDouble screen(pf);
    screen.onRefresh = [&] { pf.log.push_back({'R', 0, pf.tickCount()}); };
    bannerBusy = false;
    screenForm = &screen;
    ClearScreen();
    const QString text = QStringLiteral("Ready?");
    const BannerGeometry g = bannerGeometry(text, 366, 107);
    const std::uint32_t start = pf.tickCount();
    ShowBanner(text, 0, false);
    const std::uint32_t end = pf.tickCount();
    screenForm = nullptr;
    EXPECT_FALSE(bannerBusy);

    EXPECT_FALSE(pf.stalled) << "a pass in an unchanged tick must nap";
    const auto &log = pf.log;
    ASSERT_FALSE(log.empty());
    // The log must read: a drawn pass is a refresh and a yield; a pass in the same tick is a yield and
    // a 1 ms nap; the resting copy is a refresh followed by the 500 ms pause; the clear ends it all.
    const auto is = [&](std::size_t i, char kind, int ms = 0) {
        return i < log.size() && log[i].kind == kind && (kind != 'S' || log[i].ms == ms);
    };
    int naps = 0, pauses = 0;
    std::vector<std::uint32_t> refreshTicks;
    for (std::size_t i = 0; i < log.size();) {
        if (is(i, 'R') && is(i + 1, 'Y')) {
            refreshTicks.push_back(log[i].tick);
            i += 2;
        } else if (is(i, 'Y') && is(i + 1, 'S', 1)) {
            EXPECT_EQ(log[i].tick, log[i + 1].tick);
            ++naps;
            i += 2;
        } else if (is(i, 'R') && is(i + 1, 'S', 500)) {
            refreshTicks.push_back(log[i].tick);
            ++pauses;
            i += 2;
        } else if (is(i, 'R') && i + 1 == log.size()) {
            refreshTicks.push_back(log[i].tick);
            ++i;
        } else {
            ADD_FAILURE() << "unexpected '" << log[i].kind << "' (" << log[i].ms << " ms) at " << i;
            break;
        }
    }
    EXPECT_EQ(pauses, 1);
    EXPECT_GT(naps, 0);
    // Nothing is presented twice in one tick.
    for (std::size_t i = 1; i < refreshTicks.size(); ++i)
        EXPECT_GT(tickDiff(refreshTicks[i], refreshTicks[i - 1]), 0) << "refresh " << i;
    // The pace still follows the tick counter.
    const double expected = slideInMs(g) + 100 + 500 + slideOutMs(g);
    EXPECT_GE(tickDiff(end, start), expected - 3);
    EXPECT_LE(tickDiff(end, start), expected + 64);
    EXPECT_TRUE(allBlack(screen.surface().image()));
}

TEST_F(BannerTest, ClearScreenSetsTheStandardStateAndBlacksOut)
{
    for (const bool italic : {false, true}) {
        SCOPED_TRACE(testing::Message() << "italic " << italic);
        Surface &s = screen.surface();
        s.setBackColor(rgb(0, 0, 255));
        s.setFontName(QStringLiteral("Arial"));
        s.setFontSize(9);
        s.setFontBold(false);
        s.setFontItalic(italic);
        s.foreColor = rgb(255, 0, 0);
        s.filledBox(10, 10, 50, 30, rgb(255, 255, 255));
        screen.frames.clear();

        ClearScreen();

        EXPECT_EQ(s.backColor(), rgb(0, 0, 0));
        EXPECT_EQ(s.fontName(), QStringLiteral("ＭＳ ゴシック"));
        EXPECT_EQ(s.fontSize(), 16);
        EXPECT_TRUE(s.fontBold());
        EXPECT_EQ(s.fontItalic(), italic);
        EXPECT_EQ(s.foreColor, rgb(255, 0, 0));
        EXPECT_TRUE(allBlack(s.image()));
        EXPECT_TRUE(screen.frames.empty()) << "ClearScreen does not present";
    }
}

TEST_F(BannerTest, PrintAtBlacksOutAndPrintsInTheGivenOrCurrentColour)
{
    struct Case {
        Color before;
        Color argument;
        Color printed;
    };
    const std::vector<Case> cases = {
        {rgb(0, 255, 0), 0, rgb(0, 255, 0)},
        {rgb(0, 255, 0), rgb(255, 0, 0), rgb(255, 0, 0)},
        {rgb(255, 255, 255), rgb(0, 0, 1), rgb(0, 0, 1)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "ForeColor " << c.before << ", colour " << c.argument);
        Surface &s = screen.surface();
        ClearScreen();
        s.filledBox(200, 5, 100, 90, rgb(255, 255, 255));
        s.foreColor = c.before;
        screen.frames.clear();

        PrintAt(QStringLiteral("Hi!"), 12, 21, c.argument);

        // The same text printed alone on a black surface in the same font and colour.
        Surface expected(s.scaleWidth(), s.scaleHeight());
        expected.setFontName(s.fontName());
        expected.setFontSize(s.fontSize());
        expected.setFontBold(s.fontBold());
        expected.setFontItalic(s.fontItalic());
        expected.foreColor = c.printed;
        expected.currentX = 12;
        expected.currentY = 21;
        expected.print(QStringLiteral("Hi!"));
        EXPECT_EQ(s.image(), expected.image());
        EXPECT_FALSE(allBlack(s.image()));
        EXPECT_EQ(s.foreColor, c.printed);
        EXPECT_TRUE(screen.frames.empty()) << "PrintAt does not present";
    }
}

} // namespace
} // namespace vx::test
