// One redraw pass of the play loop: both strips drawn, the mask band applied and both strips
// presented on a shown window, at one and at two device pixels per pixel.
#include "MidPlayField.h"
#include "present/Fonts.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QScreen>

#include <atomic>
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

// Every allocation through malloc, calloc or realloc (operator new included) is counted.
extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *old, std::size_t size);
}

namespace {
std::atomic<long> allocations{0};
}

extern "C" void *malloc(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

extern "C" void *calloc(std::size_t count, std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

extern "C" void *realloc(void *old, std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(old, size);
}

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

// Allocations of an untyped pass in steady play (the line moving, nothing else changing), split into
// drawing and presenting; the pass count is the iteration count.
void allocationsPerSteadyPass(benchmark::State &state)
{
    QScreen *screen = screenWithRatio(1);
    if (!screen) {
        state.SkipWithError("no screen at one device pixel ratio");
        return;
    }
    MidPlayField field(screen);
    vx::RoundState &rs = field.form.rs;
    rs.score = 0;
    rs.combo = 0;
    rs.judgeText.clear();
    const auto draw = [&] {
        rs.textLeft = rs.textLeft > 20 ? rs.textLeft - 0.5f : 300;
        field.form.drawPass(static_cast<std::int32_t>(field.tick += 16), field.statusWidth, field.gaugeTop);
    };
    // One whole sweep of the line first, so every glyph cache has seen every position it will.
    for (int i = 0; i < 600; ++i) {
        draw();
        field.present();
    }
    long drawing = 0, presenting = 0;
    for (auto _ : state) {
        const long a = allocations.load();
        draw();
        const long b = allocations.load();
        field.present();
        presenting += allocations.load() - b;
        drawing += b - a;
    }
    state.counters["drawing"] = benchmark::Counter(static_cast<double>(drawing), benchmark::Counter::kAvgIterations);
    state.counters["presenting"] = benchmark::Counter(static_cast<double>(presenting), benchmark::Counter::kAvgIterations);
}
BENCHMARK(allocationsPerSteadyPass)->Iterations(200)->Repetitions(1)->Unit(benchmark::kMicrosecond);

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
