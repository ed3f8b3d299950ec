#include "fake/GameFixture.h"
#include "present/NumberFormat.h"
#include "present/Spinner.h"
#include "results/Report.h"
#include "results/RoundEndSupport.h"
#include "results/frmResult.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace vx::test {
namespace {

constexpr Color black = rgb(0, 0, 0);
constexpr Color white = rgb(255, 255, 255);
constexpr Color yellow = rgb(255, 255, 0);
constexpr Color cyan = rgb(0, 255, 255);
constexpr Color tallyColorBound = 1677216;

// One print of the tally, from the left edge.
struct Ink {
    QString text;
    Color color;
    bool lineEnd = true;
};

// The tally screen as it should look: "Result:" in yellow, an empty line, then the given prints.
QImage tallyPicture(const Surface &like, const std::vector<Ink> &prints)
{
    Surface s(like.scaleWidth(), like.scaleHeight(), like.devicePixelRatio());
    s.setBackColor(black);
    s.setFontName(QStringLiteral("ＭＳ ゴシック"));
    s.setFontSize(10);
    s.setFontBold(true);
    s.setFontItalic(false);
    s.fontTransparent = false;
    s.cls();
    s.foreColor = yellow;
    s.print(QStringLiteral("Result:"));
    s.print(QString());
    for (const Ink &ink : prints) {
        s.currentX = 0;
        s.foreColor = ink.color;
        s.print(ink.text, ink.lineEnd);
    }
    return s.image();
}

QString comboText(int k) { return QStringLiteral("MaxCombo: %1  x 100 pts").arg(k); }
QString gaugeText(int k) { return QStringLiteral("Gauge:    %1  x 100 pts").arg(k); }
const QString perfectText = QStringLiteral("Perfect:  1000  pts");

bool allPixels(const QImage &image, Color c)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != toPixel(c))
                return false;
    return true;
}

// The number in a report line such as "MaxComb<TAB>3<TAB>x 100pts = 300".
int fieldOf(const QString &report, const QString &name)
{
    const QRegularExpression re(QStringLiteral("(?:^|\\r\\n)") + name + QStringLiteral("\\t(-?\\d+)"));
    const auto m = re.match(report);
    return m.hasMatch() ? m.captured(1).toInt() : -9999;
}

class RoundEndTest : public GameFixture {
protected:
    void SetUp() override
    {
        GameFixture::SetUp();
        load();
        watch = std::make_unique<RoundWatch>(pf, *form);
        pf.recorder().requests.clear();
    }
    void TearDown() override
    {
        watch.reset();
        GameFixture::TearDown();
    }

    // A real round, 10 characters at speed 5, with one wrong key at the start: the line runs
    // past the left edge with the gauge at 4, so play ends with isPlaying still True.
    // `duringOutcome` runs inside the first yield of the outcome banner.
    void playRoundLostAtTheEdge(const std::function<void()> &duringOutcome)
    {
        form->vsnS->setValue(100);
        form->vsNt->setValue(100);
        bool missed = false;
        bool outcome = false;
        watch->player = [&, this] {
            RoundState &rs = form->rs;
            if (!missed && rs.isPlaying && form->picTxt->isVisible()) {
                pf.typeAt(pf.tickCount(), QStringLiteral("!"));
                missed = true;
            }
            if (!outcome && bannerBusy && !watch->requests().empty()
                && watch->requests().back().name == QLatin1String("failure.wav")) {
                outcome = true;
                isPlayingAtOutcome = rs.isPlaying;
                gaugeAtOutcome = rs.gauge;
                shownAtOutcome = rs.shownScore;
                if (duringOutcome)
                    duringOutcome();
            }
        };
        form->cmdStart_Click();
        watch->player = nullptr;
        ASSERT_TRUE(outcome);
    }

    std::unique_ptr<RoundWatch> watch;
    bool isPlayingAtOutcome = false;
    std::int16_t gaugeAtOutcome = 0;
    double shownAtOutcome = -1;
};

// ---------------------------------------------------------------------------
// The tally

