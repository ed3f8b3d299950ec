#include "platform/SdlSoundOutput.h"

#include <QCoreApplication>

#include <SDL.h>

#include <QDir>
#include <QFile>
#include <QHash>

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>
#include <optional>
#include <thread>
#include <vector>

namespace vx {

namespace {

constexpr int kWantedRate = 44100;
constexpr int kChannels = 2;
// Short enough that a judgement cue is heard right after its key.
constexpr Uint16 kBufferFrames = 512;
// Anything bigger is not a cue; refusing it keeps a stray file from eating memory.
constexpr std::size_t kMaxCueBytes = 32u << 20;
constexpr std::size_t kCacheBudgetBytes = 64u << 20;

struct Cue {
    std::vector<std::int16_t> samples; // interleaved, device format
    off_t fileSize = -1;
    timespec fileTime{};
};

struct Located {
    QString path;
    struct stat info;
};

// alsa-lib reports a machine without a sound card on stderr while SDL probes it;
// the game runs silently there, so those reports are dropped.
void dropAlsaReport(const char *, int, const char *, int, const char *, ...) {}

using AlsaErrorHandler = void (*)(const char *, int, const char *, int, const char *, ...);
using SetAlsaErrorHandler = int (*)(AlsaErrorHandler);

void *quietenAlsa()
{
    void *alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
    if (!alsa)
        return nullptr;
    if (auto set = reinterpret_cast<SetAlsaErrorHandler>(dlsym(alsa, "snd_lib_error_set_handler")))
        set(&dropAlsaReport);
    return alsa;
}

void releaseAlsa(void *alsa)
{
    if (!alsa)
        return;
    if (auto set = reinterpret_cast<SetAlsaErrorHandler>(dlsym(alsa, "snd_lib_error_set_handler")))
        set(nullptr);
    dlclose(alsa);
}

bool sameStamp(const Cue &cue, const struct stat &info)
{
    return cue.fileSize == info.st_size && cue.fileTime.tv_sec == info.st_mtim.tv_sec
        && cue.fileTime.tv_nsec == info.st_mtim.tv_nsec;
}

} // namespace

struct SdlSoundOutput::Impl {
    QStringList dirs;
    bool subsystemUp = false;
    void *alsa = nullptr;
    SDL_AudioDeviceID device = 0;
    SDL_AudioSpec deviceFormat{};

    QHash<QString, std::shared_ptr<const Cue>> cache;
    std::size_t cacheBytes = 0;
    std::shared_ptr<const Cue> defaultCue;
    // Keeps the cue the callback reads from alive; touched by the calling thread only.
    std::shared_ptr<const Cue> current;

    // Shared with the audio thread; changed only under the device lock.
    const std::int16_t *mixData = nullptr;
    std::size_t mixLength = 0; // samples
    std::size_t mixPos = 0;
    bool mixLoop = false;

    std::atomic<std::uint64_t> callbacks{0};
    std::atomic<std::uint64_t> endedIn{0}; // callback in which the cue ran out, 0 while sounding
    std::atomic<std::uint64_t> cueFrames{0};

