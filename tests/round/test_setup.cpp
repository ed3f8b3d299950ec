#include "fake/GameFixture.h"
#include "platform/Rounding.h"
#include "present/Spinner.h"

#include <QEvent>
#include <QGroupBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <set>

namespace vx::test {
namespace {

const QString keyboardRows = QStringLiteral("1234567890-^\\QWERTYUIOP@[ASDFGHJKL;:]ZXCVBNM,./_");

// What the round looks like when set-up hands it to the round procedure.
struct HandOver {
    RoundState rs;
    QRect txtGeometry, ptsGeometry;
    int txtScaleWidth = 0, txtScaleHeight = 0, ptsScaleHeight = 0;
    double txtFontSize = 0, ptsFontSize = 0;
    Color txtFore = 0, ptsFore = 0;
    bool settingsVisible = true, startVisible = true;
    double seed = -1;
    QString caption;
};

// Runs a click of the start button up to the round's first yield, records the state there
// and ends the round with Esc.
class Setup : public GameFixture {
protected:
    void SetUp() override
    {
        GameFixture::SetUp();
        load();
    }

    // The time of day the next set-up reads: hh:mm:ss exactly.
    void setClock(int h, int m, int s)
    {
        pf.clockTime = QDateTime(QDate(2026, 12, 8), QTime(h, m, s)).addMSecs(-static_cast<qint64>(pf.micros() / 1000));
    }

