#pragma once

#include "platform/HeldInput.h"
#include "platform/Platform.h"

#include <memory>
#include <random>

namespace vx {

// The real machine: monotonic clock, the Qt event loop and the SDL sound output.
class SystemPlatform final : public Platform {
public:
    explicit SystemPlatform(std::unique_ptr<SoundOutput> sound);
    ~SystemPlatform() override;

    std::uint32_t tickCount() override;
    void sleep(int ms) override;
    void waitUntil(std::uint32_t tick) override;
    void doEvents() override;
    void answerWindowSystem() override;
    void randomize(double seed) override;
    double nextRandom() override;
    QDateTime now() override;
    [[noreturn]] void end() override;
    void beep() override;
    SoundOutput &sound() override;

    // The tick counter for a monotonic time in nanoseconds: whole 1/64 s steps, in milliseconds.
    static std::uint32_t ticksFromNanoseconds(std::uint64_t ns);

private:
    // Answers the window system, holding input back, until the monotonic clock reaches deadlineNs.
    void serviceUntil(std::uint64_t deadlineNs);

    std::unique_ptr<SoundOutput> sound_;
    HeldInput heldInput_;
    std::mt19937_64 rng_;
};

} // namespace vx
