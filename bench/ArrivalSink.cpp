#include "ArrivalSink.h"

#include "Statistics.h"
#include "Stopwatch.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace bench {

STDMETHODIMP_(void) ArrivalSink::OnDataChange(FORMATETC*, STGMEDIUM* medium) {
    const double now = MonotonicMs();
    ++seen_;
    if (!medium || medium->tymed != TYMED_HGLOBAL || !medium->hGlobal) return;
    const auto* block = static_cast<const BYTE*>(GlobalLock(medium->hGlobal));
    if (!block) return;
    OPCGROUPHEADER header{};
    if (GlobalSize(medium->hGlobal) >= sizeof header) std::memcpy(&header, block, sizeof header);
    GlobalUnlock(medium->hGlobal);
    Arrived(header.hClientGroup, header.dwItemCount, now);
}

STDMETHODIMP ArrivalSink::OnDataChange(DWORD transid, OPCHANDLE hGroup, HRESULT, HRESULT, DWORD count, OPCHANDLE*,
                                       VARIANT*, WORD*, FILETIME*, HRESULT*) {
    const double now = MonotonicMs();
    ++seen_;
    // Refreshes are answers, not the period's reports.
    if (transid == 0) Arrived(hGroup, count, now);
    return S_OK;
}

void ArrivalSink::Arrived(size_t group, DWORD values, double now) {
    if (group >= arrivals_.size()) return;
    if (heard_.size() < arrivals_.size()) heard_.resize(arrivals_.size());
    heard_[group] = true;
    if (!recording_) return;
    arrivals_[group].push_back(now);
    values_ += values;
}

size_t ArrivalSink::GroupsHeardFrom() const {
    return static_cast<size_t>(std::count(heard_.begin(), heard_.end(), true));
}

PeriodFigures EvaluatePeriods(const ArrivalSink& sink, double periodMs, double windowMs, double tolerance) {
    PeriodFigures figures;
    std::vector<double> all;
    size_t callbacks = 0;
    for (size_t g = 0; g < sink.GroupCount(); ++g) {
        const std::vector<double>& times = sink.Arrivals(g);
        callbacks += times.size();
        const std::vector<double> intervals = Intervals(times);
        all.insert(all.end(), intervals.begin(), intervals.end());
        // A group with fewer than two streams in the window kept nothing.
        const double mean = intervals.empty() ? windowMs : (times.back() - times.front()) / intervals.size();
        const double meanDeviation = std::fabs(mean - periodMs);
        figures.worstMeanDeviationMs = std::max(figures.worstMeanDeviationMs, meanDeviation);
        if (meanDeviation <= tolerance * periodMs) ++figures.groupsKeeping;
    }
    figures.medianPeriodMs = Median(all);
    figures.worstDeviationMs = WorstDeviation(all, periodMs);
    figures.intervals = all.size();
    figures.callbacksPerSecond = callbacks * 1000.0 / windowMs;
    figures.valuesPerSecond = sink.ValuesRecorded() * 1000.0 / windowMs;
    return figures;
}

}  // namespace bench
