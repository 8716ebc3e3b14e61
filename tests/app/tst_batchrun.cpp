#include "gui/BusyPointer.h"
#include "gui/DefaultApplication.h"
#include "gui/FileDialog.h"
#include "support/AppTestMain.h"
#include "support/TestWindow.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>

using gui::Answer;
using gui::MessageBox;

class tst_batchrun : public QObject {
    Q_OBJECT

    OfficeScript office;
    std::unique_ptr<frmMain> w;
    QTemporaryDir dir;
    QStringList opened;
    int run = 0;

    QStringList texts(const QList<gui::ShownMessage> &shown)
    {
        QStringList t;
        for (const auto &m : shown)
            t << m.text;
        return t;
    }

    void addJobs(const QStringList &paths)
    {
        for (const QString &p : paths)
            w->ListView2->addTopLevelItem(new QTreeWidgetItem(QStringList{p}));
    }

    QString freshFolder() { return dir.filePath(QStringLiteral("out%1").arg(++run)); }

    // A fresh window, loaded, whose office factory hands the window to
    // `asEachStarts` as each document's office starts, on the window's own
    // thread (which is meanwhile waiting for the run, handling what the run
    // posts to it in order). False when it did not load.
    bool windowWatchingEachStart(const std::function<void(frmMain &)> &asEachStarts)
    {
        w.reset();
        auto services = testServices(office);
        services.offices.start = [this, scripted = scriptedOffice(office),
                                  asEachStarts]() -> std::unique_ptr<office::Application> {
            // Start-up's own check of the office runs on the window's thread.
            if (QThread::currentThread() != w->thread())
                QMetaObject::invokeMethod(
                    w.get(), [&] { asEachStarts(*w); }, Qt::BlockingQueuedConnection);
            return scripted();
        };
        w = std::make_unique<frmMain>(services);
        return w->Form_Load();
    }

private slots:
    void init()
    {
        office = OfficeScript{};
        w = startedWindow(office);
        QVERIFY(w);
        MessageBox::takeShown();
        gui::FileDialog::answerAutomatically(true);
        gui::recordOpenedFiles(&opened);
        opened.clear();
        w->txtLog->setText(dir.filePath("run.log"));
        QFile::remove(dir.filePath("run.log"));
    }

    void cleanup()
    {
        gui::recordOpenedFiles(nullptr);
        w.reset();
    }

    void emptyListIsTheOnlyCheck()
    {
        w->txtOutDir->setText("");
        w->CmdDo_Click();
        QCOMPARE(texts(MessageBox::takeShown()), QStringList{"没有需要处理的文档！"});
        QVERIFY(gui::FileDialog::takeRequests().isEmpty());
        QCOMPARE(office.instancesStarted, 1);
    }

