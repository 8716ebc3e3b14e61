#include "office/OfficeProcess.h"

#include "office/Application.h"
#include "office/Confinement.h"
#include "office/LibreOffice.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <atomic>
#include <set>
#include <vector>

extern char **environ;

namespace office {
namespace {

const char *const kOfficeBinary = LIBREOFFICE_PROGRAM_DIR "/soffice.bin";

// Our own bootstrap variable points at our UNO runtime, not the office's;
// the temporary folder is the office's own.
bool inheritedVariable(const char *entry)
{
    return std::strncmp(entry, "URE_BOOTSTRAP=", 14) != 0 && std::strncmp(entry, "TMPDIR=", 7) != 0;
}

// Every office process of ours that may still run, for endAllOffices().
struct Registry {
    std::mutex mutex;
    std::set<OfficeProcess *> live;
    std::atomic<bool> ending{false};
};

Registry &registry()
{
    static Registry r;
    return r;
}

} // namespace

void endAllOffices()
{
    auto &r = registry();
    r.ending = true;
    std::lock_guard lock(r.mutex);
    for (OfficeProcess *office : r.live)
        office->kill();
}

bool OfficeProcess::allEnding()
{
    return registry().ending;
}

OfficeProcess::OfficeProcess(const QString &profileUrl, const QString &pipeName, const QString &tempFolder)
{
    if (allEnding())
        throw Failure("the run was interrupted");
    // Everything the child needs is built before fork: after it, only
    // async-signal-safe calls are allowed in a threaded program.
    std::vector<QByteArray> args{
        kOfficeBinary,
        "-env:UserInstallation=" + profileUrl.toUtf8(),
        "--headless",
        "--invisible",
        "--nologo",
        "--nodefault",
        "--norestore",
        "--nolockcheck",
        "--accept=pipe,name=" + pipeName.toUtf8() + ";urp;",
    };
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    QByteArray tempVariable = "TMPDIR=" + QFile::encodeName(tempFolder);
    std::vector<char *> envp;
    for (char **e = environ; *e; ++e)
        if (inheritedVariable(*e))
            envp.push_back(*e);
    envp.push_back(tempVariable.data());
    envp.push_back(nullptr);
    const pid_t parent = getpid();
    const Confinement confinement;

    pid_ = fork();
    if (pid_ < 0)
        throw Failure(std::string("cannot start the office: ") + std::strerror(errno));
    if (pid_ == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        confinement.applyInChild();
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        close_range(3, ~0U, 0);
        execve(kOfficeBinary, argv.data(), envp.data());
        _exit(127);
    }
    // Also from the parent, so a kill right after fork finds the group.
    setpgid(pid_, pid_);
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    auto &r = registry();
    std::lock_guard lock(r.mutex);
    r.live.insert(this);
    // Ending everything may have come between the check above and here.
    if (r.ending)
        kill();
}

OfficeProcess::~OfficeProcess()
{
    {
        auto &r = registry();
        std::lock_guard lock(r.mutex);
        r.live.erase(this);
    }
    kill();
    std::lock_guard lock(mutex_);
    reapLocked(-1);
    if (pidfd_ >= 0)
        close(pidfd_);
}

std::optional<int> OfficeProcess::exitCode()
{
    std::lock_guard lock(mutex_);
    reapLocked(0);
    return exitCode_;
}

bool OfficeProcess::waitForExit(int msecs)
{
    std::lock_guard lock(mutex_);
    return reapLocked(msecs);
}

void OfficeProcess::kill()
{
    std::lock_guard lock(mutex_);
    if (!exitCode_)
        ::kill(-pid_, SIGKILL);
}

bool OfficeProcess::reapLocked(int msecs)
{
    if (exitCode_)
        return true;
    if (msecs != 0 && pidfd_ >= 0) {
        pollfd p{pidfd_, POLLIN, 0};
        while (poll(&p, 1, msecs) < 0 && errno == EINTR) {
        }
    }
    int status = 0;
    const pid_t r = waitpid(pid_, &status, msecs < 0 && pidfd_ < 0 ? 0 : WNOHANG);
    if (r != pid_)
        return false;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

} // namespace office
