#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vx {

// The audio drivers to try, in turn, given the ones SDL was built with (`compiled`, in its order)
// and the driver the user named in SDL_AUDIODRIVER (`chosen`, empty when none). A single empty
// name means: leave the pick to SDL, which then tries the user's driver alone.
std::vector<std::string> audioDriverOrder(const std::vector<std::string> &compiled, const std::string &chosen);

// The life of one SDL audio device that plays one stretch of samples at a time: opened at
// start, noticed when it is lost (server killed or restarted, headset gone) and reopened; a
// server that only appears later is found the same way.
//
// Every open and close runs on a helper thread, because connecting to a sound server that hangs
// blocks for as long as it hangs. The calling thread never waits on it for more than a moment;
// it only adopts a device the helper has already opened. While a helper runs, it alone touches
// SDL's audio subsystem.
//
// Not thread-safe: every member is called from one thread.
class SdlAudioDevice {
public:
    using Samples = std::shared_ptr<const std::vector<std::int16_t>>;

    // Wanted device buffer, in sample frames, through SDL's PipeWire driver and through any
    // other: the PipeWire driver plays one buffer per graph cycle and so has needs of its own.
    struct BufferFrames {
        int pipewire;
        int others;
    };
    explicit SdlAudioDevice(BufferFrames bufferFrames);
    explicit SdlAudioDevice(int bufferFrames) : SdlAudioDevice(BufferFrames{bufferFrames, bufferFrames}) {}
    ~SdlAudioDevice();

    SdlAudioDevice(const SdlAudioDevice &) = delete;
    SdlAudioDevice &operator=(const SdlAudioDevice &) = delete;

    // True when a device is playing. When none is, starts a reopen (at most one per
    // retryInterval) and gives it a moment to finish, so the first cue after a server
    // came back already plays.
    bool ready();
    // After ready() was true: starts the samples (device format), cutting off whatever sounds.
    void start(Samples samples, bool loop);
    // Returns once the samples last started have reached the driver, or a stalled device gave up.
    void waitUntilPlayed() const;

    bool isOpen() const;
    bool isSounding() const;
    // Device format: signed 16-bit native-endian, interleaved; 0 without a device.
    int sampleRate() const;
    int channels() const;
    int bufferFrames() const;
    // The audio driver in use ("pulseaudio", "disk", …), empty without a device.
    std::string driverName() const;
    // Sample frames of cue audio handed to a device (silence not counted), over every device so far.
    std::uint64_t cueFramesMixed() const;
    // Opens tried so far, the first one included.
    std::uint64_t openAttempts() const;

    static constexpr std::chrono::milliseconds retryInterval{500};

private:
    struct Shared;
    void beginAttempt();
    // Takes what a finished helper opened; false while one is still at work.
    bool adoptFinished();

    std::shared_ptr<Shared> shared_;
    std::thread helper_;
    std::uint32_t device_ = 0;
    Samples current_; // keeps what the audio thread reads from alive
    std::chrono::steady_clock::time_point lastAttempt_{};
    std::uint64_t attempts_ = 0;
};

} // namespace vx
