#pragma once

namespace vx {

class frmClackon;
class frmResult;

// Twips of the window design to pixels (15 to a pixel).
int twips(int value);

// Creates every control of a window at its designed place, with its captions, colours, fonts and state.
void layoutMainWindow(frmClackon &form);
void layoutResultWindow(frmResult &form);

} // namespace vx
