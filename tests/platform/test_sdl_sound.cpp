#include "platform/SdlSoundOutput.h"

#include "platform/SdlAudioDevice.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using vx::SdlSoundOutput;
using vx::SndAsync;
using vx::SndLoop;
using vx::SndNoDefault;
using vx::SndSync;

constexpr unsigned kAsync = SndAsync | SndNoDefault;
constexpr unsigned kWait = SndNoDefault;
constexpr unsigned kLoop = SndAsync | SndNoDefault | SndLoop;
constexpr unsigned kWaitOrDefault = SndSync;

constexpr int kRate = 44100;
constexpr int kChannels = 2;

void putLe(QByteArray &out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xff));
}

// A PCM wave file whose every sample is `value` (8-bit files store it offset by 128).
QByteArray constantWav(int frames, int value, int rate = kRate, int channels = kChannels,
                       int bits = 16)
{
    const std::uint32_t dataBytes = std::uint32_t(frames) * channels * (bits / 8);
    QByteArray out("RIFF");
    putLe(out, 36 + dataBytes, 4);
    out.append("WAVEfmt ");
    putLe(out, 16, 4);
    putLe(out, 1, 2);
    putLe(out, std::uint32_t(channels), 2);
    putLe(out, std::uint32_t(rate), 4);
    putLe(out, std::uint32_t(rate * channels * bits / 8), 4);
    putLe(out, std::uint32_t(channels * bits / 8), 2);
    putLe(out, std::uint32_t(bits), 2);
    out.append("data");
    putLe(out, dataBytes, 4);
    for (int i = 0; i < frames * channels; ++i)
        putLe(out, std::uint32_t(bits == 8 ? value + 128 : value), bits / 8);
    return out;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

std::size_t countOf(const std::vector<std::int16_t> &samples, std::int16_t value)
{
    return std::size_t(std::count(samples.begin(), samples.end(), value));
}

// The distinct sounding values in the order they were heard, silence left out.
std::vector<std::int16_t> runs(const std::vector<std::int16_t> &samples)
{
    std::vector<std::int16_t> out;
    for (std::int16_t s : samples)
        if (s != 0 && (out.empty() || out.back() != s))
            out.push_back(s);
    return out;
}

bool waitFor(const std::function<bool()> &done, std::chrono::seconds limit = std::chrono::seconds(2))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class SdlSoundTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        rawPath = tmp.filePath(QStringLiteral("device.raw"));
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", QFile::encodeName(rawPath).constData(), 1);
        // The disk driver then paces itself like a real device, one buffer at a time.
        unsetenv("SDL_DISKAUDIODELAY");
    }

    void TearDown() override
    {
        out.reset();
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
    }

    void open(QStringList dirs = {})
    {
        out = std::make_unique<SdlSoundOutput>(dirs.isEmpty() ? QStringList{tmp.path()} : dirs);
        ASSERT_TRUE(out->isOpen());
        ASSERT_EQ(out->sampleRate(), kRate);
        ASSERT_EQ(out->channels(), kChannels);
    }

    QString cue(const QString &name, int frames, int value)
    {
        writeFile(tmp.filePath(name), constantWav(frames, value));
        return name;
    }

    // Closes the device and returns every sample it was given.
    std::vector<std::int16_t> finish()
    {
        out.reset();
        QFile file(rawPath);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        std::vector<std::int16_t> samples(std::size_t(bytes.size()) / sizeof(std::int16_t));
        std::memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(std::int16_t));
        return samples;
    }

    bool waitUntilQuiet()
    {
        return waitFor([this] { return !out->isSounding(); });
    }

    QTemporaryDir tmp;
    QString rawPath;
    std::unique_ptr<SdlSoundOutput> out;
};

TEST_F(SdlSoundTest, PlayedCueReachesTheDeviceWhole)
{
    open();
    const QString name = cue(QStringLiteral("a.wav"), 2205, 1234);
    ASSERT_TRUE(out->play(name, kAsync));
    ASSERT_TRUE(waitUntilQuiet());
    const auto samples = finish();
    EXPECT_EQ(countOf(samples, 1234), 2205u * kChannels);
    EXPECT_EQ(runs(samples), std::vector<std::int16_t>{1234});
}

