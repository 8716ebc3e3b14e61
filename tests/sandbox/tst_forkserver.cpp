#include "sandbox/ConfinedProcess.h"
#include "sandbox/ForkServer.h"
#include "support/Processes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <thread>

using namespace sandbox;

class TestForkServer : public QObject {
    Q_OBJECT

    static Confinement confinedTo(const QString &folder)
    {
        return Confinement(folder, FileAllowList({{QFile::encodeName(folder), FileAllowList::Rule::Write},
                                                  {"/proc/self", FileAllowList::Rule::Read}}));
    }

    static QStringList seen(const QTemporaryDir &folder)
    {
        QFile file(folder.filePath("seen"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n') : QStringList();
    }

    static QByteArray commandLine(pid_t pid)
    {
        QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    // A child of the server is ours, confined, without capabilities or
    // descriptors of the server's, given exactly its arguments and
    // environment, and shown in the process list by its arguments.
    void aChildIsOursConfinedAndToldOnlyItsOwn()
    {
        qputenv("PAGEGRAB_TEST_TOKEN", "not for children");
        QTemporaryDir own;
        QTemporaryDir elsewhere;
        QFile secret(elsewhere.filePath("secret"));
        QVERIFY(secret.open(QIODevice::WriteOnly));
        ForkServer server(FORK_SERVER);
        ConfinedProcess child(confinedTo(own.path()), {"named-child", "report", QFile::encodeName(secret.fileName())},
                              {"ONLY=this"}, false, &server);
        QVERIFY(child.waitForExit(20000));
        QCOMPARE(child.exitCode().value_or(-1), 7);
        const QStringList lines = seen(own);
        QVERIFY(lines.contains(QStringLiteral("parent %1").arg(getpid())));
        QVERIFY(lines.contains("argument named-child"));
        QVERIFY(lines.contains("environment ONLY=this"));
        QVERIFY(!lines.join('\n').contains("PAGEGRAB_TEST_TOKEN"));
        QVERIFY(lines.contains("CapEff:\t0000000000000000"));
        QVERIFY(lines.contains("also open 0"));
        QVERIFY(child.confinement());
        if (child.confinement()->files == 0)
            QVERIFY(lines.contains("read Permission denied"));
        else
            qWarning("no file confinement here: reading outside is not tested");

        ConfinedProcess waiting(confinedTo(own.path()), {"named-child", "wait"}, {}, false, &server);
        QVERIFY(commandLine(waiting.pid()).startsWith(QByteArray("named-child\0wait\0", 17)));
        waiting.kill();
        QVERIFY(waiting.waitForExit(5000));
        QCOMPARE(waiting.exitCode().value_or(-1), 128 + SIGKILL);
    }

    // What one child was told is wiped from the server before it forks the
    // next: the next child's memory does not hold it.
    void noChildHoldsWhatAnotherWasTold()
    {
        QTemporaryDir own;
        ForkServer server(FORK_SERVER);
        const QByteArray token = "pipe-of-another-document-" + QByteArray::number(getpid());
        ConfinedProcess told(confinedTo(own.path()), {"c", "report"},
                             {"PADDING=" + QByteArray(4000, 'x'), "SECRET=" + token}, false, &server);
        QVERIFY(told.waitForExit(20000));
        QByteArray backwards = token;
        std::reverse(backwards.begin(), backwards.end());
        ConfinedProcess next(confinedTo(own.path()), {"c", "find", backwards}, {}, false, &server);
        QVERIFY(next.waitForExit(20000));
        QCOMPARE(next.exitCode().value_or(-1), 7);
    }

    // A child's parent-death signal follows the thread that made its
    // parent: children the server started for a thread that has ended, and
    // the server, live on.
    void childrenOutliveTheThreadThatAskedForThem()
    {
        QTemporaryDir own;
        ForkServer server(FORK_SERVER);
        std::unique_ptr<ConfinedProcess> child;
        std::thread([&] {
            child = std::make_unique<ConfinedProcess>(confinedTo(own.path()), std::vector<QByteArray>{"c", "wait"},
                                                      std::vector<QByteArray>{}, false, &server);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }).join();
        QTest::qWait(300);
        QVERIFY(!child->exitCode());
        ConfinedProcess second(confinedTo(own.path()), {"c", "report"}, {}, false, &server);
        QVERIFY(second.waitForExit(20000));
        QCOMPARE(second.exitCode().value_or(-1), 7);
    }

    // A server that was ended is replaced; without a server the program is
    // started as it is (here the server program itself, which finds no
    // channel and ends with 0).
    void anEndedServerIsReplacedAndAMissingOneIsDoneWithout()
    {
        QTemporaryDir own;
        ForkServer server(FORK_SERVER);
        ConfinedProcess first(confinedTo(own.path()), {"c", "wait"}, {}, false, &server);
        const QStringList servers = QDir("/proc").entryList(QDir::Dirs);
        for (const QString &entry : servers) {
            QFile stat("/proc/" + entry + "/stat");
            const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
            // pid (name) state parent ...
            const bool ours = line.mid(line.lastIndexOf(')') + 2).split(' ').value(1) == QByteArray::number(getpid());
            if (ours && QFile::symLinkTarget("/proc/" + entry + "/exe") == FORK_SERVER && entry.toInt() != first.pid())
                ::kill(entry.toInt(), SIGKILL);
        }
        QTest::qWait(200);
        QVERIFY(!first.exitCode());
        ConfinedProcess after(confinedTo(own.path()), {"c", "report"}, {}, false, &server);
        QVERIFY(after.waitForExit(20000));
        QCOMPARE(after.exitCode().value_or(-1), 7);

        ForkServer missing("/nonexistent/fork-server");
        const Confinement mayRunPrograms(own.path(), FileAllowList({{"/", FileAllowList::Rule::Read}}));
        ConfinedProcess itself(mayRunPrograms, {FORK_SERVER}, {}, false, &missing);
        QVERIFY(itself.waitForExit(20000));
        QCOMPARE(itself.exitCode().value_or(-1), 0);
    }
};

QTEST_GUILESS_MAIN(TestForkServer)
#include "tst_forkserver.moc"
