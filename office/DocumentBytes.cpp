#include "office/DocumentBytes.h"

#include "office/Application.h"
#include "platform/NativePath.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace office {

DocumentFile readDocument(const QString &path)
{
    const QByteArray native = platform::toNativePath(path);
    const auto systemFailure = [] { return Failure(std::string("cannot read the file: ") + std::strerror(errno)); };
    struct stat info {};
    if (stat(native.constData(), &info) != 0)
        throw errno == ENOENT ? Failure("the file does not exist") : systemFailure();
    if (!S_ISREG(info.st_mode))
        throw Failure("the path is not a file");
    if (info.st_size > SAL_MAX_INT32)
        throw Failure("the file is too large to be a document");
    const int fd = open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw systemFailure();
    // Permissions of the file that is read, not of whatever the name meant
    // a moment earlier.
    errno = 0;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > SAL_MAX_INT32) {
        const Failure failure = errno ? systemFailure() : Failure("the file changed while it was opened");
        close(fd);
        throw failure;
    }
    com::sun::star::uno::Sequence<sal_Int8> bytes(static_cast<sal_Int32>(info.st_size));
    sal_Int32 done = 0;
    while (done < bytes.getLength()) {
        const ssize_t n = read(fd, bytes.getArray() + done, bytes.getLength() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const Failure failure = n < 0 ? systemFailure() : Failure("the file shrank while it was read");
            close(fd);
            throw failure;
        }
        done += static_cast<sal_Int32>(n);
    }
    close(fd);
    return {bytes, static_cast<mode_t>(info.st_mode & 07777)};
}

} // namespace office
