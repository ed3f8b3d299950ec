#include "platform/SdlAudioDevice.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

namespace vx {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kWantedRate = 44100;
constexpr int kChannels = 2;
// Start-up waits this long for the first device; a hung server then finds the game silent, not frozen.
constexpr milliseconds kFirstOpenWait{3000};
// A cue waits this long for the reopen it started: enough for a server that is there to answer.
constexpr milliseconds kReopenWait{250};
// Leaving the game waits this long for a reopen still talking to a server.
constexpr milliseconds kExitWait{2000};

std::vector<std::string> compiledDrivers()
{
    std::vector<std::string> compiled;
    for (int i = 0; i < SDL_GetNumAudioDrivers(); ++i)
        if (const char *name = SDL_GetAudioDriver(i))
            compiled.emplace_back(name);
    return compiled;
}

// SDL's PipeWire driver starts wherever a PipeWire daemon answers, also where that daemon only
// carries video and PulseAudio plays the sound; a driver that found nowhere to play gives way.
bool hasNowhereToPlay(const std::string &driver)
{
    return driver == "pipewire" && SDL_GetNumAudioDevices(0) == 0;
}

} // namespace

// Each driver is tried through to an open device, so that one which loads but finds no server
// gives way to the next. PulseAudio first, which a PipeWire desktop serves too: SDL 2.26's own
// PipeWire driver fills its buffers on a thread of normal priority, and at buffers small enough
// for the delay wanted it breaks cues up on a busy machine (BENCHMARKS.md). Then PipeWire (a
// desktop without its PulseAudio server), ALSA and whatever else SDL has, except the file and
// null drivers nobody wants by chance.
std::vector<std::string> audioDriverOrder(const std::vector<std::string> &compiled, const std::string &chosen)
{
    if (!chosen.empty())
        return {std::string()};
    std::vector<std::string> order;
    for (const char *preferred : {"pulseaudio", "pipewire", "alsa"})
        if (std::find(compiled.begin(), compiled.end(), preferred) != compiled.end())
            order.emplace_back(preferred);
    for (const std::string &name : compiled)
        if (name != "dummy" && name != "disk" && std::find(order.begin(), order.end(), name) == order.end())
            order.push_back(name);
    return order;
}

struct SdlAudioDevice::Shared {
    explicit Shared(BufferFrames frames) : wantedFrames(frames) {}

    const BufferFrames wantedFrames;

    std::mutex lock;
    std::condition_variable changed;
    bool busy = false;             // a helper is opening or closing
    SDL_AudioDeviceID opened = 0;  // what the last helper opened, until adopted
    // Written by a helper before it clears busy; read by the calling thread after.
    bool subsystemUp = false;
    SDL_AudioSpec format{};
    std::string driver;

    // The audio thread's side; changed only under the device lock or with no device open.
    const std::int16_t *mixData = nullptr;
    std::size_t mixLength = 0; // samples
    std::size_t mixPos = 0;
    bool mixLoop = false;

    std::atomic<std::uint64_t> callbacks{0};
    std::atomic<std::uint64_t> endedIn{0}; // callback in which the samples ran out, 0 while sounding
    std::atomic<std::uint64_t> cueFrames{0};

    static void SDLCALL feed(void *self, Uint8 *stream, int len)
    {
        static_cast<Shared *>(self)->mix(reinterpret_cast<std::int16_t *>(stream),
                                         static_cast<std::size_t>(len) / sizeof(std::int16_t));
    }

    void mix(std::int16_t *out, std::size_t wanted)
    {
        const std::uint64_t call = callbacks.fetch_add(1) + 1;
        std::size_t done = 0;
        while (mixData && done < wanted) {
            if (mixPos == mixLength) {
                if (!mixLoop)
                    break;
                mixPos = 0;
            }
            const std::size_t n = std::min(mixLength - mixPos, wanted - done);
            std::copy_n(mixData + mixPos, n, out + done);
            mixPos += n;
            done += n;
        }
        if (mixData && !mixLoop && mixPos == mixLength) {
            mixData = nullptr;
            endedIn.store(call);
        }
        std::fill(out + done, out + wanted, std::int16_t{0});
        cueFrames.fetch_add(done / static_cast<std::size_t>(std::max<Uint8>(1, format.channels)));
    }

