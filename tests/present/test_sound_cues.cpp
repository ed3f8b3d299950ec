#include "fake/FakePlatform.h"
#include "present/BannerProbe.h"
#include "present/Module1.h"

#include <gtest/gtest.h>

namespace vx::test {
namespace {

TEST(PlaySoundFile, FlagsFollowModeAndWait)
{
    struct Case {
        std::int16_t mode;
        bool wait;
        unsigned flags;
    };
    const std::vector<Case> cases = {
        {0, false, SndAsync | SndNoDefault},
        {0, true, SndNoDefault},
        {1, false, SndAsync | SndNoDefault | SndLoop},
        {1, true, SndAsync | SndNoDefault | SndLoop},
        {2, false, SndSync},
        {-1, true, SndSync},
        {7, false, SndSync},
    };
    for (const auto &c : cases) {
        for (const bool starts : {true, false}) {
            SCOPED_TRACE(testing::Message() << "mode " << c.mode << " wait " << c.wait << " starts " << starts);
            RecordingSound out;
            out.allMissing = !starts;
            const std::int32_t result = PlaySoundFile(out, QStringLiteral("ready.wav"), c.mode, c.wait);
            ASSERT_EQ(out.requests.size(), 1u);
            EXPECT_EQ(out.requests[0].name, QStringLiteral("ready.wav"));
            EXPECT_EQ(out.requests[0].flags, c.flags);
            // The output's answer comes back: non-zero exactly when the sound started.
            EXPECT_EQ(result != 0, starts);
        }
    }
}

TEST(PlaySoundFile, EmptyNameReturnsZeroWithoutReachingTheOutput)
{
    for (const std::int16_t mode : {0, 1, 2}) {
        for (const bool wait : {false, true}) {
            RecordingSound out;
            EXPECT_EQ(PlaySoundFile(out, QString(), mode, wait), 0);
            EXPECT_EQ(PlaySoundFile(out, QStringLiteral(""), mode, wait), 0);
            EXPECT_TRUE(out.requests.empty()) << "mode " << mode << " wait " << wait;
        }
    }
}

TEST(PlaySoundFile, NameReachesTheOutputUnchanged)
{
    RecordingSound out;
    for (const QString &name : {QStringLiteral("4.wav"), QStringLiteral("herewego.wav"), QStringLiteral("Gan.WAV")}) {
        PlaySoundFile(out, name, 0, false);
        EXPECT_EQ(out.requests.back().name, name);
    }
}

// A banner's voice decides whether the banner sounds its own impact.
TEST(Announce, ImpactOnlyWhenTheVoiceDidNotStart)
{
    struct Case {
        const char *what;
        QString cue;
        bool cueMissing;
        std::vector<QString> heard;
    };
    const std::vector<Case> cases = {
        {"voice starts", QStringLiteral("ready.wav"), false, {QStringLiteral("ready.wav")}},
        {"voice missing", QStringLiteral("ready.wav"), true, {QStringLiteral("ready.wav"), QStringLiteral("gan.wav")}},
        {"no voice", QString(), false, {QStringLiteral("gan.wav")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform pf;
        ScreenDouble screen(pf);
        bannerBusy = false;
        screenForm = &screen;
        ClearScreen();
        if (c.cueMissing)
            pf.recorder().missing.push_back(c.cue);
        const std::uint32_t start = pf.tickCount();

        announce(pf, c.cue, QStringLiteral("Ready?"), 3);
        screenForm = nullptr;

        EXPECT_EQ(pf.recorder().names(), c.heard);
        for (const auto &r : pf.recorder().requests)
            EXPECT_EQ(r.flags, 3u) << r.name.toStdString();
        if (!c.cue.isEmpty()) {
            EXPECT_EQ(pf.recorder().requests.front().tick, start) << "the voice starts before the banner moves";
        }
        // The banner itself ran and left its text standing.
        const BannerGeometry g = bannerGeometry(QStringLiteral("Ready?"), 366, 107);
        EXPECT_EQ(mismatches(screen.surface().image(), textInk(QStringLiteral("Ready?"), g.W, g.W, g.H, g.Y), g.W, g.X, 0), 0);
        EXPECT_FALSE(bannerBusy);
    }
}

} // namespace
} // namespace vx::test