    HandOver start(std::function<void()> duringRound = {})
    {
        std::optional<HandOver> seen;
        pf.onYield = [&] {
            if (!seen) {
                HandOver h;
                h.rs = form->rs;
                h.txtGeometry = form->picTxt->geometry();
                h.ptsGeometry = form->picPTS->geometry();
                const Surface &txt = form->picTxt->surface();
                const Surface &pts = form->picPTS->surface();
                h.txtScaleWidth = txt.scaleWidth();
                h.txtScaleHeight = txt.scaleHeight();
                h.ptsScaleHeight = pts.scaleHeight();
                h.txtFontSize = txt.fontSize();
                h.ptsFontSize = pts.fontSize();
                h.txtFore = txt.foreColor;
                h.ptsFore = pts.foreColor;
                h.settingsVisible = form->frSetting->isVisible();
                h.startVisible = form->cmdStart->isVisible();
                h.seed = pf.lastSeed;
                h.caption = form->windowTitle();
                seen = h;
            }
            if (duringRound)
                duringRound();
            else
                form->Form_KeyDown(27, 0);
        };
        form->cmdStart_Click();
        pf.onYield = nullptr;
        EXPECT_TRUE(seen.has_value());
        return seen.value_or(HandOver{});
    }
};

// The line a generator seeded with `seed` gives, by the keyboard-row table.
QString expectedLine(double seed, int count)
{
    FakePlatform gen;
    gen.randomize(seed);
    QString line;
    for (int i = 0; i < count; ++i) {
        const int p = static_cast<int>(std::floor(gen.nextRandom() * 48)) + 1;
        line += keyboardRows.at(p - 1);
    }
    return line;
}

TEST_F(Setup, ResetsTheRoundAndLaysOutTheStrips)
{
    // Leftovers of an earlier round, all of which set-up replaces.
    RoundState &rs = form->rs;
    rs.judgeX = 55;
    rs.judgeFade = 3;
    rs.lastKey = QStringLiteral("Q");
    rs.perfectCount = 4;
    rs.greatCount = 3;
    rs.goodCount = 2;
    rs.missCount = 1;
    rs.lastHitTick = 12345;
    rs.score = 800;
    rs.targetText = QStringLiteral("LEFTOVER");
    rs.hitCount = 9;
    rs.missTotal = 1;
    rs.gauge = 17;
    rs.combo = 6;
    rs.maxCombo = 7;
    rs.shownScore = 98765;
    // ...and what it leaves alone.
    rs.judgeText = QStringLiteral("Great!");
    rs.judgeColor = 0x00FF00;
    rs.missFlag = -1;
    form->setWindowTitle(QStringLiteral("Total : 98,765"));

    setClock(21, 30, 42);
    const HandOver h = start();
    const RoundState &r = h.rs;

    EXPECT_EQ(r.targetText, expectedLine(42, 30)) << "30 characters drawn in order from the seeded generator";
    EXPECT_EQ(h.seed, 42) << "seeded with the seconds of the time of day";
    EXPECT_EQ(r.charCount, 30);
    EXPECT_EQ(r.speedSetting, 30);
    EXPECT_FLOAT_EQ(r.textLeft, static_cast<float>(h.txtScaleWidth));
    EXPECT_EQ(r.gauge, 5);
    EXPECT_EQ(r.lastHitTick, 0);
    EXPECT_EQ(r.perfectCount, 0);
    EXPECT_EQ(r.greatCount, 0);
    EXPECT_EQ(r.goodCount, 0);
    EXPECT_EQ(r.missCount, 0);
    EXPECT_EQ(r.hitCount, 0);
    EXPECT_EQ(r.missTotal, 0);
    EXPECT_EQ(r.combo, 0);
    EXPECT_EQ(r.maxCombo, 0);
    EXPECT_EQ(r.shownScore, 0);
    EXPECT_EQ(r.score, 0) << "points judged after the last round's play belong to no round";
    EXPECT_TRUE(r.lastKey.isEmpty());
    EXPECT_EQ(r.judgeFade, 0);
    EXPECT_EQ(r.judgeX, 0);
    EXPECT_EQ(r.judgeText, QStringLiteral("Great!"));
    EXPECT_EQ(r.judgeColor, 0x00FF00);
    EXPECT_EQ(r.missFlag, -1);
    EXPECT_EQ(h.caption, QStringLiteral("Total : 98,765")) << "the caption waits for the first judged key";
    EXPECT_FALSE(h.settingsVisible);
    EXPECT_FALSE(h.startVisible);

    // The strips: text on top across the window, one pixel gap, status strip filling the rest.
    Surface probe(10, 10);
    probe.setFontName(QStringLiteral("ＭＳ Ｐゴシック"));
    probe.setFontBold(true);
    probe.setFontSize(16);
    const int lineHeight = toInt32(probe.textHeight(QStringLiteral("I")));
    ASSERT_GT(lineHeight, 10);
    ASSERT_LT(lineHeight, 60);
    EXPECT_EQ(h.txtGeometry, QRect(0, 0, 366, lineHeight));
    EXPECT_EQ(h.ptsGeometry, QRect(0, lineHeight + 1, 366, 107 - lineHeight - 1));
    EXPECT_EQ(h.txtScaleWidth, 366);
    EXPECT_EQ(h.txtScaleHeight, lineHeight);
    EXPECT_EQ(h.ptsScaleHeight, 107 - lineHeight - 1);
    EXPECT_EQ(h.txtFontSize, 16);
    EXPECT_EQ(h.ptsFontSize, 10);
    EXPECT_EQ(h.txtFore, rgb(0, 255, 255));
    EXPECT_EQ(h.ptsFore, rgb(0, 128, 255));

    // Back to the settings once the round is over.
    EXPECT_TRUE(form->frSetting->isVisible());
    EXPECT_TRUE(form->cmdStart->isVisible());
}

TEST_F(Setup, JudgingIsOnWhenTheStartButtonGoes)
{
    // The start button is the last control set-up hides; judging is already on by then.
    struct HideProbe : QObject {
        frmClackon *form;
        std::optional<bool> playingAtStartHidden, playingAtSettingsHidden;
        bool settingsHiddenFirst = false;
        bool eventFilter(QObject *o, QEvent *e) override
        {
            if (e->type() == QEvent::Hide) {
                if (o == form->frSetting && !playingAtSettingsHidden)
                    playingAtSettingsHidden = form->rs.isPlaying;
                if (o == form->cmdStart && !playingAtStartHidden) {
                    playingAtStartHidden = form->rs.isPlaying;
                    settingsHiddenFirst = form->frSetting->isHidden();
                }
            }
            return false;
        }
    } probe;
    probe.form = form.get();
    form->frSetting->installEventFilter(&probe);
    form->cmdStart->installEventFilter(&probe);
    start();
    ASSERT_TRUE(probe.playingAtStartHidden.has_value());
    EXPECT_TRUE(*probe.playingAtStartHidden);
    EXPECT_EQ(probe.playingAtSettingsHidden, std::optional<bool>(false));
    EXPECT_TRUE(probe.settingsHiddenFirst);
}

TEST_F(Setup, LineLengthAndPaceFollowTheSpinners)
{
    struct Case {
        int vsNt, vsnS;
        int chars, pace;
    };
    const std::vector<Case> cases = {{80, 75, 30, 30}, {10, 5, 100, 100}, {100, 100, 10, 5}, {57, 41, 53, 64}};
    for (const Case &c : cases) {
        form->vsNt->setValue(c.vsNt);
        form->vsnS->setValue(c.vsnS);
        setClock(8, 0, 17);
        const HandOver h = start();
        SCOPED_TRACE(c.chars);
        EXPECT_EQ(h.rs.targetText.size(), c.chars);
        EXPECT_EQ(h.rs.targetText, expectedLine(17, c.chars));
        EXPECT_EQ(h.rs.charCount, c.chars);
        EXPECT_EQ(h.rs.speedSetting, c.pace);
        for (const QChar ch : h.rs.targetText)
            EXPECT_TRUE(keyboardRows.contains(ch)) << int(ch.unicode());
    }
}

TEST_F(Setup, ASecondRoundStartsFromNothing)
{
    // The first round: type correctly for a while, then Esc.
    int typed = 0;
    start([&] {
        RoundState &rs = form->rs;
        if (!rs.isPlaying || rs.targetText.isEmpty())
            return;
        if (typed < 6) {
            ++typed;
            form->Form_KeyPress(rs.targetText.at(0).unicode());
        } else {
            form->Form_KeyDown(27, 0);
        }
    });
    ASSERT_EQ(typed, 6);
    ASSERT_GT(form->rs.shownScore, 0);
    ASSERT_GT(form->rs.maxCombo, 0);
    // Points judged after play ended (during the outcome banner) would be left pending.
    form->rs.score = 300;

    const HandOver second = start();
    EXPECT_EQ(second.rs.shownScore, 0);
    EXPECT_EQ(second.rs.score, 0);
    EXPECT_EQ(second.rs.maxCombo, 0);
    EXPECT_EQ(second.rs.perfectCount + second.rs.greatCount + second.rs.goodCount + second.rs.missCount, 0);
    EXPECT_EQ(second.rs.gauge, 5);
    EXPECT_EQ(second.rs.targetText.size(), 30);
}

TEST_F(Setup, EveryRowCharacterIsDrawnAsOftenAsAnyOther)
{
    form->vsNt->setValue(10); // 100 characters a round
    std::map<QChar, int> counts;
    std::set<QString> lines;
    int total = 0;
    // The generator is seeded by the second of the minute, so there are 60 different lines.
    for (int second = 0; second < 60; ++second) {
        setClock(12, 0, second);
        const HandOver h = start();
        ASSERT_EQ(h.rs.targetText.size(), 100);
        lines.insert(h.rs.targetText);
        for (const QChar ch : h.rs.targetText) {
            ASSERT_TRUE(keyboardRows.contains(ch)) << int(ch.unicode());
            ++counts[ch];
            ++total;
        }
    }
    EXPECT_EQ(lines.size(), 60u);
    ASSERT_EQ(counts.size(), 48u) << "every character turns up";
    const double expected = total / 48.0;
    double chi2 = 0;
    for (const auto &[ch, n] : counts)
        chi2 += (n - expected) * (n - expected) / expected;
    // 47 degrees of freedom; 82.7 is the 0.1 % tail.
    EXPECT_LT(chi2, 82.7);
}

} // namespace
} // namespace vx::test
