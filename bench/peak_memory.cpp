// Peak memory of a whole game: the intro and three rounds with a player who types every key,
// on virtual time but with the real windows, drawing and sound output.
#include "fake/FakePlatform.h"
#include "platform/SdlSoundOutput.h"
#include "present/Fonts.h"
#include "round/frmClackon.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QApplication app(argc, argv);
    vx::installFontSubstitutions();

    vx::test::FakePlatform pf;
    vx::SdlSoundOutput sound;
    pf.soundOverride = &sound;
    vx::frmClackon form(pf);
    pf.target = &form;
    int pass = 0;
    pf.onYield = [&] {
        // A steady player: one correct key every fourth yield.
        if (++pass % 4 == 0 && form.rs.isPlaying && !form.rs.targetText.isEmpty())
            form.Form_KeyPress(form.rs.targetText.toUcs4().value(0));
    };
    form.Form_Load();
    for (int round = 0; round < 3; ++round)
        form.cmdStart_Click();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double mb = usage.ru_maxrss / 1024.0;
    std::printf("| measure | value | goal |\n|---|---|---|\n");
    std::printf("| peak resident memory, intro + 3 rounds (%s) | %.1f MB | <= 50 MB |\n", std::getenv("QT_QPA_PLATFORM"), mb);
    std::printf("| final caption | %s | |\n", qPrintable(form.windowTitle()));
    return 0;
}
