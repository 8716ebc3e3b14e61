#include "sandbox/ForkServer.h"

#include "sandbox/ChildStart.h"
#include "sandbox/ConfinedProcess.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace sandbox {
namespace {

// A request is a few kilobytes: the rules, the arguments, the environment;
// the most is well within what one message on a local socket may hold.
constexpr std::size_t kMaxRequest = 64 * 1024;
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

void put(QByteArray &out, const QByteArray &field)
{
    const auto size = std::uint32_t(field.size());
    out.append(reinterpret_cast<const char *>(&size), sizeof size);
    out.append(field);
}

void putAll(QByteArray &out, const std::vector<QByteArray> &fields)
{
    put(out, QByteArray::number(qulonglong(fields.size())));
    for (const QByteArray &field : fields)
        put(out, field);
}

QByteArray encodeRequest(const Confinement &confinement, const std::vector<QByteArray> &arguments,
                         const std::vector<QByteArray> &environment, bool mustBeComplete)
{
    QByteArray out;
    put(out, mustBeComplete ? "1" : "0");
    put(out, confinement.ownFolder());
    std::vector<QByteArray> rules;
    for (const FileAllowList::Rule &rule : confinement.files().rules())
        rules.push_back(char('0' + rule.kind) + rule.path);
    putAll(out, rules);
    putAll(out, arguments);
    putAll(out, environment);
    return out;
}

struct Request {
    bool mustBeComplete = true;
    QByteArray ownFolder;
    std::vector<FileAllowList::Rule> rules;
    std::vector<QByteArray> arguments;
    std::vector<QByteArray> environment;
};

class Reader {
public:
    Reader(const char *data, std::size_t size) : data_(data), left_(size) {}

    std::optional<QByteArray> field()
    {
        std::uint32_t size;
        if (left_ < sizeof size)
            return std::nullopt;
        std::memcpy(&size, data_, sizeof size);
        if (left_ - sizeof size < size)
            return std::nullopt;
        // A view: the request's bytes stay in the one buffer, which is
        // wiped once the child has been forked.
        const QByteArray field = QByteArray::fromRawData(data_ + sizeof size, qsizetype(size));
        data_ += sizeof size + size;
        left_ -= sizeof size + size;
        return field;
    }

    std::optional<std::vector<QByteArray>> fields()
    {
        const auto count = field();
        bool ok = false;
        const qulonglong n = count ? count->toULongLong(&ok) : 0;
        // Each field takes at least its length: a count beyond what is left
        // is a broken request, not a reason to reserve memory.
        if (!ok || n > left_ / sizeof(std::uint32_t))
            return std::nullopt;
        std::vector<QByteArray> all;
        for (qulonglong i = 0; i < n; ++i) {
            auto next = field();
            if (!next)
                return std::nullopt;
            all.push_back(std::move(*next));
        }
        return all;
    }

