#pragma once

#include "platform/Descriptor.h"

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

// Bytes on disk, whole, before they have a name: a process killed on the way
// leaves nothing behind, and a name only ever shows a whole file. Holding
// one costs a descriptor, not the bytes.
class UnnamedFile {
public:
    // Writes the bytes into a new file without a name in the folder (a
    // descriptor of it; O_PATH is enough), with the permission bits given,
    // narrowed by the umask as any new file is. `shownAs` names it in
    // failures. Throws WriteFailure.
    UnnamedFile(int folder, const QByteArray &bytes, mode_t permissions, QString shownAs);
    ~UnnamedFile();
    UnnamedFile(UnnamedFile &&other) noexcept;
    UnnamedFile &operator=(UnnamedFile &&) = delete;

    // The file takes this group; where we may not give it that one (a
    // setgid folder's group stays), the group's bits become everyone's, so
    // the folder's group gains nothing. Throws WriteFailure.
    void keepToGroup(gid_t group);
    // Gives the file its name in its folder (which must still be open),
    // replacing a file of that name only now. Throws WriteFailure.
    void name(const QByteArray &name);

private:
    QString shownAs_;
    Descriptor file_;
    int folder_;
    // Where the folder's file system has no unnamed files (FAT on a USB
    // stick), a hidden name in the folder stands in for none.
    QByteArray standIn_;
};

// Puts the bytes in place under the target's name once every one of them is
// on disk, replacing a file of that name only then: a failed write (a full
// disk) leaves an earlier file untouched and no new one, and a process killed
// on the way leaves no partial file. The file gets the permission bits
// given, narrowed by the umask as any new file is. Throws WriteFailure.
// Writes every byte, a write cut short going on where it stopped: 0, or the
// errno (ENOSPC where no more could be written).
int writeEvery(int fd, const QByteArray &bytes);

void writeFileWhole(const QString &target, const QByteArray &bytes, mode_t permissions = 0644);

// For a file that another program made for us to fill and reads back
// through the handle it opened (tumbler does so with a thumbnailer's output
// file): the bytes go into that very file, which is emptied first and
// emptied again when they cannot all be written, and given the permissions.
// A file put in its place instead would never be read; a process killed as
// it writes leaves part of the bytes, for the reader's own checks. Only a
// regular file of this user's with no other name is written, never through
// a link. Where there is no file of that name, the bytes are written as
// writeFileWhole writes them. Throws WriteFailure.
void writeIntoFile(const QString &target, const QByteArray &bytes, mode_t permissions = 0644);

} // namespace platform
