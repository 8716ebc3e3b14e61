#pragma once

#include "sandbox/Confinement.h"

#include <QByteArray>

#include <mutex>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace sandbox {

class ForkServer;

// A child process started confined: its own process group, killed with us
// (parent-death signal), its standard streams on /dev/null, none of our
// descriptors, and signalled only until it has been reaped, so a reused
// process id is never hit.
class ConfinedProcess {
public:
    // Starts `arguments` (the program's path first) confined and working in
    // the confinement's own folder, with what it needs of our environment
    // (user, language, time zone, fonts) and `environment` besides. Where
    // the confinement `mustBeComplete`, a child that could not apply all of
    // it ends before it starts the program. Started by `server` where it
    // can, else forked and executed here. Throws Ending once endAll() was
    // called, Failure when the system cannot start it.
    ConfinedProcess(const Confinement &confinement, std::vector<QByteArray> arguments,
                    std::vector<QByteArray> environment, bool mustBeComplete, ForkServer *server = nullptr);
    ~ConfinedProcess();
    ConfinedProcess(const ConfinedProcess &) = delete;
    ConfinedProcess &operator=(const ConfinedProcess &) = delete;

    pid_t pid() const { return pid_; }
    // What the child applied of its confinement; nothing when it ended
    // before it could say.
    const std::optional<ConfinementReport> &confinement() const { return applied_; }

    // The exit code once the process has ended (reaping it), or nothing while it runs.
    std::optional<int> exitCode();
    bool waitForExit(int msecs);

    // Ends the whole process group at once; safe from any thread.
    void kill();

    // Whether endAll() was called: no process starts any more.
    static bool allEnding();

private:
    bool reapLocked(int msecs);

    pid_t pid_ = -1;
    int pidfd_ = -1;
    std::optional<ConfinementReport> applied_;
    std::mutex mutex_;
    std::optional<int> exitCode_;
};

// Ends every confined process of this program at once and lets no new one
// start. For a program that is being stopped.
void endAll();

} // namespace sandbox
