// Whole rounds on the virtual clock: how the play loop moves the line, when it draws,
// the edge recovery and its sweep, the pending points and every way play ends.

#include "fake/GameFixture.h"
#include "present/Spinner.h"

#include <QEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace vx::test {
namespace {

constexpr std::uint64_t stepUs = 15'625; // one step of the tick counter

// Which step of the round yielded.
enum class Step { Banner, Pass, Sweep };

// The round as one yield finds it (before that yield delivers its events).
struct Seen {
    Step step;
    std::uint64_t micros;   // virtual time, just past the yield's own tick step
    std::uint32_t tick;     // the tick counter at the yield
    std::uint32_t stepTick; // the tick the yielding pass or sweep step read
    float textLeft;
    int gauge;
    bool playing;
    double score;
    double shown;
    int combo;
    QString judge;
    std::int32_t lastHitTick;
    qsizetype left; // characters still to type
    int sleeps;     // 1-ms naps so far
    int draws;      // pass drawings so far (each draws one random number)
    int lit;        // leftmost non-black column of the text strip, -1 when dark
    bool outcome;   // the round end's outcome cue has been asked for
};

// Counts how often a widget is shown.
class ShowCounter : public QObject {
public:
    int shows = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            ++shows;
        return false;
    }
};

int leftmostLit(const QImage &image)
{
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if ((image.pixel(x, y) & 0xFFFFFF) != 0)
                return x;
    return -1;
}

class PlayLoop : public GameFixture {
protected:
    void SetUp() override
    {
        GameFixture::SetUp();
        pf.randomOverride = [this] {
            ++draws_;
            return static_cast<double>(gen_() >> 11) * 0x1p-53;
        };
        load();
        charsWide = form->width(); // the text strip spans the window once a round lays it out
    }

    // Plays one whole round; `react` runs at every yield, after it is noted.
    void playRound(int speed, int chars = 10)
    {
        form->vsnS->setValue(105 - speed);
        form->vsNt->setValue(110 - chars);
        form->picTxt->installEventFilter(&txtShows);
        draws_ = 0;
        pf.onYield = [this] {
            note();
            if (react)
                react(seen.back());
        };
        form->cmdStart_Click();
        pf.onYield = nullptr;
    }

    void note()
    {
        const RoundState &rs = form->rs;
        const bool inPlay = form->picTxt->isVisible();
        const Step step = !inPlay ? Step::Banner : draws_ != lastDraws_ ? Step::Pass : Step::Sweep;
        lastDraws_ = draws_;
        const std::uint32_t base = pf.tickCount() - fakeTicks(0, pf.micros());
        seen.push_back({step, pf.micros(), pf.tickCount(), fakeTicks(base, pf.micros() - stepUs), rs.textLeft,
                        rs.gauge, rs.isPlaying, rs.score, rs.shownScore, rs.combo, rs.judgeText, rs.lastHitTick,
                        rs.targetText.size(), pf.sleeps, draws_,
                        inPlay ? leftmostLit(form->picTxt->surface().image()) : -1,
                        pf.recorder().count(QStringLiteral("cleared.wav")) + pf.recorder().count(QStringLiteral("failure.wav")) > 0});
    }

    // The player's key, through the window as a real key event, delivered by this yield.
    void type(const QString &text) { pf.typeAt(pf.tickCount(), text); }
    void typeExpected() { type(form->rs.targetText.left(1)); }
    void escape() { pf.keyAt(pf.tickCount(), Qt::Key_Escape); }

    std::vector<Seen> of(Step step) const
    {
        std::vector<Seen> out;
        for (const Seen &s : seen)
            if (s.step == step)
                out.push_back(s);
        return out;
    }
    // The first yield after play: the outcome banner's.
    const Seen &firstAfterPlay() const
    {
        for (const Seen &s : seen)
            if (s.outcome)
                return s;
        ADD_FAILURE() << "no yield after play";
        return seen.back();
    }
    // Runs of consecutive sweep steps, one per edge recovery.
    std::vector<std::vector<Seen>> sweeps() const
    {
        std::vector<std::vector<Seen>> out;
        Step before = Step::Banner;
        for (const Seen &s : seen) {
            if (s.step == Step::Sweep) {
                if (before != Step::Sweep)
                    out.emplace_back();
                out.back().push_back(s);
            }
            before = s.step;
        }
        return out;
    }
    int passCount() const { return static_cast<int>(of(Step::Pass).size()); }
    double charWidth(const QString &c) const { return form->picTxt->surface().textWidth(c); }