    // Runs on a helper: closes what was lost, starts SDL's audio afresh (a driver only looks for
    // its server when it starts) and opens the first device that works.
    void reopen(SDL_AudioDeviceID lost)
    {
        if (lost != 0)
            SDL_CloseAudioDevice(lost);
        if (subsystemUp)
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystemUp = false;
        mixData = nullptr;
        mixLength = mixPos = 0;
        mixLoop = false;
        endedIn.store(0);

        SDL_AudioDeviceID id = 0;
        const char *chosen = SDL_getenv("SDL_AUDIODRIVER");
        for (const std::string &driver : audioDriverOrder(compiledDrivers(), chosen ? chosen : "")) {
            if (!driver.empty())
                SDL_SetHint(SDL_HINT_AUDIODRIVER, driver.c_str());
            if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
                continue;
            if (hasNowhereToPlay(driver)) {
                SDL_QuitSubSystem(SDL_INIT_AUDIO);
                continue;
            }
            // Nobody reads SDL's event queue; don't let hot-plug notices pile up in it.
            SDL_EventState(SDL_AUDIODEVICEADDED, SDL_IGNORE);
            SDL_EventState(SDL_AUDIODEVICEREMOVED, SDL_IGNORE);
            SDL_AudioSpec want{};
            want.freq = kWantedRate;
            want.format = AUDIO_S16SYS;
            want.channels = kChannels;
            const char *current = SDL_GetCurrentAudioDriver();
            const int frames = current && std::strcmp(current, "pipewire") == 0 ? wantedFrames.pipewire
                                                                                  : wantedFrames.others;
            want.samples = Uint16(std::clamp(frames, 64, 32768));
            want.callback = &Shared::feed;
            want.userdata = this;
            id = SDL_OpenAudioDevice(nullptr, 0, &want, &format, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
            if (id != 0) {
                this->driver = current ? current : "";
                SDL_PauseAudioDevice(id, 0);
                break;
            }
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
        subsystemUp = id != 0;
        {
            const std::lock_guard<std::mutex> hold(lock);
            opened = id;
            busy = false;
        }
        changed.notify_all();
    }

    bool waitIdle(milliseconds limit)
    {
        std::unique_lock<std::mutex> hold(lock);
        return changed.wait_for(hold, limit, [this] { return !busy; });
    }
};

SdlAudioDevice::SdlAudioDevice(BufferFrames bufferFrames)
    : shared_(std::make_shared<Shared>(bufferFrames))
{
    SDL_SetMainReady();
    // SDL would otherwise take over Ctrl-C from the game.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "VX-Clackon!");
    // The game stays quiet on the console whatever the driver has to say.
    SDL_LogSetPriority(SDL_LOG_CATEGORY_AUDIO, SDL_NUM_LOG_PRIORITIES);
    beginAttempt();
    shared_->waitIdle(kFirstOpenWait);
    adoptFinished();
}

SdlAudioDevice::~SdlAudioDevice()
{
    if (!shared_->waitIdle(kExitWait)) {
        // Still stuck on a server that hangs: the process is on its way out, let it go with it.
        helper_.detach();
        return;
    }
    adoptFinished();
    if (device_ != 0)
        SDL_CloseAudioDevice(device_);
    if (shared_->subsystemUp)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    shared_->subsystemUp = false;
}

void SdlAudioDevice::beginAttempt()
{
    if (helper_.joinable())
        helper_.join();
    {
        const std::lock_guard<std::mutex> hold(shared_->lock);
        shared_->busy = true;
    }
    ++attempts_;
    lastAttempt_ = Clock::now();
    const SDL_AudioDeviceID lost = device_;
    device_ = 0;
    helper_ = std::thread([shared = shared_, lost] { shared->reopen(lost); });
}

bool SdlAudioDevice::adoptFinished()
{
    {
        const std::lock_guard<std::mutex> hold(shared_->lock);
        if (shared_->busy)
            return false;
        if (device_ == 0)
            device_ = std::exchange(shared_->opened, 0);
    }
    if (helper_.joinable())
        helper_.join();
    return true;
}

bool SdlAudioDevice::ready()
{
    if (isOpen())
        return true;
    if (!adoptFinished())
        return false;
    if (isOpen() || Clock::now() - lastAttempt_ < retryInterval)
        return isOpen();
    beginAttempt();
    shared_->waitIdle(kReopenWait);
    return adoptFinished() && isOpen();
}

void SdlAudioDevice::start(Samples samples, bool loop)
{
    if (device_ == 0 || !samples)
        return;
    SDL_LockAudioDevice(device_);
    shared_->mixData = samples->data();
    shared_->mixLength = samples->size();
    shared_->mixPos = 0;
    shared_->mixLoop = loop;
    shared_->endedIn.store(0);
    SDL_UnlockAudioDevice(device_);
    // What sounded before is freed here, outside the lock and off the audio thread.
    current_.swap(samples);
}

void SdlAudioDevice::waitUntilPlayed() const
{
    if (device_ == 0 || !current_)
        return;
    using namespace std::chrono;
    const SDL_AudioSpec &format = shared_->format;
    const auto frames = current_->size() / std::size_t(std::max<Uint8>(1, format.channels));
    const auto length = milliseconds(frames * 1000 / std::size_t(std::max(1, format.freq)));
    const auto buffer = milliseconds(std::max(1, format.samples * 1000 / std::max(1, format.freq)));
    // A stalled device must not hang the game.
    const auto deadline = Clock::now() + length + seconds(1);
    for (;;) {
        const std::uint64_t ended = shared_->endedIn.load();
        // The callback after the last one has run once the driver took the final buffer.
        if (ended != 0 && shared_->callbacks.load() > ended)
            break;
        if (Clock::now() >= deadline || SDL_GetAudioDeviceStatus(device_) != SDL_AUDIO_PLAYING)
            return;
        std::this_thread::sleep_for(milliseconds(1));
    }
    // Leave the driver its own buffer's worth to reach the speaker.
    std::this_thread::sleep_for(buffer);
}

bool SdlAudioDevice::isOpen() const
{
    return device_ != 0 && SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_PLAYING;
}

bool SdlAudioDevice::isSounding() const
{
    if (!isOpen())
        return false;
    SDL_LockAudioDevice(device_);
    const bool sounding = shared_->mixData != nullptr;
    SDL_UnlockAudioDevice(device_);
    return sounding;
}

int SdlAudioDevice::sampleRate() const
{
    return device_ != 0 ? shared_->format.freq : 0;
}

int SdlAudioDevice::channels() const
{
    return device_ != 0 ? shared_->format.channels : 0;
}

int SdlAudioDevice::bufferFrames() const
{
    return device_ != 0 ? shared_->format.samples : 0;
}

std::string SdlAudioDevice::driverName() const
{
    return device_ != 0 ? shared_->driver : std::string();
}

std::uint64_t SdlAudioDevice::cueFramesMixed() const
{
    return shared_->cueFrames.load();
}

std::uint64_t SdlAudioDevice::openAttempts() const
{
    return attempts_;
}

} // namespace vx
