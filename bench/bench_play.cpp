// One redraw pass of the play loop: both strips drawn, the mask band applied and both strips
// presented on a shown window, at one and at two device pixels per pixel.
#include "platform/Rounding.h"
#include "platform/SystemPlatform.h"
#include "present/Fonts.h"
#include "round/frmClackon.h"

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

// A main window in the middle of play: a long line, pending points, a combo and the glyph.
struct Field {
    explicit Field(QScreen *screen)
        : platform(nullptr)
        , form(platform)
    {
        form.setScreen(screen);
        form.move(screen->geometry().topLeft() + QPoint(50, 50));
        form.show();
        vx::Surface &txt = form.picTxt->surface();
        txt.foreColor = vx::rgb(0, 255, 255);
        txt.setFontSize(16);
        const int h = vx::toInt32(txt.textHeight());
        form.picTxt->moveTo(0, 0, form.width(), h);
        form.picPTS->moveTo(0, h + 1, form.width(), form.height() - h - 1);
        form.picPTS->surface().setFontSize(10);
        form.picPTS->setVisible(true);
        form.picTxt->setVisible(true);
        QCoreApplication::processEvents();

        vx::RoundState &rs = form.rs;
        rs.targetText = QStringLiteral("QWERTYUIOPASDFGHJKL;ZXCVBNM,./");
        rs.textLeft = 150;
        rs.gauge = 12;
        rs.combo = 6;
        rs.score = 4500;
        rs.shownScore = 12345;
        rs.judgeText = QStringLiteral("Perfect!");
        rs.judgeColor = 0x00FFFF;
        rs.lastKey = QStringLiteral("Q");
        rs.judgeX = 150;
        statusWidth = form.picPTS->surface().scaleWidth();
        gaugeTop = vx::toInt32(form.picPTS->surface().scaleHeight() - 6.0);
        form.chkHidden->setChecked(true);
        form.drawMaskBand();
    }

    void pass()
    {
        vx::RoundState &rs = form.rs;
        // Keep the round alive: the line wanders, the glyph restarts, the judgement stays fresh.
        rs.textLeft = rs.textLeft > 20 ? rs.textLeft - 0.5f : 300;
        if (rs.judgeFade == 0)
            rs.judgeFade = 1;
        tick += 16;
        rs.lastHitTick = static_cast<std::int32_t>(tick - 300);
        form.drawPass(static_cast<std::int32_t>(tick), statusWidth, gaugeTop);
        form.picTxt->refresh();
        form.picPTS->refresh();
    }

    vx::SystemPlatform platform;
    vx::frmClackon form;
    std::int32_t statusWidth = 0;
    std::int32_t gaugeTop = 0;
    std::uint32_t tick = 1'000'000;
};

void redrawPass(benchmark::State &state)
{
    const qreal dpr = static_cast<qreal>(state.range(0));
    QScreen *screen = screenWithRatio(dpr);
    if (!screen) {
        state.SkipWithError("no screen at this device pixel ratio");
        return;
    }
    Field field(screen);
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
    Field field(screen);
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
