#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace gui {

enum class Icon { Information, Question };
enum class Buttons { Ok, OkCancel, YesNo };
enum class Answer { Ok, Cancel, Yes, No, Action };

struct ShownMessage {
    QString title;
    QString text;
    Icon icon;
    Buttons buttons;
    QString action;
};

// Modal message boxes, titled with the application's name, wide enough to
// show it whole. The first button is the default one; a box with an
// `action` has a further button of that caption, which answers Action.
class MessageBox {
public:
    static Answer show(QWidget *parent, const QString &text, Icon icon = Icon::Information,
                       Buttons buttons = Buttons::Ok, const QString &action = {});

    // For tests: boxes are recorded instead of shown, and answered with the
    // queued answers first, then with their default button.
    static void answerAutomatically(bool on);
    static void setNextAnswer(Answer answer);
    static QList<ShownMessage> takeShown();
};

} // namespace gui
