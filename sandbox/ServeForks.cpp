// The fork server's side of ForkServer.h.

#include "sandbox/ChildStart.h"
#include "sandbox/ForkRequest.h"
#include "sandbox/ForkServer.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

extern char **environ;

namespace sandbox {
namespace {

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

[[noreturn]] void runChild(ForkRequest &request, pid_t parent, int reportFd, const ArgumentArea &area,
                           int (*program)(int, char **))
{
    showArguments(area, request.arguments);
    std::vector<FileAllowList::Rule> rules;
    for (const FileAllowList::Rule &rule : request.rules)
        rules.push_back({copied(rule.path), rule.kind});
    const Confinement confinement(copied(request.ownFolder), FileAllowList(std::move(rules)));
    std::vector<QByteArray> arguments = copied(request.arguments);
    std::vector<QByteArray> environment = copied(request.environment);
    std::vector<char *> argv = nullTerminated(arguments);
    std::vector<char *> envp = nullTerminated(environment);
    enterConfinedChild(confinement, parent, reportFd, request.mustBeComplete);
    environ = envp.data();
    std::exit(program(int(argv.size() - 1), argv.data()));
}

} // namespace

void serveForks(int channel, int argc, char **argv, int (*program)(int argc, char **argv))
{
    // Whoever started the server: the program its children belong to.
    const pid_t parent = getppid();
    ArgumentArea area;
    if (argc > 0) {
        area.start = argv[0];
        area.size = std::size_t(argv[argc - 1] + std::strlen(argv[argc - 1]) + 1 - argv[0]);
    }
    std::vector<char> buffer(kMaxForkRequest);
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
        std::optional<ForkRequest> request;
        if (reportFd >= 0 && !(message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)))
            request = decodeForkRequest(buffer.data(), std::size_t(got));
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
