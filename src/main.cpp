#include "platform/DisplaySetup.h"
#include "platform/SdlSoundOutput.h"
#include "platform/SystemPlatform.h"
#include "present/CommandLine.h"
#include "present/Fonts.h"
#include "present/StartupGuard.h"
#include "round/frmClackon.h"

#include <QApplication>

#include <cstdio>
#include <memory>

namespace {

int printUsage()
{
    std::printf("Usage: %s\n"
                "A typing game: type the scrolling line of keys before it slips past.\n"
                "Keys: type the characters in order; Esc gives up the round.\n",
                vx::usageLine());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const vx::CommandLine commandLine = vx::readCommandLine(argc, argv);
    switch (commandLine.action) {
    case vx::CommandLine::Action::Help:
        return printUsage();
    case vx::CommandLine::Action::Version:
        std::printf("vx-clackon %s\n", VX_VERSION);
        return 0;
    case vx::CommandLine::Action::Misuse:
        std::fprintf(stderr, "vx-clackon: %s; usage: %s\n", commandLine.problem.c_str(), vx::usageLine());
        return 2;
    case vx::CommandLine::Action::Play:
        break;
    }

    vx::prepareDisplayConnection();
    std::unique_ptr<QApplication> app;
    {
        const vx::StartupGuard guard;
        app = std::make_unique<QApplication>(argc, argv);
    }
    QApplication::setApplicationName(QStringLiteral("vx-clackon"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.vxclackon.VXClackon"));
    vx::installFontSubstitutions();

    vx::SystemPlatform platform(std::make_unique<vx::SdlSoundOutput>());
    vx::frmClackon form(platform);
    form.Form_Load();
    return QApplication::exec();
}
