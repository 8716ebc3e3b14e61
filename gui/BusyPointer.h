#pragma once

namespace gui {

// The screen's mouse pointer: the hourglass during long operations, the
// default otherwise. Setting the same state twice does not stack.
void setBusyPointer(bool busy);
bool isBusyPointer();

} // namespace gui