TEST_F(SdlSoundTest, ConvertsOtherFormatsToTheDevice)
{
    struct Case {
        int rate, channels, bits, value;
        std::int16_t heard;
    };
    const Case cases[] = {
        {22050, 1, 16, 3000, 3000},
        {48000, 2, 16, -2500, -2500},
        {44100, 1, 8, 32, 32 * 256},
    };
    open();
    for (const Case &c : cases) {
        const int frames = c.rate / 10;
        writeFile(tmp.filePath(QStringLiteral("c.wav")), constantWav(frames, c.value, c.rate, c.channels, c.bits));
        ASSERT_TRUE(out->play(QStringLiteral("c.wav"), kWait)) << c.rate << "/" << c.channels << "/" << c.bits;
    }
    const auto samples = finish();
    // Each is a tenth of a second at the device rate, give or take the resampler's edges.
    const std::size_t expected = kRate / 10 * kChannels;
    for (const Case &c : cases) {
        const auto near = std::size_t(std::count_if(samples.begin(), samples.end(), [&](std::int16_t s) {
            return std::abs(s - c.heard) <= std::abs(c.heard) / 20;
        }));
        EXPECT_GT(near, expected * 9 / 10) << c.rate << "/" << c.channels << "/" << c.bits;
        EXPECT_LT(near, expected * 11 / 10) << c.rate << "/" << c.channels << "/" << c.bits;
    }
}

TEST_F(SdlSoundTest, NewCueCutsOffTheOneSounding)
{
    open();
    const QString longCue = cue(QStringLiteral("long.wav"), kRate, 1000);
    const QString shortCue = cue(QStringLiteral("short.wav"), 2205, 2000);
    ASSERT_TRUE(out->play(longCue, kAsync));
    ASSERT_TRUE(waitFor([this] { return out->cueFramesMixed() >= 2048; }));
    ASSERT_TRUE(out->play(shortCue, kAsync));
    ASSERT_TRUE(waitUntilQuiet());
    const auto samples = finish();
    EXPECT_GT(countOf(samples, 1000), 0u);
    EXPECT_LT(countOf(samples, 1000), std::size_t(kRate) * kChannels / 2);
    EXPECT_EQ(countOf(samples, 2000), 2205u * kChannels);
    EXPECT_EQ(runs(samples), (std::vector<std::int16_t>{1000, 2000}));
}

TEST_F(SdlSoundTest, UnplayableFileFailsAndLeavesTheSoundPlaying)
{
    const QByteArray good = constantWav(441, 500);
    struct Case {
        const char *what;
        QByteArray bytes; // empty with isDir false: no file at all
        bool write;
        bool isDir;
    };
    const Case cases[] = {
        {"missing", {}, false, false},
        {"empty", {}, true, false},
        {"not a wave", "just some text, not audio\n", true, false},
        {"RIFF header only", QByteArray("RIFF\x04\0\0\0WAVE", 12), true, false},
        {"no samples", constantWav(0, 0), true, false},
        {"truncated", good.left(good.size() - 301), true, false},
        {"directory", {}, false, true},
    };
    open();
    ASSERT_TRUE(out->play(cue(QStringLiteral("long.wav"), kRate, 1000), kAsync));
    int n = 0;
    for (const Case &c : cases) {
        const QString name = QStringLiteral("bad%1.wav").arg(n++);
        if (c.write)
            writeFile(tmp.filePath(name), c.bytes);
        if (c.isDir) {
            ASSERT_TRUE(QDir(tmp.path()).mkdir(name));
        }
        for (unsigned flags : {kAsync, kWait, kLoop})
            EXPECT_FALSE(out->play(name, flags)) << c.what << " flags " << flags;
        EXPECT_TRUE(out->isSounding()) << c.what;
    }
    for (unsigned flags : {kAsync, kWait, kLoop, kWaitOrDefault})
        EXPECT_FALSE(out->play(QString(), flags)) << "empty name, flags " << flags;
    EXPECT_TRUE(out->isSounding());
    ASSERT_TRUE(waitFor([this] { return out->cueFramesMixed() > 0; }));
    const auto samples = finish();
    EXPECT_EQ(runs(samples), std::vector<std::int16_t>{1000});
}

TEST_F(SdlSoundTest, SynchronousPlayReturnsOnceTheCueIsOut)
{
    open();
    const QString name = cue(QStringLiteral("s.wav"), 4410, 1500);
    for (unsigned flags : {kWait, kWaitOrDefault}) {
        ASSERT_TRUE(out->play(name, flags)) << flags;
        EXPECT_FALSE(out->isSounding()) << flags;
    }
    // Closing at once would cut a cue that was still playing.
    const auto samples = finish();
    EXPECT_EQ(countOf(samples, 1500), 2u * 4410 * kChannels);
}

