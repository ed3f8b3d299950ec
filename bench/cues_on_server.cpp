// Judgement cues on a real sound server: from the key (the cue handed to the device) to the
// cue's first sample at the server, and any gap inside a cue, for a given device buffer.
//
//   cues_on_server play FRAMES KEYS INTERVAL-MS SOUNDS-DIR TIMES-OUT RECORDING
//       plays KEYS judgement cues through a device of FRAMES frames, one every INTERVAL-MS,
//       writing the wall-clock time of each hand-off to TIMES-OUT; meanwhile notes every
//       millisecond how long RECORDING (the sink's output, being written) has grown, in
//       TIMES-OUT.arrivals
//   cues_on_server judge RECORDING TIMES SOUNDS-DIR
//       finds each cue in RECORDING (s16le stereo 44100 Hz, raw or WAV) and prints one table
//       row of figures. A sample counts as at the server once the recording holds it: the server
//       hands a cycle's output to the recorder when it has mixed it, so that is a bound from above
//       that a recorder woken late only makes larger.
#include "platform/SdlAudioDevice.h"
#include "platform/SdlSoundOutput.h"

#include <QDir>
#include <QString>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
const char *const kCues[] = {"perfect.wav", "great.wav", "good.wav", "miss.wav"};

double wallNow()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

std::vector<std::int16_t> left(const std::vector<std::int16_t> &stereo)
{
    std::vector<std::int16_t> out;
    for (std::size_t i = 0; i < stereo.size(); i += kChannels)
        out.push_back(stereo[i]);
    return out;
}

