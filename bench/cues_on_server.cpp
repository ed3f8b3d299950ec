// Judgement cues on a real sound server: from the key (the cue handed to the device) to the
// cue's first sample at the server, and any gap inside a cue, for a given device buffer.
//
//   cues_on_server play FRAMES KEYS INTERVAL-MS SOUNDS-DIR TIMES-OUT
//       plays KEYS judgement cues through a device of FRAMES frames, one every INTERVAL-MS,
//       writing the wall-clock time of each hand-off to TIMES-OUT
//   cues_on_server judge RECORDING RECORDING-ZERO TIMES SOUNDS-DIR
//       finds each cue in RECORDING (raw s16le stereo 44100 Hz of the sink's monitor, whose first
//       sample was at wall-clock RECORDING-ZERO) and prints one table row of figures
#include "platform/SdlAudioDevice.h"
#include "platform/SdlSoundOutput.h"

#include <QDir>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

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

int play(int frames, int keys, int intervalMs, const QString &dir, const char *timesOut)
{
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

// The cue's frames heard from `at`, up to `limit` frames; the first stretch where the recording
// leaves the cue and then finds it again further on is a gap (the server ran dry and went on later).
double gapMs(const std::vector<std::int16_t> &rec, std::size_t at, const std::vector<std::int16_t> &cue,
             std::size_t limit)
{
    constexpr int tol = 64;
    const std::size_t n = std::min({cue.size(), limit, rec.size() - at});
    std::size_t i = 0;
    while (i < n && std::abs(rec[at + i] - cue[i]) <= tol)
        ++i;
    if (i == n)
        return 0;
    // Look for the rest of the cue resumed after some silence.
    for (std::size_t shift = 1; shift < std::size_t(kRate) / 5 && at + i + shift + 64 < rec.size(); ++shift) {
        bool same = true;
        for (std::size_t j = 0; j < 64 && i + j < cue.size() && same; ++j)
            same = std::abs(rec[at + i + shift + j] - cue[i + j]) <= tol;
        if (same)
            return double(shift) * 1000.0 / kRate;
    }
    // Not resumed: cut by the server or lost; count it as a gap as long as the rest.
    return double(n - i) * 1000.0 / kRate;
}

int judge(const char *recPath, double recZero, const char *timesPath, const QString &dir)
{
    std::vector<std::int16_t> rec;
    {
        std::ifstream f(recPath, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        std::vector<std::int16_t> stereo(bytes.size() / 2);
        std::copy_n(bytes.data(), stereo.size() * 2, reinterpret_cast<char *>(stereo.data()));
        rec = left(stereo);
    }
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

    Figures fig;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const auto &cue = cues[keys[k].second];
        std::size_t lead = 0;
        while (lead < cue.size() && std::abs(cue[lead]) < 200)
            ++lead;
        const std::vector<std::int16_t> opening(cue.begin() + long(lead), cue.begin() + long(std::min(cue.size(), lead + 512)));
        // Search from the key on, for up to half a second.
        const auto from = std::size_t(std::max(0.0, (keys[k].first - recZero) * kRate));
        const std::size_t to = std::min(rec.size() - opening.size(), from + kRate / 2);
        for (std::size_t p = from; p < to; ++p) {
            bool same = true;
            for (std::size_t j = 0; j < opening.size() && same; ++j)
                same = std::abs(rec[p + j] - opening[j]) <= 64;
            if (!same)
                continue;
            const std::size_t start = p - std::min(p, lead);
            ++fig.found;
            fig.latencyMs.push_back((recZero + double(start) / kRate - keys[k].first) * 1000.0);
            const double nextKey = k + 1 < keys.size() ? keys[k + 1].first : keys[k].first + 1.0;
            const auto limit = std::size_t(std::max(0.0, (recZero + double(start) / kRate > nextKey ? 0.0
                                                          : nextKey - recZero - double(start) / kRate - 0.05) * kRate));
            const double gap = gapMs(rec, start, cue, limit);
            if (gap > 0) {
                ++fig.withGap;
                fig.worstGapMs = std::max(fig.worstGapMs, gap);
            }
            break;
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
    if (mode == "play" && argc == 7)
        return play(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), QString::fromLocal8Bit(argv[5]), argv[6]);
    if (mode == "judge" && argc == 6)
        return judge(argv[2], std::atof(argv[3]), argv[4], QString::fromLocal8Bit(argv[5]));
    std::fprintf(stderr, "usage: cues_on_server play FRAMES KEYS INTERVAL-MS SOUNDS-DIR TIMES-OUT\n"
                         "       cues_on_server judge RECORDING RECORDING-ZERO TIMES SOUNDS-DIR\n");
    return 2;
}
