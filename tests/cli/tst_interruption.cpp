#include "support/Documents.h"
#include "support/Processes.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {

const QString kTestDocs = QStringLiteral(PAGEGRAB_TESTDOCS);

QStringList socketsOf(qint64 pid)
{
    return QDir("/tmp").entryList({QStringLiteral("OSL_PIPE_%1_pagegrab-%2-*").arg(getuid()).arg(pid)}, QDir::System);
}

} // namespace

class tst_interruption : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QTemporaryDir temp; // the programs' own temporary folder

    // A batch of real documents through pagegrab-batch.
    void startRun(QProcess &run, const QString &out)
    {
        QStringList arguments{"--log", out + "/Pagegrab.log", out};
        for (int i = 0; i < 30; ++i)
            arguments << kTestDocs + "/Bug53380_1.doc";
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", temp.path());
        environment.remove("XDG_RUNTIME_DIR");
        run.setProcessEnvironment(environment);
        run.start(PAGEGRAB_BATCH, arguments);
        QVERIFY(run.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!officesOf(run.processId()).isEmpty(), 20000);
    }

private slots:
    // A closed terminal (SIGHUP) ends a run as SIGTERM does.
    void terminationEndsTheRunCleanly_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void terminationEndsTheRunCleanly()
    {
        QFETCH(int, signal);
        QProcess run;
        const QString out = dir.filePath(QStringLiteral("stopped-%1").arg(signal));
        startRun(run, out);
        const qint64 pid = run.processId();
        QVERIFY(pid > 0);
        ::kill(pid, signal);
        QVERIFY(run.waitForFinished(15000));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), 128 + SIGTERM);
        const QString said = QString::fromUtf8(run.readAllStandardError());
        QVERIFY2(said.contains("处理被中断：") && said.contains("个未处理"), qPrintable(said));
        QCOMPARE(officesOf(pid), QList<int>{});
        QCOMPARE(socketsOf(pid), QStringList{});
        QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{});
        QCOMPARE(QDir(out).entryList({".pagegrab-*"}, QDir::Files | QDir::Hidden), QStringList{});
        QFile log(out + "/Pagegrab.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        // Each document in flight, and no other, is logged as interrupted.
        QList<QByteArray> lines = log.readAll().split('\n');
        QCOMPARE(lines.takeLast(), "");
        QVERIFY(!lines.isEmpty());
        for (const QByteArray &line : lines)
            QVERIFY2(line.endsWith("处错：处理被中断\r"), line.constData());
    }

    // A signal that comes as the run ends finds everything it would stop
    // still there, or finds the program at its end: the run's own exit
    // status or 143, never an abort, and the scratch folder gone.
    void aSignalAsTheRunEndsChangesNothing()
    {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", temp.path());
        environment.remove("XDG_RUNTIME_DIR");
        for (int attempt = 0; attempt < 30; ++attempt) {
            QProcess run;
            run.setProcessEnvironment(environment);
            run.setReadChannel(QProcess::StandardError);
            run.start(PAGEGRAB_BATCH, {"--", dir.filePath("ending"), kTestDocs + "/simple.doc"});
            QVERIFY(run.waitForStarted());
            QByteArray said;
            while (!said.contains("转换完毕！") && run.state() == QProcess::Running)
                if (run.waitForReadyRead(1))
                    said += run.readAllStandardError();
            // A run that has ended has no id: kill(0) would stop the tests.
            if (run.state() == QProcess::Running)
                ::kill(run.processId(), SIGTERM);
            QVERIFY(run.state() == QProcess::NotRunning || run.waitForFinished(15000));
            QCOMPARE(run.exitStatus(), QProcess::NormalExit);
            QVERIFY2(run.exitCode() == 0 || run.exitCode() == 128 + SIGTERM,
                     qPrintable(QString::number(run.exitCode())));
            QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                     QStringList{});
        }
    }

    // A second Ctrl-C while a document's pictures are written must not
    // leave part of them: each document has all its pictures or none.
    void twoQuickInterruptsLeaveNoPartialDocument()
    {
        const QString out = dir.filePath("twice");
        QStringList arguments{"--jobs", "2", "--log", out + "/Pagegrab.log", "--", out};
        const QString long400 = documents::pages(dir.path(), "long.fodt", 400);
        for (int i = 0; i < 12; ++i) {
            const QString copy = dir.filePath(QStringLiteral("long%1.doc").arg(i));
            QVERIFY(QFile::copy(long400, copy));
            arguments << copy;
        }
        QProcess run;
        run.start(PAGEGRAB_BATCH, arguments);
        QVERIFY(run.waitForStarted());
        const qint64 pid = run.processId();
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(out).entryList({"*.emf"}, QDir::Files).isEmpty(), 60000);
        QVERIFY(run.state() == QProcess::Running);
        ::kill(pid, SIGINT);
        QTest::qWait(300);
        if (run.state() == QProcess::Running)
            ::kill(pid, SIGINT);
        // Waiting for a run that already ended says it did not.
        QVERIFY(run.state() == QProcess::NotRunning || run.waitForFinished(60000));
        QCOMPARE(run.exitCode(), 128 + SIGINT);
        for (int i = 0; i < 12; ++i) {
            const int written = QDir(out).entryList({QStringLiteral("long%1-*.emf").arg(i)}, QDir::Files).size();
            QVERIFY2(written == 0 || written == 400, qPrintable(QString::number(written)));
        }
        QVERIFY(QString::fromUtf8(run.readAllStandardError()).contains("处理被中断："));
    }

    void leftoversOfAKilledRunGoAtTheNextStart()
    {
        QProcess killed;
        startRun(killed, dir.filePath("killed"));
        const qint64 pid = killed.processId();
        QVERIFY(pid > 0);
        // The fork server the offices come from goes with them.
        const QList<int> starters = childrenNamed(pid, "pagegrab-office");
        QCOMPARE(starters.size(), 1);
        ::kill(pid, SIGKILL);
        QVERIFY(killed.waitForFinished(5000));
        QTRY_COMPARE(officesOf(pid), QList<int>{});
        QTRY_VERIFY(!alive(starters[0]));
        QVERIFY(!QDir(temp.path()).isEmpty());

        QProcess next;
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", temp.path());
        environment.remove("XDG_RUNTIME_DIR");
        next.setProcessEnvironment(environment);
        next.start(PAGEGRAB_BATCH,
                   {"--log", dir.filePath("next.log"), dir.filePath("next"), kTestDocs + "/simple.doc"});
        QVERIFY(next.waitForFinished(60000));
        QCOMPARE(next.exitCode(), 0);
        QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{});
        QCOMPARE(socketsOf(pid), QStringList{});
    }
};

QTEST_GUILESS_MAIN(tst_interruption)
#include "tst_interruption.moc"