TEST_F(SdlSoundTest, LoopRepeatsUntilAnotherCueStarts)
{
    open();
    const int loopFrames = 441;
    const QString loop = cue(QStringLiteral("loop.wav"), loopFrames, 3000);
    const QString next = cue(QStringLiteral("next.wav"), 441, 2000);
    ASSERT_TRUE(out->play(loop, kLoop));
    ASSERT_TRUE(waitFor([this] { return out->cueFramesMixed() >= 6 * loopFrames; }));
    EXPECT_TRUE(out->isSounding());
    ASSERT_TRUE(out->play(next, kAsync));
    ASSERT_TRUE(waitUntilQuiet());
    const auto samples = finish();
    EXPECT_GE(countOf(samples, 3000), 6u * loopFrames * kChannels);
    EXPECT_EQ(countOf(samples, 2000), 441u * kChannels);
    EXPECT_EQ(runs(samples), (std::vector<std::int16_t>{3000, 2000}));
}

TEST_F(SdlSoundTest, SynchronousPlayWithoutNoDefaultFallsBackToOurOwnSound)
{
    open();
    writeFile(tmp.filePath(QStringLiteral("broken.wav")), QByteArray("RIFF nonsense"));
    for (const char *name : {"absent.wav", "broken.wav"}) {
        ASSERT_TRUE(out->play(QString::fromLatin1(name), kWaitOrDefault)) << name;
        EXPECT_FALSE(out->isSounding()) << name;
    }
    const auto samples = finish();
    const auto sounding = std::size_t(std::count_if(samples.begin(), samples.end(), [](std::int16_t s) { return s != 0; }));
    // Two plays of a sound of about 150 ms.
    EXPECT_GT(sounding, std::size_t(kRate) * kChannels / 5);
}

TEST_F(SdlSoundTest, LooksInEachDirectoryInTurn)
{
    QDir root(tmp.path());
    for (const char *dir : {"cur", "inst", "src", "elsewhere"})
        ASSERT_TRUE(root.mkdir(QString::fromLatin1(dir)));
    const QString cur = root.filePath(QStringLiteral("cur"));
    const QString inst = root.filePath(QStringLiteral("inst"));
    const QString src = root.filePath(QStringLiteral("src"));
    writeFile(cur + "/x.wav", constantWav(441, 100));
    writeFile(inst + "/x.wav", constantWav(441, 200));
    writeFile(src + "/x.wav", constantWav(441, 300));
    // A directory of the cue's name is not the cue.
    ASSERT_TRUE(QDir(cur).mkdir(QStringLiteral("y.wav")));
    writeFile(src + "/y.wav", constantWav(441, 400));
    writeFile(root.filePath(QStringLiteral("elsewhere/z.wav")), constantWav(441, 500));
    open({cur, inst, src});

    ASSERT_TRUE(out->play(QStringLiteral("x.wav"), kWait));
    ASSERT_TRUE(QFile::remove(cur + "/x.wav"));
    ASSERT_TRUE(out->play(QStringLiteral("x.wav"), kWait));
    ASSERT_TRUE(QFile::remove(inst + "/x.wav"));
    ASSERT_TRUE(out->play(QStringLiteral("x.wav"), kWait));
    ASSERT_TRUE(out->play(QStringLiteral("y.wav"), kWait));
    // A name with a directory is taken as it stands, not searched for.
    ASSERT_TRUE(out->play(root.filePath(QStringLiteral("elsewhere/z.wav")), kWait));
    EXPECT_FALSE(out->play(QStringLiteral("elsewhere/x.wav"), kWait));
    ASSERT_TRUE(QFile::remove(src + "/x.wav"));
    EXPECT_FALSE(out->play(QStringLiteral("x.wav"), kWait));

    EXPECT_EQ(runs(finish()), (std::vector<std::int16_t>{100, 200, 300, 400, 500}));
}