    static void SDLCALL feed(void *self, Uint8 *stream, int len)
    {
        static_cast<Impl *>(self)->mix(reinterpret_cast<std::int16_t *>(stream),
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
        cueFrames.fetch_add(done / static_cast<std::size_t>(deviceFormat.channels));
    }

    void open()
    {
        SDL_SetMainReady();
        // SDL would otherwise take over Ctrl-C from the game.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        // A cut-off file is refused rather than played in part.
        SDL_SetHint(SDL_HINT_WAVE_TRUNCATION, "strict");
        SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "VX-Clackon!");
        // The game stays quiet on the console whatever the driver has to say.
        SDL_LogSetPriority(SDL_LOG_CATEGORY_AUDIO, SDL_NUM_LOG_PRIORITIES);
        alsa = quietenAlsa();
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            return;
        subsystemUp = true;
        // Nobody reads SDL's event queue; don't let hot-plug notices pile up in it.
        SDL_EventState(SDL_AUDIODEVICEADDED, SDL_IGNORE);
        SDL_EventState(SDL_AUDIODEVICEREMOVED, SDL_IGNORE);

        SDL_AudioSpec want{};
        want.freq = kWantedRate;
        want.format = AUDIO_S16SYS;
        want.channels = kChannels;
        want.samples = kBufferFrames;
        want.callback = &Impl::feed;
        want.userdata = this;
        device = SDL_OpenAudioDevice(nullptr, 0, &want, &deviceFormat, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
        if (device == 0)
            return;
        defaultCue = makeDefaultCue();
        SDL_PauseAudioDevice(device, 0);
    }

    void close()
    {
        if (device != 0)
            SDL_CloseAudioDevice(device);
        device = 0;
        if (subsystemUp)
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystemUp = false;
        releaseAlsa(alsa);
        alsa = nullptr;
    }

    // A soft two-partial chime, for a synchronous cue whose file can't be played.
    std::shared_ptr<const Cue> makeDefaultCue() const
    {
        auto cue = std::make_shared<Cue>();
        const int frames = deviceFormat.freq * 150 / 1000;
        const double attack = deviceFormat.freq * 0.005;
        cue->samples.reserve(static_cast<std::size_t>(frames) * deviceFormat.channels);
        for (int i = 0; i < frames; ++i) {
            const double t = double(i) / deviceFormat.freq;
            const double envelope = std::min(1.0, i / attack) * std::exp(-t * 18.0)
                * std::min(1.0, double(frames - i) / attack);
            const double wave = std::sin(2 * std::numbers::pi * 660.0 * t)
                + 0.3 * std::sin(2 * std::numbers::pi * 1320.0 * t);
            const auto s = static_cast<std::int16_t>(std::lround(7000.0 * envelope * wave));
            for (int c = 0; c < deviceFormat.channels; ++c)
                cue->samples.push_back(s);
        }
        return cue;
    }

    std::optional<Located> locate(const QString &fileName) const
    {
        QString name = fileName;
        name.replace(QLatin1Char('\\'), QLatin1Char('/'));
        QStringList candidates;
        if (name.contains(QLatin1Char('/'))) {
            candidates.append(name);
        } else {
            for (const QString &dir : dirs)
                candidates.append(dir.isEmpty() ? name : dir + QLatin1Char('/') + name);
        }
        for (const QString &path : std::as_const(candidates)) {
            Located found{path, {}};
            if (::stat(QFile::encodeName(path).constData(), &found.info) == 0
                && S_ISREG(found.info.st_mode))
                return found;
        }
        return std::nullopt;
    }

    std::shared_ptr<const Cue> cueFor(const QString &fileName)
    {
        const std::optional<Located> found = locate(fileName);
        if (!found)
            return nullptr;
        // "." must mean the directory current at play time, so key on the absolute path.
        const QString key = QDir::isAbsolutePath(found->path)
            ? found->path
            : QDir::currentPath() + QLatin1Char('/') + found->path;
        const auto hit = cache.constFind(key);
        if (hit != cache.constEnd() && sameStamp(**hit, found->info))
            return *hit;
        if (hit != cache.constEnd()) {
            cacheBytes -= (*hit)->samples.size() * sizeof(std::int16_t);
            cache.erase(hit);
        }
        std::shared_ptr<Cue> cue = load(found->path);
        if (!cue)
            return nullptr;
        cue->fileSize = found->info.st_size;
        cue->fileTime = found->info.st_mtim;
        const std::size_t bytes = cue->samples.size() * sizeof(std::int16_t);
        if (cacheBytes + bytes > kCacheBudgetBytes) {
            cache.clear();
            cacheBytes = 0;
        }
        cache.insert(key, cue);
        cacheBytes += bytes;
        return cue;
    }

    // Decodes and converts to the device format once, so later plays only swap a pointer.
    std::shared_ptr<Cue> load(const QString &path) const
    {
        SDL_AudioSpec wav{};
        Uint8 *raw = nullptr;
        Uint32 rawLength = 0;
        if (!SDL_LoadWAV(QFile::encodeName(path).constData(), &wav, &raw, &rawLength))
            return nullptr;
        const std::unique_ptr<Uint8, decltype(&SDL_FreeWAV)> owner(raw, &SDL_FreeWAV);
        const Uint32 frameBytes = SDL_AUDIO_BITSIZE(wav.format) / 8 * wav.channels;
        if (frameBytes == 0)
            return nullptr;
        rawLength -= rawLength % frameBytes;
        if (rawLength == 0)
            return nullptr;

        auto cue = std::make_shared<Cue>();
        if (wav.format == AUDIO_S16SYS && wav.channels == deviceFormat.channels && wav.freq == deviceFormat.freq) {
            if (rawLength > kMaxCueBytes)
                return nullptr;
            cue->samples.resize(rawLength / sizeof(std::int16_t));
            std::copy_n(raw, rawLength, reinterpret_cast<Uint8 *>(cue->samples.data()));
            return cue;
        }

        SDL_AudioStream *stream = SDL_NewAudioStream(wav.format, wav.channels, wav.freq,
                                                     AUDIO_S16SYS, deviceFormat.channels, deviceFormat.freq);
        if (!stream)
            return nullptr;
        const std::unique_ptr<SDL_AudioStream, decltype(&SDL_FreeAudioStream)> streamOwner(
            stream, &SDL_FreeAudioStream);
        const auto drain = [&]() {
            const int available = SDL_AudioStreamAvailable(stream);
            if (available <= 0)
                return true;
            const std::size_t had = cue->samples.size();
            if ((had * sizeof(std::int16_t)) + std::size_t(available) > kMaxCueBytes)
                return false;
            cue->samples.resize(had + std::size_t(available) / sizeof(std::int16_t));
            const int got = SDL_AudioStreamGet(stream, cue->samples.data() + had, available);
            if (got < 0)
                return false;
            cue->samples.resize(had + std::size_t(got) / sizeof(std::int16_t));
            return true;
        };
        constexpr Uint32 chunk = 64u << 10;
        for (Uint32 at = 0; at < rawLength; at += chunk) {
            const Uint32 n = std::min(chunk - chunk % frameBytes, rawLength - at);
            if (SDL_AudioStreamPut(stream, raw + at, int(n)) != 0 || !drain())
                return nullptr;
        }
        // The stream keeps the resampler's look-ahead back even on a flush, so push a
        // stretch of silence through and cut the result to its true length.
        const std::vector<Uint8> silence(std::size_t(std::max(4096, wav.freq / 4)) * frameBytes,
                                         wav.silence);
        if (SDL_AudioStreamPut(stream, silence.data(), int(silence.size())) != 0 || !drain()
            || SDL_AudioStreamFlush(stream) != 0 || !drain())
            return nullptr;
        const std::uint64_t frames = (std::uint64_t(rawLength / frameBytes) * std::uint64_t(deviceFormat.freq)
                                      + std::uint64_t(wav.freq) - 1)
            / std::uint64_t(wav.freq);
        cue->samples.resize(std::min<std::size_t>(cue->samples.size(),
                                                  std::size_t(frames) * std::size_t(deviceFormat.channels)));
        cue->samples.resize(cue->samples.size() - cue->samples.size() % std::size_t(deviceFormat.channels));
        if (cue->samples.empty())
            return nullptr;
        cue->samples.shrink_to_fit();
        return cue;
    }

    void start(std::shared_ptr<const Cue> cue, bool loop)
    {
        SDL_LockAudioDevice(device);
        mixData = cue->samples.data();
        mixLength = cue->samples.size();
        mixPos = 0;
        mixLoop = loop;
        endedIn.store(0);
        SDL_UnlockAudioDevice(device);
        // The cue that was sounding is freed here, outside the lock and off the audio thread.
        current.swap(cue);
    }

    void waitUntilPlayed(const Cue &cue) const
    {
        using namespace std::chrono;
        const auto frames = cue.samples.size() / std::size_t(deviceFormat.channels);
        const auto length = milliseconds(frames * 1000 / std::size_t(deviceFormat.freq));
        const auto buffer = milliseconds(std::max(1, deviceFormat.samples * 1000 / deviceFormat.freq));
        // A stalled device must not hang the game.
        const auto deadline = steady_clock::now() + length + seconds(1);
        for (;;) {
            const std::uint64_t ended = endedIn.load();
            // The callback after the last one has run once the driver took the final buffer.
            if (ended != 0 && callbacks.load() > ended)
                break;
            if (steady_clock::now() >= deadline)
                return;
            std::this_thread::sleep_for(milliseconds(1));
        }
        // Leave the driver its own buffer's worth to reach the speaker.
        std::this_thread::sleep_for(buffer);
    }
};

SdlSoundOutput::SdlSoundOutput(QStringList searchDirs)
    : d(std::make_unique<Impl>())
{
    d->dirs = std::move(searchDirs);
    d->open();
}

SdlSoundOutput::~SdlSoundOutput()
{
    d->close();
}

QStringList SdlSoundOutput::defaultSearchDirs()
{
    QStringList dirs{QStringLiteral(".")};
#ifdef VX_INSTALL_SOUNDS_DIR
    dirs.append(QStringLiteral(VX_INSTALL_SOUNDS_DIR));
#endif
    // An installed copy moved to another prefix still finds the sounds installed beside it.
    if (QCoreApplication::instance())
        dirs.append(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/vx-clackon/sounds"));
#ifdef VX_SOURCE_SOUNDS_DIR
    dirs.append(QStringLiteral(VX_SOURCE_SOUNDS_DIR));
#endif
    return dirs;
}

bool SdlSoundOutput::play(const QString &fileName, unsigned flags)
{
    if (d->device == 0 || fileName.isEmpty())
        return false;
    // A device that went away (unplugged, server gone) plays nothing: say so rather than pretend.
    if (SDL_GetAudioDeviceStatus(d->device) != SDL_AUDIO_PLAYING)
        return false;
    const bool async = flags & SndAsync;
    std::shared_ptr<const Cue> cue = d->cueFor(fileName);
    bool loop = async && (flags & SndLoop);
    if (!cue) {
        // An unplayable file leaves whatever is sounding alone.
        if (flags & SndNoDefault)
            return false;
        cue = d->defaultCue;
        loop = false;
    }
    d->start(cue, loop);
    if (!async)
        d->waitUntilPlayed(*cue);
    return true;
}

bool SdlSoundOutput::isOpen() const
{
    return d->device != 0;
}

bool SdlSoundOutput::isSounding() const
{
    if (d->device == 0)
        return false;
    SDL_LockAudioDevice(d->device);
    const bool sounding = d->mixData != nullptr;
    SDL_UnlockAudioDevice(d->device);
    return sounding;
}

int SdlSoundOutput::sampleRate() const
{
    return d->device != 0 ? d->deviceFormat.freq : 0;
}

int SdlSoundOutput::channels() const
{
    return d->device != 0 ? d->deviceFormat.channels : 0;
}

std::uint64_t SdlSoundOutput::cueFramesMixed() const
{
    return d->cueFrames.load();
}

} // namespace vx
