#include "fake/GameFixture.h"
#include "platform/Rounding.h"
#include "present/Spinner.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QWindow>

#include <gtest/gtest.h>

#include <optional>
#include <random>

QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_handleKeyEvent(QWindow *w, QEvent::Type t, int k, Qt::KeyboardModifiers mods,
                                    const QString &text = QString(), bool autorep = false, ushort count = 1);
QT_END_NAMESPACE

namespace vx::test {
namespace {

const QString keyboardRows = QStringLiteral("1234567890-^\\QWERTYUIOP@[ASDFGHJKL;:]ZXCVBNM,./_");

// The record's rules that hold after every key.
void expectInvariants(const RoundState &rs)
{
    EXPECT_EQ(rs.hitCount, rs.perfectCount + rs.greatCount + rs.goodCount);
    EXPECT_EQ(rs.missTotal, rs.missCount);
    EXPECT_LE(rs.combo, rs.maxCombo);
    EXPECT_LE(rs.gauge, 20);
}

// A round in play, as set-up and the round procedure leave it, with the handlers called directly.
class KeyJudgement : public GameFixture {
protected:
    void SetUp() override
    {
        GameFixture::SetUp();
        prepare();
    }

    // A fresh round on the same window: the line at x = 120, nothing judged yet.
    void prepare()
    {
        Surface &txt = form->picTxt->surface();
        txt.setFontSize(16);
        form->picTxt->moveTo(0, 0, 366, toInt32(txt.textHeight()));
        txt.setBackColor(rgb(0, 0, 0));
        form->rs = RoundState{};
        RoundState &rs = form->rs;
        rs.isPlaying = true;
        rs.targetText = QStringLiteral("QWERTYUIOP");
        rs.textLeft = 120;
        rs.gauge = 5;
        rs.lastHitTick = 0;
        form->setWindowTitle(QStringLiteral("VX-Clackon!"));
    }

