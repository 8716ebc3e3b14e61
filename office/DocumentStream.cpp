#include "office/DocumentStream.h"

#include "office/Application.h"
#include "platform/NativePath.h"

#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/io/NotConnectedException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace office {

namespace css = com::sun::star;

DocumentStream::DocumentStream(const QString &path)
{
    const QByteArray native = platform::toNativePath(path);
    struct stat info {};
    if (stat(native.constData(), &info) != 0)
        throw Failure(errno == ENOENT ? "the file does not exist"
                                      : std::string("cannot read the file: ") + std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        throw Failure("the path is not a file");
    fd_ = open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        throw Failure(std::string("cannot read the file: ") + std::strerror(errno));
}

DocumentStream::~DocumentStream()
{
    if (fd_ >= 0)
        close(fd_);
}

sal_Int32 DocumentStream::readBytes(css::uno::Sequence<sal_Int8> &data, sal_Int32 count)
{
    std::lock_guard lock(mutex_);
    if (fd_ < 0)
        throw css::io::NotConnectedException();
    data.realloc(std::max<sal_Int32>(count, 0));
    sal_Int32 done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd_, data.getArray() + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw css::io::IOException(rtl::OUString::createFromAscii(std::strerror(errno)));
        if (n == 0)
            break;
        done += static_cast<sal_Int32>(n);
    }
    data.realloc(done);
    return done;
}

sal_Int32 DocumentStream::readSomeBytes(css::uno::Sequence<sal_Int8> &data, sal_Int32 most)
{
    return readBytes(data, most);
}

void DocumentStream::skipBytes(sal_Int32 count)
{
    std::lock_guard lock(mutex_);
    if (fd_ < 0)
        throw css::io::NotConnectedException();
    lseek(fd_, count, SEEK_CUR);
}

sal_Int32 DocumentStream::available()
{
    std::lock_guard lock(mutex_);
    if (fd_ < 0)
        throw css::io::NotConnectedException();
    struct stat info {};
    const off_t at = lseek(fd_, 0, SEEK_CUR);
    if (fstat(fd_, &info) != 0 || at < 0)
        return 0;
    return static_cast<sal_Int32>(std::min<off_t>(std::max<off_t>(info.st_size - at, 0), SAL_MAX_INT32));
}

void DocumentStream::seek(sal_Int64 location)
{
    std::lock_guard lock(mutex_);
    if (fd_ < 0)
        throw css::io::NotConnectedException();
    if (lseek(fd_, location, SEEK_SET) < 0)
        throw css::lang::IllegalArgumentException();
}

sal_Int64 DocumentStream::getPosition()
{
    std::lock_guard lock(mutex_);
    if (fd_ < 0)
        throw css::io::NotConnectedException();
    return lseek(fd_, 0, SEEK_CUR);
}

sal_Int64 DocumentStream::getLength()
{
    std::lock_guard lock(mutex_);
    if (fd_ < 0)
        throw css::io::NotConnectedException();
    struct stat info {};
    return fstat(fd_, &info) == 0 ? info.st_size : 0;
}

void DocumentStream::closeInput()
{
    std::lock_guard lock(mutex_);
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

} // namespace office
