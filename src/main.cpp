#include "platform/SdlSoundOutput.h"
#include "platform/SystemPlatform.h"
#include "present/Fonts.h"
#include "round/frmClackon.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

int printUsage()
{
    std::printf("Usage: vx-clackon [--help] [--version]\n"
                "A typing game: type the scrolling line of keys before it slips past.\n"
                "Keys: type the characters in order; Esc gives up the round.\n");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vx-clackon %s\n", VX_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return printUsage();
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vx-clackon"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.vxclackon.VXClackon"));
    vx::installFontSubstitutions();

    vx::SystemPlatform platform(std::make_unique<vx::SdlSoundOutput>());
    vx::frmClackon form(platform);
    form.Form_Load();
    return QApplication::exec();
}
