#include "sandbox/Watchdog.h"

namespace sandbox {

Watchdog::Watchdog(std::function<void()> onExpiry) : onExpiry_(std::move(onExpiry)), thread_([this] { run(); })
{
}

Watchdog::~Watchdog()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void Watchdog::arm(std::chrono::milliseconds limit)
{
    {
        std::lock_guard lock(mutex_);
        deadline_ = std::chrono::steady_clock::now() + limit;
        fired_ = false;
    }
    changed_.notify_all();
}

void Watchdog::disarm()
{
    std::unique_lock lock(mutex_);
    deadline_.reset();
    changed_.notify_all();
    // An expiry under way finishes first: what it acts on may be replaced
    // or freed by the owner as soon as this returns.
    changed_.wait(lock, [this] { return !expiring_; });
}

bool Watchdog::fired() const
{
    std::lock_guard lock(mutex_);
    return fired_;
}

void Watchdog::run()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!deadline_) {
            changed_.wait(lock);
            continue;
        }
        if (changed_.wait_until(lock, *deadline_) == std::cv_status::timeout && deadline_
            && std::chrono::steady_clock::now() >= *deadline_) {
            deadline_.reset();
            fired_ = true;
            expiring_ = true;
            lock.unlock();
            onExpiry_();
            lock.lock();
            expiring_ = false;
            changed_.notify_all();
        }
    }
}

} // namespace sandbox
