#pragma once

#include <functional>

namespace platform {

// SIGTERM and SIGINT stop the program the way its own end does, instead of
// killing it with its offices and temporary files left behind: `stop` is
// called once, with the signal, from a thread of its own, and must bring the
// program to its normal end. A second signal changes nothing: killed while
// it writes, the program would leave a document's pictures half written.
void stopCleanlyOnTermination(std::function<void(int signal)> stop);

} // namespace platform
