#include "gui/BusyPointer.h"

#include <QCursor>
#include <QGuiApplication>

namespace gui {

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

} // namespace gui
