#pragma once

#include "platform/Platform.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

namespace vx {

class SdlAudioDevice;

// Wave cues through one SDL audio device, reopened when it is lost.
// Without a working device every play() is simply false and nothing is printed.
// Not thread-safe: play() is called from one thread.
class SdlSoundOutput final : public SoundOutput {
public:
    // A plain file name is tried in each of searchDirs in turn.
    explicit SdlSoundOutput(QStringList searchDirs = defaultSearchDirs());
    ~SdlSoundOutput() override;

    SdlSoundOutput(const SdlSoundOutput &) = delete;
    SdlSoundOutput &operator=(const SdlSoundOutput &) = delete;

    bool play(const QString &fileName, unsigned flags) override;

    // ".", then the installed sounds, then the source tree's sounds folder.
    static QStringList defaultSearchDirs();

    bool isOpen() const;
    // A cue (or a loop) is still being fed to the device.
    bool isSounding() const;
    // Device format: signed 16-bit native-endian, interleaved.
    int sampleRate() const;
    int channels() const;
    // Sample frames of cue audio handed to the device since it opened (silence not counted).
    std::uint64_t cueFramesMixed() const;
    const SdlAudioDevice &device() const;
    // A wave file as play() would hand it to a device of that format; empty when it can't be played.
    static std::vector<std::int16_t> decode(const QString &path, int rate, int channels);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace vx
