// Wall-clock time of the benchmarks: the server's own clock.
#pragma once

#include "MonotonicClock.h"

namespace bench {

// Milliseconds one call of f takes.
template <class F>
double TimeMs(F&& f) {
    const double start = MonotonicMs();
    f();
    return MonotonicMs() - start;
}

}  // namespace bench
