// The texts of the performance test's result fields, made from a read
// measurement without any window.
#pragma once

#include "ReadThroughput.h"

#include <string>

struct PerformanceTexts {
    std::string requests;        // "Number of requests = n"
    std::string time;            // "Time = ms"
    std::string requestRate;     // "n requests per second"
    std::string requestTime;     // "Time of 1 request = x ms"
    std::string valueRate;       // "n values per second"
    std::string items;           // "Number of items in request = n"
    std::string errors;          // "Number of errors = n", or "No request"

    bool operator==(const PerformanceTexts& o) const;
};

// What the fields show before any run, and after a run that could make no
// request: every figure 0, and no error count.
PerformanceTexts NoRequestTexts();

// The figures of one measurement; a measurement without any request gives
// NoRequestTexts, so no figure is ever divided by zero.
PerformanceTexts MeasuredTexts(const ReadThroughput& measured);
