#include "platform/Termination.h"

#include <csignal>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

int wakeUp[2] = {-1, -1};

void onSignal(int signal)
{
    // Only what a signal handler may do: the stop itself runs on a thread.
    const char byte = char(signal);
    [[maybe_unused]] const auto written = write(wakeUp[1], &byte, 1);
}

} // namespace

void stopCleanlyOnTermination(std::function<void(int signal)> stop)
{
    if (pipe2(wakeUp, O_CLOEXEC) != 0)
        return;
    std::thread([stop = std::move(stop)] {
        char byte = 0;
        while (read(wakeUp[0], &byte, 1) < 0) {
        }
        stop(byte);
    }).detach();
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace platform
