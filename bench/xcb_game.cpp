// The game as main.cpp builds it (same library, real platform, SDL sound output), for the
// real-display benchmarks, plus one thing a player outside the process needs: each round's line,
// written to the file VX_BENCH_LINE_FILE names once the round has built it. Nothing else differs.
//
// The line is random, so a scripted player cannot know it otherwise. The hook runs in every yield;
// it tests two flags and an empty string, and writes one small file per round.
#include "ForwardingPlatform.h"
#include "platform/DisplaySetup.h"
#include "platform/SdlSoundOutput.h"
#include "platform/SystemPlatform.h"
#include "present/Fonts.h"
#include "round/frmClackon.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QSaveFile>

#include <cstdio>
#include <cstdlib>

namespace {

class LinePublisher final : public ForwardingPlatform {
public:
    LinePublisher(vx::Platform &inner, QString path)
        : ForwardingPlatform(inner)
        , path_(std::move(path))
    {
    }

    void doEvents() override
    {
        if (form && !path_.isEmpty())
            watch();
        inner_.doEvents();
    }

    vx::frmClackon *form = nullptr;

private:
    // A round runs while the settings are hidden; its line is built before the first yield of the round.
    void watch()
    {
        const bool inRound = !form->frSetting->isVisible();
        if (!inRound) {
            published_ = false;
            return;
        }
        if (published_ || form->rs.targetText.isEmpty())
            return;
        published_ = true;
        // Written whole and renamed into place, so the reader never sees half a line.
        QSaveFile file(path_);
        if (!file.open(QIODevice::WriteOnly) || file.write(form->rs.targetText.toUtf8()) < 0 || !file.commit())
            std::fprintf(stderr, "xcb_game: cannot write the line to %s\n", qPrintable(path_));
    }

    QString path_;
    bool published_ = false;
};

} // namespace

int main(int argc, char **argv)
{
    vx::prepareDisplayConnection();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vx-clackon"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.vxclackon.VXClackon"));
    vx::installFontSubstitutions();

    vx::SystemPlatform system(std::make_unique<vx::SdlSoundOutput>());
    LinePublisher platform(system, QString::fromLocal8Bit(qgetenv("VX_BENCH_LINE_FILE")));
    vx::frmClackon form(platform);
    platform.form = &form;
    form.Form_Load();
    return QApplication::exec();
}