    std::function<void(const Seen &)> react;
    std::vector<Seen> seen;
    ShowCounter txtShows;
    int charsWide = 0;

private:
    int draws_ = 0;
    int lastDraws_ = 0;
    std::mt19937_64 gen_{7};
};

// ---- Motion and pacing -------------------------------------------------------------------------

TEST_F(PlayLoop, LineMovesOnePixelPerSpeedMillisecondsAndOnlyWhenTheTickAdvances)
{
    struct Case {
        int speed;
        double pixelsPerSecond;
    };
    const std::vector<Case> cases{{30, 1000.0 / 30}, {5, 200}, {100, 10}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.speed);
        seen.clear();
        react = [&](const Seen &s) {
            if (s.step == Step::Pass && passCount() == 80)
                escape();
        };
        playRound(c.speed);

        const auto passes = of(Step::Pass);
        ASSERT_EQ(passes.size(), 80u);
        // The first redraw pass comes one tick step after play starts; the idle naps before it move nothing.
        const auto firstAt = std::find_if(seen.begin(), seen.end(), [](const Seen &s) { return s.step == Step::Pass; });
        const Seen &before = *(firstAt - 1);
        const int firstStep = tickDiff(passes[0].stepTick, before.tick);
        EXPECT_TRUE(firstStep == 15 || firstStep == 16) << firstStep;
        EXPECT_GE(passes[0].sleeps - before.sleeps, 1);
        EXPECT_LE(passes[0].sleeps - before.sleeps, 16);
        EXPECT_EQ(passes[0].draws - before.draws, 1);
        EXPECT_NEAR(passes[0].textLeft, charsWide - double(firstStep) / c.speed, 1e-4);

        // 64 tick steps are exactly one second.
        EXPECT_EQ(tickDiff(passes[64].stepTick, passes[0].stepTick), 1000);
        EXPECT_NEAR(passes[0].textLeft - passes[64].textLeft, c.pixelsPerSecond, 0.01);

        for (std::size_t i = 1; i < passes.size(); ++i) {
            const int dt = tickDiff(passes[i].stepTick, passes[i - 1].stepTick);
            EXPECT_TRUE(dt == 15 || dt == 16) << i;
            // One drawing per yield, and no naps between passes that each saw a new tick.
            EXPECT_EQ(passes[i].draws - passes[i - 1].draws, 1) << i;
            EXPECT_EQ(passes[i].sleeps, passes[i - 1].sleeps) << i;
            EXPECT_NEAR(passes[i - 1].textLeft - passes[i].textLeft, double(dt) / c.speed, 1e-4) << i;
        }
    }
}

// ---- Edge recovery -----------------------------------------------------------------------------

TEST_F(PlayLoop, EdgeRecoveryBuysTheNextCharacterWhileTheGaugeHoldsFive)
{
    struct Case {
        int gaugeAtStart;
        int recoveries;
        int gaugeAtEnd;
    };
    // Each recovery costs 5 and its fed hit gives 1 back.
    const std::vector<Case> cases{{4, 0, 4}, {5, 1, 1}, {8, 1, 4}, {9, 2, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.gaugeAtStart);
        seen.clear();
        pf.recorder().requests.clear();
        react = [&](const Seen &s) {
            if (s.step == Step::Pass && passCount() == 1)
                form->rs.gauge = static_cast<std::int16_t>(c.gaugeAtStart);
        };
        playRound(5);

        EXPECT_EQ(static_cast<int>(sweeps().size()), c.recoveries);
        const Seen &end = firstAfterPlay();
        EXPECT_EQ(end.left, 10 - c.recoveries);
        EXPECT_EQ(end.gauge, c.gaugeAtEnd);
        EXPECT_LT(end.textLeft, 0);
        // Play ended at the edge, so judging is still on until the round end turns it off.
        EXPECT_TRUE(end.playing);
        EXPECT_EQ(form->rs.hitCount, c.recoveries);
        EXPECT_EQ(pf.recorder().count(QStringLiteral("failure.wav")), 1);
    }
}

