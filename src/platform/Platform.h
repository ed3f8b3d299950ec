#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

namespace vx {

// Flags of the classic wave player: what a cue asks of the sound output.
enum SoundFlag : unsigned {
    SndSync = 0,
    SndAsync = 1,
    SndNoDefault = 2,
    SndLoop = 8,
};

// Plays one wave file at a time; a new one replaces whatever is sounding.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Starts (or, without SndAsync, plays through) the named file; true when it started.
    virtual bool play(const QString &fileName, unsigned flags) = 0;
};

// The game's only door to the machine: time, waiting, the event loop,
// chance, the clock, process exit and sound.
class Platform {
public:
    virtual ~Platform() = default;

    // Milliseconds since boot, 32 bits, advancing in 1/64 s steps.
    virtual std::uint32_t tickCount() = 0;
    // Waits without running any handler of the game: keys and clicks wait for the next doEvents.
    // A wait longer than a tick step keeps answering the window system meanwhile (paints, pings,
    // and a close request, which ends the game at once).
    virtual void sleep(int ms) = 0;
    // Returns once tickCount() has reached tick (signed wrapping comparison); waits as sleep() does.
    virtual void waitUntil(std::uint32_t tick) = 0;
    // Dispatches every pending window event, input held back during waits first, then returns.
    virtual void doEvents() = 0;
    // Handles what the window system has already asked of the windows (a close among them) without
    // dispatching keys or clicks.
    virtual void answerWindowSystem() = 0;

    virtual void randomize(double seed) = 0;
    // Uniform in [0, 1).
    virtual double nextRandom() = 0;

    virtual QDateTime now() = 0;

    // Ends the process at once with status 0.
    [[noreturn]] virtual void end() = 0;

    virtual void beep() = 0;
    virtual SoundOutput &sound() = 0;
};

// Signed distance from `from` to `to` on the wrapping 32-bit tick counter.
constexpr std::int32_t tickDiff(std::uint32_t to, std::uint32_t from)
{
    return static_cast<std::int32_t>(to - from);
}

// A silent output: nothing ever starts.
class SilentSoundOutput final : public SoundOutput {
public:
    bool play(const QString &, unsigned) override { return false; }
};

} // namespace vx
