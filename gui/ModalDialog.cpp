#include "gui/ModalDialog.h"

#include <QDialog>
#include <QList>

namespace gui {
namespace {

QList<std::function<void(QDialog &)>> &handlers()
{
    static QList<std::function<void(QDialog &)>> h;
    return h;
}

} // namespace

void showModal(QDialog &dialog)
{
    if (!handlers().isEmpty()) {
        handlers().takeFirst()(dialog);
        return;
    }
    dialog.exec();
}

void setNextModalHandler(std::function<void(QDialog &)> handler)
{
    handlers().append(std::move(handler));
}

} // namespace gui