TEST_F(PlayLoop, SweepBringsTheLineBackFromOneTo121InSixtyTickSteps)
{
    react = [&](const Seen &s) {
        if (s.step == Step::Pass && s.gauge < 5 && s.left == 9)
            escape(); // end the round once the line is back
    };
    playRound(30);

    const auto runs = sweeps();
    ASSERT_EQ(runs.size(), 1u);
    const auto &sweep = runs[0];

    // The fed character was judged like a typed one: a first hit is Perfect.
    EXPECT_EQ(sweep[0].left, 9);
    EXPECT_EQ(sweep[0].judge, QStringLiteral("Perfect!"));
    EXPECT_EQ(sweep[0].gauge, 1);
    EXPECT_EQ(pf.recorder().count(QStringLiteral("perfect.wav")), 1);

    ASSERT_EQ(sweep.size(), 60u);
    for (std::size_t i = 0; i < sweep.size(); ++i) {
        EXPECT_EQ(sweep[i].textLeft, 1.0f + 2 * i) << i;
        // Drawn where the counter stands: the same text two pixels further right each step.
        EXPECT_EQ(sweep[i].lit - sweep[0].lit, static_cast<int>(2 * i)) << i;
        // Neither status strip nor judgement effect is drawn by the sweep.
        EXPECT_EQ(sweep[i].draws, sweep[0].draws);
    }
    EXPECT_GE(sweep[0].lit, 1);
    EXPECT_LE(sweep[0].lit, 4);

    // Every step waits at least to the next tick step: 60 × 15.625 ms, not the nominal 360 ms.
    const std::uint64_t sweepUs = sweep.back().micros - (sweep.front().micros - stepUs);
    EXPECT_EQ(sweepUs, 60 * stepUs);
    const int sweepMs = tickDiff(sweep.back().tick, sweep.front().stepTick);
    EXPECT_TRUE(sweepMs == 937 || sweepMs == 938) << sweepMs;

    // Play resumes from 121, and the recovery's time does not move the line.
    const auto after = std::find_if(seen.begin(), seen.end(),
                                    [&](const Seen &s) { return s.step == Step::Pass && s.micros > sweep.back().micros; });
    ASSERT_NE(after, seen.end());
    const int firstStep = tickDiff(after->stepTick, sweep.back().tick);
    EXPECT_TRUE(firstStep == 15 || firstStep == 16) << firstStep;
    EXPECT_GE(after->sleeps - sweep.back().sleeps, 1);
    EXPECT_NEAR(after->textLeft, 121 - double(firstStep) / 30, 1e-4);
}

TEST_F(PlayLoop, KeysTypedDuringTheSweepAreJudgedAndShortenIt)
{
    int sweepSteps = 0;
    double typedWidth = 0;
    react = [&](const Seen &s) {
        if (s.step == Step::Sweep && ++sweepSteps == 10) {
            typedWidth = charWidth(form->rs.targetText.left(1));
            typeExpected();
        }
        if (s.step == Step::Pass && s.left == 8)
            escape();
    };
    playRound(30);

    const auto runs = sweeps();
    ASSERT_EQ(runs.size(), 1u);
    const auto &sweep = runs[0];
    ASSERT_GT(sweep.size(), 10u);
    EXPECT_EQ(sweep[9].textLeft, 19.0f);
    EXPECT_EQ(sweep[10].left, 8);
    EXPECT_EQ(sweep[10].gauge, 2);
    // The hit moved the counter on by the character's width.
    EXPECT_NEAR(sweep[10].textLeft, 19 + typedWidth + 2, 1e-4);
    int expectedSteps = 10;
    for (float t = static_cast<float>(19 + typedWidth + 2); t <= 120; t += 2)
        ++expectedSteps;
    EXPECT_EQ(static_cast<int>(sweep.size()), expectedSteps);
    EXPECT_LT(sweep.size(), 60u);
}

