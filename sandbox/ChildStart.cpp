#include "sandbox/ChildStart.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

extern char **environ;

namespace sandbox {

std::vector<QByteArray> inheritedEnvironment()
{
    static const char *const kNames[] = {
        "HOME=", "USER=",          "LOGNAME=",         "LANG=",           "LANGUAGE=",        "LC_",
        "TZ=",   "XDG_DATA_HOME=", "XDG_CONFIG_HOME=", "XDG_CACHE_HOME=", "FONTCONFIG_FILE=", "FONTCONFIG_PATH="};
    std::vector<QByteArray> passed;
    for (char **entry = environ; *entry; ++entry)
        for (const char *name : kNames)
            if (std::strncmp(*entry, name, std::strlen(name)) == 0) {
                passed.emplace_back(*entry);
                break;
            }
    return passed;
}

std::vector<char *> nullTerminated(std::vector<QByteArray> &strings)
{
    std::vector<char *> all;
    for (QByteArray &s : strings)
        all.push_back(s.data());
    all.push_back(nullptr);
    return all;
}

void joinOwnGroupTiedTo(pid_t parent)
{
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(127);
}

void keepOnlyStreamsUpTo(int last)
{
    const int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
    // Where the kernel has no close_range, one by one.
    if (close_range(unsigned(last) + 1, ~0U, 0) != 0) {
        rlimit limit{};
        getrlimit(RLIMIT_NOFILE, &limit);
        for (rlim_t fd = rlim_t(last) + 1; fd < limit.rlim_cur; ++fd)
            close(int(fd));
    }
}

void enterConfinedChild(const Confinement &confinement, pid_t parent, int reportFd, bool mustBeComplete)
{
    joinOwnGroupTiedTo(parent);
    ConfinementReport applied = confinement.applyInChild();
    if (chdir(confinement.ownFolder().constData()) != 0)
        _exit(127);
    // The namespaces' capabilities are for setting them up: a program that
    // is not executed anew would keep them, and could undo its mounts.
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[2] = {};
    syscall(SYS_capset, &header, none);
    prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    applied.pid = getpid();
    (void)!write(reportFd, &applied, sizeof applied);
    if (mustBeComplete && !applied.complete())
        _exit(127);
    // Nothing of whoever forked it may stay open.
    keepOnlyStreamsUpTo(2);
}

} // namespace sandbox
