#include "platform/DisplaySetup.h"

#include <QByteArray>
#include <QtGlobal>

namespace vx {

void prepareDisplayConnection()
{
    // On X11, Qt shares its window image with the server (MIT-SHM) and, before each paint over
    // what it last sent, waits a whole round trip for the server to be done reading it. The game
    // repaints two small strips every tick step: sending their few kilobytes down the socket costs
    // both the game and the server far less than that wait.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", QByteArrayLiteral("1"));
}

} // namespace vx
