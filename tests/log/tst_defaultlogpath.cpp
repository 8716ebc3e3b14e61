#include "log/DefaultLogPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class tst_defaultlogpath : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // Another of Pagegrab's programs asking: the folder is still Pagegrab's.
        QCoreApplication::setApplicationName("pagegrab-batch");
    }

    void besideAWritableProgram()
    {
        QTemporaryDir folder;
        QCOMPARE(defaultLogPath(folder.path()), folder.path() + "/Pagegrab.log");
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{});
    }

    void inTheUsersFolderBesideAReadOnlyProgram()
    {
        const QString own = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Pagegrab";
        QDir(own).removeRecursively();
        // No one, root included, can create files in /proc.
        const QString log = defaultLogPath("/proc");
        QCOMPARE(log, own + "/Pagegrab.log");
        QVERIFY(QFileInfo(own).isDir());

        if (geteuid() != 0) {
            QTemporaryDir folder;
            QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner);
            QCOMPARE(defaultLogPath(folder.path()), own + "/Pagegrab.log");
            QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        QDir(own).removeRecursively();
    }
};

QTEST_GUILESS_MAIN(tst_defaultlogpath)
#include "tst_defaultlogpath.moc"
