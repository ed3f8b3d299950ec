// One redraw pass of the play loop: both strips drawn, the mask band applied and both strips
// presented on a shown window, at one and at two device pixels per pixel.
#include "MidPlayField.h"
#include "present/Fonts.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QScreen>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// Two offscreen screens side by side, the second at two device pixels per pixel.
void useTwoScreens()
{
    const char *qpa = std::getenv("QT_QPA_PLATFORM");
    if (qpa && std::strcmp(qpa, "offscreen") != 0)
        return;
    const auto path = std::filesystem::temp_directory_path() / "vx-bench-play-screens.json";
    std::ofstream(path) << R"({"screens": [
        {"name": "one", "x": 0, "y": 0, "width": 1000, "height": 800, "dpr": 1.0},
        {"name": "two", "x": 1000, "y": 0, "width": 1000, "height": 800, "dpr": 2.0}]})";
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + path.string()).c_str(), 1);
}

QScreen *screenWithRatio(qreal dpr)
{
    for (QScreen *s : QGuiApplication::screens())
        if (s->devicePixelRatio() == dpr)
            return s;
    return nullptr;
}

void redrawPass(benchmark::State &state)
{
    const qreal dpr = static_cast<qreal>(state.range(0));
    QScreen *screen = screenWithRatio(dpr);
    if (!screen) {
        state.SkipWithError("no screen at this device pixel ratio");
        return;
    }
    MidPlayField field(screen);
    if (field.form.picTxt->surface().devicePixelRatio() != dpr) {
        state.SkipWithError("the strips did not take the screen's pixel ratio");
        return;
    }
    for (auto _ : state)
        field.pass();
    state.counters["strip_px"] = static_cast<double>(field.form.picTxt->surface().image().width());
    state.SetLabel(dpr == 1 ? "366x107, goal median <= 0.3 ms" : "366x107 at 2x, goal median <= 1 ms");
}
BENCHMARK(redrawPass)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// As in play: one pass per tick step, the thread asleep in between (caches gone cold). CPU time per pass.
void redrawPassAfterNap(benchmark::State &state)
{
    QScreen *screen = screenWithRatio(static_cast<qreal>(state.range(0)));
    if (!screen) {
        state.SkipWithError("no screen at this device pixel ratio");
        return;
    }
    MidPlayField field(screen);
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::microseconds(15'625));
        const double t0 = threadCpuSeconds();
        field.pass();
        state.SetIterationTime(threadCpuSeconds() - t0);
    }
}
BENCHMARK(redrawPassAfterNap)->Arg(1)->Arg(2)->UseManualTime()->Iterations(100)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    useTwoScreens();
    std::vector<char *> args(argv, argv + argc);
    bool repetitionsGiven = false;
    for (int i = 1; i < argc; ++i)
        repetitionsGiven = repetitionsGiven || std::strncmp(argv[i], "--benchmark_repetitions", 23) == 0;
    std::string reps = "--benchmark_repetitions=9", aggregates = "--benchmark_report_aggregates_only=true";
    if (!repetitionsGiven) {
        args.push_back(reps.data());
        args.push_back(aggregates.data());
    }
    int n = static_cast<int>(args.size());
    args.push_back(nullptr);
    QApplication app(argc, argv);
    vx::installFontSubstitutions();
    benchmark::Initialize(&n, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
