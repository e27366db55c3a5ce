#include "CallWatchdog.h"

#include <utility>

CallWatchdog::CallWatchdog(std::function<void(const std::string&)> expired)
    : expired_(std::move(expired)), thread_([this] { Watch(); }) {}

CallWatchdog::~CallWatchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void CallWatchdog::Arm(DWORD limitMs, std::string step) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = true;
        deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        step_ = std::move(step);
    }
    changed_.notify_all();
}

void CallWatchdog::Disarm() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = false;
    }
    changed_.notify_all();
}

void CallWatchdog::Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (ending_) return;
        if (!armed_) {
            changed_.wait(lock);
            continue;
        }
        if (std::chrono::steady_clock::now() < deadline_) {
            changed_.wait_until(lock, deadline_);
            continue;
        }
        // Overrun: said once, outside the lock (the action may end the
        // process, or take its time).
        armed_ = false;
        const std::string step = step_;
        lock.unlock();
        expired_(step);
        lock.lock();
    }
}
