#include "platform/Programs.h"

#include "platform/NativePath.h"

#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {
namespace {

// Whether `size` bytes came before the other end closed.
bool readWhole(int fd, void *into, std::size_t size)
{
    ssize_t got;
    while ((got = read(fd, into, size)) < 0 && errno == EINTR) {
    }
    return got == ssize_t(size);
}

} // namespace

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
    // As bytes: a folder whose name is not UTF-8 reaches the program as it
    // is, where Qt's own start would replace those bytes. Everything the
    // children need is made before fork, for a threaded program.
    const QString path = program.contains('/') ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return {};
    std::vector<QByteArray> args{toNativePath(path)};
    for (const QString &argument : arguments)
        args.push_back(toNativePath(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : args)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    // The grandchild starts the program only once we hold a pidfd of it:
    // ended and reaped before that, its id could already be another's.
    int started[2];
    int failed[2];
    int go[2];
    if (pipe2(started, O_CLOEXEC) != 0)
        return {};
    if (pipe2(failed, O_CLOEXEC) != 0) {
        close(started[0]);
        close(started[1]);
        return {};
    }
    if (pipe2(go, O_CLOEXEC) != 0) {
        for (int fd : {started[0], started[1], failed[0], failed[1]})
            close(fd);
        return {};
    }
    // A grandchild, in a session of its own: no one of ours waits for it,
    // and it is no zombie of ours once it ends.
    const pid_t middle = fork();
    if (middle == 0) {
        setsid();
        const pid_t pid = fork();
        if (pid == 0) {
            close(go[1]);
            char byte;
            while (read(go[0], &byte, 1) < 0 && errno == EINTR) {
            }
            execv(argv[0], argv.data());
            const int error = errno;
            (void)!write(failed[1], &error, sizeof error);
            _exit(127);
        }
        (void)!write(started[1], &pid, sizeof pid);
        _exit(0);
    }
    close(started[1]);
    close(failed[1]);
    close(go[0]);
    pid_t pid = 0;
    int pidfd = -1;
    int error = 0;
    if (middle > 0) {
        while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
        }
        if (readWhole(started[0], &pid, sizeof pid))
            pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    }
    close(go[1]);
    const bool execFailed = pid > 0 && readWhole(failed[0], &error, sizeof error);
    close(started[0]);
    close(failed[0]);
    if (pid <= 0 || execFailed) {
        if (pidfd >= 0)
            close(pidfd);
        return {};
    }
    return StartedProgram(pid, pidfd);
}

} // namespace platform
