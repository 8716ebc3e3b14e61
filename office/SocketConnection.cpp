#include "office/SocketConnection.h"

#include <com/sun/star/io/IOException.hpp>
#include <cppuhelper/implbase1.hxx>

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace office {
namespace {

namespace css = com::sun::star;
using rtl::OUString;

css::io::IOException ioFailure(const char *what)
{
    const char *reason = std::strerror(errno);
    return css::io::IOException(OUString::createFromAscii(what) + ": "
                                + rtl::OStringToOUString(reason, RTL_TEXTENCODING_UTF8));
}

// The bridge reads on one thread and writes on another; close() may come
// from a third while a read waits, and wakes it by shutting the socket down.
class SocketConnection : public cppu::WeakImplHelper1<css::connection::XConnection> {
public:
    SocketConnection(int fd, const QString &path) : fd_(fd), description_(OUString::fromUtf8(path.toUtf8().constData()))
    {
    }
    ~SocketConnection() override { ::close(fd_); }

    sal_Int32 SAL_CALL read(css::uno::Sequence<sal_Int8> &bytes, sal_Int32 count) override
    {
        bytes.realloc(count);
        sal_Int32 done = 0;
        while (done < count) {
            const ssize_t n = recv(fd_, bytes.getArray() + done, count - done, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw ioFailure("无法从办公软件读取");
            if (n == 0)
                break;
            done += sal_Int32(n);
        }
        if (done < count) {
            bytes.realloc(done);
            if (closed_)
                throw css::io::IOException("与办公软件的连接已关闭");
        }
        return done;
    }

    void SAL_CALL write(const css::uno::Sequence<sal_Int8> &bytes) override
    {
        for (sal_Int32 done = 0; done < bytes.getLength();) {
            const ssize_t n = send(fd_, bytes.getConstArray() + done, bytes.getLength() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw ioFailure("无法向办公软件写入");
            done += sal_Int32(n);
        }
    }

    void SAL_CALL flush() override {}

    void SAL_CALL close() override
    {
        if (!closed_.exchange(true))
            shutdown(fd_, SHUT_RDWR);
    }

    OUString SAL_CALL getDescription() override { return description_; }

private:
    const int fd_;
    const OUString description_;
    std::atomic<bool> closed_{false};
};

} // namespace

css::uno::Reference<css::connection::XConnection> connectToSocket(const QString &path)
{
    // By its descriptor: the socket's own path may be longer than an
    // address can hold.
    const int socketFile = open(QFile::encodeName(path).constData(), O_PATH | O_CLOEXEC);
    if (socketFile < 0)
        return {};
    const QByteArray byDescriptor = "/proc/self/fd/" + QByteArray::number(socketFile);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, byDescriptor.constData(), byDescriptor.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected = fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    close(socketFile);
    if (fd >= 0 && !connected)
        ::close(fd);
    if (fd < 0)
        throw ioFailure("无法创建套接字");
    if (!connected)
        return {};
    return new SocketConnection(fd, path);
}

} // namespace office
