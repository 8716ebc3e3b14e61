#pragma once

#include <functional>

namespace platform {

// SIGTERM and SIGINT stop the program the way its own end does, instead of
// killing it with its offices and temporary files left behind: `stop` is
// called once, from a thread of its own, and must bring the program to its
// normal end. A second signal ends the program at once.
void stopCleanlyOnTermination(std::function<void()> stop);

} // namespace platform
