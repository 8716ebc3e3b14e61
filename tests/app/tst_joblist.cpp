#include "app/FrmPath.h"
#include "app/JobItem.h"
#include "app/clsGetPath.h"
#include "gui/BusyPointer.h"
#include "gui/FileDialog.h"
#include "gui/ModalDialog.h"
#include "joblist/Entries.h"
#include "platform/NativePath.h"
#include "support/AppTestMain.h"
#include "support/TestWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <fcntl.h>
#include <unistd.h>

using gui::Answer;
using gui::FileDialog;
using gui::MessageBox;

class tst_joblist : public QObject {
    Q_OBJECT

    OfficeScript office;
    std::unique_ptr<frmMain> w;
    QTemporaryDir tmp;

    QStringList items() const { return jobTexts(*w); }

    // Answers the next folder dialog: shows what it started with, then types.
    void answerFolderDialog(const QString &folder, bool subfolders, const QString &how = "ok")
    {
        gui::setNextModalHandler([=](QDialog &d) {
            auto &dialog = static_cast<FrmPath &>(d);
            QCOMPARE(dialog.windowTitle(), "选择目录：");
            QCOMPARE(dialog.txtFolder->text(), "");
            QVERIFY(!dialog.ChkSubdir->isChecked());
            QCOMPARE(dialog.Combo1->currentText(), "*.doc");
            dialog.txtFolder->setText(folder);
            dialog.ChkSubdir->setChecked(subfolders);
            dialog.Combo1->setEditText("*.ppt");
            if (how == "ok")
                dialog.CmdOK->click();
            else if (how == "cancel")
                dialog.CmdCancel->click();
            else
                dialog.close();
        });
    }

private slots:
    void initTestCase()
    {
        for (const char *f : {"a.doc", "b.DOC", "skip.docx", "sub/c.doc"}) {
            const QString path = tmp.filePath(f);
            QDir().mkpath(QFileInfo(path).path());
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }

    void init()
    {
        w = std::make_unique<frmMain>(testServices(office, tmp.path()));
        QVERIFY(w->Form_Load());
        MessageBox::takeShown();
        FileDialog::answerAutomatically(true);
    }

    void cleanup() { w.reset(); }

    void addFilesInTheDialogsOrder()
    {
        w->lblProcessing->setText("处理完毕！");
        FileDialog::setNextOpenFileNames({"/d/x.doc", "/d/y.doc", "/d/z.doc"});
        w->CmdFileOp[0]->click();
        QCOMPARE(items(), (QStringList{"/d/x.doc", "/d/y.doc", "/d/z.doc"}));
        QCOMPARE(w->lblInput->text(), "待处理文件3项");
        QCOMPARE(w->lblProcessing->text(), "");
        const auto asked = FileDialog::takeRequests();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].title, "新增");
        QCOMPARE(asked[0].filter, "Word文件(*.doc);;文字处理文档(*.doc *.docx *.rtf *.odt *.wps)");

