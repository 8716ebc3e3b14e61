#include "sandbox/ConfinedProcess.h"

#include "sandbox/ChildStart.h"
#include "sandbox/Failure.h"
#include "sandbox/ForkServer.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <set>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace sandbox {
namespace {

// Every process of ours that may still run, for endAll().
struct Registry {
    std::mutex mutex;
    std::set<ConfinedProcess *> live;
    std::atomic<bool> ending{false};
};

Registry &registry()
{
    static Registry r;
    return r;
}

// The child's id, or -errno.
pid_t forkAndExec(const Confinement &confinement, std::vector<QByteArray> &arguments,
                  std::vector<QByteArray> &environment, bool mustBeComplete, int reportFd)
{
    const pid_t parent = getpid();
    // Everything the child needs is built before fork: after it, only
    // async-signal-safe calls are allowed in a threaded program.
    std::vector<char *> argv = nullTerminated(arguments);
    std::vector<char *> envp = nullTerminated(environment);
    const pid_t pid = fork();
    if (pid == 0) {
        enterConfinedChild(confinement, parent, reportFd, mustBeComplete);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return pid < 0 ? -errno : pid;
}

} // namespace

void endAll()
{
    auto &r = registry();
    r.ending = true;
    std::lock_guard lock(r.mutex);
    for (ConfinedProcess *process : r.live)
        process->kill();
}

bool ConfinedProcess::allEnding()
{
    return registry().ending;
}

ConfinedProcess::ConfinedProcess(const Confinement &confinement, std::vector<QByteArray> arguments,
                                 std::vector<QByteArray> environment, bool mustBeComplete, ForkServer *server)
{
    if (allEnding())
        throw Ending();
    for (QByteArray &entry : inheritedEnvironment())
        environment.push_back(std::move(entry));
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        throw Failure(std::strerror(errno));
    const std::optional<pid_t> started = server ? server->start(confinement, arguments, environment, mustBeComplete,
                                                                report[1])
                                                : std::nullopt;
    pid_t pid = started ? *started : forkAndExec(confinement, arguments, environment, mustBeComplete, report[1]);
    close(report[1]);
    applied_ = readConfinementReport(report[0]);
    close(report[0]);
    // Asked of a server that did not answer: the child, if there is one,
    // said who it is.
    if (pid == 0)
        pid = applied_ ? applied_->pid : -ECHILD;
    if (pid < 0)
        throw Failure(std::strerror(-pid));
    pid_ = pid;
    // Also from here, in case the child has not yet made its own group.
    setpgid(pid_, pid_);
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    auto &r = registry();
    std::lock_guard lock(r.mutex);
    r.live.insert(this);
    // Ending everything may have come between the check above and here.
    if (r.ending)
        kill();
}

ConfinedProcess::~ConfinedProcess()
{
    {
        auto &r = registry();
        std::lock_guard lock(r.mutex);
        r.live.erase(this);
    }
    kill();
    waitForExit(-1);
    if (pidfd_ >= 0)
        close(pidfd_);
}

std::optional<int> ConfinedProcess::exitCode()
{
    std::lock_guard lock(mutex_);
    reapLocked(0);
    return exitCode_;
}

bool ConfinedProcess::waitForExit(int msecs)
{
    // Waited for without the lock, so that ending the process (from another
    // thread, or every process at once) is never held up behind the wait.
    if (msecs != 0 && pidfd_ >= 0) {
        pollfd p{pidfd_, POLLIN, 0};
        while (poll(&p, 1, msecs) < 0 && errno == EINTR) {
        }
    }
    std::lock_guard lock(mutex_);
    return reapLocked(pidfd_ >= 0 ? 0 : msecs);
}

void ConfinedProcess::kill()
{
    std::lock_guard lock(mutex_);
    if (!exitCode_)
        ::kill(-pid_, SIGKILL);
}

bool ConfinedProcess::reapLocked(int msecs)
{
    if (exitCode_)
        return true;
    int status = 0;
    const pid_t r = waitpid(pid_, &status, msecs < 0 ? 0 : WNOHANG);
    if (r != pid_)
        return false;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

} // namespace sandbox
