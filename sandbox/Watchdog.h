#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace sandbox {

// Ends a hung child: while armed, runs the expiry action once the limit has
// passed, from its own thread, so the blocked call on ours fails.
class Watchdog {
public:
    explicit Watchdog(std::function<void()> onExpiry);
    ~Watchdog();
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

    void arm(std::chrono::milliseconds limit);
    // Once it returns, the expiry action neither runs nor will run.
    void disarm();

    // Armed for one scope, disarmed however the scope is left.
    class Armed {
    public:
        Armed(Watchdog &watchdog, std::chrono::milliseconds limit) : watchdog_(watchdog) { watchdog_.arm(limit); }
        ~Armed() { watchdog_.disarm(); }
        Armed(const Armed &) = delete;
        Armed &operator=(const Armed &) = delete;

    private:
        Watchdog &watchdog_;
    };
    // Whether the limit of the latest arming passed.
    bool fired() const;

private:
    void run();

    std::function<void()> onExpiry_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    bool fired_ = false;
    bool expiring_ = false; // the expiry action runs, unlocked
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace sandbox
