#pragma once

#include <functional>

class QDialog;

namespace gui {

// Shows one of our own dialogs modally and returns when it is hidden or closed.
void showModal(QDialog &dialog);

// For tests: the next showModal hands the dialog to this instead of showing
// it; the test works its controls as a person would and returns.
void setNextModalHandler(std::function<void(QDialog &)> handler);

} // namespace gui
