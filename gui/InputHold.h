#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace gui {

// While it lives, the program takes no input from the user but a click on
// one button (a run's stop) and a window's close, which the window manager
// delivers as input too; everything else still repaints.
class InputHold : public QObject {
public:
    explicit InputHold(QWidget *stillTakesInput);
    ~InputHold() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> stillTakesInput_;
};

} // namespace gui