TEST_F(PlayLoop, EscDuringTheSweepLetsItFinishThenEndsPlay)
{
    int sweepSteps = 0;
    react = [&](const Seen &s) {
        if (s.step == Step::Sweep && ++sweepSteps == 5)
            escape();
    };
    playRound(30);

    const auto runs = sweeps();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].size(), 60u);
    EXPECT_EQ(runs[0][5].gauge, 0);
    EXPECT_FALSE(runs[0][5].playing);
    // No pass after the sweep: judging is switched on again, and the head test stops at the gauge.
    EXPECT_LT(of(Step::Pass).back().micros, runs[0].front().micros);
    const Seen &end = firstAfterPlay();
    EXPECT_TRUE(end.playing);
    EXPECT_EQ(end.gauge, 0);
    EXPECT_EQ(end.textLeft, 121.0f);
    EXPECT_EQ(end.left, 9);
}

TEST_F(PlayLoop, EscDuringTheOpeningEndsPlayAtTheFirstHeadTest)
{
    pf.keyAt(now() + 100, Qt::Key_Escape);
    pf.typeAt(now() + 200, QStringLiteral("Q"));
    playRound(30);

    EXPECT_EQ(passCount(), 0);
    EXPECT_TRUE(sweeps().empty());
    // The strips still came up once before play ended.
    EXPECT_EQ(txtShows.shows, 1);
    EXPECT_EQ(form->rs.missCount, 0);
    EXPECT_EQ(form->rs.hitCount, 0);
    EXPECT_EQ(pf.recorder().count(QStringLiteral("miss.wav")), 0);
    const Seen &end = firstAfterPlay();
    EXPECT_EQ(end.left, 10);
    EXPECT_EQ(end.gauge, 0);
    EXPECT_TRUE(end.playing); // opening step 5 switched judging on regardless
    EXPECT_EQ(end.textLeft, static_cast<float>(charsWide));
    EXPECT_EQ(pf.recorder().count(QStringLiteral("failure.wav")), 1);
}

// ---- Pending points ----------------------------------------------------------------------------

TEST_F(PlayLoop, LastKeysPointsMoveOverIn59PassesAndTheNextPassEndsPlay)
{
    react = [&](const Seen &s) {
        if (s.step == Step::Pass && passCount() == 1) {
            form->rs.targetText.truncate(1);
            typeExpected();
        }
    };
    playRound(30);

    std::vector<Seen> after;
    for (const Seen &s : of(Step::Pass))
        if (s.left == 0)
            after.push_back(s);
    ASSERT_EQ(after.size(), 60u);
    EXPECT_NEAR(after[0].score, 450, 1e-9);
    EXPECT_NEAR(after[57].score, 500 * std::pow(0.9, 58), 1e-6);
    EXPECT_GT(after[57].score, 1);
    EXPECT_EQ(after[58].score, 0);
    EXPECT_NEAR(after[58].shown, 500, 1e-9);
    EXPECT_TRUE(after[58].playing);
    EXPECT_FALSE(after[59].playing);
    const Seen &end = firstAfterPlay();
    EXPECT_FALSE(end.playing);
    EXPECT_NEAR(end.shown, 500, 1e-9);
    EXPECT_EQ(pf.recorder().count(QStringLiteral("cleared.wav")), 1);
}

TEST_F(PlayLoop, LineReachingTheEdgeFirstAddsTheRestAtOnce)
{
    bool typed = false;
    react = [&](const Seen &s) {
        if (s.step == Step::Pass && !typed && s.textLeft < 10) {
            typed = true;
            form->rs.targetText.truncate(1);
            typeExpected();
        }
    };
    playRound(5);

    ASSERT_TRUE(typed);
    std::vector<Seen> after;
    for (const Seen &s : of(Step::Pass))
        if (s.left == 0)
            after.push_back(s);
    ASSERT_FALSE(after.empty());
    EXPECT_LT(after.size(), 59u);
    EXPECT_GT(after.back().score, 100);
    EXPECT_TRUE(sweeps().empty());
    const Seen &end = firstAfterPlay();
    EXPECT_LT(end.textLeft, 0);
    EXPECT_EQ(end.score, 0);
    EXPECT_DOUBLE_EQ(end.shown, 500);
    EXPECT_TRUE(end.playing);
}

// ---- Judgement expiry --------------------------------------------------------------------------

