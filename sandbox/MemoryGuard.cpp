#include "sandbox/MemoryGuard.h"

#include "sandbox/Memory.h"

#include <csignal>

namespace sandbox {

using namespace std::chrono_literals;

MemoryGuard::MemoryGuard(std::int64_t bound) : bound_(bound), thread_([this] { run(); })
{
}

MemoryGuard::~MemoryGuard()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void MemoryGuard::watch(int pid)
{
    {
        std::lock_guard lock(mutex_);
        pid_ = pid;
        endedAt_ = 0;
    }
    changed_.notify_all();
}

void MemoryGuard::stop()
{
    std::lock_guard lock(mutex_);
    pid_ = 0;
}

std::int64_t MemoryGuard::endedAt() const
{
    std::lock_guard lock(mutex_);
    return endedAt_;
}

void MemoryGuard::run()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (pid_ == 0) {
            changed_.wait(lock);
            continue;
        }
        changed_.wait_for(lock, 20ms);
        // Read and signalled under the lock: stop() cannot return between
        // the look and the signal, so a reaped (and reused) process id is
        // never hit.
        if (pid_ != 0 && endedAt_ == 0) {
            const std::int64_t resident = residentMemory(pid_);
            if (resident > bound_) {
                endedAt_ = resident;
                ::kill(-pid_, SIGKILL);
            }
        }
    }
}

} // namespace sandbox
