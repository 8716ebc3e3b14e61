#include "gui/MessageBox.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

namespace gui {
namespace {

struct Automatic {
    bool on = false;
    QList<Answer> queued;
    QList<ShownMessage> shown;
};

Automatic &automatic()
{
    static Automatic a;
    return a;
}

Answer defaultAnswer(Buttons buttons)
{
    switch (buttons) {
    case Buttons::OkCancel:
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::YesNo:
        return Answer::Yes;
    }
    return Answer::Ok;
}

// A short text would leave the box too narrow for its title, which the
// window manager then cuts ("P…"): the room for the title and the frame's
// buttons is held open at the foot of the box's grid.
void keepTitleWhole(QMessageBox &box, const QString &title)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    const int titleRoom = box.fontMetrics().horizontalAdvance(title) + 4 * box.fontMetrics().height() + 160;
    grid->addItem(new QSpacerItem(titleRoom, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

} // namespace

Answer MessageBox::show(QWidget *parent, const QString &text, Icon icon, Buttons buttons, const QString &action)
{
    const QString title = QCoreApplication::applicationName();
    auto &a = automatic();
    if (a.on) {
        a.shown.append({title, text, icon, buttons, action});
        return a.queued.isEmpty() ? defaultAnswer(buttons) : a.queued.takeFirst();
    }

    QMessageBox box(icon == Icon::Question ? QMessageBox::Question : QMessageBox::Information, title, text,
                    QMessageBox::NoButton, parent);
    switch (buttons) {
    case Buttons::Ok:
        box.setDefaultButton(box.addButton(QMessageBox::Ok));
        break;
    case Buttons::OkCancel:
        box.setDefaultButton(box.addButton(QMessageBox::Ok));
        box.addButton(QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setDefaultButton(box.addButton(QMessageBox::Yes));
        box.addButton(QMessageBox::No);
        break;
    }
    const QPushButton *actionButton = action.isEmpty() ? nullptr : box.addButton(action, QMessageBox::ActionRole);
    keepTitleWhole(box, title);
    const int answer = box.exec();
    if (actionButton && box.clickedButton() == actionButton)
        return Answer::Action;
    switch (answer) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        // Escape or the close box on a box without Cancel.
        return buttons == Buttons::YesNo ? Answer::No : buttons == Buttons::OkCancel ? Answer::Cancel : Answer::Ok;
    }
}

void MessageBox::answerAutomatically(bool on)
{
    automatic() = Automatic{on, {}, {}};
}

void MessageBox::setNextAnswer(Answer answer)
{
    automatic().queued.append(answer);
}

QList<ShownMessage> MessageBox::takeShown()
{
    return std::exchange(automatic().shown, {});
}

} // namespace gui
