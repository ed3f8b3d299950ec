#include "present/AppIcon.h"

#include <QFile>

// The icons are compiled into the game's static library, where nothing else would pull them in.
static void initIconResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)done;
}

namespace vx {

QIcon appIcon()
{
    initIconResources();
    QIcon icon;
    for (const char *path : {":/icons/vx-clackon-16.png", ":/icons/vx-clackon-32.png"}) {
        if (QFile::exists(QString::fromLatin1(path)))
            icon.addFile(QString::fromLatin1(path));
    }
    return icon;
}

} // namespace vx
