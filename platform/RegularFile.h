#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

struct RegularFileStart {
    QByteArray bytes;
    int error = 0; // 0 when read; EINVAL for what is no regular file; else the system's
};

// Up to `most` bytes from the start of the regular file a path names. Only a
// regular file is opened at all (a device may act on being opened, or never
// end), and without waiting: a pipe swapped in between the look and the open
// would never answer.
RegularFileStart readRegularFile(const QString &path, qint64 most);

} // namespace platform
