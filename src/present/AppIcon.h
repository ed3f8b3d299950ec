#pragma once

#include <QIcon>

namespace vx {

// The game's icon at 16, 32 and scalable sizes.
QIcon appIcon();

} // namespace vx
