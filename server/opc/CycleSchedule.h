// When a periodic thread starts its next cycle: one period after the last
// cycle was due, not after the thread woke up for it, so that the delays of
// the wake-ups do not add up from cycle to cycle.  The cycle's own time is
// taken off the wait; a cycle that overran its period is followed at once,
// and the count starts again from there.
//
// No period is shorter than kMinimumCyclePeriodMs, the finest the system's
// timers honour: a rate of 0 ("as fast as possible") would otherwise spin a
// core on cycles that mostly find nothing to send.
#pragma once

#include "MonotonicClock.h"

#include <windows.h>

constexpr DWORD kMinimumCyclePeriodMs = 10;

class CycleSchedule {
public:
    // Milliseconds of a clock that is never set back.
    using Clock = double (*)();

    explicit CycleSchedule(Clock clock = MonotonicMs) : clock_(clock), due_(clock()) {}

    // Milliseconds to wait before the cycle after the one just run.
    DWORD NextWait(DWORD periodMs) {
        due_ += periodMs < kMinimumCyclePeriodMs ? kMinimumCyclePeriodMs : periodMs;
        const double now = clock_();
        if (due_ < now) due_ = now;
        return static_cast<DWORD>(due_ - now);
    }

private:
    Clock clock_;
    double due_;
};
