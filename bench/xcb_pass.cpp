// One redraw pass on a real display, split into drawing (both strips into their images) and
// presenting (both strips repainted onto the window), plus the yield that follows it in play.
// Run under an X server with QT_QPA_PLATFORM=xcb: the offscreen platform pays nothing to present.
//
// As in play, each pass follows a nap to the next 1/64 s step (caches cold); a second series runs
// the passes back to back (warm) for comparison.
#include "BenchClock.h"
#include "MidPlayField.h"
#include "platform/DisplaySetup.h"
#include "present/Fonts.h"

#include <QApplication>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int passes = 640; // ten seconds of play
constexpr double stepSeconds = 1.0 / 64;

struct Series {
    std::vector<double> drawWall, drawCpu, presentWall, presentCpu, yieldWall;
};

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5)];
}

Series run(MidPlayField &field, bool napFirst)
{
    Series s;
    for (int i = 0; i < passes; ++i) {
        if (napFirst) {
            const double now = clockSeconds(CLOCK_MONOTONIC);
            const double next = (static_cast<long long>(now / stepSeconds) + 1) * stepSeconds;
            std::this_thread::sleep_for(std::chrono::duration<double>(next - now));
        }
        const double w0 = clockSeconds(CLOCK_MONOTONIC), c0 = clockSeconds(CLOCK_THREAD_CPUTIME_ID);
        field.draw();
        const double w1 = clockSeconds(CLOCK_MONOTONIC), c1 = clockSeconds(CLOCK_THREAD_CPUTIME_ID);
        field.present();
        const double w2 = clockSeconds(CLOCK_MONOTONIC), c2 = clockSeconds(CLOCK_THREAD_CPUTIME_ID);
        QCoreApplication::processEvents();
        const double w3 = clockSeconds(CLOCK_MONOTONIC);
        s.drawWall.push_back((w1 - w0) * 1e6);
        s.drawCpu.push_back((c1 - c0) * 1e6);
        s.presentWall.push_back((w2 - w1) * 1e6);
        s.presentCpu.push_back((c2 - c1) * 1e6);
        s.yieldWall.push_back((w3 - w2) * 1e6);
    }
    return s;
}

void print(const char *name, const Series &s)
{
    const auto cell = [](const std::vector<double> &v) {
        std::printf(" %.0f / %.0f |", percentile(v, 0.5), percentile(v, 0.9));
    };
    std::printf("| %s |", name);
    cell(s.drawCpu);
    cell(s.drawWall);
    cell(s.presentCpu);
    cell(s.presentWall);
    cell(s.yieldWall);
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    // Connected as the game connects.
    vx::prepareDisplayConnection();
    QApplication app(argc, argv);
    vx::installFontSubstitutions();
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        std::fprintf(stderr, "xcb_pass: running on the %s platform, not xcb: presenting costs little there\n",
                     qPrintable(QGuiApplication::platformName()));

    MidPlayField field(QGuiApplication::primaryScreen());
    // Let the window be mapped and painted once before anything is timed.
    for (int i = 0; i < 30; ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const Series cold = run(field, true);
    const Series warm = run(field, false);

    std::printf("One redraw pass on the %s platform, 366 x 107, %d passes each; median / p90 in µs\n\n",
                qPrintable(QGuiApplication::platformName()), passes);
    std::printf("| passes | drawing, CPU | drawing, wall | presenting, CPU | presenting, wall | the yield after, wall |\n"
                "|---|---|---|---|---|---|\n");
    print("each after a nap to the next tick step (as in play)", cold);
    print("back to back (warm)", warm);
    return 0;
}