    RoundState &rs() { return form->rs; }
    std::int32_t tick() { return static_cast<std::int32_t>(pf.tickCount()); }
    double width(const QString &ch) { return form->picTxt->surface().textWidth(ch); }
    // Makes the last judged key `ms` milliseconds old.
    void lastKeyAgo(std::int32_t ms) { rs().lastHitTick = tick() - ms; }
    void press(char32_t c)
    {
        form->Form_KeyPress(c);
        expectInvariants(rs());
    }
};

TEST_F(KeyJudgement, HitsAreJudgedByTheTimeSinceTheLastJudgedKey)
{
    struct Case {
        std::optional<std::int32_t> elapsed; // none: the first key of the round
        const char *text;
        double points;
        const char *sound;
        std::int32_t color;
        int perfect, great, good;
        int combo;
    };
    const std::vector<Case> cases = {
        {std::nullopt, "Perfect!", 500, "perfect.wav", 0x00FFFF, 1, 0, 0, 1},
        {0, "Perfect!", 500, "perfect.wav", 0x00FFFF, 1, 0, 0, 1},
        {499, "Perfect!", 500, "perfect.wav", 0x00FFFF, 1, 0, 0, 1},
        {500, "Great!", 300, "great.wav", 0x00FF00, 0, 1, 0, 1},
        {1999, "Great!", 300, "great.wav", 0x00FF00, 0, 1, 0, 1},
        {2000, "Good!", 100, "good.wav", 0xFF0000, 0, 0, 1, 0},
        {5000, "Good!", 100, "good.wav", 0xFF0000, 0, 0, 1, 0},
        {-300, "Perfect!", 500, "perfect.wav", 0x00FFFF, 1, 0, 0, 1}, // a clock that stepped back
    };
    for (const Case &c : cases) {
        prepare();
        SCOPED_TRACE(c.elapsed ? std::to_string(*c.elapsed) + " ms" : std::string("first key"));
        if (c.elapsed)
            lastKeyAgo(*c.elapsed);
        rs().score = 0;
        const std::size_t sounds = pf.recorder().requests.size();
        const int beeps = pf.beeps;
        const double expectedLeft = 120 + width(QStringLiteral("Q"));

        press(U'Q');

        EXPECT_EQ(rs().judgeText, QString::fromLatin1(c.text));
        EXPECT_EQ(rs().judgeColor, c.color);
        EXPECT_EQ(rs().score, c.points);
        EXPECT_EQ(rs().perfectCount, c.perfect);
        EXPECT_EQ(rs().greatCount, c.great);
        EXPECT_EQ(rs().goodCount, c.good);
        EXPECT_EQ(rs().missCount, 0);
        EXPECT_EQ(rs().hitCount, 1);
        EXPECT_EQ(rs().combo, c.combo);
        ASSERT_EQ(pf.recorder().requests.size(), sounds + 1);
        EXPECT_EQ(pf.recorder().requests.back().name, QString::fromLatin1(c.sound));
        EXPECT_EQ(pf.recorder().requests.back().flags, SndAsync | SndNoDefault);
        EXPECT_EQ(pf.beeps, beeps) << "only a miss beeps";
        EXPECT_EQ(rs().lastHitTick, tick());
        EXPECT_EQ(rs().lastKey, QStringLiteral("Q"));
        EXPECT_EQ(rs().judgeX, 120) << "where the line stood at the key";
        EXPECT_EQ(rs().judgeFade, 1.0f);
        EXPECT_EQ(rs().missFlag, 0);
        EXPECT_FLOAT_EQ(rs().textLeft, static_cast<float>(expectedLeft));
        EXPECT_EQ(rs().targetText, QStringLiteral("WERTYUIOP"));
        EXPECT_EQ(rs().gauge, 6);
        EXPECT_TRUE(rs().isPlaying);
        EXPECT_EQ(form->windowTitle(),
                  QStringLiteral("Perf:%1 Great:%2 Good:%3 Miss:0").arg(c.perfect).arg(c.great).arg(c.good));
    }
}

TEST_F(KeyJudgement, ElapsedIsMeasuredAcrossTheWrapOfTheTickCounter)
{
    struct Case {
        std::int32_t elapsed;
        const char *text;
    };
    for (const Case &c : {Case{400, "Perfect!"}, Case{1500, "Great!"}, Case{2500, "Good!"}}) {
        FakePlatform wrapping(0xFFFF'FFF0u);
        frmClackon f(wrapping);
        f.rs.isPlaying = true;
        f.rs.targetText = QStringLiteral("AB");
        f.rs.textLeft = 50;
        f.rs.gauge = 5;
        wrapping.sleep(c.elapsed);
        f.rs.lastHitTick = static_cast<std::int32_t>(wrapping.tickCount() - static_cast<std::uint32_t>(c.elapsed));
        ASSERT_LT(wrapping.tickCount(), 0x1000'0000u) << "the counter has wrapped since";
        ASSERT_GT(static_cast<std::uint32_t>(f.rs.lastHitTick), 0xFFFF'0000u) << "the last key came before the wrap";
        f.Form_KeyPress(U'a');
        EXPECT_EQ(f.rs.judgeText, QString::fromLatin1(c.text)) << c.elapsed;
    }
}

TEST_F(KeyJudgement, ComboBonusGrowsFromTheFourthHitAndAGoodEndsTheRun)
{
    rs().targetText = QStringLiteral("QWERTYUIOPASDF");
    struct Step {
        std::int32_t elapsed;
        double gained;
        int combo, maxCombo;
    };
    const std::vector<Step> steps = {
        {100, 500, 1, 1},
        {100, 500, 2, 2},
        {800, 300, 3, 3},
        {100, 500 + 1000, 4, 4},
        {700, 300 + 2000, 5, 5},
        {100, 500 + 3000, 6, 6},
        {2500, 100, 0, 6},  // Good: no bonus, the run is over
        {100, 500, 1, 6},   // and the next building hit starts again at 1
        {100, 500, 2, 6},
        {100, 500, 3, 6},
        {100, 500 + 1000, 4, 6},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(i);
        lastKeyAgo(steps[i].elapsed);
        const double before = rs().score;
        press(rs().targetText.at(0).unicode());
        EXPECT_EQ(rs().score - before, steps[i].gained);
        EXPECT_EQ(rs().combo, steps[i].combo);
        EXPECT_EQ(rs().maxCombo, steps[i].maxCombo);
    }
    EXPECT_EQ(rs().hitCount, 11);
}

TEST_F(KeyJudgement, LineAtOrPastTheLeftEdgeNeitherBuildsNorBreaksTheCombo)
{
    const double w = width(QStringLiteral("Q"));
    ASSERT_GT(w, 1);
    struct Case {
        const char *name;
        double left;
        std::int32_t elapsed;
        int combo;
        double gained;
    };
    const std::vector<Case> cases = {
        {"far past the edge", -100, 100, 3, 500},
        {"advance lands exactly on the edge", -w, 100, 3, 500},
        {"advance brings it back in", -w + 0.5, 100, 4, 500 + 1000},
        {"Good still ends the run", -100, 3000, 0, 100},
        {"Great keeps it", -100, 1000, 3, 300},
    };
    for (const Case &c : cases) {
        prepare();
        SCOPED_TRACE(c.name);
        rs().textLeft = static_cast<float>(c.left);
        rs().combo = 3;
        rs().maxCombo = 3;
        rs().gauge = 7;
        lastKeyAgo(c.elapsed);
        press(U'Q');
        EXPECT_EQ(rs().combo, c.combo);
        EXPECT_EQ(rs().score, c.gained);
        EXPECT_EQ(rs().gauge, 8) << "a hit always feeds the gauge";
        EXPECT_EQ(rs().targetText, QStringLiteral("WERTYUIOP"));
    }
}

TEST_F(KeyJudgement, GaugeLimitsAndTheMissThatStopsJudging)
{
    struct Case {
        const char *name;
        char32_t key;
        int gaugeBefore;
        int gaugeAfter;
        bool playingAfter;
    };
    const std::vector<Case> cases = {
        {"hit at the top", U'Q', 20, 20, true},
        {"hit below the top", U'Q', 19, 20, true},
        {"miss at 2", U'X', 2, 1, true},
        {"miss at 1 empties it", U'X', 1, 0, false},
        {"miss at 0 while still judging", U'X', 0, -1, true},
        {"miss below 0", U'X', -1, -2, true},
    };
    for (const Case &c : cases) {
        prepare();
        SCOPED_TRACE(c.name);
        rs().gauge = static_cast<std::int16_t>(c.gaugeBefore);
        press(c.key);
        EXPECT_EQ(rs().gauge, c.gaugeAfter);
        EXPECT_EQ(rs().isPlaying, c.playingAfter);
    }
}

TEST_F(KeyJudgement, MissIsJudgedAndShown)
{
    rs().combo = 2;
    rs().maxCombo = 5;
    const std::int32_t t0 = tick();
    press(U'a');
    EXPECT_EQ(rs().judgeText, QStringLiteral("A : MISS!"));
    EXPECT_EQ(rs().judgeColor, 0x0000FF);
    EXPECT_EQ(rs().lastKey, QStringLiteral("A"));
    EXPECT_EQ(rs().missFlag, -1);
    EXPECT_EQ(rs().missCount, 1);
    EXPECT_EQ(rs().missTotal, 1);
    EXPECT_EQ(rs().hitCount, 0);
    EXPECT_EQ(rs().combo, 0);
    EXPECT_EQ(rs().maxCombo, 5);
    EXPECT_EQ(rs().gauge, 4);
    EXPECT_EQ(rs().score, 0);
    EXPECT_EQ(rs().targetText, QStringLiteral("QWERTYUIOP")) << "a miss does not move the line";
    EXPECT_EQ(rs().textLeft, 120);
    EXPECT_EQ(rs().judgeX, 120);
    EXPECT_EQ(rs().lastHitTick, t0) << "a miss before the first hit starts the clock";
    EXPECT_EQ(pf.beeps, 1);
    ASSERT_FALSE(pf.recorder().requests.empty());
    EXPECT_EQ(pf.recorder().requests.back().name, QStringLiteral("miss.wav"));
    EXPECT_EQ(pf.recorder().requests.back().flags, SndAsync | SndNoDefault);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Perf:0 Great:0 Good:0 Miss:1"));

    // The next hit is timed from that miss, not taken as a first key.
    pf.sleep(600);
    press(U'Q');
    EXPECT_EQ(rs().judgeText, QStringLiteral("Great!"));
    EXPECT_EQ(rs().missFlag, 0);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Perf:0 Great:1 Good:0 Miss:1"));
}

TEST_F(KeyJudgement, KeysThatAreNotTheNextCharacterAreMisses)
{
    struct Case {
        const char *name;
        QString target;
        char32_t key;
        QString judgeText;
    };
    const std::vector<Case> cases = {
        {"letter out of turn", QStringLiteral("QW"), U'W', QStringLiteral("W : MISS!")},
        {"space", QStringLiteral("QW"), U' ', QStringLiteral("  : MISS!")},
        {"Enter", QStringLiteral("QW"), U'\r', QStringLiteral("\r : MISS!")},
        {"Backspace", QStringLiteral("QW"), U'\b', QStringLiteral("\b : MISS!")},
        {"shifted symbol", QStringLiteral("1W"), U'!', QStringLiteral("! : MISS!")},
        {"empty line", QString(), U'Q', QStringLiteral("Q : MISS!")},
        {"NUL against an empty line", QString(), U'\0', QString(QChar(0)) + QStringLiteral(" : MISS!")},
        {"outside the code page", QStringLiteral("QW"), U'\U0001F600', QStringLiteral("\U0001F600 : MISS!")},
    };
    for (const Case &c : cases) {
        prepare();
        SCOPED_TRACE(c.name);
        rs().targetText = c.target;
        press(c.key);
        EXPECT_EQ(rs().missCount, 1);
        EXPECT_EQ(rs().hitCount, 0);
        EXPECT_EQ(rs().judgeText, c.judgeText);
        EXPECT_EQ(rs().targetText, c.target);
    }
}

TEST_F(KeyJudgement, LowerCaseMatchesTheUpperCaseCharacter)
{
    rs().targetText = QStringLiteral("QZ@");
    press(U'q');
    EXPECT_EQ(rs().hitCount, 1);
    EXPECT_EQ(rs().lastKey, QStringLiteral("Q"));
    press(U'z');
    EXPECT_EQ(rs().hitCount, 2);
    EXPECT_EQ(rs().lastKey, QStringLiteral("Z"));
    press(U'@');
    EXPECT_EQ(rs().hitCount, 3);
    EXPECT_TRUE(rs().targetText.isEmpty());
    EXPECT_EQ(rs().missCount, 0);
}

TEST_F(KeyJudgement, NothingChangesWhileJudgingIsOff)
{
    rs().isPlaying = false;
    rs().lastKey = QStringLiteral("E");
    rs().judgeText = QStringLiteral("Great!");
    rs().combo = 2;
    rs().maxCombo = 2;
    form->setWindowTitle(QStringLiteral("Total : 1,200"));
    form->picTxt->surface().filledBox(0, 0, 10, 5, rgb(0, 255, 0));
    const RoundState before = rs();
    const QImage image = form->picTxt->surface().image();

    for (const char32_t key : {U'Q', U'q', U'x', U'\x1b', U' '})
        form->Form_KeyPress(key);

    const RoundState &after = rs();
    EXPECT_EQ(after.lastKey, before.lastKey);
    EXPECT_EQ(after.judgeText, before.judgeText);
    EXPECT_EQ(after.targetText, before.targetText);
    EXPECT_EQ(after.textLeft, before.textLeft);
    EXPECT_EQ(after.judgeX, before.judgeX);
    EXPECT_EQ(after.judgeFade, before.judgeFade);
    EXPECT_EQ(after.hitCount, 0);
    EXPECT_EQ(after.missCount, 0);
    EXPECT_EQ(after.gauge, before.gauge);
    EXPECT_EQ(after.combo, before.combo);
    EXPECT_EQ(after.score, before.score);
    EXPECT_EQ(after.lastHitTick, before.lastHitTick);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Total : 1,200"));
    EXPECT_TRUE(pf.recorder().requests.empty());
    EXPECT_EQ(pf.beeps, 0);
    EXPECT_EQ(form->picTxt->surface().image(), image) << "no flash";
}

TEST_F(KeyJudgement, EscStopsJudgingAndEmptiesTheGauge)
{
    struct Case {
        int key;
        bool playingBefore;
        bool playingAfter;
        int gaugeAfter;
    };
    const std::vector<Case> cases = {
        {27, true, false, 0},
        {27, false, false, 0}, // whether or not a round is running
        {13, true, true, 9},
        {65, true, true, 9},
        {0, true, true, 9},
    };
    for (const Case &c : cases) {
        prepare();
        SCOPED_TRACE(c.key);
        rs().isPlaying = c.playingBefore;
        rs().gauge = 9;
        const QString caption = form->windowTitle();
        form->Form_KeyDown(c.key, 0);
        EXPECT_EQ(rs().isPlaying, c.playingAfter);
        EXPECT_EQ(rs().gauge, c.gaugeAfter);
        EXPECT_EQ(rs().missCount, 0);
        EXPECT_EQ(rs().targetText, QStringLiteral("QWERTYUIOP"));
        EXPECT_EQ(form->windowTitle(), caption);
    }
}

TEST_F(KeyJudgement, MissFlashesTheStripRedUntilTheNextPassPresentsItBlack)
{
    form->show();
    form->picTxt->show();
    for (int i = 0; i < 50 && !(form->windowHandle() && form->windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    form->picTxt->surface().filledBox(0, 0, 50, 10, rgb(0, 255, 255));

    // What the strip shows at each repaint.
    struct PaintProbe : QObject {
        SurfaceView *view;
        std::vector<QRgb> shown;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Paint)
                shown.push_back(view->surface().image().pixel(3, 3));
            return false;
        }
    } probe;
    probe.view = form->picTxt;
    form->picTxt->installEventFilter(&probe);

    press(U'X');
    EXPECT_EQ(probe.shown, (std::vector<QRgb>{qRgb(255, 0, 0)}))
        << "the red is presented at once and stays on screen until the next pass";
    // The next redraw pass presents what the strip then holds.
    form->picTxt->refresh();
    form->picTxt->removeEventFilter(&probe);
    EXPECT_EQ(probe.shown, (std::vector<QRgb>{qRgb(255, 0, 0), qRgb(0, 0, 0)}));
    const Surface &s = form->picTxt->surface();
    for (int y = 0; y < s.image().height(); ++y)
        for (int x = 0; x < s.image().width(); ++x)
            ASSERT_EQ(s.image().pixel(x, y), qRgb(0, 0, 0)) << x << "," << y;
    EXPECT_EQ(s.backColor(), rgb(0, 0, 0));
    EXPECT_EQ(pf.beeps, 1);
}

// Keys from the window system go to whatever control has focus; each character is judged once.
class KeyRouting : public KeyJudgement {
protected:
    void SetUp() override
    {
        KeyJudgement::SetUp();
        showSettings();
    }
};

TEST_F(KeyRouting, EveryCharacterOfAKeyEventReachesTheHandlerOnce)
{
    struct Case {
        const char *name;
        QWidget *focus;
        QString text;
        int hits, misses;
        QString left;
    };
    const std::vector<Case> cases = {
        {"check box, one key", form->chkHidden, QStringLiteral("q"), 1, 0, QStringLiteral("WERTYUIOP")},
        {"check box, three characters", form->chkHidden, QStringLiteral("qwX"), 2, 1, QStringLiteral("ERTYUIOP")},
        {"scroll bar", form->hscHidP, QStringLiteral("QW"), 2, 0, QStringLiteral("ERTYUIOP")},
        {"spinner", form->vsNt, QStringLiteral("q"), 1, 0, QStringLiteral("WERTYUIOP")},
        {"button", form->cmdStart, QStringLiteral("q"), 1, 0, QStringLiteral("WERTYUIOP")},
        {"no control", nullptr, QStringLiteral("q"), 1, 0, QStringLiteral("WERTYUIOP")},
        {"one character beyond 16 bits", form->chkHidden, QStringLiteral("\U0001F600"), 0, 1, QStringLiteral("QWERTYUIOP")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool windowSystem : {false, true}) {
            SCOPED_TRACE(windowSystem ? "through the window system" : "sent to the control");
            prepare();
            rs().gauge = 10;
            if (c.focus) {
                c.focus->setFocus(Qt::TabFocusReason);
                ASSERT_TRUE(c.focus->hasFocus());
            } else if (QWidget *f = QApplication::focusWidget()) {
                f->clearFocus();
            }
            QWidget *receiver = c.focus ? c.focus : form.get();
            if (windowSystem) {
                qt_handleKeyEvent(form->windowHandle(), QEvent::KeyPress, 0, Qt::NoModifier, c.text);
                qt_handleKeyEvent(form->windowHandle(), QEvent::KeyRelease, 0, Qt::NoModifier, c.text);
                QCoreApplication::processEvents();
            } else {
                QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, c.text);
                QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, c.text);
                QApplication::sendEvent(receiver, &press);
                QApplication::sendEvent(receiver, &release);
            }
            EXPECT_EQ(rs().hitCount, c.hits);
            EXPECT_EQ(rs().missCount, c.misses);
            EXPECT_EQ(rs().targetText, c.left);
            EXPECT_EQ(form->hscHidP->value(), 10) << "the control itself took no key";
            EXPECT_FALSE(form->chkHidden->isChecked());
        }
    }
}

TEST_F(KeyRouting, EscReachesTheKeyDownHandlerFromAnyControl)
{
    for (QWidget *focus : {static_cast<QWidget *>(form->chkHidden), static_cast<QWidget *>(form->hscHidP)}) {
        prepare();
        focus->setFocus(Qt::TabFocusReason);
        qt_handleKeyEvent(form->windowHandle(), QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b"));
        qt_handleKeyEvent(form->windowHandle(), QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b"));
        QCoreApplication::processEvents();
        EXPECT_FALSE(rs().isPlaying);
        EXPECT_EQ(rs().gauge, 0);
        EXPECT_EQ(rs().missCount, 0) << "the Esc character that follows is not judged";
    }
}

// A flood of arbitrary key texts into a running round: the record's rules hold after every key.
class KeyFlood : public GameFixture {};

char32_t randomCodePoint(std::mt19937 &gen, const QString &target)
{
    std::uniform_int_distribution<int> kind(0, 99);
    const int k = kind(gen);
    const auto in = [&](char32_t lo, char32_t hi) { return std::uniform_int_distribution<char32_t>(lo, hi)(gen); };
    // Mostly the right key, so the gauge holds and judging stays on.
    if (k < 65 && !target.isEmpty()) {
        const QChar next = target.at(0);
        return (k % 2) ? next.toLower().unicode() : next.unicode();
    }
    if (k < 72)
        return k == 71 ? U'\x7f' : in(0, 31);
    if (k < 80)
        return in(32, 126);
    if (k < 92) {
        char32_t c;
        do
            c = in(0x80, 0xFFFF);
        while (c >= 0xD800 && c <= 0xDFFF);
        return c;
    }
    return in(0x10000, 0x10FFFF);
}

TEST_F(KeyFlood, RandomUnicodeKeysKeepTheRoundConsistent)
{
    load();
    form->vsNt->setValue(10);  // 100 characters
    form->vsnS->setValue(5);   // the slowest pace, so the line stays on the strip
    std::mt19937 gen(20261208);
    constexpr int totalKeys = 100'000;
    constexpr int rounds = 4;
    int fed = 0;
    int hits = 0;
    int checked = 0;

    int attempts = 0;
    for (int round = 0; round < rounds; ++round) {
        ASSERT_LT(++attempts, 20);
        int fedThisRound = 0;
        bool started = false;
        pf.onYield = [&] {
            RoundState &rs = form->rs;
            started = started || rs.isPlaying;
            if (!started)
                return; // the opening banners
            if (!rs.isPlaying || fedThisRound >= totalKeys / rounds || ::testing::Test::HasFailure()) {
                form->Form_KeyDown(27, 0);
                return;
            }
            // The miss flash is the costly part; after a first stretch with the strip on screen, run hidden.
            if (fed > 3000)
                form->picTxt->setVisible(false);
            while (fedThisRound < totalKeys / rounds) {
                // A key event's text: one to three characters.
                const int length = std::uniform_int_distribution<int>(1, 3)(gen);
                for (int i = 0; i < length; ++i) {
                    // Keep a line to type at, as a longer round would.
                    if (rs.targetText.size() < 3)
                        rs.targetText += keyboardRows.at(std::uniform_int_distribution<int>(0, 47)(gen));
                    const int hitsBefore = rs.hitCount;
                    form->Form_KeyPress(randomCodePoint(gen, rs.targetText));
                    hits += rs.hitCount - hitsBefore;
                    ++fed;
                    ++fedThisRound;
                    ASSERT_EQ(rs.hitCount, rs.perfectCount + rs.greatCount + rs.goodCount) << "key " << fed;
                    ASSERT_EQ(rs.missTotal, rs.missCount) << "key " << fed;
                    ASSERT_LE(rs.combo, rs.maxCombo) << "key " << fed;
                    ASSERT_LE(rs.gauge, 20) << "key " << fed;
                    ++checked;
                }
                if (std::uniform_int_distribution<int>(0, 9)(gen) == 0)
                    form->Form_KeyDown(std::uniform_int_distribution<int>(0, 26)(gen), 0);
                if (!rs.isPlaying) {
                    EXPECT_LE(rs.gauge, 0);
                    return; // let the round end; the next one takes the rest
                }
                if (fedThisRound % 2000 == 0)
                    return; // let the play loop run a pass now and then
            }
        };
        form->cmdStart_Click();
        pf.onYield = nullptr;
        for (const QChar ch : form->rs.targetText)
            ASSERT_TRUE(keyboardRows.contains(ch));
        expectInvariants(form->rs);
        ASSERT_TRUE(form->cmdStart->isVisible()) << "the round came back to the settings";
        if (fedThisRound < totalKeys / rounds)
            --round; // a round lost early gets a successor
        ASSERT_LT(pf.yields, 10'000'000);
    }
    EXPECT_GE(fed, totalKeys);
    EXPECT_EQ(checked, fed);
    EXPECT_GT(hits, totalKeys / 3);
}

} // namespace
} // namespace vx::test
