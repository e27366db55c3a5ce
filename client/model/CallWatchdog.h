// A time limit for a thread that may block in a call to a server that never
// answers (its process frozen): armed before a step, disarmed after it.  A
// step that overruns its limit cannot be ended by its own thread, which is
// stuck in the call, so `expired` runs on the watchdog's thread instead,
// once; it is for ending the program with a word of why.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class CallWatchdog {
public:
    // `expired` gets the name of the step that overran.
    explicit CallWatchdog(std::function<void(const std::string& step)> expired);
    ~CallWatchdog();
    CallWatchdog(const CallWatchdog&) = delete;
    CallWatchdog& operator=(const CallWatchdog&) = delete;

    void Arm(DWORD limitMs, std::string step);
    void Disarm();

private:
    void Watch();

    std::function<void(const std::string&)> expired_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool armed_ = false;
    bool ending_ = false;
    std::chrono::steady_clock::time_point deadline_;
    std::string step_;
    std::thread thread_;
};

// Arms the watchdog for the lifetime of a scope.
class WatchedStep {
public:
    WatchedStep(CallWatchdog& watchdog, DWORD limitMs, std::string step) : watchdog_(watchdog) {
        watchdog_.Arm(limitMs, std::move(step));
    }
    ~WatchedStep() { watchdog_.Disarm(); }
    WatchedStep(const WatchedStep&) = delete;
    WatchedStep& operator=(const WatchedStep&) = delete;

private:
    CallWatchdog& watchdog_;
};
