#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace platform {

// A program we started and may end later. It holds a pidfd from the start,
// so ending it can never hit another process that later got the same id.
class StartedProgram {
public:
    StartedProgram() = default;
    StartedProgram(pid_t pid, int pidfd) : pid_(pid), pidfd_(pidfd) {}
    ~StartedProgram();
    StartedProgram(StartedProgram &&other) noexcept;
    StartedProgram &operator=(StartedProgram &&other) noexcept;

    pid_t pid() const { return pid_; }
    // Ends the program at once; false when there is none or it has already ended.
    bool terminate();

private:
    pid_t pid_ = 0;
    int pidfd_ = -1;
};

// Starts a program in its own process without waiting for it; an empty
// handle (pid 0) when it cannot be started. No shell is involved: every
// argument arrives as given.
StartedProgram startProgram(const QString &program, const QStringList &arguments);

} // namespace platform
