#include "app/ProcessSetup.h"
#include "gui/MessageBox.h"
#include "support/TestWindow.h"

#include <QApplication>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>

#include <csignal>
#include <cstring>

namespace {

bool held(const QString &key)
{
    QLocalSocket probe;
    probe.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    probe.connectToServer(key);
    return probe.waitForConnected(200);
}

} // namespace

class tst_startup : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { gui::MessageBox::takeShown(); }

    void officeIsStartedOnceAndQuitBeforeTheWindowShows()
    {
        OfficeScript office;
        frmMain w(testServices(office));
        QVERIFY(w.Form_Load());
        QCOMPARE(office.instancesStarted, 1);
        QCOMPARE(office.instancesQuit, 1);
        QCOMPARE(office.calls, QStringList{"quit"});
        QTRY_COMPARE(w.WebBrowser1->url(), QUrl("http://127.0.0.1:9/soft/Pagegrab.aspx?VER=1.0"));
        QVERIFY(gui::MessageBox::takeShown().isEmpty());
    }

    void missingOfficeShowsTheMessageAndEnds()
    {
        OfficeScript office;
        office.startFails = true;
        QTemporaryDir programFolder;
        frmMain w(testServices(office, programFolder.path()));
        QVERIFY(!w.Form_Load());
        // Why, for whoever has to find out: in the log beside the program.
        QFile log(programFolder.filePath("Pagegrab.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(log.readAll()).endsWith("\t办公软件无法启动：the office cannot be started\r\n"));
        const auto shown = gui::MessageBox::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, "Pagegrab");
        QCOMPARE(shown[0].text, "你的计算机中没有安装LibreOffice，无法正常使用本软件！");
        QCOMPARE(shown[0].icon, gui::Icon::Information);
        QCOMPARE(shown[0].buttons, gui::Buttons::Ok);
        QVERIFY(w.WebBrowser1->url().isEmpty());
        QVERIFY(!w.isVisible());
    }

    void secondInstanceEndsSilentlyAndBringsTheFirstForward()
    {
        OfficeScript office;
        const auto services = testServices(office);
        frmMain first(services);
        QVERIFY(first.Form_Load());
        first.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first));
        first.showMinimized();
        QTRY_VERIFY(first.isMinimized());
        frmMain second(services);
        QVERIFY(!second.Form_Load());
        QCOMPARE(office.instancesStarted, 1);
        QVERIFY(second.WebBrowser1->url().isEmpty());
        QVERIFY(gui::MessageBox::takeShown().isEmpty());
        QTRY_VERIFY(!first.isMinimized());
        QTRY_VERIFY(first.isActiveWindow());
    }

    void crashedInstanceDoesNotBlockTheNextStart()
    {
        OfficeScript office;
        const auto services = testServices(office);
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(), {"--hold-instance", services.instanceKey});
        QVERIFY(holder.waitForStarted());
        QTRY_VERIFY(held(services.instanceKey));
        ::kill(static_cast<pid_t>(holder.processId()), SIGKILL);
        QVERIFY(holder.waitForFinished());

        frmMain w(services);
        QVERIFY(w.Form_Load());
    }

    void exitButtonClosesWithoutQuestion()
    {
        OfficeScript office;
        frmMain w(testServices(office));
        QVERIFY(w.Form_Load());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.CmdExit->click();
        QVERIFY(!w.isVisible());
        QVERIFY(gui::MessageBox::takeShown().isEmpty());
    }
};

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--hold-instance") == 0) {
        QCoreApplication app(argc, argv);
        platform::SingleInstance instance(QString::fromLocal8Bit(argv[2]));
        if (instance.anotherIsRunning())
            return 1;
        return app.exec();
    }
    prepareProcess();
    QApplication app(argc, argv);
    gui::MessageBox::answerAutomatically(true);
    tst_startup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
