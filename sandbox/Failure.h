#pragma once

#include <stdexcept>

namespace sandbox {

// Why a child process could not be started, or its folder made; what() says
// so in the user's words.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A start refused because every process of ours is being ended.
class Ending : public Failure {
public:
    Ending() : Failure("程序正在结束") {}
};

} // namespace sandbox
