#include "ReadThroughput.h"

#include "ConnectionLoss.h"
#include "TaskMemResults.h"

#include <windows.h>

namespace {

// Milliseconds from the time of day, as the measurement has always used:
// its resolution is the system clock's.
long long ClockMs() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    return static_cast<long long>(t.QuadPart / 10000);
}

}  // namespace

ReadThroughput MeasureReads(IOPCSyncIO* io, OPCDATASOURCE source, const std::vector<OPCHANDLE>& handles,
                            long durationMs) {
    ReadThroughput result;
    result.items = static_cast<long>(handles.size());
    if (!io || handles.empty()) return result;
    const DWORD n = static_cast<DWORD>(handles.size());
    const long long start = ClockMs();
    const long long deadline = start + durationMs;
    long long end = start;
    do {
        {
            // Freeing an answer is part of what a request costs: it goes
            // before the clock is read.
            fw::TaskMemResults<OPCITEMSTATE, &OPCITEMSTATE::vDataValue> values;
            fw::TaskMemPtr<HRESULT> errors;
            const HRESULT hr =
                io->Read(source, n, const_cast<OPCHANDLE*>(handles.data()), values.put(n), fw::OutPtr(errors));
            // S_FALSE is an answer with item codes, not a failed request.
            if (FAILED(hr)) ++result.errors;
            if (IsConnectionLost(hr)) result.lostWith = hr;
        }
        ++result.requests;
        end = ClockMs();
        // A server that has gone answers at once, and forever: counting
        // those answers would measure nothing.
    } while (end < deadline && result.lostWith == S_OK);
    result.elapsedMs = static_cast<long>(end - start);
    return result;
}
