// Finds where each cue starts in a recording of a sound server's output.
//
//   cue-onsets RECORDING SOUNDS-DIR
//
// RECORDING is raw signed 16-bit little-endian stereo at 44100 Hz (what parecord --raw writes).
// Each *.wav of SOUNDS-DIR is converted the way the game converts it for its device; where the
// recording holds the opening stretch of a cue sample for sample (give or take a little
// rounding), one line "SECONDS NAME" is printed, in order of time. Cues cut each other off, so
// only their openings are matched.
#include "platform/SdlSoundOutput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
// The opening compared: long enough that no two cues share it, short enough to survive a quick cut.
constexpr std::size_t kOpeningFrames = 1024;
// A cue's opening starts where it first rises above this, so a quiet fade-in is not all it is known by.
constexpr int kOnsetLevel = 200;

struct Opening {
    std::string name;
    std::size_t lead = 0;         // frames of near-silence before the opening
    std::vector<double> samples;  // left channel
    double energy = 0;
};

struct Hit {
    std::size_t frame;
    std::string name;
};

std::vector<Opening> openings(const QString &dir)
{
    std::vector<Opening> out;
    const QStringList files = QDir(dir).entryList({QStringLiteral("*.wav")}, QDir::Files, QDir::Name);
    for (const QString &file : files) {
        const std::vector<std::int16_t> cue = vx::SdlSoundOutput::decode(QDir(dir).filePath(file), kRate, kChannels);
        const std::size_t frames = cue.size() / kChannels;
        std::size_t lead = 0;
        while (lead < frames && std::abs(cue[lead * kChannels]) < kOnsetLevel)
            ++lead;
        if (lead == frames)
            continue;
        Opening o{QFileInfo(file).completeBaseName().toStdString(), lead, {}, 0};
        for (std::size_t i = lead; i < frames && i < lead + kOpeningFrames; ++i) {
            o.samples.push_back(cue[i * kChannels]);
            o.energy += double(cue[i * kChannels]) * cue[i * kChannels];
        }
        out.push_back(std::move(o));
    }
    return out;
}

std::vector<double> leftChannel(const char *path)
{
    std::vector<double> left;
    FILE *f = std::fopen(path, "rb");
    if (!f)
        return left;
    std::int16_t frame[kChannels];
    while (std::fread(frame, sizeof frame, 1, f) == 1)
        left.push_back(frame[0]);
    std::fclose(f);
    return left;
}

// Residual energy of the recording against the opening at `at`, relative to the opening's own.
double mismatch(const std::vector<double> &rec, std::size_t at, const Opening &o, double giveUp)
{
    double residual = 0;
    const double limit = giveUp * o.energy;
    for (std::size_t i = 0; i < o.samples.size(); ++i) {
        const double d = rec[at + i] - o.samples[i];
        residual += d * d;
        if (residual > limit)
            return 1.0;
    }
    return residual / o.energy;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: cue-onsets RECORDING SOUNDS-DIR\n");
        return 2;
    }
    const std::vector<double> rec = leftChannel(argv[1]);
    const std::vector<Opening> cues = openings(QString::fromLocal8Bit(argv[2]));
    if (cues.empty()) {
        std::fprintf(stderr, "cue-onsets: no playable cue in %s\n", argv[2]);
        return 2;
    }
    // 30 dB below the cue: rounding and a server's float mixing pass, a different sound does not.
    constexpr double kMatch = 1e-3;
    std::vector<Hit> hits;
    for (const Opening &o : cues) {
        const std::size_t n = o.samples.size();
        const double tol = std::max(64.0, std::abs(o.samples[0]) * 0.05);
        for (std::size_t p = 0; p + n <= rec.size(); ++p) {
            if (std::abs(rec[p] - o.samples[0]) > tol || std::abs(rec[p + n / 2] - o.samples[n / 2]) > 4 * tol)
                continue;
            if (mismatch(rec, p, o, kMatch) < kMatch) {
                hits.push_back({p >= o.lead ? p - o.lead : 0, o.name});
                p += n;
            }
        }
    }
    std::sort(hits.begin(), hits.end(), [](const Hit &a, const Hit &b) { return a.frame < b.frame; });
    for (const Hit &h : hits)
        std::printf("%.3f %s\n", double(h.frame) / kRate, h.name.c_str());
    return 0;
}
