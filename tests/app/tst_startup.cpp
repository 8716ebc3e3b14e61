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
#include <cstddef>
#include <cstring>

#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool held(const QString &key)
{
    QLocalSocket probe;
    probe.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    probe.connectToServer(key);
    return probe.waitForConnected(200);
}

// The first instance, started and then minimized, as a second start finds it.
bool startedMinimized(frmMain &first)
{
    if (!first.Form_Load())
        return false;
    first.show();
    if (!QTest::qWaitForWindowExposed(&first))
        return false;
    first.showMinimized();
    return QTest::qWaitFor([&] { return first.isMinimized(); }, 5000);
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
        QVERIFY(startedMinimized(first));
        frmMain second(services);
        QVERIFY(!second.Form_Load());
        QCOMPARE(office.instancesStarted, 1);
        QVERIFY(second.WebBrowser1->url().isEmpty());
        QVERIFY(gui::MessageBox::takeShown().isEmpty());
        QTRY_VERIFY(!first.isMinimized());
        QTRY_VERIFY(first.isActiveWindow());
    }

    // An abstract name has no owner: another user's holder of it does not
    // keep the window from starting, nor does their knock bring it forward.
    void anotherUsersNameNeitherBlocksNorRaises()
    {
        const passwd *nobody = getpwnam("nobody");
        if (geteuid() != 0 || !nobody)
            QSKIP("needs root and a user nobody");
        OfficeScript office;
        const auto asNobody = [nobody](const QString &key, bool holds) {
            const QByteArray name = key.toUtf8();
            const pid_t child = fork();
            if (child == 0) {
                sockaddr_un address{};
                address.sun_family = AF_UNIX;
                std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
                const auto size = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(name.size()));
                const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
                if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0
                    || (holds ? bind(fd, reinterpret_cast<sockaddr *>(&address), size) != 0 || listen(fd, 4) != 0
                              : ::connect(fd, reinterpret_cast<sockaddr *>(&address), size) != 0))
                    _exit(1);
                pause();
            }
            return child;
        };
        const auto end = [](pid_t child) {
            ::kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        };

        const auto squatted = testServices(office);
        const pid_t squatter = asNobody(squatted.instanceKey, true);
        QTRY_VERIFY(held(squatted.instanceKey));
        frmMain started(squatted);
        const bool startedAnyway = started.Form_Load();
        end(squatter);
        QVERIFY(startedAnyway);

        const auto ours = testServices(office);
        frmMain first(ours);
        QVERIFY(startedMinimized(first));
        const pid_t knocker = asNobody(ours.instanceKey, false);
        QTest::qWait(500);
        end(knocker);
        QVERIFY(first.isMinimized());
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