TEST_F(RoundEndTest, TallyCountsUpComboGaugeAndPerfectBonus)
{
    struct Case {
        const char *name;
        Outcome outcome;
        int comboSteps;
        int gaugeSteps;
        bool perfect;
        std::vector<QString> finalLines;
    };
    const std::vector<Case> cases = {
        {"nothing to count", {.cleared = false, .miss = 5, .maxCombo = 0, .gauge = 0, .missTotal = 5, .carried = 700}, 0, 0,
         false, {comboText(0), gaugeText(0)}},
        {"combo 12, gauge 7", {.cleared = false, .perfect = 12, .maxCombo = 12, .gauge = 7, .hitCount = 12, .carried = 5000},
         12, 7, false, {comboText(12), gaugeText(7)}},
        {"full gauge and a perfect round",
         {.cleared = true, .perfect = 30, .maxCombo = 30, .gauge = 20, .hitCount = 30, .carried = 390000}, 30, 20, true,
         {comboText(30), gaugeText(20), perfectText}},
        {"cleared with a miss: no bonus",
         {.cleared = true, .perfect = 30, .miss = 1, .maxCombo = 10, .gauge = 20, .hitCount = 30, .missTotal = 1}, 10, 20,
         false, {comboText(10), gaugeText(20)}},
        {"no miss but a character left: no bonus",
         {.cleared = false, .perfect = 29, .maxCombo = 29, .gauge = 20, .hitCount = 29}, 29, 20, false,
         {comboText(29), gaugeText(20)}},
        {"negative gauge: no step, the screen shows 0",
         {.cleared = false, .perfect = 1, .miss = 7, .maxCombo = 1, .gauge = -2, .hitCount = 1, .missTotal = 7, .carried = 500},
         1, 0, false, {comboText(1), gaugeText(0)}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        watch->forget();
        finishRound(*form, c.outcome);

        const auto &req = watch->requests();
        const auto &cues = watch->cues();
        ASSERT_EQ(req.size(), cues.size());
        ASSERT_FALSE(req.empty());
        EXPECT_EQ(req[0].name, c.outcome.cleared ? QStringLiteral("cleared.wav") : QStringLiteral("failure.wav"));
        const auto totals = watch->indexesOf(QStringLiteral("total.wav"));
        ASSERT_EQ(totals.size(), 1u);
        const std::size_t total = totals[0];

        // Only the count-up clicks between the outcome and the total.
        const int steps = c.comboSteps + c.gaugeSteps;
        ASSERT_EQ(static_cast<int>(total), 1 + steps);
        for (std::size_t i = 1; i < total; ++i) {
            EXPECT_EQ(req[i].name, QStringLiteral("pi.wav"));
            EXPECT_FALSE(cues[i].bannerRunning);
        }

        // Every step lasts at least 50 ms, and the finished tally holds for a second.
        for (std::size_t i = 2; i < total; ++i)
            EXPECT_GE(tickDiff(req[i].tick, req[i - 1].tick), 50) << "step " << i;
        if (steps > 0) {
            EXPECT_GE(tickDiff(req[total].tick, req[total - 1].tick), 1050);
        }

        // Each step shows its count in its own colour over the lines already finished.
        for (int k = 1; k <= steps; ++k) {
            const auto &cue = cues[static_cast<std::size_t>(k)];
            EXPECT_LE(cue.foreColor, tallyColorBound);
            std::vector<Ink> prints;
            if (k <= c.comboSteps) {
                prints.push_back({comboText(k), cue.foreColor, false});
            } else {
                prints.push_back({comboText(c.comboSteps), white});
                prints.push_back({gaugeText(k - c.comboSteps), cue.foreColor, false});
            }
            EXPECT_TRUE(cue.screen == tallyPicture(form->surface(), prints)) << "step " << k;
        }

        // The finished tally, in white, as it stands when the total is announced.
        std::vector<Ink> finished;
        for (const QString &line : c.finalLines)
            finished.push_back({line, white});
        EXPECT_TRUE(cues[total].screen == tallyPicture(form->surface(), finished));

        const double added = 100.0 * c.comboSteps + 100.0 * c.gaugeSteps + (c.perfect ? 1000 : 0);
        EXPECT_EQ(form->rs.shownScore, c.outcome.carried + added);
        EXPECT_EQ(form->rs.gauge, 0);
        const QString report = newestReport(*form);
        EXPECT_EQ(report.contains(QStringLiteral("\r\nPerfect\t1,000\r\n")), c.perfect);
        EXPECT_TRUE(report.contains(QStringLiteral("\r\nTotal\t") + formatGrouped(c.outcome.carried + added)
                                    + QStringLiteral("pts\r\n")));
    }
}

TEST_F(RoundEndTest, MissingClickLeavesTheCountUpAsItIs)
{
    pf.recorder().missing = {QStringLiteral("pi.wav")};
    finishRound(*form, {.cleared = false, .perfect = 5, .maxCombo = 5, .gauge = 6, .hitCount = 5, .carried = 100});
    const auto pis = watch->indexesOf(QStringLiteral("pi.wav"));
    ASSERT_EQ(pis.size(), 11u);
    const auto &req = watch->requests();
    for (std::size_t i = 1; i < pis.size(); ++i) {
        EXPECT_FALSE(req[pis[i]].started);
        EXPECT_GE(tickDiff(req[pis[i]].tick, req[pis[i - 1]].tick), 50);
    }
    // A silent step is no banner: no impact sound in its place.
    EXPECT_EQ(pf.recorder().count(QStringLiteral("gan.wav")), 0);
    EXPECT_EQ(form->rs.shownScore, 100 + 1100);
}

TEST_F(RoundEndTest, TallyColoursStayWithinTheirBound)
{
    // Extremes of the generator: 0 and the largest value below 1 (which rounds up to the bound itself).
    bool high = false;
    watch->outsideBanners = [&] {
        high = !high;
        return high ? 0.0 : 0.9999999;
    };
    finishRound(*form, {.cleared = false, .perfect = 3, .maxCombo = 3, .gauge = 3, .hitCount = 3});
    std::vector<Color> colours;
    for (std::size_t i : watch->indexesOf(QStringLiteral("pi.wav")))
        colours.push_back(watch->cues()[i].foreColor);
    EXPECT_EQ(colours, (std::vector<Color>{0, tallyColorBound, 0, tallyColorBound, 0, tallyColorBound}));
    EXPECT_EQ(blueOf(tallyColorBound), 25);

    // The generator itself, over a long count-up.
    watch->outsideBanners = nullptr;
    watch->forget();
    finishRound(*form, {.cleared = false, .perfect = 100, .maxCombo = 300, .gauge = 20, .hitCount = 100});
    colours.clear();
    for (std::size_t i : watch->indexesOf(QStringLiteral("pi.wav")))
        colours.push_back(watch->cues()[i].foreColor);
    ASSERT_EQ(colours.size(), 320u);
    for (Color c : colours) {
        EXPECT_LE(c, tallyColorBound);
        EXPECT_LE(blueOf(c), 25);
    }
    // A new colour at every step.
    std::sort(colours.begin(), colours.end());
    EXPECT_GT(std::unique(colours.begin(), colours.end()) - colours.begin(), 300);
}

// ---------------------------------------------------------------------------
// The spoken total

TEST_F(RoundEndTest, TotalIsReadOutDigitByDigitThenInPoints)
{
    struct Case {
        double total;
        const char *digits;
        const char *points;
        const char *grouped;
    };
    const std::vector<Case> cases = {
        {0, "0", "0 pts.", "0"},
        {105, "105", "105 pts.", "105"},
        {1234567, "1234567", "1,234,567 pts.", "1,234,567"},
        {42299.9999999, "42300", "42,300 pts.", "42,300"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.digits);
        const QString digits = QString::fromLatin1(c.digits);
        const QString points = QString::fromLatin1(c.points);
        watch->expectBanner(QStringLiteral("FAILURE"));
        watch->expectBanner(QStringLiteral("Total"));
        for (QChar d : digits)
            watch->expectBanner(QString(d));
        watch->expectBanner(points);
        watch->forget();

        finishRound(*form, {.cleared = false, .miss = 5, .missTotal = 5, .carried = c.total});

        std::vector<QString> names = {QStringLiteral("failure.wav"), QStringLiteral("total.wav")};
        std::vector<std::pair<QString, QString>> banners = {{QStringLiteral("failure.wav"), QStringLiteral("FAILURE")},
                                                            {QStringLiteral("total.wav"), QStringLiteral("Total")}};
        for (QChar d : digits) {
            names.push_back(QString(d) + QStringLiteral(".wav"));
            banners.emplace_back(QString(d) + QStringLiteral(".wav"), QString(d));
        }
        names.push_back(QStringLiteral("pts.wav"));
        banners.emplace_back(QStringLiteral("pts.wav"), points);

        EXPECT_EQ(watch->namesFrom(0), names);
        EXPECT_EQ(watch->bannersWithCues(), banners);
        // "Total" and every digit stay on the screen until the next banner replaces them.
        ASSERT_EQ(watch->cues().size(), names.size());
        for (std::size_t i = 2; i < names.size(); ++i)
            EXPECT_TRUE(watch->cues()[i].screen == watch->picture(banners[i - 1].second)) << names[i].toStdString();
        EXPECT_EQ(form->windowTitle(), QStringLiteral("Total : ") + QString::fromLatin1(c.grouped));
        EXPECT_TRUE(newestReport(*form).endsWith(QStringLiteral("\r\nTotal\t") + QString::fromLatin1(c.grouped)
                                                 + QStringLiteral("pts\r\n\r\n")));
        // The points banner slides out and leaves the screen black.
        EXPECT_TRUE(allPixels(form->surface().image(), black));
    }
}

TEST_F(RoundEndTest, DigitWithoutItsVoiceLandsWithTheImpactSound)
{
    pf.recorder().missing = {QStringLiteral("1.wav")};
    for (const char *t : {"Total", "1", "0", "5", "105 pts."})
        watch->expectBanner(QString::fromLatin1(t));
    watch->forget();
    finishRound(*form, {.cleared = false, .carried = 105});
    EXPECT_EQ(watch->namesFrom(1), (std::vector<QString>{"total.wav", "1.wav", "gan.wav", "0.wav", "5.wav", "pts.wav"}));
    EXPECT_EQ(watch->bannersWithCues(), (std::vector<std::pair<QString, QString>>{
                                            {"total.wav", "Total"}, {"gan.wav", "1"}, {"0.wav", "0"}, {"5.wav", "5"},
                                            {"pts.wav", "105 pts."}}));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Total : 105"));
}

// ---------------------------------------------------------------------------
// Keys while the round ends

TEST_F(RoundEndTest, EscOnlyCountsDuringTheOutcomeBanner)
{
    struct Case {
        const char *name;
        bool escDuringOutcome;
        bool escDuringTally;
        int gaugeSteps;
        const char *gaugeLine;
    };
    const std::vector<Case> cases = {
        {"Esc during the outcome banner empties the gauge", true, false, 0, "Gauge\t0\tx 100pts = 0"},
        {"Esc during the tally comes too late", false, true, 4, "Gauge\t4\tx 100pts = 400"},
        {"no Esc", false, false, 4, "Gauge\t4\tx 100pts = 400"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        watch->forget();
        bool outcomeOver = false;
        bool escSent = false;
        watch->onCue = [&] {
            // The first cue after the outcome banner is the gauge's first click.
            if (c.escDuringTally && outcomeOver && !escSent && !bannerBusy) {
                pf.keyAt(pf.tickCount(), Qt::Key_Escape);
                escSent = true;
            }
        };
        playRoundLostAtTheEdge([&] {
            outcomeOver = true;
            if (c.escDuringOutcome)
                pf.keyAt(pf.tickCount(), Qt::Key_Escape);
        });
        watch->onCue = nullptr;

        EXPECT_TRUE(isPlayingAtOutcome);
        EXPECT_EQ(gaugeAtOutcome, 4);
        EXPECT_EQ(shownAtOutcome, 0);
        EXPECT_EQ(escSent, c.escDuringTally);
        const auto failures = watch->indexesOf(QStringLiteral("failure.wav"));
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(static_cast<int>(watch->indexesOf(QStringLiteral("pi.wav")).size()), c.gaugeSteps);
        const QString report = newestReport(*form);
        EXPECT_TRUE(report.contains(QStringLiteral("\r\n- FAILURE -\r\n")));
        EXPECT_TRUE(report.contains(QStringLiteral("\r\nMiss\t1\r\n")));
        EXPECT_TRUE(report.contains(QStringLiteral("\r\nMaxComb\t0\tx 100pts = 0\r\n")));
        EXPECT_TRUE(report.contains(QStringLiteral("\r\n") + QString::fromLatin1(c.gaugeLine) + QStringLiteral("\r\n")))
            << report.toStdString();
        EXPECT_EQ(form->rs.shownScore, 100.0 * c.gaugeSteps);
        EXPECT_EQ(form->rs.gauge, 0);
        EXPECT_FALSE(form->rs.isPlaying);
    }
}

TEST_F(RoundEndTest, EscDuringTheClearedBannerStillEmptiesTheGauge)
{
    // Esc empties the gauge whether or not keys are still judged, so even a cleared round
    // (isPlaying already False) loses its gauge bonus to it; the perfect bonus stays.
    const auto prompt = promptPlayer(pf, *form);
    bool escSent = false;
    bool playingAtOutcome = true;
    watch->player = [&] {
        prompt();
        if (!escSent && bannerBusy && !watch->requests().empty()
            && watch->requests().back().name == QLatin1String("cleared.wav")) {
            playingAtOutcome = form->rs.isPlaying;
            pf.keyAt(pf.tickCount(), Qt::Key_Escape);
            escSent = true;
        }
    };
    form->cmdStart_Click();
    watch->player = nullptr;
    ASSERT_TRUE(escSent);
    EXPECT_FALSE(playingAtOutcome);
    EXPECT_EQ(watch->indexesOf(QStringLiteral("pi.wav")).size(), 30u);
    const QString report = newestReport(*form);
    EXPECT_TRUE(report.endsWith(QStringLiteral("\r\nMaxComb\t30\tx 100pts = 3,000\r\nGauge\t0\tx 100pts = 0\r\n"
                                               "Perfect\t1,000\r\nTotal\t397,000pts\r\n\r\n")))
        << report.toStdString();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Total : 397,000"));
}

TEST_F(RoundEndTest, PointsOfKeysDuringTheOutcomeBannerReachNoRound)
{
    // Keys typed while "FAILURE" is up are judged (play ended with isPlaying still True):
    // their counts, combo and gauge are in this round's tally, their points in no total.
    int typed = 0;
    playRoundLostAtTheEdge([&] {
        pf.typeAt(pf.tickCount(), form->rs.targetText.left(3));
        typed = 3;
    });
    ASSERT_EQ(typed, 3);
    const QString first = newestReport(*form);
    const int perfect = fieldOf(first, QStringLiteral("Perfect"));
    const int great = fieldOf(first, QStringLiteral("Great"));
    const int good = fieldOf(first, QStringLiteral("Good"));
    EXPECT_EQ(perfect + great + good, 3) << first.toStdString();
    EXPECT_EQ(fieldOf(first, QStringLiteral("Miss")), 1);
    EXPECT_EQ(fieldOf(first, QStringLiteral("Gauge")), 7);
    const int maxCombo = fieldOf(first, QStringLiteral("MaxComb"));
    EXPECT_GE(maxCombo, 0);
    EXPECT_LE(maxCombo, 3);
    // Nothing was earned in play, so the total is the bonuses alone.
    EXPECT_EQ(shownAtOutcome, 0);
    EXPECT_EQ(form->rs.shownScore, 100.0 * maxCombo + 700);
    EXPECT_TRUE(first.contains(QStringLiteral("\r\nTotal\t") + formatGrouped(100.0 * maxCombo + 700) + QStringLiteral("pts\r\n")));
    EXPECT_GT(form->rs.score, 0); // still pending after the round

    // The next round starts from nothing: Esc during "Ready?" ends it without a single key.
    bool escSent = false;
    watch->player = [&] {
        if (!escSent && bannerBusy && !watch->requests().empty() && watch->requests().back().name == QLatin1String("ready.wav")) {
            pf.keyAt(pf.tickCount(), Qt::Key_Escape);
            escSent = true;
        }
    };
    form->cmdStart_Click();
    watch->player = nullptr;
    ASSERT_TRUE(escSent);
    const QString second = newestReport(*form);
    EXPECT_NE(second, first);
    EXPECT_TRUE(second.contains(QStringLiteral("\r\n- FAILURE -\r\n")));
    EXPECT_TRUE(second.endsWith(QStringLiteral("\r\nGauge\t0\tx 100pts = 0\r\nTotal\t0pts\r\n\r\n"))) << second.toStdString();
    EXPECT_EQ(form->rs.shownScore, 0);
    EXPECT_EQ(form->rs.score, 0);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Total : 0"));
}

// ---------------------------------------------------------------------------
// Back to the settings

TEST_F(RoundEndTest, RoundLeavesTheWindowInItsSettingsState)
{
    struct Case {
        const char *name;
        bool quitEarly; // Esc after three keys instead of typing the whole line
    };
    for (const Case &c : std::vector<Case>{{"cleared", false}, {"quit with Esc", true}}) {
        SCOPED_TRACE(c.name);
        watch->forget();
        int keys = 0;
        bool settingsHiddenInPlay = true;
        const auto prompt = promptPlayer(pf, *form);
        watch->player = [&] {
            if (form->picTxt->isVisible())
                settingsHiddenInPlay = settingsHiddenInPlay && !form->frSetting->isVisible() && !form->cmdStart->isVisible();
            if (!form->rs.isPlaying || !form->picTxt->isVisible())
                return;
            if (c.quitEarly && keys == 3) {
                pf.keyAt(pf.tickCount(), Qt::Key_Escape);
                ++keys;
                return;
            }
            if (c.quitEarly && keys > 3)
                return;
            prompt();
            ++keys;
        };
        form->cmdStart_Click();
        watch->player = nullptr;

        EXPECT_TRUE(settingsHiddenInPlay);
        EXPECT_TRUE(form->frSetting->isVisible());
        EXPECT_TRUE(form->cmdStart->isVisible());
        EXPECT_FALSE(form->picTxt->isVisible());
        EXPECT_FALSE(form->picPTS->isVisible());
        EXPECT_FALSE(form->rs.isPlaying);
        EXPECT_TRUE(form->rs.targetText.isEmpty());
        EXPECT_EQ(form->rs.gauge, 0);
        EXPECT_EQ(form->rs.score, 0);
        EXPECT_FALSE(bannerBusy);
        EXPECT_EQ(form->windowTitle(), QStringLiteral("Total : ") + formatGrouped(form->rs.shownScore));
        EXPECT_EQ(form->picTxt->surface().foreColor, cyan);
        EXPECT_TRUE(allPixels(form->picTxt->surface().image(), black));
        EXPECT_TRUE(allPixels(form->picPTS->surface().image(), black));
        EXPECT_TRUE(allPixels(form->surface().image(), black));
        ASSERT_FALSE(form->resultWindow.isNull());
        EXPECT_TRUE(form->resultWindow->isVisible());
        const QString report = newestReport(*form);
        EXPECT_TRUE(report.contains(c.quitEarly ? QStringLiteral("\r\n- FAILURE -\r\n") : QStringLiteral("\r\n- CLEARED -\r\n")));
        EXPECT_TRUE(report.endsWith(QStringLiteral("Total\t") + formatGrouped(form->rs.shownScore) + QStringLiteral("pts\r\n\r\n")));
        if (c.quitEarly) {
            // Three Perfect keys (1,500) and a combo of 3 (300): pending points are carried, the gauge is gone.
            EXPECT_EQ(form->windowTitle(), QStringLiteral("Total : 1,800"));
            EXPECT_TRUE(report.contains(QStringLiteral("\r\nPerfect\t3\r\n")));
            EXPECT_FALSE(report.contains(QStringLiteral("\r\nPerfect\t1,000\r\n")));
        } else {
            EXPECT_TRUE(report.contains(QStringLiteral("\r\nPerfect\t1,000\r\n")));
        }
    }
}

} // namespace
} // namespace vx::test
