#include "gui/Twips.h"
#include "support/AppTestMain.h"
#include "support/TestWindow.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QWebEngineView>

class tst_frmMainLayout : public QObject {
    Q_OBJECT

    OfficeScript office;
    std::unique_ptr<frmMain> w;

    static QRect twipsRect(int left, int top, int width, int height)
    {
        return {twips::toPixels(left), twips::toPixels(top), twips::toPixels(width), twips::toPixels(height)};
    }

    void resizeClientTo(int pixels)
    {
        w->resize(pixels, w->height());
        QCoreApplication::processEvents();
    }

private slots:
    void init()
    {
        w = startedWindow(office);
        QVERIFY(w);
    }

    void cleanup() { w.reset(); }

    void startValuesAndCaptions()
    {
        QCOMPARE(w->windowTitle(), "Pagegrab");
        QCOMPARE(w->lblInput->text(), "待处理文件：0项");
        QCOMPARE(w->lblProcessing->text(), "");
        QCOMPARE(w->txtLog->text(), QCoreApplication::applicationDirPath() + "/Pagegrab.log");
        QCOMPARE(w->txtOutDir->text(), "");
        QCOMPARE(w->CmdHelp->text(), "帮助");
        QVERIFY(!w->CmdHelp->isVisible());
        QCOMPARE(w->ConverterPid(), 0);
        QVERIFY(w->OptSlidesAll->isChecked());
        QVERIFY(!w->OptSlides2->isChecked());
        QCOMPARE(w->txtFrom->text(), "1");
        QCOMPARE(w->txt2->text(), "1");
        QVERIFY(w->txtFrom->isEnabled() && w->txt2->isEnabled());
        QVERIFY(w->Check1->isChecked());
        QCOMPARE(w->Label2->text(), " 转换页码范围：");
        QCOMPARE(w->Label3->text(), "－");
        QCOMPARE(w->Frame5->title(), "选  项");
        QCOMPARE(w->Frame4->title(), "进  度");
        QCOMPARE(w->Frame3->title(), "");
        QCOMPARE(w->ListView2->headerItem()->text(0), "文件");
        QCOMPARE(w->ListView2->columnCount(), 1);
        QCOMPARE(w->ListView2->topLevelItemCount(), 0);
        const QStringList captions{"添加文件", "添加目录", "移除文件", "全部清空"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(w->CmdFileOp[i]->text(), captions[i]);
    }

    void windowAndControlGeometry()
    {
        QCOMPARE(w->size(), QSize(twips::toPixels(13065), twips::toPixels(8580)));
        const Qt::WindowFlags flags = w->windowFlags();
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowSystemMenuHint);

        QCOMPARE(w->Frame1->geometry(), twipsRect(60, 60, 10155, 4455));
        QCOMPARE(w->Frame2->geometry(), twipsRect(60, 4800, 10155, 735));
        QCOMPARE(w->Frame3->geometry(), twipsRect(60, 7860, 10155, 675));
        QCOMPARE(w->CmdFileOp[1]->geometry(), twipsRect(120, 1320, 915, 375));
        QCOMPARE(w->CmdFileOp[1]->parentWidget(), w->Frame1);
        QCOMPARE(w->ListView2->geometry(), twipsRect(1140, 240, 8895, 3495));
        QCOMPARE(w->txtFrom->geometry(), twipsRect(4200, 3960, 495, 390));
        QCOMPARE(w->txtOutDir->geometry(), twipsRect(2040, 240, 7215, 375));
        QCOMPARE(w->txtOutDir->parentWidget(), w->Frame2);
        QCOMPARE(w->Command1->geometry(), twipsRect(9480, 180, 495, 315));
        QCOMPARE(w->Command1->parentWidget(), w->Frame5);
        QCOMPARE(w->lblProcessing->geometry(), twipsRect(4140, 240, 3855, 315));
        QCOMPARE(w->lblProcessing->parentWidget(), w->Frame4);
        QCOMPARE(w->CmdHelp->geometry(), twipsRect(8880, 200, 915, 375));
        QCOMPARE(w->CmdHide->geometry(), twipsRect(900, 8100, 915, 375));
        QCOMPARE(w->WebBrowser1->parentWidget(), w->Frame6);
        QCOMPARE(w->Frame6->x(), twips::toPixels(10320));
    }

    void tabOrderStartsAtAddFile()
    {
        w->activateWindow();
        QTRY_COMPARE(QApplication::focusWidget(), w->CmdFileOp[0]);

        const QList<QWidget *> expected{
            w->CmdFileOp[0], w->CmdFileOp[1], w->CmdFileOp[2], w->CmdFileOp[3], w->ListView2, w->CmdDo,    w->CmdExit,
            w->Check1,       w->txtLog,       w->Command1,     w->WebBrowser1,  w->CmdHelp,   w->CmdHide,  w->txtOutDir,
            w->OptSlidesAll, w->OptSlides2,   w->txtFrom,      w->txt2,         w->Command2,  w->Command3,
        };
        QList<QWidget *> chain;
        QWidget *at = w->CmdFileOp[0];
        do {
            // The browser takes the focus through the widget it draws into.
            QWidget *control = (at->focusPolicy() & Qt::TabFocus) ? at : nullptr;
            while (control && !expected.contains(control))
                control = control->parentWidget();
            if (control && (chain.isEmpty() || chain.last() != control))
                chain << control;
            at = at->nextInFocusChain();
        } while (at != w->CmdFileOp[0]);
        QCOMPARE(chain, expected);
    }

    void resizeRuleFollowsTheWidth()
    {
        // At the design size.
        QCOMPARE(w->ListView2->header()->sectionSize(0), twips::toPixels(8795));
        QCOMPARE(twips::width(w->Frame6), 2695.0);
        QCOMPARE(twips::width(w->WebBrowser1), 2595.0);

        // Wider by 1000 twips (the rule reads whole pixels: 15 twips each at 96 dpi).
        const int initial = w->width();
        resizeClientTo(initial + twips::toPixels(1005));
        QCOMPARE(twips::width(w->Frame6), 2695.0 + 1005);
        QCOMPARE(twips::width(w->WebBrowser1), 2595.0 + 1005);
        const QRect list = w->ListView2->geometry();
        const QRect frame1 = w->Frame1->geometry();

        // Only the height: nothing changes.
        w->resize(w->width(), w->height() + 40);
        QCoreApplication::processEvents();
        QCOMPARE(twips::width(w->Frame6), 2695.0 + 1005);
        QCOMPARE(w->ListView2->geometry(), list);
        QCOMPARE(w->Frame1->geometry(), frame1);

        // So narrow that the panel gets 10 twips and the browser would get a
        // negative width: the browser keeps the width it had.
        resizeClientTo(692);
        QCOMPARE(twips::width(w->Frame6), 10.0);
        QCOMPARE(twips::width(w->WebBrowser1), 2595.0 + 1005);

        // Narrower still: the panel refuses too.
        resizeClientTo(600);
        QCOMPARE(twips::width(w->Frame6), 10.0);

        // Minimise and restore: the rule follows the restored width again.
        resizeClientTo(initial);
        w->showMinimized();
        QCoreApplication::processEvents();
        w->showNormal();
        QCoreApplication::processEvents();
        QCOMPARE(twips::width(w->Frame6), 2695.0);
        QCOMPARE(twips::width(w->WebBrowser1), 2595.0);
        QCOMPARE(gui::MessageBox::takeShown().size(), 0);
    }
};

PAGEGRAB_GUI_TEST_MAIN(tst_frmMainLayout)
#include "tst_frmMainLayout.moc"
