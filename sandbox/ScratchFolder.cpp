#include "sandbox/ScratchFolder.h"

#include "sandbox/Failure.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace sandbox {
namespace {

const char kLockName[] = ".owner";

// Another user's entries are never ours to remove, whatever they are called.
bool ownedByUs(const struct stat &info)
{
    return info.st_uid == geteuid();
}

// A folder only we can make names in: ours, not a link, no access for others.
bool isPrivateFolder(int fd)
{
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && ownedByUs(info) && (info.st_mode & 077) == 0;
}

// Removes `name` below `parent` and everything in it that is ours, relative
// to folder descriptors all the way down: no name is looked up twice, no
// link is followed (a link is removed itself), and a folder that another
// user owns, or that was swapped for a link meanwhile, is left as it is.
void removeTree(int parent, const char *name, int depth = 0)
{
    struct stat info {};
    if (depth > 64 || fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !ownedByUs(info))
        return;
    if (!S_ISDIR(info.st_mode)) {
        unlinkat(parent, name, 0);
        return;
    }
    const int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || opened.st_ino != info.st_ino || opened.st_dev != info.st_dev || !ownedByUs(opened)) {
        close(fd);
        return;
    }
    if (DIR *entries = fdopendir(dup(fd))) {
        std::vector<std::string> names;
        while (const dirent *entry = readdir(entries))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        closedir(entries);
        for (const std::string &entry : names)
            removeTree(fd, entry.c_str(), depth + 1);
    }
    close(fd);
    unlinkat(parent, name, AT_REMOVEDIR);
}

// Held until the process ends, however it ends: the kernel drops the lock.
// The lock file is made without a name, locked, and only then named, so
// that no other run ever finds it unlocked while we live.
int lockOwnership(int folder)
{
    int fd = openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        if (flock(fd, LOCK_EX | LOCK_NB) == 0
            && linkat(AT_FDCWD, self.c_str(), folder, kLockName, AT_SYMLINK_FOLLOW) == 0)
            return fd;
        close(fd);
        return -1;
    }
    // A file system without unnamed files: locked under a name of its own,
    // then renamed into place.
    const std::string own = std::string(kLockName) + "-" + std::to_string(getpid());
    fd = openat(folder, own.c_str(), O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 && (flock(fd, LOCK_EX | LOCK_NB) != 0 || renameat(folder, own.c_str(), folder, kLockName) != 0)) {
        unlinkat(folder, own.c_str(), 0);
        close(fd);
        return -1;
    }
    return fd;
}

// The pid in a run folder's name, "<pid>-XXXXXX", or 0.
long runPid(const char *name)
{
    char *end = nullptr;
    const long pid = std::strtol(name, &end, 10);
    return end != name && *end == '-' ? pid : 0;
}

