#pragma once

// Internal to office/: what an office process may reach. A document must not
// make the program reach the network or read another file, and the office's
// own settings cannot promise that for every import filter (a picture field
// of an RTF document reads the file it names, an HTML stylesheet is fetched
// unchecked). So each office runs confined, in layers:
// - files: an allow-list the kernel enforces (FileAllowList);
// - network: a network namespace of its own, with nothing in it;
// - its temporary files: a mount namespace in which /tmp and /var/tmp are
//   read-only, so its pipe and everything else it would leave there go into
//   its own folder, and with it.
// A layer the system refuses is reported, never skipped silently.

#include "office/FileAllowList.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace office {

// What the child could not apply, as errno values (0: applied).
struct ConfinementReport {
    int files = 0;
    int network = 0;
    // Where the office makes its pipes: its own folder, or where it could
    // not be kept out of a shared temporary folder, that one.
    enum Pipes : char { InOwnFolder, InTmp, InVarTmp } pipes = InOwnFolder;
    // Every protecting layer applied (safe in the child: no allocation).
    bool complete() const { return files == 0 && network == 0; }
    // What keeps documents away from files and the network but is missing,
    // one reason each. A temporary folder of its own is housekeeping, not
    // protection, and is not among them.
    QStringList shortfalls() const;
};

class Confinement {
public:
    // Works out the folders and texts; allocates, so it runs before fork.
    // `ownFolder` is the office's own (profile) folder.
    explicit Confinement(const QString &ownFolder);

    // In the child between fork and exec: system calls only.
    ConfinementReport applyInChild() const;

private:
    FileAllowList files_;
    QByteArray ownFolder_;
    QByteArray uidMap_;
    QByteArray gidMap_;
};

// The report a child wrote to `fd` before it went on (or ended); nothing
// when it ended before it could write one.
std::optional<ConfinementReport> readConfinementReport(int fd);

// What the confinement of an office started now would lack: tried in a
// child process that ends before it would start the office.
ConfinementReport probeConfinement();

} // namespace office
