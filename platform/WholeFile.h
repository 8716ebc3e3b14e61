#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

#include <sys/types.h>

namespace platform {

// A file that could not be written; what() names it and gives the system's message.
class WriteFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Puts the bytes in place under the target's name once every one of them is
// on disk, replacing a file of that name only then: a failed write (a full
// disk) leaves an earlier file untouched and no new one, and a process killed
// on the way leaves no partial file. The file gets the permission bits
// given, narrowed by the umask as any new file is. Throws WriteFailure.
void writeFileWhole(const QString &target, const QByteArray &bytes, mode_t permissions = 0644);

} // namespace platform
