#pragma once

#include "office/Profile.h"

#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>
#include <sys/types.h>

namespace office {

// One soffice.bin child: its own process group, killed with us (parent-death
// signal), and signalled only until it has been reaped, so a reused process id
// is never hit.
class OfficeProcess {
public:
    // Starts the office confined (see Confinement); throws Failure when it
    // cannot start, or cannot be confined while that is required.
    OfficeProcess(const Profile &profile, const QString &pipeName);
    ~OfficeProcess();
    OfficeProcess(const OfficeProcess &) = delete;
    OfficeProcess &operator=(const OfficeProcess &) = delete;

    pid_t pid() const { return pid_; }
    // Where the office listens for us.
    const QString &socketPath() const { return socketPath_; }
    // The pipes' sockets an office that is killed leaves in the shared
    // temporary folder, where it could not be given its own (see
    // Confinement); none where it was.
    const QStringList &socketsLeftIfKilled() const { return socketsLeftIfKilled_; }

    // The exit code once the process has ended (reaping it), or nothing while it runs.
    std::optional<int> exitCode();
    bool waitForExit(int msecs);

    // Ends the whole process group at once; safe from any thread.
    void kill();

    // Whether endAllOffices() was called: no office starts any more.
    static bool allEnding();

private:
    bool reapLocked(int msecs);

    QString socketPath_;
    QStringList socketsLeftIfKilled_;
    pid_t pid_ = -1;
    int pidfd_ = -1;
    std::mutex mutex_;
    std::optional<int> exitCode_;
};

} // namespace office
