#include "platform/SdlSoundOutput.h"

#include "platform/SdlAudioDevice.h"

#include <QCoreApplication>

#include <SDL.h>

#include <QDir>
#include <QFile>
#include <QHash>

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <optional>
#include <vector>

namespace vx {

namespace {

// Buffers chosen by measurement on a busy machine (BENCHMARKS.md). PulseAudio: 768 frames kept
// every cue whole; 512 broke up now and then. SDL's PipeWire driver hands over one buffer per
// graph cycle and pads a short one with silence, so its buffer must not be smaller than the
// cycle, which Debian's PipeWire holds at 1024 frames or more in a virtual machine.
constexpr SdlAudioDevice::BufferFrames kBufferFrames{1024, 768};

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

// Decodes and converts to the device format once, so later plays only swap a pointer.
std::shared_ptr<Cue> decodeWav(const QString &path, int rate, int channels)
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
    if (wav.format == AUDIO_S16SYS && wav.channels == channels && wav.freq == rate) {
        if (rawLength > kMaxCueBytes)
            return nullptr;
        cue->samples.resize(rawLength / sizeof(std::int16_t));
        std::copy_n(raw, rawLength, reinterpret_cast<Uint8 *>(cue->samples.data()));
        return cue;
    }

    SDL_AudioStream *stream = SDL_NewAudioStream(wav.format, wav.channels, wav.freq,
                                                 AUDIO_S16SYS, channels, rate);
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
    const std::uint64_t frames = (std::uint64_t(rawLength / frameBytes) * std::uint64_t(rate)
                                  + std::uint64_t(wav.freq) - 1)
        / std::uint64_t(wav.freq);
    cue->samples.resize(std::min<std::size_t>(cue->samples.size(),
                                              std::size_t(frames) * std::size_t(channels)));
    cue->samples.resize(cue->samples.size() - cue->samples.size() % std::size_t(channels));
    if (cue->samples.empty())
        return nullptr;
    cue->samples.shrink_to_fit();
    return cue;
}

} // namespace

struct SdlSoundOutput::Impl {
    explicit Impl(QStringList searchDirs)
        : dirs(std::move(searchDirs))
        , alsa(quietenAlsa())
        , device(std::make_unique<SdlAudioDevice>(kBufferFrames))
    {
        // A cut-off file is refused rather than played in part.
        SDL_SetHint(SDL_HINT_WAVE_TRUNCATION, "strict");
        adoptFormat();
    }

    ~Impl()
    {
        device.reset();
        releaseAlsa(alsa);
    }

    QStringList dirs;
    void *alsa = nullptr;
    std::unique_ptr<SdlAudioDevice> device;
    int rate = 0;
    int channels = 0;

    QHash<QString, std::shared_ptr<const Cue>> cache;
    std::size_t cacheBytes = 0;
    std::shared_ptr<const Cue> defaultCue;

    // Cues are kept in the device's format; a device reopened in another one needs them anew.
    void adoptFormat()
    {
        if (device->sampleRate() == rate && device->channels() == channels)
            return;
        rate = device->sampleRate();
        channels = device->channels();
        cache.clear();
        cacheBytes = 0;
        defaultCue = rate > 0 && channels > 0 ? makeDefaultCue() : nullptr;
    }

    // A soft two-partial chime, for a synchronous cue whose file can't be played.
    std::shared_ptr<const Cue> makeDefaultCue() const
    {
        auto cue = std::make_shared<Cue>();
        const int frames = rate * 150 / 1000;
        const double attack = rate * 0.005;
        cue->samples.reserve(static_cast<std::size_t>(frames) * channels);
        for (int i = 0; i < frames; ++i) {
            const double t = double(i) / rate;
            const double envelope = std::min(1.0, i / attack) * std::exp(-t * 18.0)
                * std::min(1.0, double(frames - i) / attack);
            const double wave = std::sin(2 * std::numbers::pi * 660.0 * t)
                + 0.3 * std::sin(2 * std::numbers::pi * 1320.0 * t);
            const auto s = static_cast<std::int16_t>(std::lround(7000.0 * envelope * wave));
            for (int c = 0; c < channels; ++c)
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
            // Only a plain file is opened: a FIFO would block the open.
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
        // A huge file is not a cue: refused before a byte of it is read.
        if (std::size_t(found->info.st_size) > kMaxCueBytes)
            return nullptr;
        std::shared_ptr<Cue> cue = decodeWav(found->path, rate, channels);
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


};

SdlSoundOutput::SdlSoundOutput(QStringList searchDirs)
    : d(std::make_unique<Impl>(std::move(searchDirs)))
{
}

SdlSoundOutput::~SdlSoundOutput() = default;

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
    if (fileName.isEmpty())
        return false;
    // A device that went away (server gone or restarted) plays nothing until it is back:
    // say so rather than pretend.
    if (!d->device->ready())
        return false;
    d->adoptFormat();
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
    d->device->start(SdlAudioDevice::Samples(cue, &cue->samples), loop);
    if (!async)
        d->device->waitUntilPlayed();
    return true;
}

bool SdlSoundOutput::isOpen() const
{
    return d->device->isOpen();
}

bool SdlSoundOutput::isSounding() const
{
    return d->device->isSounding();
}

int SdlSoundOutput::sampleRate() const
{
    return d->device->sampleRate();
}

int SdlSoundOutput::channels() const
{
    return d->device->channels();
}

std::uint64_t SdlSoundOutput::cueFramesMixed() const
{
    return d->device->cueFramesMixed();
}

std::vector<std::int16_t> SdlSoundOutput::decode(const QString &path, int rate, int channels)
{
    const std::shared_ptr<Cue> cue = decodeWav(path, rate, channels);
    return cue ? std::move(cue->samples) : std::vector<std::int16_t>();
}

const SdlAudioDevice &SdlSoundOutput::device() const
{
    return *d->device;
}

} // namespace vx
