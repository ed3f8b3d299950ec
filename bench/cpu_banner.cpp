// How much of a core a banner takes while it runs in real time: the process CPU time of whole
// banners on the real platform, in a shown main window, as a fraction of their wall time.
// The goal for a mode-0 banner is at most 0.05.
//
// Usage: cpu_banner [rounds]   (default 3; QT_QPA_PLATFORM defaults to offscreen)

#include "BenchClock.h"
#include "platform/SystemPlatform.h"
#include "present/Fonts.h"
#include "present/Module1.h"
#include "round/frmClackon.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

namespace {

struct Banner {
    const char *text;
    int mode;
};

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

    QApplication app(argc, argv);
    vx::installFontSubstitutions();
    vx::SystemPlatform platform(std::make_unique<vx::SilentSoundOutput>());
    vx::frmClackon form(platform);
    form.show();
    QCoreApplication::processEvents();
    vx::screenForm = &form;
    vx::ClearScreen();

    const std::vector<Banner> banners = {
        {"Ready?", 0}, {"CLEARED!", 0}, {"FAILURE", 0}, {"Here We Go!", 2}, {"Total", 1}, {"7", 3},
    };

    std::printf("%-12s %4s %9s %8s %8s\n", "banner", "mode", "wall ms", "cpu ms", "fraction");
    double worstMode0 = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const auto &b : banners) {
            const double wall0 = clockSeconds(CLOCK_MONOTONIC);
            const double cpu0 = clockSeconds(CLOCK_PROCESS_CPUTIME_ID);
            vx::ShowBanner(QString::fromLatin1(b.text), b.mode, false);
            const double cpu = clockSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
            const double wall = clockSeconds(CLOCK_MONOTONIC) - wall0;
            const double fraction = wall > 0 ? cpu / wall : 0;
            if (b.mode == 0 && fraction > worstMode0)
                worstMode0 = fraction;
            std::printf("%-12s %4d %9.1f %8.1f %8.3f\n", b.text, b.mode, wall * 1e3, cpu * 1e3, fraction);
            std::fflush(stdout);
        }
    }
    std::printf("worst mode-0 fraction %.3f (goal <= 0.050): %s\n", worstMode0, worstMode0 <= 0.05 ? "met" : "NOT met");
    vx::screenForm = nullptr;
    return 0;
}
