#include "fake/FakePlatform.h"
#include "fake/WidgetProbe.h"
#include "present/BannerProbe.h"
#include "present/Spinner.h"
#include "round/frmClackon.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <memory>

namespace vx::test {
namespace {

// The fake machine, with a look at every Sleep: the fake's own clock and script do the rest.
class SleepWatch final : public Platform {
public:
    explicit SleepWatch(FakePlatform &fake)
        : fake_(fake)
    {
    }
    std::uint32_t tickCount() override { return fake_.tickCount(); }
    void sleep(int ms) override
    {
        if (onSleep)
            onSleep(ms);
        fake_.sleep(ms);
    }
    void waitUntil(std::uint32_t tick) override { fake_.waitUntil(tick); }
    void doEvents() override { fake_.doEvents(); }
    void answerWindowSystem() override { fake_.answerWindowSystem(); }
    void randomize(double seed) override { fake_.randomize(seed); }
    double nextRandom() override { return fake_.nextRandom(); }
    QDateTime now() override { return fake_.now(); }
    [[noreturn]] void end() override { fake_.end(); }
    void beep() override { fake_.beep(); }
    SoundOutput &sound() override { return fake_.sound(); }

    std::function<void(int)> onSleep;

private:
    FakePlatform &fake_;
};

class MainEvents : public ::testing::Test {
protected:
    void SetUp() override
    {
        bannerBusy = false;
        form = std::make_unique<frmClackon>(watch);
        pf.target = form.get();
    }
    void TearDown() override
    {
        form.reset();
        screenForm = nullptr;
        bannerBusy = false;
    }