TEST_F(PlayLoop, ComboAndJudgementTextExpireTwoSecondsAfterTheLastKey)
{
    react = [&](const Seen &s) {
        const int n = passCount();
        if (s.step == Step::Pass && n >= 1 && n <= 4)
            typeExpected();
        if (s.step == Step::Pass && n == 200)
            escape();
    };
    playRound(30);

    bool sawLast = false, sawExpired = false;
    for (const Seen &s : of(Step::Pass)) {
        if (s.left != 6)
            continue;
        const int d = tickDiff(s.stepTick, static_cast<std::uint32_t>(s.lastHitTick));
        const bool expired = d > 2000;
        EXPECT_EQ(s.combo, expired ? 0 : 4) << d;
        EXPECT_EQ(s.judge.isEmpty(), expired) << d;
        sawLast = sawLast || (!expired && d >= 1984);
        sawExpired = sawExpired || (expired && d <= 2016);
    }
    EXPECT_TRUE(sawLast);
    EXPECT_TRUE(sawExpired);
}

// ---- Every way play ends -----------------------------------------------------------------------

TEST_F(PlayLoop, EveryWayPlayEnds)
{
    struct Case {
        const char *cause;
        int speed;
        std::function<void(const Seen &, int pass)> act;
        qsizetype left;    // characters left at the end of play
        bool playing;      // judging still on when play has ended
        int gauge;         // at the end of play; -1: any
        bool edge;         // the line's left edge had passed 0
    };
    const auto miss = [this] { type(QStringLiteral("!")); };
    const std::vector<Case> cases{
        {"every character typed, nothing pending", 30,
         [this](const Seen &, int pass) {
             if (pass % 40 == 0)
                 typeExpected();
         },
         0, false, -1, false},
        {"edge with the gauge below 5", 5,
         [&](const Seen &, int pass) {
             if (pass == 1)
                 miss();
         },
         10, true, 4, true},
        {"edge after every character is typed", 5,
         [this](const Seen &s, int) {
             if (s.textLeft < 10 && s.left == 10) {
                 form->rs.targetText.truncate(1);
                 typeExpected();
             }
         },
         0, true, 6, true},
        {"gauge drained by misses", 30,
         [&](const Seen &, int pass) {
             if (pass <= 5)
                 miss();
         },
         10, false, 0, false},
        {"Esc", 30,
         [this](const Seen &, int pass) {
             if (pass == 20)
                 escape();
         },
         10, false, 0, false},
        {"the fed key completes the text", 5,
         [this](const Seen &, int pass) {
             if (pass == 1)
                 form->rs.targetText.truncate(1);
         },
         0, true, 1, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.cause);
        seen.clear();
        pf.recorder().requests.clear();
        react = [&](const Seen &s) {
            if (s.step == Step::Pass)
                c.act(s, passCount());
        };
        playRound(c.speed);

        EXPECT_TRUE(sweeps().empty());
        const Seen &end = firstAfterPlay();
        EXPECT_EQ(end.left, c.left);
        EXPECT_EQ(end.playing, c.playing);
        if (c.gauge >= 0) {
            EXPECT_EQ(end.gauge, c.gauge);
        }
        // Where the line stood after the last pass (the fed key may move it back in afterwards).
        ASSERT_GT(passCount(), 0);
        EXPECT_EQ(of(Step::Pass).back().textLeft < 0, c.edge) << of(Step::Pass).back().textLeft;
        EXPECT_EQ(end.score, 0);
        EXPECT_EQ(pf.recorder().count(c.left == 0 ? QStringLiteral("cleared.wav") : QStringLiteral("failure.wav")), 1);
    }
}

TEST_F(PlayLoop, MissesThatDrainTheGaugeStopTheLoopAtOnce)
{
    react = [&](const Seen &s) {
        if (s.step == Step::Pass && passCount() <= 5)
            type(QStringLiteral("!"));
    };
    playRound(30);

    EXPECT_EQ(passCount(), 5);
    EXPECT_EQ(form->rs.missCount, 5);
    EXPECT_EQ(pf.recorder().count(QStringLiteral("miss.wav")), 5);
}

} // namespace
} // namespace vx::test
