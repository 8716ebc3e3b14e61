#include "platform/PathWalk.h"
#include "platform/UserAccess.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using platform::WalkedPath;

namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

struct stat statOf(const QString &path)
{
    struct stat info {};
    stat(native(path).constData(), &info);
    return info;
}

struct stat entry(uid_t owner, gid_t group, mode_t mode)
{
    struct stat info {};
    info.st_uid = owner;
    info.st_gid = group;
    info.st_mode = mode;
    return info;
}

} // namespace

class tst_pathwalk : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString at(const QString &name) const { return dir.filePath(name); }

    void link(const QString &target, const QString &name)
    {
        QVERIFY(symlink(native(target).constData(), native(at(name)).constData()) == 0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QDir().mkpath(at("a/b")));
        QFile file(at("a/b/file.doc"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("document");
        file.close();
        QVERIFY(mkfifo(native(at("fifo")).constData(), 0600) == 0);
        link("..", "a/up");
        link(at("a/b"), "a/abs");
        link("loop2", "loop1");
        link("loop1", "loop2");
        link("missing.doc", "dangling");
        link("a/b/file.doc", "chain0");
        for (int i = 1; i <= 40; ++i)
            link(QStringLiteral("chain%1").arg(i - 1), QStringLiteral("chain%1").arg(i));
    }

    void pathsResolveAsTheKernelResolvesThem()
    {
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const ino_t file = statOf(at("a/b/file.doc")).st_ino;
        const QList<std::pair<QString, int>> opened{
            {"a/b/file.doc", 0},
            {at("a/b/../b/./file.doc"), 0},
            {"/" + at("a//b///file.doc"), 0},
            {at("a/abs/file.doc"), 0},
            {"a/up/a/up/a/b/file.doc", 0},
            {at("chain39"), 0},
            {at("a/b/file.doc/"), ENOTDIR},
            {at("loop1"), ELOOP},
            {at("chain40"), ELOOP},
            {at("dangling"), ENOENT},
            {"", ENOENT},
            {at("a/none/file.doc"), ENOENT},
        };
        for (const auto &[path, error] : opened) {
            const WalkedPath walked = platform::openRegularFile(native(path));
            QVERIFY2(walked.outcome == (error ? WalkedPath::Failed : WalkedPath::Opened), qPrintable(path));
            QVERIFY2(walked.error == error, qPrintable(path + ": " + strerror(walked.error)));
            QVERIFY(walked.foreignLinks.empty());
            if (walked.outcome == WalkedPath::Opened) {
                QCOMPARE(walked.file.st_ino, file);
                char bytes[16] = {};
                QCOMPARE(read(walked.fd, bytes, sizeof bytes), qsizetype(8));
                close(walked.fd);
            }
        }
        // None is even opened: a FIFO would block the run.
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(inotify_add_watch(watch, native(at("fifo")).constData(), IN_OPEN) >= 0);
        for (const QString &path : {at("fifo"), at("a/b"), at("a/abs"), QString("/")})
            QVERIFY2(platform::openRegularFile(native(path)).outcome == WalkedPath::NotAFile, qPrintable(path));
        char event[256];
        QCOMPARE(read(watch, event, sizeof event), ssize_t(-1));
        close(watch);
        QVERIFY(QDir::setCurrent(before));
    }

    void linksOfOthersAreNotedWithTheFoldersAfterThem()
    {
        const passwd *nobody = getpwnam("nobody");
        if (geteuid() != 0 || !nobody)
            QSKIP("needs root and a user nobody");
        QVERIFY(QDir().mkpath(at("theirs")));
        link("../a/b/file.doc", "theirs/file.doc");
        link(at("theirs/file.doc"), "ours.doc");
        QVERIFY(lchown(native(at("theirs/file.doc")).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
        const WalkedPath walked = platform::openRegularFile(native(at("ours.doc")));
        QCOMPARE(walked.outcome, WalkedPath::Opened);
        close(walked.fd);
        QCOMPARE(walked.foreignLinks.size(), std::size_t(1));
        QCOMPARE(walked.foreignLinks[0].owner, nobody->pw_uid);
        QList<ino_t> folders;
        for (const struct stat &folder : walked.foldersAfter(walked.foreignLinks[0]))
            folders << folder.st_ino;
        QCOMPARE(folders, (QList<ino_t>{statOf(at("theirs")).st_ino, statOf(dir.path()).st_ino, statOf(at("a")).st_ino,
                                        statOf(at("a/b")).st_ino}));

        // Run as nobody, the same path passes root's link and nobody's own.
        QVERIFY(chmod(native(dir.path()).constData(), 0755) == 0);
        QVERIFY(seteuid(nobody->pw_uid) == 0);
        const WalkedPath asNobody = platform::openRegularFile(native(at("ours.doc")));
        QVERIFY(seteuid(0) == 0);
        QCOMPARE(asNobody.outcome, WalkedPath::Opened);
        close(asNobody.fd);
        QVERIFY(asNobody.foreignLinks.empty());

        // Forty links of theirs, each a target of two thousand "./": what is
        // noted stays near the path's own length, not the links' count times it.
        QVERIFY(QDir().mkpath(at("chain")));
        const QByteArray padding = QByteArray("./").repeated(2000);
        for (int i = 0; i < 40; ++i) {
            const QString name = QStringLiteral("chain/%1").arg(i);
            link(QString::fromLatin1(padding) + (i == 39 ? "../a/b/file.doc" : QString::number(i + 1)), name);
            QVERIFY(lchown(native(at(name)).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
        }
        const WalkedPath chained = platform::openRegularFile(native(at("chain/0")));
        QCOMPARE(chained.outcome, WalkedPath::Opened);
        close(chained.fd);
        QCOMPARE(chained.foreignLinks.size(), std::size_t(40));
        QVERIFY2(chained.folders.size() <= 45, qPrintable(QString::number(chained.folders.size())));
    }

    // A root run's log and pictures in a folder another user owns: that
    // user's links lead them only where that user could write.
    void writingThroughAnotherUsersLinkGoesOnlyWhereTheyCouldWrite()
    {
        const passwd *nobody = getpwnam("nobody");
        if (geteuid() != 0 || !nobody)
            QSKIP("needs root and a user nobody");
        QVERIFY(chmod(native(dir.path()).constData(), 0755) == 0);
        QVERIFY(QDir().mkpath(at("pub")) && QDir().mkpath(at("root-only")));
        QVERIFY(chown(native(at("pub")).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
        QVERIFY(chmod(native(at("root-only")).constData(), 0700) == 0);
        QFile secret(at("root-only/profile"));
        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write("secret\n") == 7);
        secret.close();
        const auto theirLink = [&](const QString &target, const QString &name) {
            link(target, name);
            QVERIFY(lchown(native(at(name)).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
        };
        theirLink(at("root-only/profile"), "pub/run.log");
        theirLink(at("root-only/new.log"), "pub/new.log");
        theirLink(at("root-only"), "pub/out");
        theirLink("own.log", "pub/own-link.log");
        theirLink(".", "pub/here");

        for (const QString &log : {at("pub/run.log"), at("pub/new.log")}) {
            const WalkedPath walked = platform::openFileToAppend(native(log));
            QCOMPARE(walked.outcome, WalkedPath::LinkRefused);
            QCOMPARE(walked.refusedOwner, nobody->pw_uid);
        }
        QCOMPARE(platform::openFolderToWrite(native(at("pub/out"))).outcome, WalkedPath::LinkRefused);
        QCOMPARE(QDir(at("root-only")).entryList(QDir::Files), QStringList{"profile"});
        QCOMPARE(statOf(at("root-only/profile")).st_size, off_t(7));

        // Where the link's owner could have written, it leads as the kernel's would.
        const WalkedPath made = platform::openFileToAppend(native(at("pub/own-link.log")));
        QCOMPARE(made.outcome, WalkedPath::Opened);
        QCOMPARE(made.file.st_ino, statOf(at("pub/own.log")).st_ino);
        close(made.fd);
        const WalkedPath folder = platform::openFolderToWrite(native(at("pub/here")));
        QCOMPARE(folder.outcome, WalkedPath::Opened);
        QCOMPARE(folder.file.st_ino, statOf(at("pub")).st_ino);
        close(folder.fd);

        // A FIFO as the log is not waited for; a file is, once known to be one.
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(inotify_add_watch(watch, native(at("fifo")).constData(), IN_OPEN) >= 0);
        QCOMPARE(platform::openFileToAppend(native(at("fifo"))).outcome, WalkedPath::NotAFile);
        char event[256];
        QCOMPARE(read(watch, event, sizeof event), ssize_t(-1));
        close(watch);
        const WalkedPath file = platform::openFileToAppend(native(at("a/b/file.doc")));
        QCOMPARE(file.outcome, WalkedPath::Opened);
        QCOMPARE(fcntl(file.fd, F_GETFL) & (O_NONBLOCK | O_APPEND | O_ACCMODE), O_APPEND | O_WRONLY);
        close(file.fd);
    }

    void anotherUsersReadingFollowsTheOneClassThatApplies()
    {
        const passwd *nobody = getpwnam("nobody");
        if (!nobody)
            QSKIP("needs a user nobody");
        const uid_t user = nobody->pw_uid;
        const gid_t group = nobody->pw_gid;
        const uid_t other = user + 1;
        const gid_t otherGroup = group + 1;
        const struct stat open = entry(0, 0, S_IFDIR | 0755);
        const QList<std::tuple<struct stat, struct stat, bool>> cases{
            {open, entry(user, otherGroup, S_IFREG | 0400), true},
            {open, entry(user, group, S_IFREG | 0044), false}, // the owner's bits, not the group's or everyone's
            {open, entry(other, group, S_IFREG | 0040), true},
            {open, entry(other, group, S_IFREG | 0404), false},
            {open, entry(other, otherGroup, S_IFREG | 0004), true},
            {open, entry(other, otherGroup, S_IFREG | 0640), false},
            {entry(0, 0, S_IFDIR | 0750), entry(other, otherGroup, S_IFREG | 0644), false},
            {entry(0, group, S_IFDIR | 0710), entry(other, otherGroup, S_IFREG | 0644), true},
            {entry(user, 0, S_IFDIR | 0677), entry(other, otherGroup, S_IFREG | 0644), false},
        };
        int i = 0;
        for (const auto &[folder, file, readable] : cases) {
            QVERIFY2(platform::userCouldRead(user, std::vector<struct stat>{open, folder}, file) == readable,
                     qPrintable(QString::number(i)));
            ++i;
        }
    }
};

QTEST_GUILESS_MAIN(tst_pathwalk)
#include "tst_pathwalk.moc"
