#include "platform/Termination.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

// Signals reach the stopper through a pipe; a 0 byte tells it to end.
int wakeUp[2] = {-1, -1};

void onSignal(int signal)
{
    // Only what a signal handler may do: the stop itself runs on a thread.
    // The pipe never blocks: once full, the signals in it say enough.
    const char byte = char(signal == SIGHUP ? SIGTERM : signal);
    const int saved = errno;
    [[maybe_unused]] const auto written = write(wakeUp[1], &byte, 1);
    errno = saved;
}

// Once per process: a handler is never taken away again, so a signal after
// the last stopper has gone is taken and dropped rather than killing the
// program halfway through its end.
bool listen()
{
    static const bool listening = [] {
        if (pipe2(wakeUp, O_CLOEXEC) != 0)
            return false;
        fcntl(wakeUp[1], F_SETFL, O_NONBLOCK);
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int signal : {SIGTERM, SIGINT, SIGHUP})
            sigaction(signal, &action, nullptr);
        return true;
    }();
    return listening;
}

char nextByte()
{
    char byte = 0;
    while (read(wakeUp[0], &byte, 1) < 0 && errno == EINTR) {
    }
    return byte;
}

} // namespace

StopOnTermination::StopOnTermination(std::function<void(int signal)> stop)
{
    if (!listen())
        return;
    stopper_ = std::thread([stop = std::move(stop)] {
        bool stopped = false;
        for (char byte = nextByte(); byte != 0; byte = nextByte())
            if (!std::exchange(stopped, true))
                stop(byte);
    });
}

StopOnTermination::~StopOnTermination()
{
    if (!stopper_.joinable())
        return;
    const char end = 0;
    while (write(wakeUp[1], &end, 1) < 0 && (errno == EINTR || errno == EAGAIN)) {
    }
    stopper_.join();
}

} // namespace platform
