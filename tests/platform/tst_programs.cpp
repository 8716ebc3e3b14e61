#include "platform/NativePath.h"
#include "platform/Programs.h"
#include "support/Processes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <sys/types.h>

namespace {


} // namespace

class tst_programs : public QObject {
    Q_OBJECT

private slots:
    void terminateEndsTheStartedProgram()
    {
        auto program = platform::startProgram("sleep", {"30"});
        QVERIFY(program.pid() > 0);
        QVERIFY(alive(program.pid()));
        QVERIFY(program.terminate());
        QTRY_VERIFY(!alive(program.pid()));
    }

    void endedProgramIsNeverSignalledAgain()
    {
        // Once the program has ended, its id may go to another process; the
        // handle refers to the ended one and signals nothing.
        auto program = platform::startProgram("true", {});
        QVERIFY(program.pid() > 0);
        QTRY_VERIFY(!alive(program.pid()));
        auto bystander = platform::startProgram("sleep", {"30"});
        QVERIFY(!program.terminate());
        QVERIFY(alive(bystander.pid()));
        QVERIFY(bystander.terminate());
    }

    void missingProgramGivesAnEmptyHandle()
    {
        auto program = platform::startProgram("/nonexistent/program", {});
        QCOMPARE(program.pid(), 0);
        QVERIFY(!program.terminate());
    }

    void argumentsArriveUnsplit()
    {
        const QString out = QDir::temp().filePath("pagegrab-args-%1.txt").arg(QCoreApplication::applicationPid());
        QFile::remove(out);
        // A name in GBK bytes, as archives made elsewhere hold them, and one
        // beyond U+FFFF arrive byte for byte.
        const QByteArray gbk("\xba\xcf\xcd\xac");
        auto program = platform::startProgram("sh", {"-c", "printf '%s\\n' \"$@\" > \"$0\"", out, "a b", "\"quoted\"",
                                                     "", platform::fromNativePath(gbk), "合同𠂀"});
        QVERIFY(program.pid() > 0);
        QTRY_VERIFY(!alive(program.pid()));
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "a b\n\"quoted\"\n\n" + gbk + "\n" + QString("合同𠂀").toUtf8() + "\n");
        QFile::remove(out);
    }
};

QTEST_GUILESS_MAIN(tst_programs)
#include "tst_programs.moc"
