#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

// Runs that hold their scratch folder until they are let go.
class Holders {
public:
    explicit Holders(const QString &temporary) { environment_.insert("TMPDIR", temporary); }

    void start(int count)
    {
        for (int i = 0; i < count; ++i) {
            auto holder = std::make_unique<QProcess>();
            environment_.remove("XDG_RUNTIME_DIR");
            holder->setProcessEnvironment(environment_);
            holder->start(SCRATCH_HOLDER, {});
            holders_.push_back(std::move(holder));
        }
    }
    // The folder each one made, once all have made theirs.
    QStringList folders()
    {
        QStringList made;
        for (auto &holder : holders_) {
            while (!holder->canReadLine() && holder->waitForReadyRead(10000)) {
            }
            made << QString::fromLocal8Bit(holder->readLine().trimmed());
        }
        return made;
    }
    QString errors(int i) { return QString::fromLocal8Bit(holders_[i]->readAllStandardError()); }
    ~Holders()
    {
        for (auto &holder : holders_) {
            holder->closeWriteChannel();
            holder->waitForFinished(10000);
        }
    }

private:
    QProcessEnvironment environment_ = QProcessEnvironment::systemEnvironment();
    std::vector<std::unique_ptr<QProcess>> holders_;
};

QString baseIn(const QString &temporary)
{
    return temporary + "/pagegrab-" + QString::number(geteuid());
}

void plantRun(const QString &base, const QString &name, bool withLock)
{
    QVERIFY(QDir().mkpath(base + "/" + name));
    QFile::setPermissions(base, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(base + "/" + name, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (withLock) {
        QFile lock(base + "/" + name + "/.owner");
        QVERIFY(lock.open(QIODevice::WriteOnly));
    }
}

} // namespace

class tst_scratchfolder : public QObject {
    Q_OBJECT

private slots:
    void runsStartedTogetherKeepTheirFolders()
    {
        const QTemporaryDir temporary;
        for (int round = 0; round < 15; ++round) {
            Holders holders(temporary.path());
            holders.start(4);
            for (const QString &folder : holders.folders())
                QVERIFY2(QFileInfo(folder).isDir() && QFileInfo::exists(folder + "/.owner"), qPrintable(folder));
        }
        QVERIFY(!QFileInfo::exists(baseIn(temporary.path())));
    }

    void onlyRunsThatEndedLoseTheirFolders()
    {
        const QTemporaryDir temporary;
        const QString base = baseIn(temporary.path());
        const QString alive = QString::number(getpid());
        const pid_t child = fork();
        if (child == 0)
            _exit(0);
        waitpid(child, nullptr, 0);
        const QString gone = QString::number(child);
        // A run that is making its folder has no lock file yet.
        plantRun(base, alive + "-making", false);
        plantRun(base, gone + "-killed", false);
        plantRun(base, alive + "-ended", true);
        plantRun(base, alive + "-living", true);
        const int held = open(QFile::encodeName(base + "/" + alive + "-living/.owner").constData(), O_RDWR);
        QVERIFY(held >= 0 && flock(held, LOCK_EX) == 0);

        Holders holders(temporary.path());
        holders.start(1);
        QVERIFY(QFileInfo(holders.folders().value(0)).isDir());
        QVERIFY(QFileInfo(base + "/" + alive + "-making").isDir());
        QVERIFY(QFileInfo(base + "/" + alive + "-living").isDir());
        QVERIFY(!QFileInfo::exists(base + "/" + gone + "-killed"));
        QVERIFY(!QFileInfo::exists(base + "/" + alive + "-ended"));
        close(held);
    }

    void aTemporaryFolderAnotherUserCanChangeIsNotUsed()
    {
        if (geteuid() != 0)
            QSKIP("needs root, to give a folder to another user");
        const QTemporaryDir top("/tmp/scratch-XXXXXX");
        const QString theirs = top.path() + "/theirs";
        const QString belowTheirs = theirs + "/ours";
        const QString shared = top.path() + "/shared";
        for (const QString &folder : {theirs, belowTheirs, shared})
            QVERIFY(QDir().mkpath(folder));
        QVERIFY(chmod(QFile::encodeName(top.path()).constData(), 0755) == 0);
        QVERIFY(chown(QFile::encodeName(theirs).constData(), kNobody, kNobody) == 0);
        QVERIFY(chmod(QFile::encodeName(belowTheirs).constData(), 0700) == 0);
        QVERIFY(chmod(QFile::encodeName(shared).constData(), 01777) == 0);

        // Another user who owns the folder, or a folder above it, could move
        // our folder away and put a link in its place.
        for (const QString &refused : {theirs, belowTheirs}) {
            Holders holders(refused);
            holders.start(1);
            const QString folder = holders.folders().value(0);
            QVERIFY2(QFileInfo(folder).isDir() && !folder.startsWith(refused), qPrintable(folder));
            QVERIFY(holders.errors(0).contains("不使用临时文件夹" + refused));
            QCOMPARE(QDir(refused).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                     refused == theirs ? QStringList{"ours"} : QStringList{});
        }
        // A sticky folder lets no one else touch what is ours.
        Holders holders(shared);
        holders.start(1);
        QVERIFY(holders.folders().value(0).startsWith(shared + "/"));
        QVERIFY(holders.errors(0).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_scratchfolder)
#include "tst_scratchfolder.moc"
