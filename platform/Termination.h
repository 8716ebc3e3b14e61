#pragma once

#include <functional>
#include <thread>

namespace platform {

// SIGTERM, SIGINT and SIGHUP (a terminal closed under the program) stop the
// program the way its own end does, instead of killing it with its offices
// and temporary files left behind: `stop` is called once, with the signal
// (SIGTERM for SIGHUP), from a thread of its own, and must bring the program
// to its normal end without waiting for the main thread. A second signal
// changes nothing: killed while it writes, the program would leave a
// document's pictures half written.
//
// One per program, made after and so gone before everything `stop` touches:
// once it is gone, `stop` is never called again, and a signal changes nothing,
// since the program is at its end already.
class StopOnTermination {
public:
    explicit StopOnTermination(std::function<void(int signal)> stop);
    ~StopOnTermination();
    StopOnTermination(const StopOnTermination &) = delete;
    StopOnTermination &operator=(const StopOnTermination &) = delete;

private:
    std::thread stopper_;
};

} // namespace platform
