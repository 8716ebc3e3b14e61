#pragma once

// A path resolved by us, one name at a time, so that we know whose links it
// passes through. The kernel would follow them without a word; a run as root
// must not let another user's link lead it to a file that user could not
// have read.

#include <QByteArray>

#include <vector>

#include <sys/stat.h>

namespace platform {

// A link owned by neither us nor root, and the folders looked in after it
// (the way to its target, which its owner would need to be let through).
struct ForeignLink {
    uid_t owner;
    std::vector<struct stat> foldersAfter;
};

struct WalkedPath {
    enum Outcome { Opened, NotAFile, Failed };
    Outcome outcome = Failed;
    int error = 0;       // Failed: the system's error number
    int fd = -1;         // Opened: the file, for reading; the caller closes it
    struct stat file {}; // Opened: of that descriptor
    std::vector<ForeignLink> foreignLinks;
};

// Opens the regular file a path names, following links as the kernel would
// (at most 40 of them) but never opening anything other than a regular file
// for reading: a FIFO or a device is not opened at all.
WalkedPath openRegularFile(const QByteArray &path);

} // namespace platform
