// Timing of repeated calls: medians of batches, and a subject timed in
// batches that alternate with its baseline's, so that both see the same
// state of a shared machine.
#pragma once

#include <windows.h>

#include <functional>

namespace bench {

// One call of what is measured; a failure stops the measurement.
using Call = std::function<HRESULT()>;

struct Timing {
    double msPerCall = 0;  // median over the batches
    HRESULT hr = S_OK;     // the first failure, if any
    bool ok() const { return SUCCEEDED(hr); }
};

Timing MedianPerCall(const Call& call, int callsPerBatch, int batches);

struct SideBySide {
    Timing subject;
    Timing baseline;
    double Ratio() const { return baseline.msPerCall > 0 ? subject.msPerCall / baseline.msPerCall : 0; }
};

SideBySide MeasureSideBySide(const Call& subject, const Call& baseline, int callsPerBatch, int batches);

}  // namespace bench