        // The same file again is a job of its own.
        FileDialog::setNextOpenFileNames({"/d/x.doc"});
        w->CmdFileOp[0]->click();
        QCOMPARE(items().count("/d/x.doc"), 2);
        QCOMPARE(w->lblInput->text(), "待处理文件4项");
    }

    void addFilesOpensWhereFilesWereLastAddedFromAcrossStarts()
    {
        FileDialog::setNextOpenFileNames({tmp.filePath("sub/c.doc")});
        w->CmdFileOp[0]->click();
        FileDialog::takeRequests();

        // The next start: every box as at any start, the dialog where the
        // files came from.
        init();
        QCOMPARE(w->ListView2->topLevelItemCount(), 0);
        w->CmdFileOp[0]->click();
        QCOMPARE(FileDialog::takeRequests().value(0).folder, tmp.filePath("sub"));

        // Once the log picker has set the dialogs' folder, that one.
        w->Command1_Click();
        w->CmdFileOp[0]->click();
        QCOMPARE(FileDialog::takeRequests().value(1).folder, tmp.path());
    }

    void droppedFilesAndFoldersAreAddedAsTheDialogsAddThem()
    {
        const auto drop = [this](const QList<QUrl> &urls) { return dropOnJobList(*w, urls); };
        // A document, a folder with its subfolder, and what is not a
        // document: a file the dialog's filter hides, a page on the web, a
        // path that does not exist.
        QVERIFY(drop({QUrl::fromLocalFile(tmp.filePath("b.DOC")), QUrl::fromLocalFile(tmp.path()),
                      QUrl::fromLocalFile(tmp.filePath("skip.docx")), QUrl("http://example.org/x.doc"),
                      QUrl::fromLocalFile(tmp.filePath("gone.doc"))}));
        QStringList folder = joblist::folderEntries(tmp.path(), true);
        QCOMPARE(items(), QStringList{tmp.filePath("b.DOC")} + folder);
        QVERIFY(folder.contains(tmp.path() + "/sub/c.doc"));
        QCOMPARE(w->lblInput->text(), QStringLiteral("待处理文件%1项").arg(1 + folder.size()));

        // Only a page on the web: refused, nothing added.
        QVERIFY(!drop({QUrl("http://example.org/x.doc")}));
        QCOMPARE(w->ListView2->topLevelItemCount(), 1 + folder.size());

        // A name in the GBK code page, as a file manager hands it over.
        QTemporaryDir elsewhere;
        const QByteArray name = QFile::encodeName(elsewhere.path()) + "/\xc3\xfb.doc";
        const int fd = ::open(name.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        QVERIFY(drop({QUrl::fromEncoded("file://" + name.toPercentEncoding("/"))}));
        const int last = w->ListView2->topLevelItemCount() - 1;
        QCOMPARE(jobPath(w->ListView2->topLevelItem(last)), platform::fromNativePath(name));
        QCOMPARE(::unlink(name.constData()), 0);
    }

    void severalFilesAtTheRootKeepTheFoldersOwnSeparator()
    {
        FileDialog::setNextOpenFileNames({"/a.doc", "/b.doc"});
        w->CmdFileOp[0]->click();
        FileDialog::setNextOpenFileNames({"/c.doc"});
        w->CmdFileOp[0]->click();
        QCOMPARE(items(), (QStringList{"//a.doc", "//b.doc", "/c.doc"}));
    }

    void cancelledOrOversizedSelectionAddsNothing()
    {
        w->lblProcessing->setText("处理完毕！");
        w->CmdFileOp[0]->click();
        QCOMPARE(items(), QStringList{});
        QCOMPARE(w->lblInput->text(), "待处理文件：0项");
        QCOMPARE(w->lblProcessing->text(), "处理完毕！");

        QStringList many;
        for (int i = 0; i < 400; ++i)
            many << QStringLiteral("/d/%1.doc").arg(QString(100, QChar('a' + i % 26)));
        FileDialog::setNextOpenFileNames(many);
        w->CmdFileOp[0]->click();
        QCOMPARE(items(), QStringList{});
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, "您选择的文件名数超过了Windows系统的最大限制，请分批次加入文件！");
        QCOMPARE(w->lblInput->text(), "待处理文件0项");
    }

    void addFolderWithAndWithoutSubfolders()
    {
        answerFolderDialog(tmp.path(), false);
        w->CmdFileOp[1]->click();
        QStringList one = items();
        one.sort();
        QCOMPARE(one, (QStringList{tmp.filePath("a.doc"), tmp.filePath("b.DOC")}));
        QCOMPARE(w->lblInput->text(), "待处理文件2项");
        QVERIFY(!gui::isBusyPointer());

        answerFolderDialog(tmp.path() + "/", true);
        w->CmdFileOp[1]->click();
        QCOMPARE(items().size(), 5);
        QCOMPARE(items().last(), tmp.filePath("sub/c.doc"));
    }

    // Names not in UTF-8 (GBK, from a Windows archive) and names beyond
    // U+FFFF (a rare character of a Chinese name, an emoji) alike.
    void everyNameIsShownReadablyAndRunByItsBytes()
    {
        QTemporaryDir folder;
        const QList<QByteArray> stems{"\xb1\xa8\xb8\xe6", "合同𠂀", "💀"};
        for (const QByteArray &stem : stems) {
            const int fd = open(QFile::encodeName(folder.path()) + "/" + stem + ".doc", O_CREAT | O_WRONLY, 0644);
            QVERIFY(fd >= 0);
            close(fd);
        }
        answerFolderDialog(folder.path(), false);
        w->CmdFileOp[1]->click();
        QStringList shown = items();
        shown.sort();
        QCOMPARE(shown,
                 (QStringList{folder.path() + "/合同𠂀.doc", folder.path() + "/报告.doc", folder.path() + "/💀.doc"}));

        w->txtOutDir->setText(folder.path() + "/out");
        w->txtLog->setText(folder.path() + "/run.log");
        w->CmdDo_Click();
        for (const QByteArray &stem : stems) {
            const QByteArray name = QFile::encodeName(folder.path()) + "/" + stem + ".doc";
            QVERIFY(office.calls.contains("open " + platform::fromNativePath(name)));
            const QByteArray picture = QFile::encodeName(folder.path()) + "/out/" + stem + "-1.emf";
            QVERIFY2(access(picture, F_OK) == 0, picture.constData());
            // Qt cannot remove what it cannot name.
            QCOMPARE(unlink(picture), 0);
            QCOMPARE(unlink(name), 0);
        }
    }

    void folderDialogThatGivesNothingChangesNothing()
    {
        w->lblProcessing->setText("处理完毕！");
        for (const QString how : {"cancel", "close"}) {
            answerFolderDialog(tmp.path(), true, how);
            w->CmdFileOp[1]->click();
        }
        answerFolderDialog("   ", true);
        w->CmdFileOp[1]->click();
        QCOMPARE(items(), QStringList{});
        QCOMPARE(w->lblInput->text(), "待处理文件：0项");
        QCOMPARE(w->lblProcessing->text(), "处理完毕！");

        // A folder that does not exist: nothing, no message, the pointer back.
        answerFolderDialog(tmp.filePath("missing"), false);
        w->CmdFileOp[1]->click();
        QCOMPARE(items(), QStringList{});
        QCOMPARE(w->lblInput->text(), "待处理文件0项");
        QVERIFY(MessageBox::takeShown().isEmpty());
        QVERIFY(!gui::isBusyPointer());

        // An existing folder with nothing in it, with and without subfolders.
        QTemporaryDir empty;
        for (const bool subfolders : {false, true}) {
            w->lblInput->setText("");
            answerFolderDialog(empty.path(), subfolders);
            w->CmdFileOp[1]->click();
            QCOMPARE(items(), QStringList{});
            QCOMPARE(w->lblInput->text(), "待处理文件0项");
        }
        QVERIFY(MessageBox::takeShown().isEmpty());
    }

    void browsingInTheFolderDialog()
    {
        FrmPath dialog(w.get());
        dialog.txtFolder->setText("/typed");
        FileDialog::setNextDirectory(tmp.path());
        dialog.CmdFolder->click();
        QCOMPARE(dialog.txtFolder->text(), tmp.path());
        dialog.CmdFolder->click();
        QCOMPARE(dialog.txtFolder->text(), "");
        const auto asked = FileDialog::takeRequests();
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked[0].title, "请选择一个文件夹");

        // A browser without a caption shows the shell's own prompt.
        clsGetPath picker;
        picker.GetFolder();
        QCOMPARE(FileDialog::takeRequests().value(0).title, "Select a Folder...");
    }

    void removeAndClear()
    {
        FileDialog::setNextOpenFileNames({"/d/1.doc", "/d/2.doc", "/d/3.doc"});
        w->CmdFileOp[0]->click();

        // Nothing selected: only the labels change.
        w->ListView2->clearSelection();
        w->lblProcessing->setText("处理完毕！");
        w->CmdFileOp[2]->click();
        QCOMPARE(items().size(), 3);
        QCOMPARE(w->lblProcessing->text(), "");

        w->ListView2->setCurrentItem(w->ListView2->topLevelItem(1));
        w->CmdFileOp[2]->click();
        QCOMPARE(items(), (QStringList{"/d/1.doc", "/d/3.doc"}));
        QCOMPARE(w->lblInput->text(), "待处理文件2项");

        MessageBox::setNextAnswer(Answer::No);
        w->CmdFileOp[3]->click();
        const auto asked = MessageBox::takeShown();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].text, "确定要清空处理列表吗？");
        QCOMPARE(asked[0].icon, gui::Icon::Question);
        QCOMPARE(asked[0].buttons, gui::Buttons::YesNo);
        QCOMPARE(items().size(), 2);

        MessageBox::setNextAnswer(Answer::Yes);
        w->CmdFileOp[3]->click();
        QCOMPARE(items(), QStringList{});
        QCOMPARE(w->lblInput->text(), "待处理文件0项");
        QCOMPARE(MessageBox::takeShown().size(), 1);

        // An empty list asks nothing.
        w->lblInput->setText("unchanged");
        w->CmdFileOp[3]->click();
        QVERIFY(MessageBox::takeShown().isEmpty());
        QCOMPARE(w->lblInput->text(), "unchanged");
    }

    void clearWithNoReplacesTheStartText()
    {
        FileDialog::setNextOpenFileNames({"/d/1.doc"});
        w->CmdFileOp[0]->click();
        w->lblInput->setText("待处理文件：0项");
        MessageBox::setNextAnswer(Answer::No);
        w->CmdFileOp[3]->click();
        QCOMPARE(w->lblInput->text(), "待处理文件1项");
    }

    void logPicker()
    {
        const QString before = w->txtLog->text();
        w->Command1->click();
        QCOMPARE(w->txtLog->text(), before);
        auto asked = FileDialog::takeRequests();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].kind, FileDialog::Kind::SaveFile);
        QCOMPARE(asked[0].title, "处理日志");
        QCOMPARE(asked[0].folder, tmp.path() + "/Slidecast.log");
        QCOMPARE(asked[0].filter, "处理日志(*.log)");

        FileDialog::setNextSaveFileName(tmp.path() + "/Slidecast.log");
        w->Command1->click();
        QCOMPARE(w->txtLog->text(), tmp.path() + "/Slidecast.log");

        FileDialog::setNextSaveFileName("   ");
        w->Command1->click();
        QCOMPARE(w->txtLog->text(), tmp.path() + "/Slidecast.log");

        // The open dialog now starts where the save dialog did.
        FileDialog::takeRequests();
        w->CmdFileOp[0]->click();
        QCOMPARE(FileDialog::takeRequests().value(0).folder, tmp.path());

        // Installed where no one can write (not even root in /proc), the
        // picker starts where the default log goes, a folder of the user's.
        OfficeScript installed;
        const auto readOnly = startedWindow(installed, "/proc");
        QVERIFY(readOnly);
        readOnly->Command1->click();
        const QString own = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Pagegrab";
        QCOMPARE(FileDialog::takeRequests().value(0).folder, own + "/Slidecast.log");
        QCOMPARE(readOnly->txtLog->text(), own + "/Pagegrab.log");
    }

    void outputFolderPicker()
    {
        w->txtOutDir->setText("/somewhere");
        FileDialog::setNextDirectory("/");
        w->Command2->click();
        QCOMPARE(w->txtOutDir->text(), "/");
        w->Command2->click();
        QCOMPARE(w->txtOutDir->text(), "");
        QCOMPARE(FileDialog::takeRequests().value(0).title, "请选择一个文件夹");
    }

    void logBoxCannotBeUnchecked()
    {
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        for (int i = 0; i < 3; ++i) {
            QTest::mouseClick(w->Check1, Qt::LeftButton);
            QVERIFY(w->Check1->isChecked());
        }
        w->Check1->setFocus();
        QTest::keyClick(w->Check1, Qt::Key_Space);
        QVERIFY(w->Check1->isChecked());
    }
};

PAGEGRAB_GUI_TEST_MAIN(tst_joblist)
#include "tst_joblist.moc"
