#include "platform/SdlSoundOutput.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <thread>
#include <vector>

namespace {

void putLe(QByteArray &out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xff));
}

// A game-like cue: 22050 Hz mono, so the first play has a real conversion to do.
QByteArray toneWav(double seconds, double hz)
{
    const int rate = 22050;
    const int frames = int(seconds * rate);
    QByteArray out("RIFF");
    putLe(out, 36 + frames * 2, 4);
    out.append("WAVEfmt ");
    putLe(out, 16, 4);
    putLe(out, 1, 2);
    putLe(out, 1, 2);
    putLe(out, rate, 4);
    putLe(out, rate * 2, 4);
    putLe(out, 2, 2);
    putLe(out, 16, 2);
    out.append("data");
    putLe(out, frames * 2, 4);
    for (int i = 0; i < frames; ++i)
        putLe(out, std::uint32_t(std::lround(8000 * std::sin(2 * std::numbers::pi * hz * i / rate))) & 0xffff, 2);
    return out;
}

struct Rig {
    Rig()
    {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
        for (const auto &[name, hz] : {std::pair{"perfect.wav", 1568.0}, std::pair{"good.wav", 880.0}}) {
            QFile f(dir.filePath(QString::fromLatin1(name)));
            if (f.open(QIODevice::WriteOnly))
                f.write(toneWav(0.2, hz));
        }
        QFile tick(dir.filePath(QStringLiteral("tick.wav")));
        if (tick.open(QIODevice::WriteOnly))
            tick.write(toneWav(0.01, 2000.0));
        out = std::make_unique<vx::SdlSoundOutput>(QStringList{dir.path()});
    }
    QTemporaryDir dir;
    std::unique_ptr<vx::SdlSoundOutput> out;
};

void reportPercentiles(benchmark::State &state, std::vector<double> &us)
{
    if (us.empty())
        return;
    std::sort(us.begin(), us.end());
    const auto at = [&](double q) { return us[std::min(us.size() - 1, std::size_t(q * double(us.size())))]; };
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = us.back();
}

// The hot path: a judgement cue already decoded, cutting off the previous one.
void BM_PlayCachedCue(benchmark::State &state)
{
    Rig rig;
    if (!rig.out->isOpen()) {
        state.SkipWithError("no disk audio device");
        return;
    }
    const QString names[] = {QStringLiteral("perfect.wav"), QStringLiteral("good.wav")};
    for (const QString &n : names)
        rig.out->play(n, vx::SndAsync | vx::SndNoDefault);
    std::vector<double> us;
    us.reserve(1 << 16);
    int i = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const bool ok = rig.out->play(names[i++ & 1], vx::SndAsync | vx::SndNoDefault);
        const auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(ok);
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    reportPercentiles(state, us);
}
BENCHMARK(BM_PlayCachedCue);

// For contrast: what every play would cost without the cache (decode and resample).
void BM_PlayChangedFile(benchmark::State &state)
{
    Rig rig;
    if (!rig.out->isOpen()) {
        state.SkipWithError("no disk audio device");
        return;
    }
    const QByteArray path = QFile::encodeName(rig.dir.filePath(QStringLiteral("perfect.wav")));
    std::vector<double> us;
    long stamp = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const timespec times[2] = {{0, UTIME_OMIT}, {1000000 + ++stamp, 0}};
        utimensat(AT_FDCWD, path.constData(), times, 0);
        state.ResumeTiming();
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(rig.out->play(QStringLiteral("perfect.wav"), vx::SndAsync | vx::SndNoDefault));
        const auto t1 = std::chrono::steady_clock::now();
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    reportPercentiles(state, us);
}
BENCHMARK(BM_PlayChangedFile);

// From play() to the device thread copying the cue's first samples: bounded by one buffer period.
void BM_PlayToFirstSamples(benchmark::State &state)
{
    Rig rig;
    if (!rig.out->isOpen()) {
        state.SkipWithError("no disk audio device");
        return;
    }
    const QString tick = QStringLiteral("tick.wav");
    rig.out->play(tick, vx::SndNoDefault);
    std::vector<double> us;
    for (auto _ : state) {
        // Start from silence so the frame count can only move for the new cue.
        while (rig.out->isSounding())
            std::this_thread::yield();
        const std::uint64_t before = rig.out->cueFramesMixed();
        const auto t0 = std::chrono::steady_clock::now();
        rig.out->play(tick, vx::SndAsync | vx::SndNoDefault);
        while (rig.out->cueFramesMixed() == before)
            std::this_thread::yield();
        const auto t1 = std::chrono::steady_clock::now();
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    reportPercentiles(state, us);
}
BENCHMARK(BM_PlayToFirstSamples)->Iterations(200)->UseRealTime();

} // namespace