    void blankOutputFolderOpensTheFolderPicker()
    {
        addJobs({"/d/a.doc"});
        w->txtOutDir->setText("   ");
        w->txtLog->setText("");
        w->CmdDo_Click();
        QCOMPARE(texts(MessageBox::takeShown()), QStringList{"请输入图片保存目录！"});
        const auto asked = gui::FileDialog::takeRequests();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].kind, gui::FileDialog::Kind::Folder);
        QCOMPARE(asked[0].title, "请选择一个文件夹");
        QCOMPARE(w->txtOutDir->text(), "");

        // A folder picked there does not start the run.
        w->txtOutDir->setText("");
        gui::FileDialog::setNextDirectory(dir.path());
        w->CmdDo_Click();
        QCOMPARE(w->txtOutDir->text(), dir.path());
        QCOMPARE(office.instancesStarted, 1);
    }

    void outputFolderGetsItsSeparatorAndIsCreatedBeforeTheLogCheck()
    {
        addJobs({"/d/a.doc"});
        const QString out = freshFolder();
        w->txtOutDir->setText(out);
        w->txtLog->setText("");
        w->CmdDo_Click();
        QCOMPARE(w->txtOutDir->text(), out + "/");
        QVERIFY(QFileInfo(out).isDir());
        QCOMPARE(texts(MessageBox::takeShown()), QStringList{"请输入日志文件名！"});
        const auto asked = gui::FileDialog::takeRequests();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].kind, gui::FileDialog::Kind::SaveFile);
        QCOMPARE(office.instancesStarted, 1);
    }

    void aDocumentChosenAsTheLogIsNeverWrittenTo()
    {
        addJobs({"/d/a.doc"});
        const QString document = dir.filePath("report.doc");
        QFile file(document);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(scriptedPicture(1));
        file.close();
        w->txtOutDir->setText(freshFolder());
        w->txtLog->setText(document);
        w->CmdDo_Click();
        QCOMPARE(texts(MessageBox::takeShown()), QStringList{"日志文件不是处理日志，不会写入：" + document});
        QCOMPARE(office.instancesStarted, 1);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), scriptedPicture(1));
    }

    void folderThatCannotBeCreatedStopsTheRun()
    {
        addJobs({"/d/a.doc"});
        w->txtOutDir->setText(dir.filePath("no/such/parent"));
        w->CmdDo_Click();
        QCOMPARE(texts(MessageBox::takeShown()), QStringList{"无法创建图片保存目录！" + dir.filePath("no/such/parent/")
                                                             + "：No such file or directory"});
        QCOMPARE(office.instancesStarted, 1);
        QVERIFY(w->CmdDo->isEnabled());
    }

    void rangeIsCheckedOnlyWhenChosen()
    {
        addJobs({"/d/a.doc"});
        w->txtOutDir->setText(freshFolder());
        w->OptSlides2->click();
        for (const auto &[from, to] : {std::pair{"5", "3"}, {"1", ""}, {"x", "3"}}) {
            w->txtFrom->setText(from);
            w->txt2->setText(to);
            w->CmdDo_Click();
            QCOMPARE(texts(MessageBox::takeShown()), QStringList{"请正确输入转换幻灯片的范围（数字）！"});
        }
        QCOMPARE(office.instancesStarted, 1);

        w->txtFrom->setText("3");
        w->txt2->setText("3");
        w->CmdDo_Click();
        QCOMPARE(office.instancesStarted, 2);
        MessageBox::takeShown();

        w->OptSlidesAll->click();
        w->txtFrom->setText("");
        w->txt2->setText("");
        w->CmdDo_Click();
        QCOMPARE(office.instancesStarted, 3);
        QCOMPARE(texts(MessageBox::takeShown()), QStringList{"转换完毕！"});
    }

    void cleanRunShowsProgressAndAsksNothing()
    {
        const QString out = freshFolder() + "/";
        office.pages = 2;
        QStringList progress;
        bool disabledWhileRunning = true;
        bool busyWhileRunning = true;
        QVERIFY(windowWatchingEachStart([&](frmMain &window) {
            progress << window.lblProcessing->text();
            disabledWhileRunning &= window.CmdDo->text() == "停止转换" && !window.txtOutDir->isEnabled()
                                    && !window.txtLog->isEnabled();
            busyWhileRunning &= gui::isBusyPointer();
            // The list the run reads keeps still.
            disabledWhileRunning &= !dropOnJobList(window, {QUrl::fromLocalFile(dir.path())});
        }));
        addJobs({"/d/a.doc", "/d/b.doc", "/d/a.doc"});
        w->txtOutDir->setText(out);
        w->txtLog->setText(dir.filePath("run.log"));
        w->CmdDo_Click();

        QCOMPARE(progress, (QStringList{"正在处理第1个文件", "正在处理第2个文件", "正在处理第3个文件"}));
        QVERIFY(disabledWhileRunning);
        QVERIFY(busyWhileRunning);
        QCOMPARE(texts(MessageBox::takeShown()), QStringList{"转换完毕！"});
        QCOMPARE(w->lblProcessing->text(), "处理完毕！");
        QVERIFY(w->CmdDo->isEnabled() && w->txtOutDir->isEnabled() && w->txtLog->isEnabled());
        QCOMPARE(w->CmdDo->text(), "批量转换为图片");
        QVERIFY(!gui::isBusyPointer());
        QCOMPARE(QDir(out).entryList(QDir::Files, QDir::Name),
                 (QStringList{"a-1.emf", "a-2.emf", "b-1.emf", "b-2.emf"}));
        QCOMPARE(w->ListView2->topLevelItemCount(), 3);
        QVERIFY(!QFile::exists(dir.filePath("run.log")));
        QVERIFY(opened.isEmpty());
    }

    void closingTheWindowDuringARunEndsTheDocumentsInFlightAndCloses()
    {
        QVERIFY(windowWatchingEachStart([](frmMain &window) { window.close(); }));
        w->show();
        addJobs({"/d/a.doc", "/d/b.doc"});
        w->txtOutDir->setText(freshFolder());
        w->txtLog->setText(dir.filePath("run.log"));
        office.pages = 2;
        w->CmdDo_Click();
        // Closed as the first document starts: it ends whole, the second
        // never starts.
        QCOMPARE(office.calls.filter("open "), QStringList{"open /d/a.doc"});
        QCOMPARE(office.calls.filter("copy ").size(), 2);
        QCOMPARE(texts(MessageBox::takeShown()), QStringList{});
        QVERIFY(!w->isVisible());
    }

    void stopButtonEndsTheRunAndTheWindowStays()
    {
        // Clicked as the first document starts, after a click elsewhere in
        // the window, which the run holds back.
        int starts = 0;
        QVERIFY(windowWatchingEachStart([&starts](frmMain &window) {
            if (++starts > 1)
                return;
            QTest::mouseClick(window.CmdFileOp[3], Qt::LeftButton);
            QTest::mouseClick(window.OptSlides2, Qt::LeftButton);
            QTest::mouseClick(window.CmdDo, Qt::LeftButton);
        }));
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        addJobs({"/d/a.doc", "/d/b.doc", "/d/c.doc"});
        const QString out = freshFolder() + "/";
        w->txtOutDir->setText(out);
        w->txtLog->setText(dir.filePath("run.log"));
        office.pages = 2;
        w->CmdDo_Click();
        QCOMPARE(office.calls.filter("open "), QStringList{"open /d/a.doc"});
        QCOMPARE(QDir(out).entryList(QDir::Files, QDir::Name), (QStringList{"a-1.emf", "a-2.emf"}));
        const auto shown = MessageBox::takeShown();
        QCOMPARE(texts(shown), QStringList{"转换已停止！2个文档未处理。"});
        QCOMPARE(shown[0].action, "打开图片保存目录");
        QVERIFY(w->isVisible());
        QCOMPARE(w->ListView2->topLevelItemCount(), 3);
        QVERIFY(w->OptSlidesAll->isChecked());
        QVERIFY(w->CmdDo->isEnabled());
        QCOMPARE(w->CmdDo->text(), "批量转换为图片");

        // The next run goes through to its end.
        w->CmdDo_Click();
        QCOMPARE(texts(MessageBox::takeShown()), QStringList{"转换完毕！"});
    }

    void terminationDuringARunInterruptsItWithoutItsMessages()
    {
        // As the program's own handler does on SIGTERM, from another thread,
        // as the first document's office starts.
        QVERIFY(windowWatchingEachStart([](frmMain &window) { window.stopForTermination(); }));
        addJobs({"/d/a.doc", "/d/b.doc"});
        const QString out = freshFolder();
        w->txtOutDir->setText(out);
        w->txtLog->setText(dir.filePath("run.log"));
        const int startedBefore = office.instancesStarted;
        w->CmdDo_Click();
        // The first document's office is ended as it starts; the second
        // document never starts.
        QVERIFY(office.ended);
        QCOMPARE(office.instancesStarted, startedBefore);
        QCOMPARE(office.calls.filter("open "), QStringList{});
        QCOMPARE(QDir(out).entryList(QDir::Files), QStringList{});
        QCOMPARE(texts(MessageBox::takeShown()), QStringList{});
        QFile log(dir.filePath("run.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray lines = log.readAll();
        QCOMPARE(lines.count("\r\n"), 1);
        QVERIFY(lines.endsWith("处理/d/a.doc处错：处理被中断\r\n"));
    }

    void failedDocumentOffersTheLog()
    {
        addJobs({"/d/bad.doc", "/d/good.doc"});
        const QString out = freshFolder() + "/";
        w->txtOutDir->setText(out);
        office.openFailure = "无法打开文档：文档已损坏，无法读取";
        office.openFailsFor = {"/d/bad.doc"};

        MessageBox::setNextAnswer(Answer::Ok);
        MessageBox::setNextAnswer(Answer::Ok);
        w->CmdDo_Click();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(texts(shown),
                 (QStringList{"转换完毕！", "日志文件记录了处理过程中发生的异常，\r\n是否查看日志文件？"}));
        QCOMPARE(shown[1].icon, gui::Icon::Question);
        QCOMPARE(shown[1].buttons, gui::Buttons::OkCancel);
        QCOMPARE(opened, QStringList{w->txtLog->text()});
        QVERIFY(!w->ErrorsLogged);
        QCOMPARE(QDir(out).entryList(QDir::Files), QStringList{"good-1.emf"});

        // Cancel opens nothing, and the next clean run asks nothing.
        opened.clear();
        MessageBox::setNextAnswer(Answer::Ok);
        MessageBox::setNextAnswer(Answer::Cancel);
        w->CmdDo_Click();
        QCOMPARE(MessageBox::takeShown().size(), 2);
        QVERIFY(opened.isEmpty());
        QVERIFY(!w->ErrorsLogged);
        QVERIFY(w->txtLog->isEnabled());

        // Where nothing opens the log, the user learns where it is instead.
        gui::recordOpenedFiles(&opened, false);
        MessageBox::setNextAnswer(Answer::Ok);
        MessageBox::setNextAnswer(Answer::Ok);
        w->CmdDo_Click();
        QCOMPARE(texts(MessageBox::takeShown()).last(),
                 "系统中没有可以打开日志文件的程序，请用文本编辑器查看：" + w->txtLog->text());
        QCOMPARE(opened, QStringList{w->txtLog->text()});
        gui::recordOpenedFiles(&opened);

        office.openFailsFor = {"/d/other.doc"};
        w->CmdDo_Click();
        QCOMPARE(texts(MessageBox::takeShown()), QStringList{"转换完毕！"});
    }

    void sameNameFromTwoFoldersLeavesTheLatersPictures()
    {
        addJobs({"/a/report.doc", "/b/report.doc"});
        const QString out = freshFolder() + "/";
        w->txtOutDir->setText(out);
        // A picture of an earlier run, of a page neither document has.
        QVERIFY(QDir().mkpath(out));
        QFile earlierRun(out + "report-9.emf");
        QVERIFY(earlierRun.open(QIODevice::WriteOnly));
        earlierRun.close();
        office.picturesNameTheirDocument = true;
        office.pagesOf = {{"/a/report.doc", 4}};
        w->CmdDo_Click();
        office.pagesOf.clear();
        QCOMPARE(QDir(out).entryList(QDir::Files), (QStringList{"report-1.emf", "report-9.emf"}));
        QFile picture(out + "report-1.emf");
        QVERIFY(picture.open(QIODevice::ReadOnly));
        QVERIFY(picture.readAll().endsWith("/b/report.doc"));
        QFile log(w->txtLog->text());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(QString::fromUtf8(lines[0]).endsWith(
                     "\t文档/b/report.doc与/a/report.doc同名，图片取自前者，后者的图片已删除。\r"),
                 lines[0].constData());
    }

    void logThatCannotBeWrittenShowsTheFailuresInstead()
    {
        QStringList jobs;
        for (int i = 1; i <= 22; ++i)
            jobs << QStringLiteral("/d/bad%1.doc").arg(i);
        addJobs(jobs);
        w->txtOutDir->setText(freshFolder());
        w->txtLog->setText(dir.path()); // a folder
        office.openFailure = "无法打开文档：文件不存在";
        w->CmdDo_Click();
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[1].icon, gui::Icon::Information);
        QCOMPARE(shown[1].buttons, gui::Buttons::Ok);
        const QStringList lines = shown[1].text.split("\r\n");
        QCOMPARE(lines.first(), "有22个文档处理出错，但处理日志无法写入：" + dir.path());
        QCOMPARE(lines.size(), 2 + 20 + 1);
        QCOMPARE(lines[1], "原因：不是普通文件，而是目录、管道、设备或套接字");
        QCOMPARE(lines[2], "处理/d/bad1.doc处错：无法打开文档：文件不存在");
        QCOMPARE(lines.last(), "……");
        QVERIFY(opened.isEmpty());
        QVERIFY(!w->ErrorsLogged);

        // A log in a folder that does not exist: nothing created, the same notice.
        w->txtLog->setText(dir.filePath("missing/run.log"));
        w->CmdDo_Click();
        QVERIFY(MessageBox::takeShown().value(1).text.startsWith("有22个文档处理出错，但处理日志无法写入："));
        QVERIFY(!QFile::exists(dir.filePath("missing")));
    }

    void everyDocumentFailing()
    {
        addJobs({"/d/x.doc", "/d/y.doc"});
        w->txtOutDir->setText(freshFolder());
        office.openFailure = "无法打开文档：文件不存在";
        w->CmdDo_Click();
        QCOMPARE(MessageBox::takeShown().size(), 2);
        QFile log(w->txtLog->text());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count("\r\n"), 2);
    }
};

PAGEGRAB_GUI_TEST_MAIN(tst_batchrun)
#include "tst_batchrun.moc"
