#include "platform/Programs.h"

#include <QProcess>

#include <csignal>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace platform {
StartedProgram::~StartedProgram()
{
    if (pidfd_ >= 0)
        close(pidfd_);
}

StartedProgram::StartedProgram(StartedProgram &&other) noexcept
    : pid_(std::exchange(other.pid_, 0)), pidfd_(std::exchange(other.pidfd_, -1))
{
}

StartedProgram &StartedProgram::operator=(StartedProgram &&other) noexcept
{
    if (this != &other) {
        if (pidfd_ >= 0)
            close(pidfd_);
        pid_ = std::exchange(other.pid_, 0);
        pidfd_ = std::exchange(other.pidfd_, -1);
    }
    return *this;
}

bool StartedProgram::terminate()
{
    if (pidfd_ < 0)
        return false;
    // A pidfd turns readable when its process has exited, reaped or not.
    pollfd ended{pidfd_, POLLIN, 0};
    if (poll(&ended, 1, 0) > 0)
        return false;
    return syscall(SYS_pidfd_send_signal, pidfd_, SIGKILL, nullptr, 0) == 0;
}

StartedProgram startProgram(const QString &program, const QStringList &arguments)
{
    qint64 pid = 0;
    if (!QProcess::startDetached(program, arguments, QString(), &pid) || pid <= 0)
        return {};
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
    return StartedProgram(static_cast<pid_t>(pid), pidfd);
}

} // namespace platform