    FakePlatform pf;
    SleepWatch watch{pf};
    std::unique_ptr<frmClackon> form;
};

void expectLasts(std::int32_t measured, double ms, const char *phase)
{
    EXPECT_GE(measured, ms - 1) << phase;
    EXPECT_LE(measured, ms + 32) << phase;
}

TEST_F(MainEvents, LoadPlaysTheIntroThenRevealsTheSettings)
{
    struct Pause {
        int ms;
        std::uint32_t tick;
        QImage picture;
        bool settingsHidden;
    };
    std::vector<Pause> pauses;
    watch.onSleep = [&](int ms) {
        pauses.push_back({ms, pf.tickCount(), form->surface().image().copy(),
                          form->frSetting->isHidden() && form->cmdStart->isHidden()});
    };
    int yields = 0, settingsShownInYield = 0;
    pf.onYield = [&] {
        ++yields;
        if (!form->frSetting->isHidden() || !form->cmdStart->isHidden())
            ++settingsShownInYield;
    };
    const std::uint32_t start = pf.tickCount();

    form->Form_Load();
    const std::uint32_t end = pf.tickCount();

    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(screenForm, static_cast<BannerScreen *>(form.get()));
    EXPECT_FALSE(bannerBusy);

    const Surface &s = form->surface();
    ASSERT_EQ(s.devicePixelRatio(), 1.0);
    const int W = s.scaleWidth(), H = s.scaleHeight();
    struct Intro {
        QString text;
        bool drop;
    };
    const std::vector<Intro> intro = {
        {QStringLiteral("Welcome to"), false}, {QStringLiteral("VX"), true}, {QStringLiteral("Clackon!"), true}};

    // Three pauses: after "Welcome to" and "VX", which stay, and inside "Clackon!" before it slides out.
    ASSERT_EQ(pauses.size(), 3u);
    const auto gan = [&] {
        std::vector<SoundRequest> out;
        for (const auto &r : pf.recorder().requests)
            if (r.name == QLatin1String("gan.wav"))
                out.push_back(r);
        return out;
    }();
    ASSERT_EQ(gan.size(), 3u) << "each intro banner lands with the impact";
    EXPECT_EQ(pf.recorder().requests.size(), 3u);
    std::uint32_t bannerStart = start;
    for (std::size_t i = 0; i < intro.size(); ++i) {
        SCOPED_TRACE(intro[i].text.toStdString());
        const BannerGeometry g = bannerGeometry(intro[i].text, W, H);
        EXPECT_EQ(pauses[i].ms, 500);
        EXPECT_TRUE(pauses[i].settingsHidden);
        EXPECT_EQ(mismatches(pauses[i].picture, textInk(intro[i].text, g.W, g.W, g.H, g.Y), g.W, g.X, 0), 0)
            << "the text rests centred when the pause begins";
        EXPECT_EQ(gan[i].flags, 3u);
        expectLasts(tickDiff(gan[i].tick, bannerStart), intro[i].drop ? dropMs(g) : slideInMs(g), "entrance");
        expectLasts(tickDiff(pauses[i].tick, gan[i].tick), 100, "shake");
        bannerStart = pauses[i].tick + 500;
    }
    // "Clackon!" leaves: after its pause it slides out and the surface is cleared.
    expectLasts(tickDiff(end, bannerStart), slideOutMs(bannerGeometry(intro[2].text, W, H)), "slide-out");
    EXPECT_TRUE(allBlack(s.image()));

    EXPECT_GT(yields, 0);
    EXPECT_EQ(settingsShownInYield, 0) << "settings stay hidden while the intro runs";
    EXPECT_TRUE(form->frSetting->isVisible());
    EXPECT_TRUE(form->cmdStart->isVisible());

    const std::array<QString, 4> rows = {QStringLiteral("1234567890-^\\"), QStringLiteral("QWERTYUIOP@["),
                                         QStringLiteral("ASDFGHJKL;:]"), QStringLiteral("ZXCVBNM,./_")};
    EXPECT_EQ(form->rs.keyRows, rows);
    EXPECT_EQ(form->rs.speedSetting, 30);
    EXPECT_EQ(form->rs.charCount, 30);
    EXPECT_EQ(form->lblnSpd->text(), QStringLiteral("30"));
    EXPECT_EQ(form->lblnumTxts->text(), QStringLiteral("30"));
    EXPECT_EQ(form->lblhid->text(), QStringLiteral("10"));
}

TEST_F(MainEvents, LoadReadsTheSettingsFromTheBars)
{
    for (QScrollBar *bar : {static_cast<QScrollBar *>(form->vsnS), static_cast<QScrollBar *>(form->vsNt)})
        bar->blockSignals(true);
    form->vsnS->setValue(50);
    form->vsNt->setValue(20);
    for (QScrollBar *bar : {static_cast<QScrollBar *>(form->vsnS), static_cast<QScrollBar *>(form->vsNt)})
        bar->blockSignals(false);

    form->Form_Load();

    EXPECT_EQ(form->rs.speedSetting, 55);
    EXPECT_EQ(form->rs.charCount, 90);
}

void click(QWidget *w, QPoint at)
{
    const QPointF global = w->mapToGlobal(QPointF(at));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

TEST_F(MainEvents, SpeedAndLengthLabelsAndSettingsFollowTheirBars)
{
    form->Form_Load();
    struct Case {
        const char *what;
        std::function<void()> act;
        QLabel *label;
        const char *shown;
        std::function<int()> field;
        int expected;
    };
    const auto charCount = [&] { return int(form->rs.charCount); };
    const auto speed = [&] { return int(form->rs.speedSetting); };
    const std::vector<Case> cases = {
        {"vsNt up arrow", [&] { click(form->vsNt, form->vsNt->partRect(Spinner::Part::Up).center()); }, form->lblnumTxts, "31", charCount, 31},
        {"vsNt down arrow", [&] { click(form->vsNt, form->vsNt->partRect(Spinner::Part::Down).center()); }, form->lblnumTxts, "30", charCount, 30},
        {"vsNt at Min", [&] { form->vsNt->setValue(10); }, form->lblnumTxts, "100", charCount, 100},
        {"vsNt at Max", [&] { form->vsNt->setValue(100); }, form->lblnumTxts, "10", charCount, 10},
        {"vsNt page", [&] { form->vsNt->setValue(80); form->vsNt->triggerAction(QAbstractSlider::SliderPageStepSub); }, form->lblnumTxts, "40", charCount, 40},
        {"vsnS up arrow", [&] { click(form->vsnS, form->vsnS->partRect(Spinner::Part::Up).center()); }, form->lblnSpd, "31", speed, 31},
        {"vsnS down arrow", [&] { click(form->vsnS, form->vsnS->partRect(Spinner::Part::Down).center()); }, form->lblnSpd, "30", speed, 30},
        {"vsnS at Min", [&] { form->vsnS->setValue(5); }, form->lblnSpd, "100", speed, 100},
        {"vsnS at Max", [&] { form->vsnS->setValue(100); }, form->lblnSpd, "5", speed, 5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        c.act();
        EXPECT_EQ(c.label->text().toStdString(), c.shown);
        EXPECT_EQ(c.field(), c.expected);
    }
}

TEST_F(MainEvents, HiddenPositionLabelFollowsChangesAndTheDraggedThumb)
{
    form->Form_Load();
    QScrollBar *bar = form->hscHidP;

    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(form->lblhid->text(), QStringLiteral("30"));
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(form->lblhid->text(), QStringLiteral("29"));
    bar->setValue(10);
    EXPECT_EQ(form->lblhid->text(), QStringLiteral("10"));

    // A drag: the label shows the thumb's place before the value settles.
    bar->setSliderDown(true);
    bar->setSliderPosition(70);
    EXPECT_EQ(form->lblhid->text(), QStringLiteral("70"));
    bar->setSliderPosition(64);
    EXPECT_EQ(form->lblhid->text(), QStringLiteral("64"));
    bar->setSliderDown(false);
    EXPECT_EQ(bar->value(), 64);
    EXPECT_EQ(form->lblhid->text(), QStringLiteral("64"));
    EXPECT_EQ(form->hiddenPosition(), 64);

    // The same with the mouse on the thumb.
    bar->setValue(10);
const QRect thumb = scrollBarPart(*bar, QStyle::SC_ScrollBarSlider);
    ASSERT_TRUE(thumb.isValid());
    const QPointF from = thumb.center();
    const QPointF to = from + QPointF(bar->width() / 2.0, 0);
    QMouseEvent press(QEvent::MouseButtonPress, from, bar->mapToGlobal(from), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &press);
    QMouseEvent move(QEvent::MouseMove, to, bar->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &move);
    const int dragged = bar->sliderPosition();
    EXPECT_GT(dragged, 10);
    EXPECT_EQ(form->lblhid->text(), QString::number(dragged)) << "during the drag";
    QMouseEvent release(QEvent::MouseButtonRelease, to, bar->mapToGlobal(to), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &release);
    EXPECT_EQ(bar->value(), dragged);
    EXPECT_EQ(form->lblhid->text(), QString::number(dragged));
}

// A close request ends the process at once, wherever the game is; nothing after it runs.
// The child runs as a fresh process ("threadsafe"): a forked copy would inherit Qt's painting
// thread pool without its threads and hang in the first refresh.
class MainEventsDeathTest : public MainEvents {
protected:
    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        // Qt notes a missing runtime directory on stderr at start-up; give the child one of its own.
        if (!std::getenv("XDG_RUNTIME_DIR")) {
            static std::string dir = [] {
                char pattern[] = "/tmp/vx-test-runtime-XXXXXX";
                const char *made = mkdtemp(pattern);
                return std::string(made ? made : "");
            }();
            if (!dir.empty())
                setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        }
        MainEvents::SetUp();
    }
};

TEST_F(MainEventsDeathTest, CloseDuringTheIntroEndsTheProcessQuietly)
{
    // The intro's timeline from its banners' rules, each phase rounded up by a tick step.
    const int W = form->surface().scaleWidth(), H = form->surface().scaleHeight();
    const double welcomeIn = slideInMs(bannerGeometry(QStringLiteral("Welcome to"), W, H)) + 16;
    const double clackonOut = slideOutMs(bannerGeometry(QStringLiteral("Clackon!"), W, H)) + 16;
    const double drop = H + 16, shake = 116, pause = 500;
    const double lastStart = welcomeIn + shake + pause + drop + shake + pause;
    // Into the first slide-in, the pause after it (the request waits for the next yield, in "VX"),
    // the last banner's shake, and its slide-out.
    for (const double at : {welcomeIn / 2, welcomeIn + shake + pause / 2, lastStart + drop + shake / 2,
                            lastStart + drop + shake + pause + clackonOut / 2}) {
        const auto offset = static_cast<std::uint32_t>(at);
        SCOPED_TRACE(testing::Message() << "close at +" << offset << " ms");
        EXPECT_EXIT(
            {
                pf.closeAt(pf.tickCount() + offset);
                form->Form_Load();
                std::fputs("Form_Load returned\n", stderr);
            },
            ::testing::ExitedWithCode(0), "^$");
    }
}

TEST_F(MainEventsDeathTest, CloseDuringABannerDropsTheRoundStateAndEnds)
{
    for (const std::int32_t mode : {0, 3}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        EXPECT_EXIT(
            {
                form->Form_Load();
                const std::uint32_t at = pf.tickCount() + 60;
                bool closing = false;
                // The request comes with a round in progress; the yield inside the close handler sees it dropped.
                pf.callAt(at, [&] {
                    form->rs.targetText = QStringLiteral("QWERTY");
                    form->rs.isPlaying = true;
                    closing = true;
                });
                pf.closeAt(at);
                pf.onAnswer = [&] {
                    if (closing && (!form->rs.targetText.isEmpty() || form->rs.isPlaying))
                        std::fputs("round state kept\n", stderr);
                };
                ShowBanner(QStringLiteral("Ready?"), mode, false);
                std::fputs("ShowBanner returned\n", stderr);
            },
            ::testing::ExitedWithCode(0), "^$");
    }
}

TEST_F(MainEventsDeathTest, InputQueuedBehindACloseRequestRunsNoHandler)
{
    // Idle, the main loop finds a close request with a click on Start and a key behind it: the
    // close handler's answer to the window system must not start a round on the way out.
    EXPECT_EXIT(
        {
            form->Form_Load();
            pf.recorder().clock = [&] {
                std::fputs("a round started after the close\n", stderr);
                return pf.tickCount();
            };
            QCoreApplication::postEvent(form.get(), new QCloseEvent);
            const QPointF at(5, 5);
            const QPointF global = form->cmdStart->mapToGlobal(at);
            QCoreApplication::postEvent(form->cmdStart, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                                                        Qt::LeftButton, Qt::NoModifier));
            QCoreApplication::postEvent(form->cmdStart, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton,
                                                                        Qt::NoButton, Qt::NoModifier));
            QCoreApplication::postEvent(form.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" ")));
            // The main loop's turn.
            QCoreApplication::processEvents();
            std::fputs("the close did not end the game\n", stderr);
        },
        ::testing::ExitedWithCode(0), "^$");
}

} // namespace
} // namespace vx::test
