#pragma once

// The checks that take a path get the input as a file of its own, the same
// file every time.

#include <QByteArray>
#include <QString>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

inline QString fileOfBytes(const char *name, const void *data, std::size_t size)
{
    static const QByteArray folder = [] {
        QByteArray pattern = "/tmp/pagegrab-fuzz-XXXXXX";
        return QByteArray(mkdtemp(pattern.data()));
    }();
    const QByteArray path = folder + "/" + name;
    const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || write(fd, data, size) != ssize_t(size))
        std::abort();
    close(fd);
    return QString::fromUtf8(path);
}
