#include "sandbox/ScratchFolder.h"

#include "sandbox/Failure.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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
int lockOwnership(int folder)
{
    const int fd = openat(folder, kLockName, O_CREAT | O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
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

// The folders of runs that were killed: their lock is free.
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
        const int lock = isPrivateFolder(folder) ? lockOwnership(folder) : -1;
        if (lock >= 0)
            dead.emplace_back(entry->d_name);
        else
            livePids.insert(pid);
        if (lock >= 0)
            close(lock);
        close(folder);
    }
    closedir(entries);
    for (const std::string &name : dead) {
        removeTree(base, name.c_str());
        if (!livePids.count(runPid(name.c_str())))
            removeElsewhere(runPid(name.c_str()));
    }
}

// Where the run folders live: the user's runtime folder where there is one
// (private, and emptied at logout), else a folder of ours in the temporary
// folder, made private. A name there that another user made first is not
// used: a fresh private folder of a random name stands in, without
// leftovers to clean.
struct Base {
    QString path;
    int fd = -1;
};

Base openBase()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString path = QDir::tempPath() + "/pagegrab-" + QString::number(geteuid());
    if (runtime.startsWith('/')) {
        const int fd = open(QFile::encodeName(runtime).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0 && isPrivateFolder(fd))
            path = runtime + "/pagegrab";
        if (fd >= 0)
            close(fd);
    }
    const QByteArray native = QFile::encodeName(path);
    if (mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        throw Failure("无法创建临时文件夹：" + path.toStdString() + "：" + std::strerror(errno));
    int fd = open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && isPrivateFolder(fd))
        return {path, fd};
    if (fd >= 0)
        close(fd);
    QByteArray fresh = QFile::encodeName(QDir::tempPath() + "/pagegrab-" + QString::number(geteuid()) + "-XXXXXX");
    if (!mkdtemp(fresh.data()))
        throw Failure("无法在" + QDir::tempPath().toStdString() + "中创建临时文件夹：" + std::strerror(errno));
    fd = open(fresh.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return {QFile::decodeName(fresh), fd};
}

class Scratch {
public:
    explicit Scratch(LeftoversElsewhere removeElsewhere)
    {
        // Another run that ends may remove the common folder just after we
        // opened it (it removes it when empty): then it is made again.
        for (int attempt = 0; attempt < 3 && path_.isEmpty(); ++attempt) {
            close(base_.fd);
            try {
                base_ = openBase();
            } catch (const Failure &f) {
                problem_ = f.what();
                return;
            }
            QByteArray own = QFile::encodeName(base_.path + "/" + QString::number(getpid()) + "-XXXXXX");
            if (!mkdtemp(own.data())) {
                problem_ = "无法在" + base_.path.toStdString() + "中创建临时文件夹：" + std::strerror(errno);
                continue;
            }
            path_ = QFile::decodeName(own);
            name_ = own.mid(own.lastIndexOf('/') + 1);
        }
        if (path_.isEmpty())
            return;
        folder_ = open(QFile::encodeName(path_).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        lock_ = folder_ < 0 ? -1 : lockOwnership(folder_);
        removeLeftoversOfDeadRuns(base_.fd, name_.constData(), removeElsewhere);
    }

    ~Scratch()
    {
        if (!name_.isEmpty())
            removeTree(base_.fd, name_.constData());
        // Nothing of ours stays behind: the common folder goes too once no
        // other run uses it (removing a folder that is not empty fails).
        if (!base_.path.isEmpty())
            rmdir(QFile::encodeName(base_.path).constData());
        for (int fd : {lock_, folder_, base_.fd})
            if (fd >= 0)
                close(fd);
    }

    QString path() const
    {
        if (path_.isEmpty())
            throw Failure(problem_);
        return path_;
    }

private:
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
