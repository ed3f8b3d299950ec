#include "present/Module1.h"

namespace vx {

std::int32_t PlaySoundFile(SoundOutput &output, const QString &fileName, std::int16_t playMode, bool wait)
{
    if (fileName.isEmpty())
        return 0;
    unsigned flags = SndSync;
    if (playMode == 0)
        flags = wait ? SndNoDefault : (SndAsync | SndNoDefault);
    else if (playMode == 1)
        flags = SndAsync | SndNoDefault | SndLoop;
    return output.play(fileName, flags) ? 1 : 0;
}

void announce(Platform &platform, const QString &cue, const QString &text, std::int32_t mode)
{
    const bool cuePlaying = PlaySoundFile(platform.sound(), cue, 0, false) != 0;
    ShowBanner(text, mode, cuePlaying);
}

} // namespace vx
