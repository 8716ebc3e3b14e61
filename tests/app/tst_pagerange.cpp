#include "support/AppTestMain.h"
#include "support/TestWindow.h"

#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QRadioButton>

class tst_pagerange : public QObject {
    Q_OBJECT

    OfficeScript office;
    std::unique_ptr<frmMain> w;

private slots:
    void init()
    {
        w = startedWindow(office);
        QVERIFY(w);
        w->activateWindow();
    }

    void cleanup() { w.reset(); }

    void boxesFollowTheOptions()
    {
        // Until an option is clicked, both boxes are editable although "all" is chosen.
        QVERIFY(w->txtFrom->isEnabled() && w->txt2->isEnabled());
        QTest::keyClicks(w->txt2, "5");
        QCOMPARE(w->txt2->text(), "15");

        QTest::mouseClick(w->OptSlidesAll, Qt::LeftButton);
        QVERIFY(!w->txtFrom->isEnabled() && !w->txt2->isEnabled());
        QCOMPARE(w->txt2->text(), "15");

        QTest::mouseClick(w->OptSlides2, Qt::LeftButton);
        QVERIFY(w->OptSlides2->isChecked());
        QVERIFY(w->txtFrom->isEnabled() && w->txt2->isEnabled());
        QTRY_VERIFY(w->txtFrom->hasFocus());

        QTest::mouseClick(w->OptSlidesAll, Qt::LeftButton);
        QVERIFY(!w->txtFrom->isEnabled());
        QCOMPARE(w->txtFrom->text(), "1");
    }

    void onlyDigitsAndBackspaceAreTyped()
    {
        for (QLineEdit *box : {w->txtFrom, w->txt2}) {
            box->setFocus();
            box->setText("1");
            box->end(false);
            QTest::keyClicks(box, "a- x");
            QTest::keyClick(box, Qt::Key_Return);
            QCOMPARE(box->text(), "1");
            QTest::keyClicks(box, "2309");
            QCOMPARE(box->text(), "12309");
            QTest::keyClick(box, Qt::Key_Backspace);
            QTest::keyClick(box, Qt::Key_Backspace);
            QCOMPARE(box->text(), "123");
            QTest::keyClick(box, Qt::Key_Backspace);
            QTest::keyClick(box, Qt::Key_Backspace);
            QTest::keyClick(box, Qt::Key_Backspace);
            QCOMPARE(box->text(), "");
        }
    }

    void deleteTabAndInputMethodsAsX11DeliversThem()
    {
        // X11 delivers Delete with the text "\x7f" and Tab with "\t".
        const auto press = [](QWidget *to, Qt::Key key, const QString &text, Qt::KeyboardModifiers mods = {}) {
            QKeyEvent down(QEvent::KeyPress, key, mods, text);
            QApplication::sendEvent(to, &down);
            QKeyEvent up(QEvent::KeyRelease, key, mods, text);
            QApplication::sendEvent(to, &up);
        };
        w->txtFrom->setFocus();
        w->txtFrom->setText("123");
        w->txtFrom->setCursorPosition(0);
        press(w->txtFrom, Qt::Key_Delete, "\x7f");
        QCOMPARE(w->txtFrom->text(), "23");

        // 7, Tab, 9: the 9 lands in the next box.
        w->txtFrom->setText("");
        w->txt2->setText("");
        QTest::keyClick(w->txtFrom, Qt::Key_7);
        press(QApplication::focusWidget(), Qt::Key_Tab, "\t");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_9);
        QCOMPARE(w->txtFrom->text(), "7");
        QCOMPARE(w->txt2->text(), "9");
        press(w->txt2, Qt::Key_Backtab, "", Qt::ShiftModifier);
        QTRY_VERIFY(w->txtFrom->hasFocus());

        // What an input method commits is filtered as typed keys are.
        w->txtFrom->end(false);
        QInputMethodEvent chinese;
        chinese.setCommitString("3页４5");
        QApplication::sendEvent(w->txtFrom, &chinese);
        QCOMPARE(w->txtFrom->text(), "735");
    }

    void pasteByKeyIsSwallowedButNotFromTheMenu()
    {
        QGuiApplication::clipboard()->setText("7x");
        w->txtFrom->setFocus();
        w->txtFrom->setText("1");
        w->txtFrom->end(false);
        QTest::keyClick(w->txtFrom, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(w->txtFrom->text(), "1");
        // The context menu's paste does not pass through the key filter.
        w->txtFrom->paste();
        QCOMPARE(w->txtFrom->text(), "17x");
    }
};

PAGEGRAB_GUI_TEST_MAIN(tst_pagerange)
#include "tst_pagerange.moc"