// Whether the run whose folder this is has ended: its lock is free, or it
// never came to lock it and its process is gone. A folder being made has
// no lock file yet; it is never taken for a dead one.
bool runEnded(int folder, long pid)
{
    const int lock = openat(folder, kLockName, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (lock < 0)
        return errno == ENOENT && kill(pid_t(pid), 0) != 0 && errno == ESRCH;
    const bool free = flock(lock, LOCK_EX | LOCK_NB) == 0;
    close(lock);
    return free;
}

// The folders of runs that were killed.
void removeLeftoversOfDeadRuns(int base, const char *own, LeftoversElsewhere removeElsewhere)
{
    DIR *entries = fdopendir(dup(base));
    if (!entries)
        return;
    std::vector<std::string> dead;
    std::set<long> livePids;
    while (const dirent *entry = readdir(entries)) {
        const long pid = runPid(entry->d_name);
        if (pid == 0 || std::strcmp(entry->d_name, own) == 0)
            continue;
        const int folder = openat(base, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (folder < 0)
            continue;
        if (isPrivateFolder(folder) && runEnded(folder, pid))
            dead.emplace_back(entry->d_name);
        else
            livePids.insert(pid);
        close(folder);
    }
    closedir(entries);
    for (const std::string &name : dead) {
        removeTree(base, name.c_str());
        if (!livePids.count(runPid(name.c_str())))
            removeElsewhere(runPid(name.c_str()));
    }
}

// Whether no other user can rename or remove what we make in a folder: it
// is root's or ours, and lets no one else make or remove names in it, or
// only their own (sticky, as /tmp).
bool keptFromOthers(int folder)
{
    struct stat info {};
    return fstat(folder, &info) == 0 && S_ISDIR(info.st_mode) && (info.st_uid == 0 || ownedByUs(info))
           && ((info.st_mode & 022) == 0 || (info.st_mode & S_ISVTX));
}

// The folder a path names, opened for making names in, when it and every
// folder above it are kept from others: otherwise another user could move
// what we make there away and put a link of theirs in its place, and what
// we later make or remove by its path would go where they choose. -1 when
// it is not.
int openKeptFolder(const QString &path)
{
    char *real = realpath(QFile::encodeName(path).constData(), nullptr);
    if (!real)
        return -1;
    int fd = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (const QByteArray &name : QByteArray(real).split('/')) {
        if (fd < 0 || !keptFromOthers(fd))
            break;
        if (name.isEmpty())
            continue;
        const int next = openat(fd, name.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(fd);
        fd = next;
    }
    std::free(real);
    if (fd >= 0 && !keptFromOthers(fd)) {
        close(fd);
        fd = -1;
    }
    return fd;
}

// A private folder of a fresh random name below `parent`, made relative to
// it: "<prefix>XXXXXX". Its name, or empty with errno set.
QByteArray makeFreshFolder(int parent, const QByteArray &prefix)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray name = prefix;
        for (int i = 0; i < 6; ++i)
            name += kLetters[QRandomGenerator::system()->bounded(int(sizeof kLetters - 1))];
        if (mkdirat(parent, name.constData(), 0700) == 0)
            return name;
        if (errno != EEXIST)
            return {};
    }
    errno = EEXIST;
    return {};
}

// Where the run folders live, and the folder that holds it.
struct Base {
    QString path;
    int parent = -1;
    QByteArray name;
    int fd = -1;
};

// Says once, on standard error, that a folder the environment names is not
// used.
void sayNotUsed(const QString &folder, const QString &instead)
{
    static std::once_flag said;
    std::call_once(said, [&] {
        const QString text = QStringLiteral("不使用临时文件夹%1：其他用户可以改动其中的内容；改用%2\n")
                                 .arg(folder, instead);
        std::fputs(text.toLocal8Bit().constData(), stderr);
    });
}

// The user's runtime folder where there is one (private, and emptied at
// logout), else a folder of ours in the temporary folder, made private;
// only where no other user can move it. A name there that another user made
// first is not used: a fresh private folder of a random name stands in,
// without leftovers to clean.
Base openBase()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString ours = "pagegrab-" + QString::number(geteuid());
    std::vector<std::pair<QString, QByteArray>> candidates;
    if (runtime.startsWith('/'))
        candidates.emplace_back(runtime, "pagegrab");
    for (const QString &temporary : {QDir::tempPath(), QStringLiteral("/tmp"), QStringLiteral("/var/tmp")})
        candidates.emplace_back(temporary, QFile::encodeName(ours));
    QStringList refused;
    for (const auto &[folder, name] : candidates) {
        // The runtime folder is used only where it is the user's own.
        const int parent = openKeptFolder(folder);
        if (parent < 0 || (folder == runtime && !isPrivateFolder(parent))) {
            if (parent >= 0)
                close(parent);
            if (!refused.contains(folder))
                refused << folder;
            continue;
        }
        if (!refused.isEmpty())
            sayNotUsed(refused.join("、"), folder);
        Base base{folder + "/" + QFile::decodeName(name), parent, name, -1};
        if (mkdirat(parent, name.constData(), 0700) != 0 && errno != EEXIST) {
            const int error = errno;
            close(parent);
            throw Failure("无法创建临时文件夹：" + base.path.toStdString() + "：" + std::strerror(error));
        }
        base.fd = openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (base.fd >= 0 && isPrivateFolder(base.fd))
            return base;
        if (base.fd >= 0)
            close(base.fd);
        base.name = makeFreshFolder(parent, QFile::encodeName(ours) + "-");
        if (base.name.isEmpty()) {
            const int error = errno;
            close(parent);
            throw Failure("无法在" + folder.toStdString() + "中创建临时文件夹：" + std::strerror(error));
        }
        base.path = folder + "/" + QFile::decodeName(base.name);
        base.fd = openat(parent, base.name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        return base;
    }
    throw Failure("没有其他用户无法改动的临时文件夹：" + refused.join("、").toStdString());
}

class Scratch {
public:
    explicit Scratch(LeftoversElsewhere removeElsewhere)
    {
        // Another run that ends may remove the common folder just after we
        // opened it (it removes it when empty): then it is made again.
        for (int attempt = 0; attempt < 3 && path_.isEmpty(); ++attempt) {
            closeBase();
            try {
                base_ = openBase();
            } catch (const Failure &f) {
                problem_ = f.what();
                return;
            }
            name_ = makeFreshFolder(base_.fd, QByteArray::number(getpid()) + "-");
            if (name_.isEmpty()) {
                problem_ = "无法在" + base_.path.toStdString() + "中创建临时文件夹：" + std::strerror(errno);
                continue;
            }
            path_ = base_.path + "/" + QFile::decodeName(name_);
        }
        if (path_.isEmpty())
            return;
        folder_ = openat(base_.fd, name_.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        lock_ = folder_ < 0 ? -1 : lockOwnership(folder_);
        removeLeftoversOfDeadRuns(base_.fd, name_.constData(), removeElsewhere);
    }

    ~Scratch()
    {
        if (!name_.isEmpty())
            removeTree(base_.fd, name_.constData());
        // Nothing of ours stays behind: the common folder goes too once no
        // other run uses it (removing a folder that is not empty fails).
        if (base_.parent >= 0)
            unlinkat(base_.parent, base_.name.constData(), AT_REMOVEDIR);
        for (int fd : {lock_, folder_})
            if (fd >= 0)
                close(fd);
        closeBase();
    }

    QString path() const
    {
        if (path_.isEmpty())
            throw Failure(problem_);
        return path_;
    }

private:
    void closeBase()
    {
        for (int fd : {base_.fd, base_.parent})
            if (fd >= 0)
                close(fd);
        base_ = {};
    }

    Base base_;
    QString path_;
    QByteArray name_;
    std::string problem_;
    int folder_ = -1;
    int lock_ = -1;
};

} // namespace

QString scratchFolder(LeftoversElsewhere removeElsewhere)
{
    static const Scratch scratch(removeElsewhere);
    return scratch.path();
}

} // namespace sandbox
