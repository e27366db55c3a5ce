// When a periodic thread starts its next cycle: one period after the last
// cycle was due, not after the thread woke up for it, so that the delays of
// the wake-ups do not add up from cycle to cycle.  The cycle's own time is
// taken off the wait; a cycle that overran its period is followed at once,
// and the count starts again from there.
#pragma once

#include "MonotonicClock.h"

#include <windows.h>

class CycleSchedule {
public:
    // Milliseconds of a clock that is never set back.
    using Clock = double (*)();

    explicit CycleSchedule(Clock clock = MonotonicMs) : clock_(clock), due_(clock()) {}

    // Milliseconds to wait before the cycle after the one just run.
    DWORD NextWait(DWORD periodMs) {
        due_ += periodMs;
        const double now = clock_();
        if (due_ < now) due_ = now;
        return static_cast<DWORD>(due_ - now);
    }

private:
    Clock clock_;
    double due_;
};
