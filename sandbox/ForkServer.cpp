#include "sandbox/ForkServer.h"

#include "sandbox/ChildStart.h"
#include "sandbox/ConfinedProcess.h"
#include "sandbox/ForkRequest.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace sandbox {
namespace {

// The server answers as soon as it has forked; the first answer waits for
// it to load its libraries.
constexpr std::chrono::seconds kReplyWait{30};
// Where the server finds its channel to us.
constexpr int kChannel = 3;
// What the server's command line holds besides its name, so that each child
// can show its own there.
constexpr int kArgumentRoom = 8192;

// The thread that starts servers. A child's parent-death signal follows the
// thread that made its parent, and the server's children are made ours
// through that thread: so it is one that lives as long as the program.
class Launcher {
public:
    static Launcher &instance()
    {
        // Never destroyed: its thread waits on it to the end.
        static Launcher *launcher = new Launcher;
        return *launcher;
    }

    void run(const std::function<void()> &job)
    {
        std::unique_lock lock(mutex_);
        // One job at a time, its caller told before the next begins.
        changed_.wait(lock, [&] { return job_ == nullptr && done_ == nullptr; });
        job_ = &job;
        changed_.notify_all();
        changed_.wait(lock, [&] { return done_ == &job; });
        done_ = nullptr;
        changed_.notify_all();
    }

private:
    Launcher()
    {
        std::thread([this] {
            std::unique_lock lock(mutex_);
            for (;;) {
                changed_.wait(lock, [&] { return job_ != nullptr; });
                (*job_)();
                done_ = job_;
                job_ = nullptr;
                changed_.notify_all();
            }
        }).detach();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    const std::function<void()> *job_ = nullptr;
    const std::function<void()> *done_ = nullptr;
};

} // namespace

ForkServer::ForkServer(QByteArray program) : program_(std::move(program))
{
}

ForkServer::~ForkServer()
{
    std::lock_guard lock(mutex_);
    if (channel_ < 0)
        return;
    // It ends when its channel closes; a server that does not is ended.
    close(channel_);
    channel_ = -1;
    pollfd ended{pidfd_, POLLIN, 0};
    if (poll(&ended, 1, 1000) != 1)
        ::kill(pid_, SIGKILL);
    dropLocked();
}

bool ForkServer::runningLocked()
{
    if (channel_ >= 0) {
        pollfd ended{pidfd_, POLLIN, 0};
        if (poll(&ended, 1, 0) == 0)
            return true;
        dropLocked();
    }
    if (access(program_.constData(), X_OK) != 0) {
        givenUp_ = true;
        return false;
    }
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    pid_t pid = -1;
    try {
        std::vector<QByteArray> environment = inheritedEnvironment();
        std::vector<char *> envp = nullTerminated(environment);
        QByteArray room(kArgumentRoom, ' ');
        char *const argv[] = {program_.data(), room.data(), nullptr};
        const pid_t parent = getpid();
        Launcher::instance().run([&] {
            pid = fork();
            if (pid != 0)
                return;
            joinOwnGroupTiedTo(parent);
            const int channel = fcntl(ends[1], F_DUPFD, 10);
            if (channel < 0 || dup2(channel, kChannel) < 0)
                _exit(127);
            keepOnlyStreamsUpTo(kChannel);
            execve(argv[0], argv, envp.data());
            _exit(127);
        });
    } catch (const std::exception &) {
        // No thread or no memory: offices are executed as programs.
    }
    close(ends[1]);
    if (pid < 0) {
        close(ends[0]);
        return false;
    }
    pid_ = pid;
    channel_ = ends[0];
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd_ < 0) {
        // Without a pidfd its end could not be told: not on this system.
        givenUp_ = true;
        dropLocked();
        return false;
    }
    return true;
}

void ForkServer::dropLocked()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    for (int *fd : {&pidfd_, &channel_})
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    pid_ = -1;
}

std::optional<std::int32_t> ForkServer::replyLocked()
{
    const auto deadline = std::chrono::steady_clock::now() + kReplyWait;
    pollfd answered{channel_, POLLIN, 0};
    for (;;) {
        // Waited for in short steps, so that ending every process is never
        // held up behind a server that does not answer.
        if (ConfinedProcess::allEnding())
            return std::nullopt;
        const int ready = poll(&answered, 1, 100);
        if (ready == 1)
            break;
        if ((ready < 0 && errno != EINTR) || std::chrono::steady_clock::now() > deadline)
            return std::nullopt;
    }
    std::int32_t reply = 0;
    ssize_t got;
    while ((got = recv(channel_, &reply, sizeof reply, 0)) < 0 && errno == EINTR) {
    }
    return got == sizeof reply ? std::optional(reply) : std::nullopt;
}

std::optional<pid_t> ForkServer::start(const Confinement &confinement, const std::vector<QByteArray> &arguments,
                                       const std::vector<QByteArray> &environment, bool mustBeComplete, int reportFd)
{
    std::lock_guard lock(mutex_);
    const bool fresh = channel_ < 0;
    if (givenUp_ || !runningLocked())
        return std::nullopt;
    QByteArray request = encodeForkRequest(confinement, arguments, environment, mustBeComplete);
    if (std::size_t(request.size()) > kMaxForkRequest)
        return std::nullopt;
    iovec data{request.data(), std::size_t(request.size())};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr *passed = CMSG_FIRSTHDR(&message);
    passed->cmsg_level = SOL_SOCKET;
    passed->cmsg_type = SCM_RIGHTS;
    passed->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(passed), &reportFd, sizeof(int));
    ssize_t sent;
    while ((sent = sendmsg(channel_, &message, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    // A server that never answered will not answer the next time either.
    if (sent != request.size()) {
        givenUp_ = fresh;
        dropLocked();
        return std::nullopt;
    }
    const std::optional<std::int32_t> reply = replyLocked();
    if (reply && *reply < 0)
        return pid_t(*reply);
    // An id is taken only for a child of ours: waitid knows no other.
    siginfo_t child{};
    if (reply && *reply > 0 && waitid(P_PID, id_t(*reply), &child, WEXITED | WNOHANG | WNOWAIT) == 0)
        return pid_t(*reply);
    givenUp_ = fresh;
    dropLocked();
    return 0;
}

} // namespace sandbox
