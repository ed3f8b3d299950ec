// The cost of one banner pass: the block copies of the one-bit snapshot onto the window's
// retained image, and the refresh that presents it on a shown widget.
//
// Sizes: the window's 366 × 107 and twice that (732 × 214). Run with QT_SCALE_FACTOR=2 to see
// the window's size at a device pixel ratio of 2 (the retained image then has four times the pixels).

#include "platform/Rounding.h"
#include "platform/Surface.h"
#include "platform/SurfaceView.h"
#include "present/Fonts.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <algorithm>

#include <cstdlib>
#include <memory>

namespace {

using namespace vx;

// A shown view holding a banner's text and its snapshot, laid out as ShowBanner lays them out.
struct Stage {
    Stage(int width, int height)
    {
        view.setWindowTitle(QStringLiteral("bench_banner"));
        view.moveTo(0, 0, width, height);
        view.show();
        QCoreApplication::processEvents();
        Surface &s = view.surface();
        s.setBackColor(rgb(0, 0, 0));
        s.setFontName(QStringLiteral("Times New Roman"));
        s.setFontSize(32);
        s.setFontBold(true);
        s.setFontItalic(true);
        W = s.scaleWidth();
        H = s.scaleHeight();
        w = toInt32(s.textWidth(text));
        X = toInt32((W - w) / 2.0);
        Y = toInt32((H - s.textHeight(text)) / 2.0);
        half = toInt32(w / 2.0);
        s.currentX = 0;
        s.currentY = Y;
        s.foreColor = rgb(255, 255, 255);
        s.print(text);
        snapshot = std::make_unique<MonoSnapshot>(s, W, H);
        s.bitBlt(0, 0, W, H, RasterOp::Blackness);
    }

    const QString text = QStringLiteral("Here We Go!");
    SurfaceView view;
    std::unique_ptr<MonoSnapshot> snapshot;
    int W = 0, H = 0, w = 0, X = 0, Y = 0, half = 0;
};

// The stage lives no longer than the application that its widget needs.
std::unique_ptr<Stage> current;

Stage &stage(int width, int height)
{
    if (!current || current->view.width() != width || current->view.height() != height)
        current = std::make_unique<Stage>(width, height);
    return *current;
}

void setLabels(benchmark::State &state, const Stage &st)
{
    state.SetLabel(std::to_string(st.W) + "x" + std::to_string(st.H) + " dpr "
                   + std::to_string(st.view.surface().devicePixelRatio()).substr(0, 3));
}

// Slide-in: one whole copy at a moving place.
void BM_SlideInPass(benchmark::State &state)
{
    Stage &st = stage(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const bool present = state.range(2) != 0;
    Surface &s = st.view.surface();
    int p = st.W;
    for (auto _ : state) {
        s.bitBlt(p, 0, st.W, st.H, *st.snapshot, 0, 0);
        if (present)
            st.view.refresh();
        p = p <= st.X - 10 ? st.W : p - 7;
    }
    setLabels(state, st);
}

// Split drop: the two halves.
void BM_DropPass(benchmark::State &state)
{
    Stage &st = stage(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const bool present = state.range(2) != 0;
    Surface &s = st.view.surface();
    const int rightX = toInt32(st.X + st.w / 2.0);
    int p = st.H;
    for (auto _ : state) {
        s.bitBlt(st.X, -p, st.half, st.H, *st.snapshot, 0, 0);
        s.bitBlt(rightX, p, st.half, st.H, *st.snapshot, st.half, 0);
        if (present)
            st.view.refresh();
        p = p <= 1 ? st.H : p - 15;
    }
    setLabels(state, st);
}

// Shake: black out, then one whole copy.
void BM_ShakePass(benchmark::State &state)
{
    Stage &st = stage(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const bool present = state.range(2) != 0;
    Surface &s = st.view.surface();
    int k = 0;
    for (auto _ : state) {
        s.bitBlt(0, 0, st.W, st.H, RasterOp::Blackness);
        s.bitBlt(st.X + k % 7 - 3, k / 7 % 7 - 3, st.W, st.H, *st.snapshot, 0, 0);
        if (present)
            st.view.refresh();
        ++k;
    }
    setLabels(state, st);
}

// Slide-out: three copies at the same place.
void BM_SlideOutPass(benchmark::State &state)
{
    Stage &st = stage(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const bool present = state.range(2) != 0;
    Surface &s = st.view.surface();
    int p = st.X;
    for (auto _ : state) {
        s.bitBlt(p, 0, st.W, st.H, *st.snapshot, 0, 0);
        s.bitBlt(std::max(0, p + st.W), 0, st.W, st.H, RasterOp::Blackness);
        if (present)
            st.view.refresh();
        p = p <= -st.w ? st.X : p - 9;
    }
    setLabels(state, st);
}

// Just the refresh of an unchanged picture.
void BM_RefreshOnly(benchmark::State &state)
{
    Stage &st = stage(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state)
        st.view.refresh();
    setLabels(state, st);
}

void sizesAndPresent(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"w", "h", "refresh"});
    for (const auto &[w, h] : {std::pair{366, 107}, std::pair{732, 214}})
        for (const int present : {0, 1})
            b->Args({w, h, present});
}

void sizes(benchmark::internal::Benchmark *b)
{
    b->ArgNames({"w", "h"});
    b->Args({366, 107});
    b->Args({732, 214});
}

BENCHMARK(BM_SlideInPass)->Apply(sizesAndPresent);
BENCHMARK(BM_DropPass)->Apply(sizesAndPresent);
BENCHMARK(BM_ShakePass)->Apply(sizesAndPresent);
BENCHMARK(BM_SlideOutPass)->Apply(sizesAndPresent);
BENCHMARK(BM_RefreshOnly)->Apply(sizes);

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    vx::installFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    current.reset();
    return 0;
}