TEST_F(SdlSoundTest, DotMeansTheDirectoryCurrentAtPlayTime)
{
    QDir root(tmp.path());
    ASSERT_TRUE(root.mkdir(QStringLiteral("one")));
    ASSERT_TRUE(root.mkdir(QStringLiteral("two")));
    writeFile(root.filePath(QStringLiteral("one/x.wav")), constantWav(441, 111));
    writeFile(root.filePath(QStringLiteral("two/x.wav")), constantWav(441, 222));
    // Twins in size and time: only the directory tells them apart.
    const auto stamp = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    for (const char *file : {"one/x.wav", "two/x.wav"})
        std::filesystem::last_write_time(QFile::encodeName(root.filePath(QString::fromLatin1(file))).toStdString(), stamp);
    const std::filesystem::path before = std::filesystem::current_path();
    open({QStringLiteral(".")});

    std::filesystem::current_path(QFile::encodeName(root.filePath(QStringLiteral("one"))).toStdString());
    const bool first = out->play(QStringLiteral("x.wav"), kWait);
    std::filesystem::current_path(QFile::encodeName(root.filePath(QStringLiteral("two"))).toStdString());
    const bool second = out->play(QStringLiteral("x.wav"), kWait);
    std::filesystem::current_path(before);

    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
    EXPECT_EQ(runs(finish()), (std::vector<std::int16_t>{111, 222}));
}

TEST_F(SdlSoundTest, ReloadsAFileThatChanged)
{
    open();
    const QString path = tmp.filePath(QStringLiteral("x.wav"));
    writeFile(path, constantWav(441, 700));
    ASSERT_TRUE(out->play(QStringLiteral("x.wav"), kWait));
    ASSERT_TRUE(out->play(QStringLiteral("x.wav"), kWait));

    // Same size: only the modification time tells.
    writeFile(path, constantWav(441, 800));
    const auto file = std::filesystem::path(QFile::encodeName(path).toStdString());
    std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) + std::chrono::seconds(5));
    ASSERT_TRUE(out->play(QStringLiteral("x.wav"), kWait));

    writeFile(path, constantWav(882, 900));
    std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) - std::chrono::seconds(60));
    ASSERT_TRUE(out->play(QStringLiteral("x.wav"), kWait));

    // A file that went bad is not played from the stale copy either.
    writeFile(path, QByteArray("garbage"));
    EXPECT_FALSE(out->play(QStringLiteral("x.wav"), kWait));

    const auto samples = finish();
    EXPECT_EQ(runs(samples), (std::vector<std::int16_t>{700, 800, 900}));
    EXPECT_EQ(countOf(samples, 700), 2u * 441 * kChannels);
    EXPECT_EQ(countOf(samples, 900), 882u * kChannels);
}

// The output dies under the game (a disk that fills up stands in for a sound server that
// goes away) and comes back: play() says false meanwhile, then the cue reaches the new output whole.
TEST_F(SdlSoundTest, LostOutputIsReopenedWhenItComesBack)
{
    setenv("SDL_DISKAUDIOFILE", "/dev/full", 1);
    // It may be lost by its very first buffer.
    out = std::make_unique<SdlSoundOutput>(QStringList{tmp.path()});
    const QString name = cue(QStringLiteral("a.wav"), 2205, 1234);
    ASSERT_TRUE(waitFor([&] {
        out->play(name, kAsync);
        return !out->isOpen();
    }, std::chrono::seconds(30)));
    EXPECT_FALSE(out->play(name, kAsync));
    EXPECT_FALSE(out->isSounding());

    setenv("SDL_DISKAUDIOFILE", QFile::encodeName(rawPath).constData(), 1);
    ASSERT_TRUE(waitFor([&] { return out->play(name, kAsync); }, std::chrono::seconds(30)))
        << out->device().openAttempts() << " " << out->device().driverName() << " " << out->isOpen();
    EXPECT_TRUE(out->isOpen());
    ASSERT_TRUE(waitUntilQuiet());
    const auto samples = finish();
    EXPECT_EQ(countOf(samples, 1234), 2205u * kChannels);
    EXPECT_EQ(runs(samples), std::vector<std::int16_t>{1234});
}

