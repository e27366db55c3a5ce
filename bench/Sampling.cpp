#include "Sampling.h"

#include "Statistics.h"
#include "Stopwatch.h"

#include <vector>

namespace bench {
namespace {

// Milliseconds per call of one batch; the first failure goes to hr.
double Batch(const Call& call, int calls, HRESULT& hr) {
    const double start = MonotonicMs();
    for (int i = 0; i < calls; ++i) {
        const HRESULT result = call();
        if (FAILED(result)) {
            if (SUCCEEDED(hr)) hr = result;
            break;
        }
    }
    return (MonotonicMs() - start) / calls;
}

}  // namespace

Timing MedianPerCall(const Call& call, int callsPerBatch, int batches) {
    Timing timing;
    std::vector<double> samples;
    for (int b = 0; b < batches && timing.ok(); ++b) samples.push_back(Batch(call, callsPerBatch, timing.hr));
    timing.msPerCall = Median(samples);
    return timing;
}

SideBySide MeasureSideBySide(const Call& subject, const Call& baseline, int callsPerBatch, int batches) {
    SideBySide result;
    std::vector<double> subjectSamples, baselineSamples;
    for (int b = 0; b < batches && result.subject.ok() && result.baseline.ok(); ++b) {
        baselineSamples.push_back(Batch(baseline, callsPerBatch, result.baseline.hr));
        subjectSamples.push_back(Batch(subject, callsPerBatch, result.subject.hr));
    }
    result.subject.msPerCall = Median(subjectSamples);
    result.baseline.msPerCall = Median(baselineSamples);
    return result;
}

}  // namespace bench
