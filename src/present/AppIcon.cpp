#include "present/AppIcon.h"

#include <QFile>

namespace vx {

QIcon appIcon()
{
    QIcon icon;
    for (const char *path : {":/icons/vx-clackon-16.png", ":/icons/vx-clackon-32.png"}) {
        if (QFile::exists(QString::fromLatin1(path)))
            icon.addFile(QString::fromLatin1(path));
    }
    return icon;
}

} // namespace vx
