#include "sandbox/ConfinedProcess.h"

#include "sandbox/Failure.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <set>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace sandbox {
namespace {

// What a child gets of our environment: what it needs to find the user, the
// language, the time zone and the user's fonts. Nothing else of the caller's
// (tokens and keys on a server) reaches a process that strangers' files
// drive.
bool passedOn(const char *entry)
{
    static const char *const kNames[] = {
        "HOME=", "USER=",          "LOGNAME=",         "LANG=",           "LANGUAGE=",        "LC_",
        "TZ=",   "XDG_DATA_HOME=", "XDG_CONFIG_HOME=", "XDG_CACHE_HOME=", "FONTCONFIG_FILE=", "FONTCONFIG_PATH="};
    for (const char *name : kNames)
        if (std::strncmp(entry, name, std::strlen(name)) == 0)
            return true;
    return false;
}

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
                                 std::vector<QByteArray> environment, bool mustBeComplete)
{
    if (allEnding())
        throw Ending();
    // Everything the child needs is built before fork: after it, only
    // async-signal-safe calls are allowed in a threaded program.
    std::vector<char *> argv;
    for (auto &a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (char **e = environ; *e; ++e)
        if (passedOn(*e))
            environment.emplace_back(*e);
    std::vector<char *> envp;
    for (auto &v : environment)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    const pid_t parent = getpid();
    const char *const ownFolder = confinement.ownFolder().constData();
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        throw Failure(std::strerror(errno));

    pid_ = fork();
    if (pid_ < 0) {
        const int error = errno;
        close(report[0]);
        close(report[1]);
        throw Failure(std::strerror(error));
    }
    if (pid_ == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        const ConfinementReport applied = confinement.applyInChild();
        if (chdir(ownFolder) != 0)
            _exit(127);
        (void)!write(report[1], &applied, sizeof applied);
        if (mustBeComplete && !applied.complete())
            _exit(127);
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        close_range(3, ~0U, 0);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(report[1]);
    // Also from the parent, so a kill right after fork finds the group.
    setpgid(pid_, pid_);
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    applied_ = readConfinementReport(report[0]);
    close(report[0]);
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
