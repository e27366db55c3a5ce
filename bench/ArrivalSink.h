// A data-change sink that notes when each group's streams (DA 1.0) or data
// callbacks (DA 2.0) arrive and how many values they carry; groups are told
// apart by their client group handle (0, 1, ... for the groups of one
// client).
#pragma once

#include "ComObject.h"
#include "OpcInterfaces.h"

#include <objidl.h>

#include <vector>

namespace bench {

class ArrivalSink final : public fw::ComObject<ArrivalSink, IAdviseSink, IOPCDataCallback> {
public:
    explicit ArrivalSink(size_t groups) : arrivals_(groups) {}

    STDMETHODIMP_(void) OnDataChange(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override {}
    STDMETHODIMP_(void) OnRename(IMoniker*) override {}
    STDMETHODIMP_(void) OnSave() override {}
    STDMETHODIMP_(void) OnClose() override {}

    STDMETHODIMP OnDataChange(DWORD transid, OPCHANDLE hGroup, HRESULT, HRESULT, DWORD count, OPCHANDLE*,
                              VARIANT*, WORD*, FILETIME*, HRESULT*) override;
    STDMETHODIMP OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                                HRESULT*) override {
        ++reads_;
        return S_OK;
    }
    STDMETHODIMP OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*, HRESULT*) override { return S_OK; }
    STDMETHODIMP OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }
    // Read completions since the sink was made.
    size_t ReadsCompleted() const { return reads_; }

    // Arrivals and values are kept only while recording.
    void Record(bool on) { recording_ = on; }
    size_t GroupCount() const { return arrivals_.size(); }
    const std::vector<double>& Arrivals(size_t group) const { return arrivals_[group]; }
    double ValuesRecorded() const { return values_; }
    // Streams of every group since the sink was made, recorded or not.
    size_t StreamsSeen() const { return seen_; }
    // Groups that have had at least one stream.
    size_t GroupsHeardFrom() const;

private:
    void Arrived(size_t group, DWORD values, double now);
    std::vector<std::vector<double>> arrivals_;
    std::vector<bool> heard_;
    double values_ = 0;
    size_t seen_ = 0;
    size_t reads_ = 0;
    bool recording_ = false;
};

// The period every group kept while the sink recorded.
struct PeriodFigures {
    double medianPeriodMs = 0;
    double worstDeviationMs = 0;      // of any one interval from the requested period
    double worstMeanDeviationMs = 0;  // of any group's mean interval
    size_t groupsKeeping = 0;         // groups whose mean interval lies within the tolerance
    size_t intervals = 0;
    double callbacksPerSecond = 0;
    double valuesPerSecond = 0;
};
PeriodFigures EvaluatePeriods(const ArrivalSink& sink, double periodMs, double windowMs, double tolerance);

}  // namespace bench
