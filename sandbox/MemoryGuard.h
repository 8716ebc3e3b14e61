#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace sandbox {

// Ends a child whose memory grows past its bound (a document can hold a
// picture of a billion pixels in a few bytes): from its own thread, it looks
// at the child's resident memory every few hundredths of a second and ends
// its process group once the bound is passed.
class MemoryGuard {
public:
    explicit MemoryGuard(std::int64_t bound);
    ~MemoryGuard();
    MemoryGuard(const MemoryGuard &) = delete;
    MemoryGuard &operator=(const MemoryGuard &) = delete;

    // Watches this process (the leader of its group) until stop(); after
    // stop() returns, the guard signals nothing any more.
    void watch(int pid);
    void stop();

    std::int64_t bound() const { return bound_; }
    // The resident memory seen when it ended the child, or 0.
    std::int64_t endedAt() const;

private:
    void run();

    const std::int64_t bound_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int pid_ = 0;
    std::int64_t endedAt_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace sandbox
