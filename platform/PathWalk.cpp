#include "platform/PathWalk.h"

#include "platform/Descriptor.h"
#include "platform/UserAccess.h"

#include <QList>

#include <cerrno>
#include <cstring>
#include <deque>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

// As many links as the kernel follows in one path before it says ELOOP.
constexpr int kMostLinks = 40;

// The names of a path in order, before those still to be walked. A trailing
// slash asks for a folder, as "." after it does; "//" is one slash.
void putInFront(std::deque<QByteArray> &names, const QByteArray &path)
{
    QList<QByteArray> parts = path.split('/');
    if (parts.last().isEmpty())
        parts.last() = ".";
    for (auto part = parts.crbegin(); part != parts.crend(); ++part)
        if (!part->isEmpty())
            names.push_front(*part);
}

Descriptor openFolder(const char *path)
{
    return Descriptor(open(path, O_PATH | O_DIRECTORY | O_CLOEXEC));
}

QByteArray linkTarget(int link, int &error)
{
    QByteArray target(256, '\0');
    for (;;) {
        const ssize_t n = readlinkat(link, "", target.data(), target.size());
        if (n < 0) {
            error = errno;
            return {};
        }
        if (n < target.size())
            return target.left(n);
        target.resize(target.size() * 2);
    }
}

enum class Purpose { Read, Append, WriteInFolder };

// Every foreign link on the way: could its owner have written the target?
bool linksCouldWrite(WalkedPath &walked, const struct stat &target)
{
    for (const ForeignLink &link : walked.foreignLinks)
        if (!userCouldWrite(link.owner, walked.foldersAfter(link), target)) {
            walked.outcome = WalkedPath::LinkRefused;
            walked.refusedOwner = link.owner;
            return false;
        }
    return true;
}

WalkedPath walk(const QByteArray &path, Purpose purpose)
{
    WalkedPath walked;
    const auto failed = [&walked](int error) {
        walked.outcome = WalkedPath::Failed;
        walked.error = error;
        return std::move(walked);
    };
    if (path.isEmpty())
        return failed(ENOENT);
    std::deque<QByteArray> names;
    putInFront(names, path);
    Descriptor folder = openFolder(path.startsWith('/') ? "/" : ".");
    if (folder.get() < 0)
        return failed(errno);
    int links = 0;
    while (!names.empty()) {
        const QByteArray name = names.front();
        names.pop_front();
        struct stat folderInfo {};
        if (fstat(folder.get(), &folderInfo) != 0)
            return failed(errno);
        if (!walked.foreignLinks.empty()
            && (walked.folders.size() == walked.foreignLinks.back().firstFolder
                || walked.folders.back().st_ino != folderInfo.st_ino
                || walked.folders.back().st_dev != folderInfo.st_dev))
            walked.folders.push_back(folderInfo);

        // O_PATH opens the name itself, a link as a link, and reads nothing.
        Descriptor entry(openat(folder.get(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat info {};
        if (entry.get() < 0 && errno == ENOENT && names.empty() && purpose == Purpose::Append) {
            if (!linksCouldWrite(walked, folderInfo))
                return walked;
            // Made here and now, or, made by someone else meanwhile, walked again.
            Descriptor made(openat(folder.get(), name.constData(),
                                   O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666));
            if (made.get() < 0 && errno == EEXIST && ++links <= kMostLinks) {
                names.push_front(name);
                continue;
            }
            if (made.get() < 0 || fstat(made.get(), &walked.file) != 0)
                return failed(errno);
            walked.outcome = WalkedPath::Opened;
            walked.fd = made.release();
            return walked;
        }
        if (entry.get() < 0 || fstat(entry.get(), &info) != 0)
            return failed(errno);
        if (S_ISLNK(info.st_mode)) {
            if (++links > kMostLinks)
                return failed(ELOOP);
            int error = 0;
            const QByteArray target = linkTarget(entry.get(), error);
            if (error || target.isEmpty())
                return failed(error ? error : ENOENT);
            if (info.st_uid != geteuid() && info.st_uid != 0)
                walked.foreignLinks.push_back({info.st_uid, walked.folders.size()});
            putInFront(names, target);
            if (target.startsWith('/') && (folder = openFolder("/")).get() < 0)
                return failed(errno);
            continue;
        }
        if (!names.empty() || purpose == Purpose::WriteInFolder) {
            if (!S_ISDIR(info.st_mode))
                return failed(ENOTDIR);
            folder = std::move(entry);
            continue;
        }
        // Not even opened: a FIFO would block the run, a device might act.
        if (!S_ISREG(info.st_mode)) {
            walked.outcome = WalkedPath::NotAFile;
            return walked;
        }
        // The one open of the file. Replaced by a link since it was looked
        // at, the name is walked again; replaced by a FIFO, it does not
        // block us, and the descriptor tells.
        const int access = purpose == Purpose::Append ? O_WRONLY | O_APPEND : O_RDONLY;
        Descriptor file(
            openat(folder.get(), name.constData(), access | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (file.get() < 0 && errno == ELOOP && ++links <= kMostLinks) {
            names.push_front(name);
            continue;
        }
        if (file.get() < 0 || fstat(file.get(), &walked.file) != 0)
            return failed(errno);
        if (!S_ISREG(walked.file.st_mode)) {
            walked.outcome = WalkedPath::NotAFile;
            return walked;
        }
        if (purpose == Purpose::Append
            && (!linksCouldWrite(walked, walked.file) || fcntl(file.get(), F_SETFL, O_APPEND) != 0))
            return walked.outcome == WalkedPath::LinkRefused ? std::move(walked) : failed(errno);
        walked.outcome = WalkedPath::Opened;
        walked.fd = file.release();
        return walked;
    }
    // A folder, the last name walked.
    if (fstat(folder.get(), &walked.file) != 0)
        return failed(errno);
    if (!linksCouldWrite(walked, walked.file))
        return walked;
    walked.outcome = WalkedPath::Opened;
    walked.fd = folder.release();
    return walked;
}

} // namespace

WalkedPath openRegularFile(const QByteArray &path)
{
    return walk(path, Purpose::Read);
}

WalkedPath openFileToAppend(const QByteArray &path)
{
    return walk(path, Purpose::Append);
}

WalkedPath openFolderToWrite(const QByteArray &path)
{
    return walk(path, Purpose::WriteInFolder);
}

QString whyNotOpened(const WalkedPath &walked)
{
    switch (walked.outcome) {
    case WalkedPath::Opened:
        break;
    case WalkedPath::NotAFile:
        return QStringLiteral("不是普通文件，而是目录、管道、设备或套接字");
    case WalkedPath::LinkRefused:
        return QStringLiteral("路径经过另一用户（uid %1）的链接，指向该用户不能写入的位置").arg(walked.refusedOwner);
    case WalkedPath::Failed:
        break;
    }
    return QString::fromLocal8Bit(std::strerror(walked.error));
}

} // namespace platform
