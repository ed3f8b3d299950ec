// CPU time during play, in real time: a scripted player types the expected character about every
// 200 ms through real key events; from the first redraw pass to the end of play, how much of one
// core does the game take?
#include "BenchClock.h"
#include "ForwardingPlatform.h"
#include "platform/SystemPlatform.h"
#include "present/Fonts.h"
#include "present/Spinner.h"
#include "round/frmClackon.h"

#include <QApplication>
#include <QKeyEvent>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// The real platform, with a player at the keyboard: keys are posted just before a yield dispatches them.
class ScriptedPlayer final : public ForwardingPlatform {
public:
    explicit ScriptedPlayer(vx::Platform &inner) : ForwardingPlatform(inner) {}

    void sleep(int ms) override
    {
        if (!playing_)
            return inner_.sleep(ms);
        ++naps_;
        const double c0 = clockSeconds(CLOCK_THREAD_CPUTIME_ID);
        inner_.sleep(ms);
        napCpu_ += clockSeconds(CLOCK_THREAD_CPUTIME_ID) - c0;
    }
    void doEvents() override
    {
        watch();
        const double c0 = clockSeconds(CLOCK_THREAD_CPUTIME_ID);
        inner_.doEvents();
        if (playing_)
            yieldCpu_ += clockSeconds(CLOCK_THREAD_CPUTIME_ID) - c0;
    }

    vx::frmClackon *form = nullptr;
    double keyEvery = 0.2; // seconds

private:
    void watch()
    {
        if (!form)
            return;
        const bool inPlay = form->picTxt->isVisible();
        const double wall = clockSeconds(CLOCK_MONOTONIC);
        if (inPlay && !playing_) {
            // The first yield of play follows its first redraw pass.
            playing_ = true;
            wall0_ = wall;
            cpu0_ = clockSeconds(CLOCK_PROCESS_CPUTIME_ID);
            lastKey_ = wall;
        }
        if (inPlay) {
            ++yields_;
            if (wall - lastKey_ >= keyEvery && !form->rs.targetText.isEmpty()) {
                lastKey_ = wall;
                post(form->rs.targetText.left(1));
            }
            return;
        }
        if (playing_)
            report(wall, clockSeconds(CLOCK_PROCESS_CPUTIME_ID));
    }

    void post(const QString &text)
    {
        QWidget *focus = QApplication::focusWidget();
        QWidget *to = focus && focus->window() == form ? focus : form;
        const int key = text.isEmpty() ? 0 : text[0].toUpper().unicode();
        QCoreApplication::postEvent(to, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
        QCoreApplication::postEvent(to, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
        ++keys_;
    }

    [[noreturn]] void report(double wall, double cpu)
    {
        const double seconds = wall - wall0_;
        const double share = (cpu - cpu0_) / seconds;
        const vx::RoundState &rs = form->rs;
        std::printf("| measure | value |\n|---|---|\n");
        std::printf("| play, wall time | %.2f s |\n", seconds);
        std::printf("| keys typed (every %.0f ms) / judged Perfect, Great, Good, Miss | %d / %d, %d, %d, %d |\n",
                    keyEvery * 1000, keys_, rs.perfectCount, rs.greatCount, rs.goodCount, rs.missCount);
        std::printf("| redraw passes (yields in play) | %d (%.1f per s) |\n", yields_, yields_ / seconds);
        std::printf("| idle 1-ms naps | %d (%.1f per pass) |\n", naps_, yields_ ? double(naps_) / yields_ : 0.0);
        std::printf("| CPU time during play | %.3f s |\n", cpu - cpu0_);
        std::printf("| of which in the idle naps / in the yields (events, judging) / the rest (drawing, presenting) "
                    "| %.3f / %.3f / %.3f s |\n",
                    napCpu_, yieldCpu_, cpu - cpu0_ - napCpu_ - yieldCpu_);
        std::printf("| CPU share of one core during play | %.4f (goal <= 0.03) |\n", share);
        std::fflush(stdout);
        // The tally that follows is not what is measured, and with this many combos it is long.
        std::_Exit(0);
    }

    bool playing_ = false;
    double wall0_ = 0, cpu0_ = 0, lastKey_ = 0, napCpu_ = 0, yieldCpu_ = 0;
    int yields_ = 0, naps_ = 0, keys_ = 0;
};

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    vx::installFontSubstitutions();

    vx::SystemPlatform system(nullptr); // silent: nothing to wait for on the audio device
    ScriptedPlayer player(system);
    vx::frmClackon form(player);
    player.form = &form;
    form.Form_Load();
    form.vsnS->setValue(105 - 30); // 30 ms per pixel
    form.vsNt->setValue(110 - 30); // 30 characters
    form.cmdStart_Click();
    std::fprintf(stderr, "play never ended\n");
    return 1;
}
