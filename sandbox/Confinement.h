#pragma once

// What a child process may reach, in layers:
// - files: an allow-list the kernel enforces (FileAllowList);
// - network: a network namespace of its own, with nothing in it;
// - its temporary files: a mount namespace in which /tmp and /var/tmp are
//   read-only, so its pipes and everything else it would leave there go into
//   its own folder, and with it.
// A layer the system refuses is reported, never skipped silently.

#include "sandbox/FileAllowList.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/types.h>

namespace sandbox {

// What the child could not apply, as errno values (0: applied).
struct ConfinementReport {
    int files = 0;
    int network = 0;
    // Where the child makes its pipes: its own folder, or where it could
    // not be kept out of a shared temporary folder, that one.
    enum Pipes : char { InOwnFolder, InTmp, InVarTmp } pipes = InOwnFolder;
    // The child's id, as it says itself.
    pid_t pid = 0;
    // Every protecting layer applied (safe in the child: no allocation). A
    // temporary folder of its own is housekeeping, not protection, and is
    // not among them.
    bool complete() const { return files == 0 && network == 0; }
};

class Confinement {
public:
    // Works out the folders and texts; allocates, so it runs before fork.
    // `ownFolder` is the child's own folder, where it works.
    Confinement(const QString &ownFolder, FileAllowList files);
    Confinement(QByteArray ownFolder, FileAllowList files);

    // In the child between fork and exec: system calls only.
    ConfinementReport applyInChild() const;
    const QByteArray &ownFolder() const { return ownFolder_; }
    const FileAllowList &files() const { return files_; }

private:
    FileAllowList files_;
    QByteArray ownFolder_;
    QByteArray uidMap_;
    QByteArray gidMap_;
};

// The report a child wrote to `fd` before it went on (or ended); nothing
// when it ended before it could write one.
std::optional<ConfinementReport> readConfinementReport(int fd);

// What the confinement would lack: tried in a child process that ends at
// once.
ConfinementReport probeConfinement(const Confinement &confinement);

} // namespace sandbox