// Started with no output at all; the output shows up later and is found by the cues that follow,
// trying no more often than the retry interval allows however often cues are asked for.
TEST_F(SdlSoundTest, OutputThatAppearsLaterIsFound)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    out = std::make_unique<SdlSoundOutput>(QStringList{tmp.path()});
    EXPECT_FALSE(out->isOpen());
    const QString name = cue(QStringLiteral("a.wav"), 2205, 1234);

    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    const std::uint64_t attemptsBefore = out->device().openAttempts();
    int calls = 0;
    while (Clock::now() - t0 < 3 * vx::SdlAudioDevice::retryInterval) {
        EXPECT_FALSE(out->play(name, kAsync));
        ++calls;
    }
    const auto elapsed = Clock::now() - t0;
    const auto attempts = out->device().openAttempts() - attemptsBefore;
    EXPECT_GE(attempts, 1u);
    EXPECT_LE(attempts, std::uint64_t(elapsed / vx::SdlAudioDevice::retryInterval) + 1) << calls << " calls";

    setenv("SDL_AUDIODRIVER", "disk", 1);
    ASSERT_TRUE(waitFor([&] { return out->play(name, kAsync); }, std::chrono::seconds(30)));
    EXPECT_EQ(out->device().driverName(), "disk");
    ASSERT_TRUE(waitUntilQuiet());
    const auto samples = finish();
    EXPECT_EQ(countOf(samples, 1234), 2205u * kChannels);
}

TEST(AudioDriverOrder, PulseAudioThenPipeWireThenAlsaUnlessTheUserChose)
{
    using Names = std::vector<std::string>;
    const struct {
        Names compiled;
        std::string chosen;
        Names order;
    } cases[] = {
        // The file and null drivers are never picked by chance; the rest keep SDL's order.
        {{"pipewire", "alsa", "pulseaudio", "jack", "disk", "dummy"}, "", {"pulseaudio", "pipewire", "alsa", "jack"}},
        {{"sndio", "alsa", "pulseaudio"}, "", {"pulseaudio", "alsa", "sndio"}},
        {{"alsa", "pipewire"}, "", {"pipewire", "alsa"}},
        {{"disk", "dummy"}, "", {}},
        // The user's driver, whatever it is, is SDL's to open alone.
        {{"pulseaudio", "alsa", "pipewire"}, "alsa", {""}},
        {{"pulseaudio", "pipewire"}, "disk", {""}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vx::audioDriverOrder(c.compiled, c.chosen), c.order) << "chosen '" << c.chosen << "'";
}

// The small buffer meant for SDL's PipeWire driver would break cues up on any other.
TEST_F(SdlSoundTest, DriversOtherThanPipeWireGetTheirOwnBuffer)
{
    const vx::SdlAudioDevice device(vx::SdlAudioDevice::BufferFrames{256, 1024});
    ASSERT_TRUE(device.isOpen());
    EXPECT_EQ(device.driverName(), "disk");
    EXPECT_EQ(device.bufferFrames(), 1024);
}

class SdlSoundNoDevice : public ::testing::TestWithParam<const char *> {};

TEST_P(SdlSoundNoDevice, IsSilentAndSaysNothing)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    writeFile(tmp.filePath(QStringLiteral("ok.wav")), constantWav(441, 1000));
    setenv("SDL_AUDIODRIVER", GetParam(), 1);
    // No sound server's socket in here: a PulseAudio-only or silent desktop, as PipeWire sees it.
    const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
    setenv("XDG_RUNTIME_DIR", QFile::encodeName(tmp.path()).constData(), 1);

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    bool opened = false;
    std::vector<bool> results;
    {
        SdlSoundOutput out({tmp.path()});
        opened = out.isOpen();
        if (!opened) {
            for (const char *name : {"ok.wav", "missing.wav", ""})
                for (unsigned flags : {kAsync, kWait, kLoop, kWaitOrDefault})
                    results.push_back(out.play(QString::fromLatin1(name), flags));
            results.push_back(out.isSounding());
        }
    }
    const std::string printed = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    unsetenv("SDL_AUDIODRIVER");
    if (runtimeDir.isNull())
        unsetenv("XDG_RUNTIME_DIR");
    else
        setenv("XDG_RUNTIME_DIR", runtimeDir.constData(), 1);
    if (opened && std::strcmp(GetParam(), "alsa") == 0)
        GTEST_SKIP() << "alsa found a sound card here";
    EXPECT_FALSE(opened);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(std::count(results.begin(), results.end(), true), 0);
}

// "alsa" without a sound card is what a headless machine looks like; alsa-lib likes to complain there.
// "pipewire" with no daemon must fail to open, or a desktop with PulseAudio alone would stay silent.
INSTANTIATE_TEST_SUITE_P(Drivers, SdlSoundNoDevice, ::testing::Values("no-such-driver", "alsa", "pipewire"));

} // namespace
