// The main window's message boxes and dialogs through their real exec(),
// answered by clicking and typing as a person does.

#include "app/FrmPath.h"
#include "gui/DefaultApplication.h"
#include "gui/FileDialog.h"
#include "support/AppTestMain.h"
#include "support/ModalAnswers.h"
#include "support/TestWindow.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

namespace {

// Picks a path in a file or folder dialog and clicks its accept button.
ModalAnswers::Act pickInFileDialog(const QString &path)
{
    return [path](QWidget &modal) {
        auto &dialog = dynamic_cast<QFileDialog &>(modal);
        const QFileInfo picked(path);
        dialog.setDirectory(picked.absolutePath());
        QTest::keyClicks(dialog.findChild<QLineEdit *>("fileNameEdit"), picked.fileName());
        auto *buttons = dialog.findChild<QDialogButtonBox *>("buttonBox");
        for (QAbstractButton *button : buttons->buttons())
            if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole) {
                // Once the dialog has read its folder.
                QVERIFY(QTest::qWaitFor([button] { return button->isEnabled(); }));
                return QTest::mouseClick(button, Qt::LeftButton);
            }
    };
}

// Whether a message box is wide enough for the title the window manager
// puts above it, with the frame's buttons beside it.
bool titleFits(const QWidget &box)
{
    return box.width() >= box.fontMetrics().horizontalAdvance(box.windowTitle()) + 150;
}

} // namespace

class tst_realdialogs : public QObject {
    Q_OBJECT

    OfficeScript office;
    std::unique_ptr<frmMain> w;
    QTemporaryDir dir;
    QStringList opened;

    QStringList items() const { return jobTexts(*w); }

private slots:
    void init()
    {
        office = OfficeScript{};
        w = startedWindow(office, dir.path());
        QVERIFY(w);
        gui::MessageBox::answerAutomatically(false);
        gui::recordOpenedFiles(&opened);
        opened.clear();
    }

    void cleanup()
    {
        gui::MessageBox::answerAutomatically(true);
        gui::recordOpenedFiles(nullptr);
        w.reset();
    }

    void runEndsThroughTheirButtons()
    {
        const QString out = dir.filePath("out") + "/";
        w->txtOutDir->setText(out);
        w->txtLog->setText(dir.filePath("run.log"));
        w->ListView2->addTopLevelItems({new QTreeWidgetItem({"/d/bad.doc"}), new QTreeWidgetItem({"/d/good.doc"})});
        office.openFailure = "无法打开文档：文档已损坏，无法读取";
        office.openFailsFor = {"/d/bad.doc"};
        const QString logQuestion = "日志文件记录了处理过程中发生的异常，\r\n是否查看日志文件？";

        // The output folder from the end's box, then OK on the log question.
        bool fits = false;
        ModalAnswers answers;
        const auto measure = [&fits](QWidget &box) { fits = titleFits(box); };
        answers.thenClick("打开图片保存目录", measure);
        answers.thenClick(QMessageBox::Ok);
        w->CmdDo->click();
        QVERIFY(answers.allAnswered());
        QVERIFY(fits);
        QCOMPARE(answers.texts, (QStringList{"转换完毕！", logQuestion}));
        QCOMPARE(opened, (QStringList{out, w->txtLog->text()}));

        // Cancel opens nothing.
        opened.clear();
        answers.thenClick(QMessageBox::Ok).thenClick(QMessageBox::Cancel);
        w->CmdDo->click();
        QVERIFY(answers.allAnswered());
        QVERIFY(opened.isEmpty());

        // A desktop without an opener: each answer says where to look.
        gui::recordOpenedFiles(&opened, false);
        answers.texts.clear();
        answers.thenClick("打开图片保存目录").thenClick(QMessageBox::Ok);
        answers.thenClick(QMessageBox::Ok).thenClick(QMessageBox::Ok);
        w->CmdDo->click();
        QVERIFY(answers.allAnswered());
        QCOMPARE(
            answers.texts,
            (QStringList{"转换完毕！", "系统中没有可以打开图片保存目录的程序，请用文件管理器查看：" + out, logQuestion,
                         "系统中没有可以打开日志文件的程序，请用文本编辑器查看：" + w->txtLog->text()}));

        // Failures the log cannot take are shown instead.
        w->txtLog->setText(dir.path());
        answers.texts.clear();
        answers.thenClick(QMessageBox::Ok).thenClick(QMessageBox::Ok);
        w->CmdDo->click();
        QVERIFY(answers.allAnswered());
        QVERIFY(answers.texts.value(1).startsWith("有1个文档处理出错，但处理日志无法写入："));

        // A check that stops the run, in a box whose title shows whole.
        w->ListView2->clear();
        answers.texts.clear();
        fits = false;
        answers.thenClick(QMessageBox::Ok, measure);
        w->CmdDo->click();
        QVERIFY(answers.allAnswered());
        QVERIFY(fits);
        QCOMPARE(answers.texts, QStringList{"没有需要处理的文档！"});
    }

