#include "platform/WholeFile.h"

#include "platform/NativePath.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

WriteFailure Failed(const QString &target, int error)
{
    return WriteFailure("无法写入" + target.toStdString() + "：" + std::strerror(error));
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

// Every byte written, then on disk: a full disk may show only at the sync.
int writeAll(int fd, const QByteArray &bytes)
{
    if (const int error = writeEvery(fd, bytes))
        return error;
    if (fsync(fd) != 0)
        return errno;
    struct stat written {};
    if (fstat(fd, &written) != 0)
        return errno;
    return written.st_size == bytes.size() ? 0 : EIO;
}

QByteArray temporaryName()
{
    return ".pagegrab-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
}

QByteArray nameIn(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// A run holds a picture per page of the documents ahead: as many as the
// system lets us have, not the first thousand only.
int openCounting(int folder, const char *name, int flags, mode_t permissions)
{
    const int fd = openat(folder, name, flags, permissions);
    if (fd >= 0 || errno != EMFILE)
        return fd;
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == files.rlim_max)
        return fd;
    files.rlim_cur = files.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &files) != 0)
        return -1;
    return openat(folder, name, flags, permissions);
}

} // namespace

int writeEvery(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        done += n;
    }
    return 0;
}

UnnamedFile::UnnamedFile(int folder, const QByteArray &bytes, mode_t permissions, QString shownAs)
    : shownAs_(std::move(shownAs)), folder_(folder)
{
    file_.reset(openCounting(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, permissions));
    // Made here rather than by mkostemp, which makes it 0600: the kernel
    // then narrows the permissions by the umask exactly as for an unnamed file.
    for (int attempt = 0;
         file_.get() < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EEXIST) && attempt < 100; ++attempt) {
        standIn_ = temporaryName();
        file_.reset(openCounting(folder, standIn_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, permissions));
    }
    if (file_.get() < 0) {
        standIn_.clear();
        throw Failed(shownAs_, errno);
    }
    if (const int error = writeAll(file_.get(), bytes))
        throw Failed(shownAs_, error);
}

UnnamedFile::UnnamedFile(UnnamedFile &&other) noexcept
    : shownAs_(std::move(other.shownAs_)), file_(std::move(other.file_)), folder_(other.folder_),
      standIn_(std::exchange(other.standIn_, {}))
{
}

UnnamedFile::~UnnamedFile()
{
    if (!standIn_.isEmpty())
        unlinkat(folder_, standIn_.constData(), 0);
}

void UnnamedFile::keepToGroup(gid_t group)
{
    struct stat info {};
    if (fstat(file_.get(), &info) != 0)
        throw Failed(shownAs_, errno);
    if (info.st_gid == group || fchown(file_.get(), -1, group) == 0)
        return;
    const mode_t others = info.st_mode & 07;
    if (fchmod(file_.get(), (info.st_mode & 07707) | others << 3) != 0)
        throw Failed(shownAs_, errno);
}

void UnnamedFile::name(const QByteArray &name)
{
    int error = 0;
    if (!standIn_.isEmpty()) {
        if (renameat(folder_, standIn_.constData(), folder_, name.constData()) != 0)
            throw Failed(shownAs_, errno);
        standIn_.clear();
    } else {
        // Straight to its name where that is free: nothing to leave behind.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(file_.get());
        if (linkat(AT_FDCWD, self.constData(), folder_, name.constData(), AT_SYMLINK_FOLLOW) == 0) {
            file_.reset();
            return;
        }
        if (errno != EEXIST)
            throw Failed(shownAs_, errno);
        // A file of that name is replaced in one step, through a name of ours.
        const QByteArray named = temporaryName();
        if (linkat(AT_FDCWD, self.constData(), folder_, named.constData(), AT_SYMLINK_FOLLOW) != 0)
            throw Failed(shownAs_, errno);
        if (renameat(folder_, named.constData(), folder_, name.constData()) != 0)
            error = errno;
        if (error)
            unlinkat(folder_, named.constData(), 0);
    }
    file_.reset();
    if (error)
        throw Failed(shownAs_, error);
}

void writeFileWhole(const QString &target, const QByteArray &bytes, mode_t permissions)
{
    const QByteArray path = toNativePath(target);
    const Descriptor folder(open(folderOf(path).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        throw Failed(target, errno);
    UnnamedFile(folder.get(), bytes, permissions, target).name(nameIn(path));
}

void writeIntoFile(const QString &target, const QByteArray &bytes, mode_t permissions)
{
    const QByteArray path = toNativePath(target);
    // Looked at before it is opened to write: opening a device or a pipe to
    // write may already act on it.
    const int found = open(path.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (found < 0 && errno == ENOENT)
        return writeFileWhole(target, bytes, permissions);
    if (found < 0)
        throw Failed(target, errno);
    struct stat existing {};
    int error = fstat(found, &existing) != 0 ? errno : 0;
    // Only a file of our own with no other name: one another user planted,
    // or a second name of some other file, never receives the bytes.
    if (!error && (!S_ISREG(existing.st_mode) || existing.st_uid != geteuid() || existing.st_nlink != 1))
        error = EPERM;
    int fd = -1;
    if (!error) {
        // The very file looked at, whatever is put at its name meanwhile.
        fd = open(("/proc/self/fd/" + QByteArray::number(found)).constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            error = errno;
    }
    close(found);
    if (!error && (fchmod(fd, permissions) != 0 || ftruncate(fd, 0) != 0))
        error = errno;
    if (!error)
        error = writeAll(fd, bytes);
    // Partly written, it is emptied again: a reader finds nothing rather than
    // a cut-off file.
    if (error && fd >= 0)
        (void)!ftruncate(fd, 0);
    if (fd >= 0)
        close(fd);
    if (error)
        throw Failed(target, error);
}

} // namespace platform
