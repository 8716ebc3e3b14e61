#pragma once

#include <QByteArray>

namespace gui {

// Leaves a page's picture on the system clipboard, as an EMF.
void putPictureOnClipboard(const QByteArray &emf);

} // namespace gui