    void jobListAndLogDialogsThroughTheirButtons()
    {
        const QString documents = dir.filePath("documents");
        QVERIFY(QDir().mkpath(documents + "/sub"));
        for (const char *name : {"a.doc", "sub/b.doc"})
            QFile(documents + "/" + name).open(QIODevice::WriteOnly);

        ModalAnswers answers;
        answers.then(pickInFileDialog(documents + "/a.doc"));
        w->CmdFileOp[0]->click();
        QVERIFY(answers.allAnswered());
        QCOMPARE(items(), QStringList{documents + "/a.doc"});

        // The folder dialog, its folder picked through the folder browser.
        answers.then([](QWidget &modal) {
            auto &dialog = dynamic_cast<FrmPath &>(modal);
            QTest::mouseClick(dialog.CmdFolder, Qt::LeftButton);
            QTest::mouseClick(dialog.ChkSubdir, Qt::LeftButton);
            QTest::mouseClick(dialog.CmdOK, Qt::LeftButton);
        });
        answers.then(pickInFileDialog(documents));
        w->CmdFileOp[1]->click();
        QVERIFY(answers.allAnswered());
        QCOMPARE(items().size(), 3);
        QVERIFY(items().contains(documents + "/sub/b.doc"));

        answers.then([](QWidget &modal) {
            auto &dialog = dynamic_cast<FrmPath &>(modal);
            QTest::keyClicks(dialog.txtFolder, "/tmp");
            QTest::mouseClick(dialog.CmdCancel, Qt::LeftButton);
        });
        w->CmdFileOp[1]->click();
        QVERIFY(answers.allAnswered());
        QCOMPARE(items().size(), 3);

        // More names than the dialog's buffer holds.
        gui::FileDialog::answerAutomatically(true);
        gui::FileDialog::setNextOpenFileNames(QStringList(2000, "/d/" + QString(20, 'x') + ".doc"));
        answers.thenClick(QMessageBox::Ok);
        w->CmdFileOp[0]->click();
        gui::FileDialog::answerAutomatically(false);
        QVERIFY(answers.allAnswered());
        QCOMPARE(answers.texts, QStringList{"您选择的文件名数超过了Windows系统的最大限制，请分批次加入文件！"});

        answers.thenClick(QMessageBox::No);
        w->CmdFileOp[3]->click();
        QCOMPARE(items().size(), 3);
        answers.thenClick(QMessageBox::Yes);
        w->CmdFileOp[3]->click();
        QVERIFY(answers.allAnswered());
        QCOMPARE(items().size(), 0);

        answers.then(pickInFileDialog(dir.filePath("picked.log")));
        w->Command1->click();
        QVERIFY(answers.allAnswered());
        QCOMPARE(w->txtLog->text(), dir.filePath("picked.log"));
    }

    void missingOfficeThroughItsButton()
    {
        office.startFails = true;
        frmMain second(testServices(office, dir.path()));
        ModalAnswers answers;
        answers.thenClick(QMessageBox::Ok);
        QVERIFY(!second.Form_Load());
        QCOMPARE(answers.texts, QStringList{"你的计算机中没有安装LibreOffice，无法正常使用本软件！"});
    }
};

PAGEGRAB_GUI_TEST_MAIN(tst_realdialogs)
#include "tst_realdialogs.moc"