// Notes the recording's size every millisecond on a thread of its own, until destroyed.
class ArrivalLog {
public:
    ArrivalLog(std::string recording, std::string out)
        : out_(std::move(out))
        , thread_([this, recording = std::move(recording)] {
            // Above the busy loops, or the log would say when the poller ran, not when the data came.
            sched_param rt{};
            rt.sched_priority = 10;
            pthread_setschedparam(pthread_self(), SCHED_FIFO, &rt);
            struct stat info {};
            off_t last = -1;
            while (!stop_.load()) {
                if (::stat(recording.c_str(), &info) == 0 && info.st_size != last) {
                    last = info.st_size;
                    log_.emplace_back(wallNow(), last);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        })
    {
    }

    ~ArrivalLog()
    {
        stop_.store(true);
        thread_.join();
        std::ofstream f(out_);
        f.precision(17);
        for (const auto &[t, size] : log_)
            f << t << ' ' << size << '\n';
    }

private:
    std::string out_;
    std::atomic<bool> stop_{false};
    std::vector<std::pair<double, off_t>> log_;
    std::thread thread_;
};

int play(int frames, int keys, int intervalMs, const QString &dir, const char *timesOut, const char *recording)
{
    const ArrivalLog arrivals(recording, std::string(timesOut) + ".arrivals");
    vx::SdlAudioDevice device(frames);
    if (!device.ready()) {
        std::fprintf(stderr, "cues_on_server: no device\n");
        return 1;
    }
    std::vector<vx::SdlAudioDevice::Samples> cues;
    for (const char *name : kCues)
        cues.push_back(std::make_shared<const std::vector<std::int16_t>>(
            vx::SdlSoundOutput::decode(QDir(dir).filePath(QString::fromLatin1(name)), device.sampleRate(), device.channels())));
    std::ofstream times(timesOut);
    times << device.driverName() << ' ' << device.bufferFrames() << '\n';
    const auto step = std::chrono::milliseconds(intervalMs);
    auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    for (int k = 0; k < keys; ++k) {
        std::this_thread::sleep_until(next);
        next += step;
        const std::size_t which = std::size_t(k) % cues.size();
        device.start(cues[which], false);
        times.precision(17);
        times << wallNow() << ' ' << which << '\n';
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    return 0;
}

struct Figures {
    std::vector<double> latencyMs;
    int found = 0;
    int withGap = 0;
    double worstGapMs = 0;
};

// Residual energy of the recording against `part` at `at`, relative to the part's own: a server
// that resamples (PipeWire at 48 kHz) or mixes in floats never gives the samples back exactly.
double mismatch(const std::vector<std::int16_t> &rec, std::size_t at, const std::vector<std::int16_t> &part,
                double energy)
{
    double residual = 0;
    for (std::size_t i = 0; i < part.size(); ++i) {
        const double d = double(rec[at + i]) - part[i];
        residual += d * d;
        if (residual > energy)
            break;
    }
    return residual / energy;
}

// A gap is the server playing silence where the cue still sounds: a run of at least a millisecond
// of digital silence in the recording while the cue, aligned at `at`, is loud over the same run.
// Both servers fill a stream that came too late with silence. Returns the longest run in ms.
double gapMs(const std::vector<std::int16_t> &rec, std::size_t at, const std::vector<std::int16_t> &cue,
             std::size_t limit)
{
    constexpr int kSilent = 2;
    constexpr int kLoud = 1000;
    constexpr std::size_t kShortest = kRate / 1000;
    const std::size_t n = std::min({cue.size(), limit, rec.size() - at});
    double worst = 0;
    for (std::size_t i = 0; i < n;) {
        if (std::abs(rec[at + i]) > kSilent) {
            ++i;
            continue;
        }
        std::size_t j = i;
        int loudest = 0;
        while (j < n && std::abs(rec[at + j]) <= kSilent)
            loudest = std::max(loudest, std::abs(int(cue[j++])));
        if (j - i >= kShortest && loudest >= kLoud)
            worst = std::max(worst, double(j - i) * 1000.0 / kRate);
        i = j;
    }
    return worst;
}

// The recording's samples (left channel) and the file offset of its first one.
std::vector<std::int16_t> readRecording(const char *path, std::size_t &dataOffset)
{
    std::ifstream f(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    dataOffset = 0;
    if (bytes.size() >= 12 && std::equal(bytes.begin(), bytes.begin() + 4, "RIFF")) {
        // A WAV file: the samples follow the "data" chunk's header.
        for (std::size_t at = 12; at + 8 <= bytes.size();) {
            std::uint32_t length = 0;
            std::copy_n(bytes.data() + at + 4, 4, reinterpret_cast<char *>(&length));
            if (std::equal(bytes.begin() + long(at), bytes.begin() + long(at) + 4, "data")) {
                dataOffset = at + 8;
                break;
            }
            at += 8 + length + (length & 1);
        }
    }
    std::vector<std::int16_t> stereo((bytes.size() - std::min(bytes.size(), dataOffset)) / 2);
    std::copy_n(bytes.data() + dataOffset, stereo.size() * 2, reinterpret_cast<char *>(stereo.data()));
    return left(stereo);
}

int judge(const char *recPath, const char *timesPath, const QString &dir)
{
    std::size_t dataOffset = 0;
    const std::vector<std::int16_t> rec = readRecording(recPath, dataOffset);
    std::vector<std::vector<std::int16_t>> cues;
    for (const char *name : kCues)
        cues.push_back(left(vx::SdlSoundOutput::decode(QDir(dir).filePath(QString::fromLatin1(name)), kRate, kChannels)));
    std::ifstream times(timesPath);
    std::string driver;
    int frames = 0;
    times >> driver >> frames;
    std::vector<std::pair<double, std::size_t>> keys;
    double t;
    std::size_t which;
    while (times >> t >> which)
        keys.emplace_back(t, which);
    // (wall-clock time, frames in the recording by then)
    std::vector<std::pair<double, std::size_t>> arrivals;
    {
        std::ifstream log(std::string(timesPath) + ".arrivals");
        long long size;
        while (log >> t >> size)
            arrivals.emplace_back(t, std::size_t(std::max(0LL, size - (long long)(dataOffset))) / (2 * kChannels));
    }
    const auto framesBy = [&](double when) {
        const auto it = std::upper_bound(arrivals.begin(), arrivals.end(), std::make_pair(when, std::size_t(-1)));
        return it == arrivals.begin() ? std::size_t(0) : std::prev(it)->second;
    };
    const auto arrivalOf = [&](std::size_t frame) {
        for (const auto &[when, had] : arrivals)
            if (had > frame)
                return when;
        return arrivals.empty() ? 0.0 : arrivals.back().first;
    };

    // 10 dB below the cue: a round trip through a 48 kHz graph leaves up to about 15 dB of
    // difference; another cue or silence leaves none.
    constexpr double kMatch = 0.1;
    Figures fig;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const auto &cue = cues[keys[k].second];
        std::size_t lead = 0;
        while (lead < cue.size() && std::abs(cue[lead]) < 200)
            ++lead;
        const std::vector<std::int16_t> opening(cue.begin() + long(lead), cue.begin() + long(std::min(cue.size(), lead + 512)));
        double energy = 0;
        for (const std::int16_t s : opening)
            energy += double(s) * s;
        if (rec.size() < opening.size() + lead)
            break;
        // What the recording held before the key can't be the cue; search half a second on.
        const std::size_t from = framesBy(keys[k].first) + lead;
        const std::size_t to = std::min(rec.size() - opening.size(), from + kRate / 2);
        std::size_t best = to;
        double bestMismatch = kMatch;
        for (std::size_t p = from; p < to; ++p) {
            const double m = mismatch(rec, p, opening, energy);
            if (m < bestMismatch) {
                bestMismatch = m;
                best = p;
            } else if (best != to && p > best + opening.size()) {
                break;
            }
        }
        if (best == to)
            continue;
        const std::size_t start = best - lead;
        ++fig.found;
        const double heard = arrivalOf(start);
        fig.latencyMs.push_back((heard - keys[k].first) * 1000.0);
        const std::size_t next = k + 1 < keys.size() ? framesBy(keys[k + 1].first) : rec.size();
        // The next cue cuts this one off somewhere after the next key; up to then it must sound whole.
        const std::size_t limit = next > start ? next - start : 0;
        const double gap = gapMs(rec, start, cue, limit);
        if (gap > 0) {
            ++fig.withGap;
            fig.worstGapMs = std::max(fig.worstGapMs, gap);
        }
    }
    std::sort(fig.latencyMs.begin(), fig.latencyMs.end());
    const auto at = [&](double q) {
        return fig.latencyMs.empty() ? 0.0 : fig.latencyMs[std::min(fig.latencyMs.size() - 1, std::size_t(q * fig.latencyMs.size()))];
    };
    std::printf("%s | %d | %zu | %d | %.1f | %.1f | %.1f | %d | %.1f |\n", driver.c_str(), frames, keys.size(), fig.found,
                at(0.5), at(0.9), fig.latencyMs.empty() ? 0.0 : fig.latencyMs.back(), fig.withGap, fig.worstGapMs);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "play" && argc == 8)
        return play(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), QString::fromLocal8Bit(argv[5]), argv[6], argv[7]);
    if (mode == "judge" && argc == 5)
        return judge(argv[2], argv[3], QString::fromLocal8Bit(argv[4]));
    std::fprintf(stderr, "usage: cues_on_server play FRAMES KEYS INTERVAL-MS SOUNDS-DIR TIMES-OUT RECORDING\n"
                         "       cues_on_server judge RECORDING TIMES SOUNDS-DIR\n");
    return 2;
}
