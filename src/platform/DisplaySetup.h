#pragma once

namespace vx {

// Settings for the toolkit's display connection, made before the application object exists.
// Leaves alone whatever the user set.
void prepareDisplayConnection();

} // namespace vx
