#include "platform/Programs.h"

#include "platform/Descriptor.h"

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
    // ended and reaped before that, its id could already be another's. One
    // pipe tells us, in turn, its id (from the middle child) and, once it
    // may go on, why its program could not start; nothing more when it did.
    int told[2];
    int go[2];
    if (pipe2(told, O_CLOEXEC) != 0)
        return {};
    Descriptor toldRead(told[0]), toldWrite(told[1]);
    if (pipe2(go, O_CLOEXEC) != 0)
        return {};
    Descriptor goRead(go[0]), goWrite(go[1]);
    // A grandchild, in a session of its own: no one of ours waits for it,
    // and it is no zombie of ours once it ends.
    const pid_t middle = fork();
    if (middle == 0) {
        setsid();
        const pid_t pid = fork();
        if (pid == 0) {
            close(goWrite.get());
            char byte;
            while (read(goRead.get(), &byte, 1) < 0 && errno == EINTR) {
            }
            execv(argv[0], argv.data());
            const int error = errno;
            (void)!write(toldWrite.get(), &error, sizeof error);
            _exit(127);
        }
        (void)!write(toldWrite.get(), &pid, sizeof pid);
        _exit(0);
    }
    toldWrite.reset();
    goRead.reset();
    pid_t pid = 0;
    Descriptor pidfd;
    int error = 0;
    if (middle > 0) {
        while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
        }
        if (readWhole(toldRead.get(), &pid, sizeof pid))
            pidfd.reset(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
    }
    goWrite.reset();
    if (pid <= 0 || readWhole(toldRead.get(), &error, sizeof error))
        return {};
    return StartedProgram(pid, pidfd.release());
}

} // namespace platform
