#include "platform/WholeFile.h"

#include "platform/NativePath.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        done += n;
    }
    if (fsync(fd) != 0)
        return errno;
    struct stat written {};
    if (fstat(fd, &written) != 0)
        return errno;
    return written.st_size == bytes.size() ? 0 : EIO;
}

QByteArray temporaryName(const QByteArray &folder)
{
    return folder + "/.pagegrab-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
}

// Where the folder's file system has no unnamed files (FAT on a USB stick),
// a named temporary file beside the target stands in for one. Created here
// rather than by mkostemp, which makes it 0600: the kernel then narrows the
// permissions by the umask exactly as for an unnamed file.
void writeThroughNamedFile(const QString &target, const QByteArray &path, const QByteArray &folder,
                           const QByteArray &bytes, mode_t permissions)
{
    QByteArray named;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        named = temporaryName(folder);
        fd = open(named.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, permissions);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        throw Failed(target, errno);
    int error = writeAll(fd, bytes);
    close(fd);
    if (!error && rename(named.constData(), path.constData()) != 0)
        error = errno;
    if (error) {
        unlink(named.constData());
        throw Failed(target, error);
    }
}

} // namespace

void writeFileWhole(const QString &target, const QByteArray &bytes, mode_t permissions)
{
    const QByteArray path = toNativePath(target);
    const QByteArray folder = folderOf(path);
    // The bytes go into a file without a name, which vanishes with us if we
    // are killed; only a complete file gets a name, and then the target's.
    const int fd = open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, permissions);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR))
        return writeThroughNamedFile(target, path, folder, bytes, permissions);
    if (fd < 0)
        throw Failed(target, errno);
    if (const int error = writeAll(fd, bytes)) {
        close(fd);
        throw Failed(target, error);
    }
    const QByteArray named = temporaryName(folder);
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    const int linked = linkat(AT_FDCWD, self.constData(), AT_FDCWD, named.constData(), AT_SYMLINK_FOLLOW) == 0 ? 0
                                                                                                               : errno;
    close(fd);
    if (linked)
        throw Failed(target, linked);
    if (rename(named.constData(), path.constData()) != 0) {
        const int error = errno;
        unlink(named.constData());
        throw Failed(target, error);
    }
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