    bool atEnd() const { return left_ == 0; }

private:
    const char *data_;
    std::size_t left_;
};

std::optional<Request> decodeRequest(const char *data, std::size_t size)
{
    Reader reader(data, size);
    Request request;
    const auto complete = reader.field();
    const auto ownFolder = reader.field();
    const auto rules = reader.fields();
    auto arguments = reader.fields();
    auto environment = reader.fields();
    if (!complete || !ownFolder || !rules || !arguments || !environment || !reader.atEnd() || arguments->empty())
        return std::nullopt;
    request.mustBeComplete = *complete != "0";
    request.ownFolder = *ownFolder;
    for (const QByteArray &rule : *rules) {
        const int kind = rule.isEmpty() ? -1 : rule[0] - '0';
        if (kind < FileAllowList::Rule::Read || kind > FileAllowList::Rule::MakeSockets)
            return std::nullopt;
        request.rules.push_back(
            {QByteArray::fromRawData(rule.constData() + 1, rule.size() - 1), FileAllowList::Rule::Kind(kind)});
    }
    request.arguments = std::move(*arguments);
    request.environment = std::move(*environment);
    return request;
}

std::vector<char *> pointers(std::vector<QByteArray> &strings)
{
    std::vector<char *> all;
    for (QByteArray &s : strings)
        all.push_back(s.data());
    all.push_back(nullptr);
    return all;
}

// The child's own copy of a view into the request, ended by a NUL.
QByteArray copied(const QByteArray &view)
{
    return QByteArray(view.constData(), view.size());
}

std::vector<QByteArray> copied(const std::vector<QByteArray> &views)
{
    std::vector<QByteArray> all;
    for (const QByteArray &view : views)
        all.push_back(copied(view));
    return all;
}

// Where /proc/N/cmdline, and so ps, reads a process's arguments: the
// server's own, which its children inherit.
struct ArgumentArea {
    char *start = nullptr;
    std::size_t size = 0;
};

// Shows the child's arguments as its command line, so that the process list
// tells what each child is and whose, not that a server forked it.
void showArguments(const ArgumentArea &area, const std::vector<QByteArray> &arguments)
{
    if (area.size == 0)
        return;
    std::memset(area.start, 0, area.size);
    // The last byte stays a NUL: the kernel reads no further.
    std::size_t at = 0;
    for (const QByteArray &argument : arguments) {
        if (at >= area.size - 1)
            break;
        const std::size_t n = std::min(std::size_t(argument.size()), area.size - 1 - at);
        std::memcpy(area.start + at, argument.constData(), n);
        at += n + 1;
    }
}

[[noreturn]] void runChild(Request &request, pid_t parent, int reportFd, const ArgumentArea &area,
                           int (*program)(int, char **))
{
    showArguments(area, request.arguments);
    std::vector<FileAllowList::Rule> rules;
    for (const FileAllowList::Rule &rule : request.rules)
        rules.push_back({copied(rule.path), rule.kind});
    const Confinement confinement(copied(request.ownFolder), FileAllowList(std::move(rules)));
    std::vector<QByteArray> arguments = copied(request.arguments);
    std::vector<QByteArray> environment = copied(request.environment);
    std::vector<char *> argv = pointers(arguments);
    std::vector<char *> envp = pointers(environment);
    enterConfinedChild(confinement, parent, reportFd, request.mustBeComplete);
    environ = envp.data();
    std::exit(program(int(argv.size() - 1), argv.data()));
}

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
        std::vector<char *> envp = pointers(environment);
        QByteArray room(kArgumentRoom, ' ');
        char *const argv[] = {program_.data(), room.data(), nullptr};
        const pid_t parent = getpid();
        Launcher::instance().run([&] {
            pid = fork();
            if (pid != 0)
                return;
            setpgid(0, 0);
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(127);
            const int channel = fcntl(ends[1], F_DUPFD, 10);
            const int devnull = open("/dev/null", O_RDWR);
            if (channel < 0 || devnull < 0 || dup2(devnull, 0) < 0 || dup2(devnull, 1) < 0 || dup2(devnull, 2) < 0
                || dup2(channel, kChannel) < 0)
                _exit(127);
            close_range(kChannel + 1, ~0U, 0);
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
    QByteArray request = encodeRequest(confinement, arguments, environment, mustBeComplete);
    if (std::size_t(request.size()) > kMaxRequest)
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

void serveForks(int channel, int argc, char **argv, int (*program)(int argc, char **argv))
{
    // Whoever started the server: the program its children belong to.
    const pid_t parent = getppid();
    ArgumentArea area;
    if (argc > 0) {
        area.start = argv[0];
        area.size = std::size_t(argv[argc - 1] + std::strlen(argv[argc - 1]) + 1 - argv[0]);
    }
    std::vector<char> buffer(kMaxRequest);
    for (;;) {
        iovec data{buffer.data(), buffer.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
        msghdr message{};
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t got = recvmsg(channel, &message, MSG_CMSG_CLOEXEC);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            _exit(0);
        int reportFd = -1;
        for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS && c->cmsg_len == CMSG_LEN(sizeof(int)))
                std::memcpy(&reportFd, CMSG_DATA(c), sizeof(int));
        std::optional<Request> request;
        if (reportFd >= 0 && !(message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)))
            request = decodeRequest(buffer.data(), std::size_t(got));
        std::int32_t reply = -EINVAL;
        if (request) {
            // A fork that makes the child the caller's: ours. fork() cannot
            // do that, and clone() skips what fork() tidies in the C
            // library; in a process of one thread, waiting here, that is
            // its cached thread id alone: the child's main thread keeps
            // ours, which only calls naming that thread from outside use.
            const auto pid = pid_t(syscall(SYS_clone, CLONE_PARENT | SIGCHLD, 0, nullptr, nullptr, 0));
            if (pid == 0)
                runChild(*request, parent, reportFd, area, program);
            reply = pid < 0 ? -errno : pid;
        }
        // What one child was told (its folder, its pipe, its environment)
        // stays out of the next one's copy of this process.
        request.reset();
        explicit_bzero(buffer.data(), std::size_t(got));
        if (reportFd >= 0)
            close(reportFd);
        (void)!send(channel, &reply, sizeof reply, MSG_NOSIGNAL);
    }
}

} // namespace sandbox
