#include "platform/RegularFile.h"

#include "platform/NativePath.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

RegularFileStart readRegularFile(const QString &path, qint64 most)
{
    const QByteArray native = toNativePath(path);
    struct stat info {};
    if (stat(native.constData(), &info) != 0)
        return {{}, errno};
    if (!S_ISREG(info.st_mode))
        return {{}, EINVAL};
    const int fd = open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {{}, errno};
    RegularFileStart read;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        read.error = EINVAL;
    // What it holds as it is opened; what is added later is not waited for.
    read.bytes.resize(read.error ? 0 : std::min<qint64>(most, info.st_size));
    qint64 done = 0;
    while (!read.error && done < read.bytes.size()) {
        const ssize_t n = ::read(fd, read.bytes.data() + done, read.bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            read.error = errno;
        if (n <= 0)
            break;
        done += n;
    }
    read.bytes.resize(done);
    close(fd);
    return read;
}

} // namespace platform
