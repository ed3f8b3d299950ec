// Key to sound: from entering the key handler to the judgement cue handed to the audio device.
#include "BenchClock.h"
#include "fake/FakePlatform.h"
#include "platform/SdlSoundOutput.h"
#include "present/Fonts.h"
#include "round/frmClackon.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

// Notes when the real output has taken the cue.
class TimedSound final : public vx::SoundOutput {
public:
    explicit TimedSound(vx::SoundOutput &inner) : inner_(inner) {}
    bool play(const QString &name, unsigned flags) override
    {
        const bool started = inner_.play(name, flags);
        handedOver = monotonicNs();
        return started;
    }
    long long handedOver = 0;

private:
    vx::SoundOutput &inner_;
};

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QApplication app(argc, argv);
    vx::installFontSubstitutions();

    vx::test::FakePlatform pf;
    vx::SdlSoundOutput sdl;
    TimedSound sound(sdl);
    pf.soundOverride = &sound;
    vx::frmClackon form(pf);
    form.show();

    const int keys = 20000;
    std::vector<double> us;
    us.reserve(keys);
    for (int i = 0; i < keys; ++i) {
        if (form.rs.targetText.isEmpty()) {
            form.rs.targetText = QString(100, QLatin1Char('Q'));
            form.rs.textLeft = 300;
        }
        form.rs.isPlaying = true;
        form.rs.gauge = 10;
        // Alternate Perfect and Great so consecutive cues differ and each cuts the last off.
        pf.advanceMicros(i % 2 ? 600'000 : 100'000);
        const long long t0 = monotonicNs();
        form.Form_KeyPress(U'q');
        us.push_back((sound.handedOver - t0) / 1e3);
    }
    std::sort(us.begin(), us.end());
    std::printf("| measure | keys | median us | p99 us | max us | goal |\n|---|---|---|---|---|---|\n");
    std::printf("| key handler entered to cue handed to the device (%s, %s) | %d | %.1f | %.1f | %.1f | median <= 1000 |\n",
                sdl.isOpen() ? "device open" : "no device", std::getenv("SDL_AUDIODRIVER"), keys, us[us.size() / 2],
                us[us.size() * 99 / 100], us.back());
    return 0;
}
