#pragma once

// Starting a big program costs mostly the mapping and relocating of its
// libraries. A fork server is a program of ours that has loaded them once
// and starts each child from that image, from the program's own beginning.
// A child shares with the server and its siblings the libraries' places in
// memory (what executing anew would draw afresh), and nothing else: what
// one child was told is wiped before the next is forked. Each is made our
// own child (CLONE_PARENT), so it is reaped, signalled and watched exactly
// like one we forked.

#include "sandbox/Confinement.h"

#include <QByteArray>

#include <cstdint>
#include <mutex>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace sandbox {

class ForkServer {
public:
    // `program`: the server's path. It is started on first use.
    explicit ForkServer(QByteArray program);
    ~ForkServer();
    ForkServer(const ForkServer &) = delete;
    ForkServer &operator=(const ForkServer &) = delete;

    // A child that takes the same steps as one ConfinedProcess forks
    // (enterConfinedChild, its report on `reportFd`) and then runs the
    // server's program with `arguments` and exactly `environment`. Its id;
    // -errno when the server could not fork; 0 when the server was asked
    // but did not answer (a child may have been forked: its report names
    // it); or nothing when there is no server, and the caller starts the
    // program itself. A server that served and then ended is started anew
    // on the next call; one that is missing, or never answered, is not
    // tried again.
    std::optional<pid_t> start(const Confinement &confinement, const std::vector<QByteArray> &arguments,
                               const std::vector<QByteArray> &environment, bool mustBeComplete, int reportFd);

private:
    bool runningLocked();
    void dropLocked();
    std::optional<std::int32_t> replyLocked();

    QByteArray program_;
    std::mutex mutex_;
    pid_t pid_ = -1;
    int pidfd_ = -1;
    int channel_ = -1;
    bool givenUp_ = false;
};

// The server's side, given its main()'s arguments: answers the requests on
// `channel` until it closes. In each child, `program` runs with the child's
// arguments and environment, as its main() would; what it returns is the
// child's exit code. The child's arguments also replace the server's in the
// process list, as far as they fit.
[[noreturn]] void serveForks(int channel, int argc, char **argv, int (*program)(int argc, char **argv));

} // namespace sandbox
