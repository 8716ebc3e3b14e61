#pragma once

// A path resolved by us, one name at a time, so that we know whose links it
// passes through. The kernel would follow them without a word; a run as root
// must not let another user's link lead it to a file that user could not
// have read, nor to a place that user could not have written.

#include <QByteArray>

#include <QString>
#include <span>
#include <vector>

#include <sys/stat.h>

namespace platform {

// A link owned by neither us nor root.
struct ForeignLink {
    uid_t owner;
    std::size_t firstFolder; // in WalkedPath::folders, the first looked in after it
};

struct WalkedPath {
    enum Outcome { Opened, NotAFile, Failed, LinkRefused };
    Outcome outcome = Failed;
    int error = 0;       // Failed: the system's error number
    int fd = -1;         // Opened: the file or folder; the caller closes it
    struct stat file {}; // Opened: of that descriptor
    std::vector<ForeignLink> foreignLinks;
    // The folders looked in once there was a foreign link, in order; one
    // looked in again straight after itself is kept once. Shared by the
    // links, so a path of many links and "." costs no more than its length.
    std::vector<struct stat> folders;
    uid_t refusedOwner = 0; // LinkRefused: whose link it was

    // The way from a link to the target, which its owner would need to be
    // let through.
    std::span<const struct stat> foldersAfter(const ForeignLink &link) const
    {
        return std::span(folders).subspan(link.firstFolder);
    }
};

// Opens the regular file a path names, following links as the kernel would
// (at most 40 of them) but never opening anything other than a regular file
// for reading: a FIFO or a device is not opened at all.
WalkedPath openRegularFile(const QByteArray &path);

// Opens the regular file a path names for appending, made (0666, narrowed by
// the umask) where it is missing, by the same walk: a FIFO, a device or a
// socket is NotAFile and never waited for; the descriptor blocks as usual
// once it is known to be a file. Where the way passes another user's link
// and that user could not have written the file (or made it in its
// folder), nothing is opened or made: LinkRefused, as the kernel's
// protected_symlinks refuses such links in sticky folders.
WalkedPath openFileToAppend(const QByteArray &path);

// The folder a path names, as an O_PATH descriptor to make files in, by the
// same walk and the same rule for another user's link: that user could not
// have written into the folder.
WalkedPath openFolderToWrite(const QByteArray &path);

// Why a walk to write did not open its path, in a message's words: another
// user's link, not a regular file, or the system's reason.
QString whyNotOpened(const WalkedPath &walked);

} // namespace platform
