#pragma once

#include "platform/Platform.h"
#include "platform/Surface.h"

#include <QString>

#include <cstdint>

namespace vx {

// What the banner procedures draw on: a retained image presented on request.
class BannerScreen {
public:
    virtual ~BannerScreen() = default;
    virtual Surface &surface() = 0;
    // Presents the image now; false when the screen no longer answers.
    virtual bool refresh() = 0;
    virtual Platform &platform() = 0;
};

// The drawing surface of the banners, set once at start-up.
extern BannerScreen *screenForm;
// True while a banner runs, so one started from inside another returns at once.
extern bool bannerBusy;

void ShowBanner(const QString &text, std::int32_t mode, bool cuePlaying);
void ClearScreen();
void PrintAt(const QString &text, std::int32_t x, std::int32_t y, Color color);

// Plays a wave file by the classic player's modes; non-zero when it started.
std::int32_t PlaySoundFile(SoundOutput &output, const QString &fileName, std::int16_t playMode, bool wait);

// A voice cue and its banner: the banner plays its own impact only when the voice did not start.
void announce(Platform &platform, const QString &cue, const QString &text, std::int32_t mode);

} // namespace vx
