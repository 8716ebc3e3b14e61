#include "gui/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace gui {

void putPictureOnClipboard(const QByteArray &emf)
{
    auto *data = new QMimeData;
    data->setData("image/emf", emf);
    data->setData("image/x-emf", emf);
    QGuiApplication::clipboard()->setMimeData(data);
}

} // namespace gui
