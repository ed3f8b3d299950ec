#include "platform/SystemPlatform.h"

#include <QApplication>
#include <QTimer>

#include <bit>
#include <cstdlib>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace vx {

namespace {

std::uint64_t monotonicNanoseconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(ts.tv_nsec);
}

void sleepNanoseconds(std::uint64_t ns)
{
    timespec ts{static_cast<time_t>(ns / 1'000'000'000u), static_cast<long>(ns % 1'000'000'000u)};
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, &ts) != 0) {
    }
}

constexpr std::uint64_t tickStepNs = 15'625'000; // 1/64 s

// Each run starts somewhere else: from the system's entropy, with the clock mixed in should that
// ever be poor.
std::mt19937_64 unpredictableGenerator()
{
    std::random_device entropy;
    const std::uint64_t clock = monotonicNanoseconds();
    std::seed_seq seed{entropy(), entropy(), entropy(), entropy(), static_cast<unsigned>(clock),
                       static_cast<unsigned>(clock >> 32)};
    return std::mt19937_64(seed);
}

} // namespace

SystemPlatform::SystemPlatform(std::unique_ptr<SoundOutput> sound)
    : sound_(sound ? std::move(sound) : std::make_unique<SilentSoundOutput>())
    , rng_(unpredictableGenerator())
{
}

SystemPlatform::~SystemPlatform() = default;

std::uint32_t SystemPlatform::ticksFromNanoseconds(std::uint64_t ns)
{
    // Whole steps of 15.625 ms, as milliseconds: 15 and 16 in turn, 125 ms every 8 steps.
    const std::uint64_t steps = ns / tickStepNs;
    return static_cast<std::uint32_t>(steps * 125 / 8);
}

std::uint32_t SystemPlatform::tickCount()
{
    return ticksFromNanoseconds(monotonicNanoseconds());
}

void SystemPlatform::serviceUntil(std::uint64_t deadlineNs)
{
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (;;) {
        const std::uint64_t nowNs = monotonicNanoseconds();
        if (nowNs >= deadlineNs)
            return;
        const std::uint64_t leftNs = deadlineNs - nowNs;
        // The event loop counts in whole milliseconds; the last fraction is slept.
        if (leftNs < 1'000'000u || !QCoreApplication::instance()) {
            sleepNanoseconds(leftNs);
            continue;
        }
        wake.start(static_cast<int>(leftNs / 1'000'000u));
        heldInput_.dispatchQuietly(QEventLoop::WaitForMoreEvents);
    }
}

void SystemPlatform::sleep(int ms)
{
    if (ms <= 0)
        return;
    // The system the game was made for sleeps with its tick's granularity: a nap shorter than a
    // step lasts until the tick moves on, which is all such a nap waits for, and spares the core
    // a dozen wake-ups per frame.
    const std::uint64_t nowNs = monotonicNanoseconds();
    const std::uint64_t wanted = static_cast<std::uint64_t>(ms) * 1'000'000u;
    if (wanted < tickStepNs)
        sleepNanoseconds((nowNs / tickStepNs + 1) * tickStepNs - nowNs);
    else
        serviceUntil(nowNs + wanted);
}

void SystemPlatform::waitUntil(std::uint32_t tick)
{
    // Sleep to the step boundary at which the counter reaches the deadline rather than spinning;
    // a long wait answers the window system until its last step.
    for (;;) {
        const std::uint64_t nowNs = monotonicNanoseconds();
        const std::int32_t left = tickDiff(tick, ticksFromNanoseconds(nowNs));
        if (left <= 0)
            return;
        const std::uint64_t nextStep = (nowNs / tickStepNs + 1) * tickStepNs;
        const std::uint64_t lastStepNs = static_cast<std::uint64_t>(left) * 1'000'000u;
        if (lastStepNs > tickStepNs)
            serviceUntil(nextStep + lastStepNs - tickStepNs);
        else
            sleepNanoseconds(nextStep - nowNs);
    }
}

void SystemPlatform::doEvents()
{
    heldInput_.release();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void SystemPlatform::answerWindowSystem()
{
    heldInput_.syncQuietly();
}

void SystemPlatform::randomize(double seed)
{
    // The number is mixed into where the generator stands rather than replacing it: reseeding with
    // the clock's seconds would otherwise give rounds started at the same second the same line.
    // Any number is a seed: its bits, so a negative, huge or NaN value cannot overflow a conversion.
    std::vector<std::uint32_t> words;
    for (int i = 0; i < 4; ++i) {
        const std::uint64_t state = rng_();
        words.push_back(static_cast<std::uint32_t>(state));
        words.push_back(static_cast<std::uint32_t>(state >> 32));
    }
    const auto bits = std::bit_cast<std::uint64_t>(seed);
    words.push_back(static_cast<std::uint32_t>(bits));
    words.push_back(static_cast<std::uint32_t>(bits >> 32));
    std::seed_seq mixed(words.begin(), words.end());
    rng_.seed(mixed);
}

double SystemPlatform::nextRandom()
{
    // 53 random bits: exactly uniform on [0, 1), never 1.
    return static_cast<double>(rng_() >> 11) * 0x1p-53;
}

QDateTime SystemPlatform::now()
{
    return QDateTime::currentDateTime();
}

void SystemPlatform::end()
{
    std::_Exit(0);
}

void SystemPlatform::beep()
{
    QApplication::beep();
}

SoundOutput &SystemPlatform::sound()
{
    return *sound_;
}

} // namespace vx
