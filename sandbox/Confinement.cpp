#include "sandbox/Confinement.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace sandbox {
namespace {

// Writes a short text to a file; in the child, so no library calls.
bool writeText(const char *path, const QByteArray &text)
{
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool done = write(fd, text.constData(), text.size()) == text.size();
    close(fd);
    return done;
}

// A mount's flags that a user namespace may not clear (the kernel refuses a
// remount without them); in the child, so only a system call.
unsigned long lockedFlags(const char *path)
{
    struct statvfs info {};
    if (statvfs(path, &info) != 0)
        return 0;
    unsigned long flags = 0;
    for (const auto &[mounted, asked] : {std::pair{ST_NOSUID, MS_NOSUID},
                                         {ST_NODEV, MS_NODEV},
                                         {ST_NOEXEC, MS_NOEXEC},
                                         {ST_NOATIME, MS_NOATIME},
                                         {ST_NODIRATIME, MS_NODIRATIME},
                                         {ST_RELATIME, MS_RELATIME}})
        if (info.f_flag & mounted)
            flags |= asked;
    return flags;
}

} // namespace

Confinement::Confinement(const QString &ownFolder, FileAllowList files)
    : Confinement(QFile::encodeName(ownFolder), std::move(files))
{
}

Confinement::Confinement(QByteArray ownFolder, FileAllowList files)
    : files_(std::move(files)), ownFolder_(std::move(ownFolder)),
      uidMap_(QByteArray::number(getuid()) + " " + QByteArray::number(getuid()) + " 1"),
      gidMap_(QByteArray::number(getgid()) + " " + QByteArray::number(getgid()) + " 1")
{
}

ConfinementReport Confinement::applyInChild() const
{
    ConfinementReport report;
    // As root the namespaces come directly; otherwise inside a user
    // namespace of our own, in which we keep our own user and group ids.
    bool ownMounts = true;
    if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNET | CLONE_NEWNS) == 0) {
            writeText("/proc/self/setgroups", "deny");
            writeText("/proc/self/uid_map", uidMap_);
            writeText("/proc/self/gid_map", gidMap_);
        } else {
            report.network = errno;
            ownMounts = false;
        }
    }
    // A child such as an office puts its pipes in /tmp, or /var/tmp,
    // whichever it can write, and only where it can write neither in a
    // folder it is told: so both are made read-only for it (the mounts beneath them too), and its
    // own folder (perhaps beneath them) writable again. Private first, so
    // that none of this shows outside; a chroot's root is no mount point and
    // cannot be made private.
    ownMounts = ownMounts && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    for (const char *shared : {"/tmp", "/var/tmp"})
        if (ownMounts && access(shared, F_OK) == 0 && mount(shared, shared, nullptr, MS_BIND | MS_REC, nullptr) == 0
            && mount(ownFolder_.constData(), ownFolder_.constData(), nullptr, MS_BIND, nullptr) == 0)
            mount(nullptr, shared, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY | lockedFlags(shared), nullptr);
    // Where it will make them, by its own rule.
    report.pipes = access("/tmp", W_OK) == 0       ? ConfinementReport::InTmp
                   : access("/var/tmp", W_OK) == 0 ? ConfinementReport::InVarTmp
                                                   : ConfinementReport::InOwnFolder;
    report.files = files_.applyInChild(report.pipes == ConfinementReport::InTmp      ? "/tmp"
                                       : report.pipes == ConfinementReport::InVarTmp ? "/var/tmp"
                                                                                     : nullptr);
    return report;
}

std::optional<ConfinementReport> readConfinementReport(int fd)
{
    ConfinementReport report;
    ssize_t got;
    while ((got = read(fd, &report, sizeof report)) < 0 && errno == EINTR) {
    }
    return got == sizeof report ? std::optional(report) : std::nullopt;
}

ConfinementReport probeConfinement(const Confinement &confinement)
{
    ConfinementReport report;
    int channel[2];
    if (pipe2(channel, O_CLOEXEC) != 0) {
        report.files = report.network = errno;
        return report;
    }
    const pid_t child = fork();
    if (child == 0) {
        const ConfinementReport applied = confinement.applyInChild();
        _exit(write(channel[1], &applied, sizeof applied) == sizeof applied ? 0 : 1);
    }
    const int forkError = errno;
    close(channel[1]);
    std::optional<ConfinementReport> applied;
    if (child > 0) {
        applied = readConfinementReport(channel[0]);
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    close(channel[0]);
    if (!applied)
        report.files = report.network = child < 0 ? forkError : ECHILD;
    return applied.value_or(report);
}

} // namespace sandbox
