#include "platform/BusyPointer.h"

#include <QCursor>
#include <QGuiApplication>

namespace platform {

void setBusyPointer(bool busy)
{
    if (busy == isBusyPointer())
        return;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

bool isBusyPointer()
{
    return QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
}

} // namespace platform
