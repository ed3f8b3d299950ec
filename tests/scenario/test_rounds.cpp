// Whole games on the fake platform: start-up, rounds started by a click on the start button,
// scripted typing, and what the player sees, hears and finds in the result window.

#include "fake/GameFixture.h"
#include "present/NumberFormat.h"
#include "present/Spinner.h"
#include "results/Report.h"
#include "results/RoundEndSupport.h"
#include "results/frmResult.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <memory>

namespace vx::test {
namespace {

using Pairs = std::vector<std::pair<QString, QString>>;

std::vector<QString> repeated(const QString &name, int n) { return std::vector<QString>(static_cast<std::size_t>(n), name); }

std::vector<QString> operator+(std::vector<QString> a, const std::vector<QString> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<QString> openingCues() { return {QStringLiteral("ready.wav"), QStringLiteral("herewego.wav")}; }
std::vector<QString> one(const char *name) { return {QString::fromLatin1(name)}; }

// The cues of the read-out of a total, from "total.wav" to "pts.wav".
std::vector<QString> readOutCues(const QString &digits)
{
    std::vector<QString> out = {QStringLiteral("total.wav")};
    for (QChar d : digits)
        out.push_back(QString(d) + QStringLiteral(".wav"));
    out.push_back(QStringLiteral("pts.wav"));
    return out;
}

// The banners of a whole round with the cue just before each.
Pairs roundBanners(bool cleared, const QString &digits, const QString &points)
{
    Pairs out = {{"ready.wav", "Ready?"}, {"herewego.wav", "Here We Go!"}};
    out.emplace_back(cleared ? QStringLiteral("cleared.wav") : QStringLiteral("failure.wav"),
                     cleared ? QStringLiteral("CLEARED!") : QStringLiteral("FAILURE"));
    out.emplace_back(QStringLiteral("total.wav"), QStringLiteral("Total"));
    for (QChar d : digits)
        out.emplace_back(QString(d) + QStringLiteral(".wav"), QString(d));
    out.emplace_back(QStringLiteral("pts.wav"), points);
    return out;
}

class GameScenario : public GameFixture {
protected:
    void TearDown() override
    {
        watch.reset();
        GameFixture::TearDown();
    }

    // Start-up as the program does it, then the watch on every banner a round can show.
    void startUp(const std::vector<QString> &totals)
    {
        load();
        startUpCues = pf.recorder().names();
        watch = std::make_unique<RoundWatch>(pf, *form);
        for (const char *t : {"Ready?", "Here We Go!", "CLEARED!", "FAILURE", "Total"})
            watch->expectBanner(QString::fromLatin1(t));
        for (const QString &total : totals) {
            const QString digits = QString(total).remove(QLatin1Char(','));
            for (QChar d : digits)
                watch->expectBanner(QString(d));
            watch->expectBanner(total + QStringLiteral(" pts."));
        }
        watch->forget();
    }

    // Clicks the start button; the whole round runs inside the yield that delivers the click.
    void clickStart(std::function<void()> player)
    {
        ASSERT_TRUE(form->cmdStart->isVisible());
        watch->forget();
        watch->player = std::move(player);
        pf.clickAt(pf.tickCount(), QStringLiteral("cmdStart"));
        pf.doEvents();
        watch->player = nullptr;
        ASSERT_FALSE(form->resultWindow.isNull()) << "the click started no round";
    }

    // The clock at the start of the round end: when its outcome cue was asked for.
    QDateTime roundEndTime() const
    {
        for (std::size_t i : watch->indexesOf(QStringLiteral("cleared.wav")))
            return watch->cues()[i].at;
        for (std::size_t i : watch->indexesOf(QStringLiteral("failure.wav")))
            return watch->cues()[i].at;
        return {};
    }

    // The caption as the outcome banner came up (the counts of the last judged key).
    QString captionAtOutcome() const
    {
        for (const QString &cue : {QStringLiteral("cleared.wav"), QStringLiteral("failure.wav")})
            for (std::size_t i : watch->indexesOf(cue))
                return watch->cues()[i].caption;
        return {};
    }

    // A report as the round end writes it; `lines` is everything but line 2.
    QString expectedReport(const std::vector<QString> &lines) const
    {
        QString out = lines.front() + crlf + report::dateTimeText(roundEndTime()) + crlf;
        for (std::size_t i = 1; i < lines.size(); ++i)
            out += lines[i] + crlf;
        return out + crlf;
    }

    // Types wrong keys at every yield of play.
    std::function<void()> sloppyPlayer()
    {
        return [this] {
            if (form->rs.isPlaying && form->picTxt->isVisible())
                pf.typeAt(pf.tickCount(), QStringLiteral("!"));
        };
    }

    // Types `keys` expected characters promptly, then presses Esc.
    std::function<void()> quitter(int keys)
    {
        auto typed = std::make_shared<int>(0);
        const auto prompt = promptPlayer(pf, *form);
        return [this, keys, typed, prompt] {
            if (!form->rs.isPlaying || !form->picTxt->isVisible() || *typed > keys)
                return;
            if (*typed == keys)
                pf.keyAt(pf.tickCount(), Qt::Key_Escape);
            else
                prompt();
            ++*typed;
        };
    }

    std::unique_ptr<RoundWatch> watch;
    std::vector<QString> startUpCues;
};

const std::vector<QString> perfectRound30 = {
    "VX-Clackon! Result", "Num:30", "Spd:30", "[Normal]10", "- CLEARED -", "Perfect\t30", "Great\t0", "Good\t0", "Miss\t0",
    "MaxComb\t30\tx 100pts = 3,000", "Gauge\t20\tx 100pts = 2,000", "Perfect\t1,000", "Total\t399,000pts"};

TEST_F(GameScenario, PromptPlayerClearsThreeRoundsWithThePerfectBonus)
{
    startUp({QStringLiteral("399,000")});
    EXPECT_EQ(startUpCues, repeated(QStringLiteral("gan.wav"), 3));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("VX-Clackon!"));
    EXPECT_TRUE(form->frSetting->isVisible());
    EXPECT_TRUE(form->resultWindow.isNull());

    QString history;
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        clickStart(promptPlayer(pf, *form));

        // 30 Perfect keys in a row: 15,000 points and combo bonuses of 1,000 to 27,000,
        // then 3,000 for the combo, 2,000 for the full gauge and 1,000 for the perfect round.
        const std::vector<QString> cues = openingCues()
            + repeated(QStringLiteral("perfect.wav"), 30) + one("cleared.wav")
            + repeated(QStringLiteral("pi.wav"), 50) + readOutCues(QStringLiteral("399000"));
        EXPECT_EQ(watch->namesFrom(0), cues);
        EXPECT_EQ(watch->bannersWithCues(), roundBanners(true, QStringLiteral("399000"), QStringLiteral("399,000 pts.")));
        EXPECT_EQ(captionAtOutcome(), QStringLiteral("Perf:30 Great:0 Good:0 Miss:0"));
        EXPECT_EQ(form->windowTitle(), QStringLiteral("Total : 399,000"));

        const QString report = expectedReport(perfectRound30);
        EXPECT_EQ(newestReport(*form), report);
        history = report + history;
        EXPECT_EQ(form->resultWindow->text(), history);
        EXPECT_TRUE(form->cmdStart->isVisible());
    }
}

TEST_F(GameScenario, MixedGameStacksItsReportsNewestFirst)
{
    startUp({QStringLiteral("0"), QStringLiteral("1,800"), QStringLiteral("36,500")});

    // Round 1: every key wrong; five misses empty the gauge.
    const int beepsBefore = pf.beeps;
    clickStart(sloppyPlayer());
    EXPECT_EQ(watch->namesFrom(0), openingCues() + repeated(QStringLiteral("miss.wav"), 5)
                                       + one("failure.wav") + readOutCues(QStringLiteral("0")));
    EXPECT_EQ(watch->bannersWithCues(), roundBanners(false, QStringLiteral("0"), QStringLiteral("0 pts.")));
    EXPECT_EQ(pf.beeps - beepsBefore, 5);
    EXPECT_EQ(captionAtOutcome(), QStringLiteral("Perf:0 Great:0 Good:0 Miss:5"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Total : 0"));
    const QString first = expectedReport({"VX-Clackon! Result", "Num:30", "Spd:30", "[Normal]10", "- FAILURE -", "Perfect\t0",
                                          "Great\t0", "Good\t0", "Miss\t5", "MaxComb\t0\tx 100pts = 0",
                                          "Gauge\t0\tx 100pts = 0", "Total\t0pts"});
    EXPECT_EQ(form->resultWindow->text(), first);

    // Round 2: fewer characters, faster, hidden at 50; three keys, then Esc.
    form->vsNt->setValue(100);
    form->vsnS->setValue(95);
    form->chkHidden->setChecked(true);
    form->hscHidP->setValue(50);
    clickStart(quitter(3));
    EXPECT_EQ(watch->namesFrom(0), openingCues()
                                       + repeated(QStringLiteral("perfect.wav"), 3) + one("failure.wav")
                                       + repeated(QStringLiteral("pi.wav"), 3) + readOutCues(QStringLiteral("1800")));
    EXPECT_EQ(watch->bannersWithCues(), roundBanners(false, QStringLiteral("1800"), QStringLiteral("1,800 pts.")));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Total : 1,800"));
    const QString second = expectedReport({"VX-Clackon! Result", "Num:10", "Spd:10", "[Hidden]50", "- FAILURE -",
                                           "Perfect\t3", "Great\t0", "Good\t0", "Miss\t0", "MaxComb\t3\tx 100pts = 300",
                                           "Gauge\t0\tx 100pts = 0", "Total\t1,800pts"});
    EXPECT_EQ(form->resultWindow->text(), second + first);

    // Round 3: the same settings, every key on time: 5,000 for the keys, 28,000 in combo
    // bonuses, 1,000 for the combo, 1,500 for the gauge of 15 and 1,000 for the perfect round.
    clickStart(promptPlayer(pf, *form));
    EXPECT_EQ(watch->namesFrom(0), openingCues()
                                       + repeated(QStringLiteral("perfect.wav"), 10) + one("cleared.wav")
                                       + repeated(QStringLiteral("pi.wav"), 25) + readOutCues(QStringLiteral("36500")));
    EXPECT_EQ(watch->bannersWithCues(), roundBanners(true, QStringLiteral("36500"), QStringLiteral("36,500 pts.")));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Total : 36,500"));
    const QString third = expectedReport({"VX-Clackon! Result", "Num:10", "Spd:10", "[Hidden]50", "- CLEARED -",
                                          "Perfect\t10", "Great\t0", "Good\t0", "Miss\t0", "MaxComb\t10\tx 100pts = 1,000",
                                          "Gauge\t15\tx 100pts = 1,500", "Perfect\t1,000", "Total\t36,500pts"});
    EXPECT_EQ(form->resultWindow->text(), third + second + first);
    EXPECT_EQ(form->resultWindow->txtResult->toPlainText().split(QLatin1Char('\n')),
              reportLines(third + second + first));
}

TEST_F(GameScenario, ClosedResultWindowStartsANewHistoryWithTheNextRound)
{
    startUp({QStringLiteral("0"), QStringLiteral("36,500")});
    form->vsNt->setValue(100);
    form->vsnS->setValue(95);

    clickStart(promptPlayer(pf, *form));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Total : 36,500"));
    clickStart(sloppyPlayer());
    EXPECT_EQ(form->resultWindow->text().count(QStringLiteral("VX-Clackon! Result")), 2);

    form->resultWindow->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(form->resultWindow.isNull());
    EXPECT_TRUE(form->cmdStart->isVisible());

    clickStart(promptPlayer(pf, *form));
    EXPECT_EQ(watch->bannersWithCues(), roundBanners(true, QStringLiteral("36500"), QStringLiteral("36,500 pts.")));
    const QString only = form->resultWindow->text();
    EXPECT_EQ(only.count(QStringLiteral("VX-Clackon! Result")), 1);
    EXPECT_EQ(only, expectedReport({"VX-Clackon! Result", "Num:10", "Spd:10", "[Normal]10", "- CLEARED -", "Perfect\t10",
                                    "Great\t0", "Good\t0", "Miss\t0", "MaxComb\t10\tx 100pts = 1,000",
                                    "Gauge\t15\tx 100pts = 1,500", "Perfect\t1,000", "Total\t36,500pts"}));
}

} // namespace
} // namespace vx::test
