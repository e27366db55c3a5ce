// The client side of a subscription for tests: an IAdviseSink in the test
// thread's apartment that keeps every stream it is sent, a sink for tests in
// the multithreaded apartment that counts, holds and acts, and a reader of
// the stream layout that trusts nothing the server wrote.
#pragma once

#include "ComObject.h"
#include "ComPtr.h"
#include "OpcInterfaces.h"
#include "Sync.h"
#include "UniqueHandle.h"

#include <objidl.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

// One item entry of a stream as the client reads it.
struct StreamEntry {
    OPCHANDLE hClient = 0;
    DWORD valueOffset = 0;
    WORD quality = 0;
    WORD reserved = 0;
    FILETIME time{};       // "OPCSTMFORMATDATATIME" only
    VARTYPE vt = VT_EMPTY; // the value's type and its 8 data bytes
    BYTE data[8] = {};
    LONG AsLong() const;
    double AsDouble() const;
    float AsFloat() const;
};

// A stream as received: the block's bytes, the format it came with, and
// the arrival time (GetTickCount).
struct ReceivedStream {
    CLIPFORMAT format = 0;
    DWORD tymed = 0;
    std::vector<BYTE> bytes;
    DWORD arrived = 0;

    // Header fields; 0 when the block is shorter than the header.
    DWORD Field(size_t offset) const;
    DWORD Size() const { return Field(0); }
    DWORD ItemCount() const { return Field(4); }
    DWORD ClientGroup() const { return Field(8); }
    DWORD TransactionId() const { return Field(12); }
    DWORD Status() const { return Field(16); }
    // Reads the entries; false (with a reason) when one lies outside the block.
    bool Entries(bool withTime, std::vector<StreamEntry>& out, std::string* why = nullptr) const;
};

class DataChangeSink final : public fw::ComObject<DataChangeSink, IAdviseSink> {
public:
    STDMETHODIMP_(void) OnDataChange(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override {}
    STDMETHODIMP_(void) OnRename(IMoniker*) override {}
    STDMETHODIMP_(void) OnSave() override {}
    STDMETHODIMP_(void) OnClose() override {}

    // Pumps this thread's messages until `count` streams have arrived in all,
    // or the time is up; true when they did.
    bool WaitFor(size_t count, DWORD timeoutMs);
    // Pumps messages for `ms` and returns how many streams came meanwhile.
    size_t CountArrivingWithin(DWORD ms);
    const std::vector<ReceivedStream>& Streams() const { return streams_; }
    size_t Count() const { return streams_.size(); }

private:
    std::vector<ReceivedStream> streams_;
};

// A sink for tests that run in the multithreaded apartment: its calls come on
// RPC threads, several at once when it serves several subscriptions, while
// the test goes on.  It counts them, keeps their arrival times, can hold each
// call inside (a slow client) and can act on the server from inside a call.
class CallbackSink final : public fw::ComObject<CallbackSink, IAdviseSink> {
public:
    static fw::ComPtr<CallbackSink> Create();

    STDMETHODIMP_(void) OnDataChange(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override {}
    STDMETHODIMP_(void) OnRename(IMoniker*) override {}
    STDMETHODIMP_(void) OnSave() override {}
    STDMETHODIMP_(void) OnClose() override {}

    // Runs at the start of every call with the call's number (from 1).  Set
    // it before the sink is advised; what it uses must be its own (captured
    // by value), since a late call may come after the test has moved on.
    void SetAction(std::function<void(size_t call)> action) { action_ = std::move(action); }
    // From now on every call waits inside until Resume(), or maxMs at most.
    void Hold(DWORD maxMs);
    void Resume();

    size_t Entered() const { return entered_; }
    size_t Finished() const { return finished_; }
    // Wait until `count` calls have come in, or have finished; false when the
    // time ran out first.
    bool WaitForEntered(size_t count, DWORD timeoutMs) const;
    bool WaitForFinished(size_t count, DWORD timeoutMs) const;
    // GetTickCount of every call's arrival so far.
    std::vector<DWORD> Arrivals() const;

private:
    CallbackSink();

    std::atomic<size_t> entered_{0};
    std::atomic<size_t> finished_{0};
    std::atomic<DWORD> holdMs_{0};
    fw::UniqueHandle resumed_;  // manual reset
    std::function<void(size_t)> action_;
    mutable fw::CriticalSection lock_;
    std::vector<DWORD> arrivals_;
};

// Resumes the sinks' held calls when the scope is left, however it is left:
// a held call keeps its subscription's update waiting in the server.
class ResumeOnExit {
public:
    explicit ResumeOnExit(std::vector<CallbackSink*> sinks) : sinks_(std::move(sinks)) {}
    ~ResumeOnExit() {
        for (CallbackSink* sink : sinks_) sink->Resume();
    }
    ResumeOnExit(const ResumeOnExit&) = delete;
    ResumeOnExit& operator=(const ResumeOnExit&) = delete;

private:
    std::vector<CallbackSink*> sinks_;
};

// Advises a sink on a group's IDataObject for streams of this format.
HRESULT AdviseSink(IUnknown* group, IAdviseSink* sink, DWORD* connection, CLIPFORMAT format);

// Registered clipboard formats of the three stream kinds.
CLIPFORMAT FormatData();
CLIPFORMAT FormatDataTime();
CLIPFORMAT FormatWriteComplete();

// A subscription made through IDataObject::DAdvise, undone when it goes.
class Subscription {
public:
    Subscription() = default;
    ~Subscription();
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;

    HRESULT Advise(IUnknown* group, CLIPFORMAT format);
    HRESULT Unadvise();
    DataChangeSink& Sink() { return *sink_; }
    DWORD Connection() const { return connection_; }

private:
    fw::ComPtr<IDataObject> data_;
    fw::ComPtr<DataChangeSink> sinkRef_;
    DataChangeSink* sink_ = nullptr;
    DWORD connection_ = 0;
};
