#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>

// Answers the modal windows a test opens through their real exec(), in
// order, as a person does: each act gets the next modal window once it is
// shown, and presses its buttons or types into it.
class ModalAnswers {
public:
    using Act = std::function<void(QWidget &modal)>;

    ModalAnswers()
    {
        timer_.callOnTimeout([this] { answerShownModal(); });
        timer_.start(10);
    }
    ModalAnswers &then(Act act)
    {
        acts_.append(std::move(act));
        return *this;
    }
    // A message box: its text is kept, `look` sees it, then the button is
    // clicked.
    ModalAnswers &thenClick(QMessageBox::StandardButton button, const Act &look = {})
    {
        return then([this, button, look](QWidget &modal) {
            auto &box = dynamic_cast<QMessageBox &>(modal);
            texts << box.text();
            if (look)
                look(box);
            QTest::mouseClick(box.button(button), Qt::LeftButton);
        });
    }
    ModalAnswers &thenClick(const QString &caption, const Act &look = {})
    {
        return then([this, caption, look](QWidget &modal) {
            if (auto *box = qobject_cast<QMessageBox *>(&modal))
                texts << box->text();
            if (look)
                look(modal);
            for (QAbstractButton *button : modal.findChildren<QAbstractButton *>())
                if (button->text() == caption)
                    return QTest::mouseClick(button, Qt::LeftButton);
            QFAIL(qPrintable("no button " + caption));
        });
    }
    bool allAnswered() const { return acts_.isEmpty(); }

    QStringList texts; // of the message boxes, in order

private:
    void answerShownModal()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (acts_.isEmpty() || !modal || !modal->isVisible() || modal->property("answered").toBool())
            return;
        modal->setProperty("answered", true);
        // Outside the poll: Qt does not fire a timer inside its own slot,
        // and an act may open a further modal window to be answered.
        QTimer::singleShot(0, modal, [modal, act = acts_.takeFirst()] { act(*modal); });
    }

    QList<Act> acts_;
    QTimer timer_;
};
