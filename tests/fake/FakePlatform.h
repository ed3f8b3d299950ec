#pragma once

#include "platform/HeldInput.h"
#include "platform/Platform.h"

#include <QPoint>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <random>
#include <vector>

class QWidget;

namespace vx::test {

// One request to the sound output, as the fake heard it.
struct SoundRequest {
    QString name;
    unsigned flags;
    std::uint32_t tick;
    bool started;
};

// Records every cue; which ones "start" is up to the test.
class RecordingSound final : public SoundOutput {
public:
    bool play(const QString &fileName, unsigned flags) override;
    std::function<std::uint32_t()> clock;
    // Names that fail to start; everything else starts.
    std::vector<QString> missing;
    bool allMissing = false;
    std::vector<SoundRequest> requests;
    std::vector<QString> names() const;
    int count(const QString &name) const;
};

// Timed input: delivered as real Qt events by the first doEvents at or after its time.
struct ScriptItem {
    enum class Kind { Text, Key, Click, Close, Call };
    std::uint32_t at;
    Kind kind;
    QString text;            // Text: the typed characters; Click: the control's object name
    int key = 0;             // Key: a Qt::Key
    std::function<void()> call; // Call: runs inside the yield, like a handler
};

// A virtual machine: time moves only when the game sleeps, waits or yields.
class FakePlatform final : public Platform {
public:
    explicit FakePlatform(std::uint32_t startTick = 1'000'000);

    std::uint32_t tickCount() override;
    void sleep(int ms) override;
    void waitUntil(std::uint32_t tick) override;
    void doEvents() override;
    void answerWindowSystem() override;
    void randomize(double seed) override;
    double nextRandom() override;
    // When set, replaces the generator's values (to force extremes).
    std::function<double()> randomOverride;
    QDateTime now() override;
    [[noreturn]] void end() override;
    void beep() override { ++beeps; }
    SoundOutput &sound() override { return soundOverride ? *soundOverride : sound_; }
    // A real output in place of the recorder (benchmarks).
    SoundOutput *soundOverride = nullptr;

    RecordingSound &recorder() { return sound_; }

    // Script, relative to the virtual tick counter (absolute ticks).
    void typeAt(std::uint32_t tick, const QString &text);
    void keyAt(std::uint32_t tick, int qtKey);
    void clickAt(std::uint32_t tick, const QString &objectName);
    void closeAt(std::uint32_t tick);
    void callAt(std::uint32_t tick, std::function<void()> call);
    // Runs before every yield's delivery; lets a test react to the state it sees.
    std::function<void()> onYield;
    // Runs first whenever the game answers the window system outside a yield.
    std::function<void()> onAnswer;

    // Where typed keys and clicks go (the main window).
    QWidget *target = nullptr;

    // Virtual time in microseconds, and counters.
    std::uint64_t micros() const { return micros_; }
    void advanceMicros(std::uint64_t us) { micros_ += us; }
    int yields = 0;
    int sleeps = 0;
    int beeps = 0;
    QDateTime clockTime = QDateTime(QDate(2026, 12, 8), QTime(21, 14, 5));
    double lastSeed = -1;

private:
    void deliver(const ScriptItem &item);
    void deliverDue();
    // Moves the clock to `until` (microseconds); a wait of a tick step or more answers the window
    // system whenever the script has something due, as the real one does.
    void wait(std::uint64_t until);
    HeldInput heldInput_;
    std::uint64_t micros_;
    std::uint32_t base_;
    std::deque<ScriptItem> script_;
    std::mt19937_64 rng_{12345};
    RecordingSound sound_;
};

// The wrapping tick counter of the fake for a virtual time: whole 1/64 s steps.
std::uint32_t fakeTicks(std::uint32_t base, std::uint64_t micros);

} // namespace vx::test
