#include "DataChangeSink.h"

#include "WineTest.h"

#include <cstring>

namespace {

template <class T>
T ReadAt(const std::vector<BYTE>& bytes, size_t offset) {
    T value{};
    if (offset + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

}  // namespace

LONG StreamEntry::AsLong() const {
    LONG v;
    std::memcpy(&v, data, sizeof v);
    return v;
}

double StreamEntry::AsDouble() const {
    double v;
    std::memcpy(&v, data, sizeof v);
    return v;
}

float StreamEntry::AsFloat() const {
    float v;
    std::memcpy(&v, data, sizeof v);
    return v;
}

DWORD ReceivedStream::Field(size_t offset) const { return ReadAt<DWORD>(bytes, offset); }

bool ReceivedStream::Entries(bool withTime, std::vector<StreamEntry>& out, std::string* why) const {
    out.clear();
    const size_t entrySize = withTime ? 20 : 12;
    const DWORD count = ItemCount();
    for (DWORD i = 0; i < count; ++i) {
        const size_t at = 20 + i * entrySize;
        if (at + entrySize > bytes.size()) {
            if (why) *why = "entry " + std::to_string(i) + " runs past the block";
            return false;
        }
        StreamEntry e;
        e.hClient = ReadAt<DWORD>(bytes, at);
        e.valueOffset = ReadAt<DWORD>(bytes, at + 4);
        e.quality = ReadAt<WORD>(bytes, at + 8);
        e.reserved = ReadAt<WORD>(bytes, at + 10);
        if (withTime) e.time = ReadAt<FILETIME>(bytes, at + 12);
        if (static_cast<size_t>(e.valueOffset) + 16 > bytes.size()) {
            if (why) *why = "value " + std::to_string(i) + " lies outside the block";
            return false;
        }
        e.vt = ReadAt<VARTYPE>(bytes, e.valueOffset);
        std::memcpy(e.data, bytes.data() + e.valueOffset + 8, 8);
        out.push_back(e);
    }
    return true;
}

STDMETHODIMP_(void) DataChangeSink::OnDataChange(FORMATETC* format, STGMEDIUM* medium) {
    ReceivedStream stream;
    stream.arrived = GetTickCount();
    stream.format = format ? format->cfFormat : 0;
    stream.tymed = medium ? medium->tymed : 0;
    if (medium && medium->tymed == TYMED_HGLOBAL && medium->hGlobal) {
        const SIZE_T size = GlobalSize(medium->hGlobal);
        if (const void* p = GlobalLock(medium->hGlobal)) {
            stream.bytes.assign(static_cast<const BYTE*>(p), static_cast<const BYTE*>(p) + size);
            GlobalUnlock(medium->hGlobal);
        }
    }
    streams_.push_back(std::move(stream));
}

bool DataChangeSink::WaitFor(size_t count, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (streams_.size() < count) {
        if (GetTickCount() - start >= timeoutMs) return false;
        testsupport::PumpMessages(10);
    }
    return true;
}

size_t DataChangeSink::CountArrivingWithin(DWORD ms) {
    const size_t before = streams_.size();
    testsupport::PumpMessages(ms);
    return streams_.size() - before;
}

fw::ComPtr<CallbackSink> CallbackSink::Create() {
    fw::ComPtr<CallbackSink> sink;
    sink.attach(new CallbackSink);
    return sink;
}

CallbackSink::CallbackSink() : resumed_(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

STDMETHODIMP_(void) CallbackSink::OnDataChange(FORMATETC*, STGMEDIUM*) {
    const size_t call = ++entered_;
    {
        const fw::Lock hold(lock_);
        arrivals_.push_back(GetTickCount());
    }
    if (action_) action_(call);
    if (const DWORD ms = holdMs_) WaitForSingleObject(resumed_.get(), ms);
    ++finished_;
}

void CallbackSink::Hold(DWORD maxMs) {
    ResetEvent(resumed_.get());
    holdMs_ = maxMs;
}

void CallbackSink::Resume() {
    holdMs_ = 0;
    SetEvent(resumed_.get());
}

namespace {

bool WaitForCount(const std::atomic<size_t>& counter, size_t count, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (counter < count) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(10);
    }
    return true;
}

}  // namespace

bool CallbackSink::WaitForEntered(size_t count, DWORD timeoutMs) const {
    return WaitForCount(entered_, count, timeoutMs);
}

bool CallbackSink::WaitForFinished(size_t count, DWORD timeoutMs) const {
    return WaitForCount(finished_, count, timeoutMs);
}

std::vector<DWORD> CallbackSink::Arrivals() const {
    const fw::Lock hold(lock_);
    return arrivals_;
}

HRESULT AdviseSink(IUnknown* group, IAdviseSink* sink, DWORD* connection, CLIPFORMAT format) {
    fw::ComPtr<IDataObject> data;
    const HRESULT hr = group->QueryInterface(IID_IDataObject, data.put_void());
    if (FAILED(hr)) return hr;
    FORMATETC fe{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return data->DAdvise(&fe, 0, sink, connection);
}

CLIPFORMAT FormatData() { return static_cast<CLIPFORMAT>(RegisterClipboardFormatA("OPCSTMFORMATDATA")); }
CLIPFORMAT FormatDataTime() { return static_cast<CLIPFORMAT>(RegisterClipboardFormatA("OPCSTMFORMATDATATIME")); }
CLIPFORMAT FormatWriteComplete() {
    return static_cast<CLIPFORMAT>(RegisterClipboardFormatA("OPCSTMFORMATWRITECOMPLETE"));
}

Subscription::~Subscription() { Unadvise(); }

HRESULT Subscription::Advise(IUnknown* group, CLIPFORMAT format) {
    HRESULT hr = group->QueryInterface(IID_IDataObject, data_.put_void());
    if (FAILED(hr)) return hr;
    sink_ = new DataChangeSink;
    sinkRef_.attach(sink_);
    FORMATETC fe{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return data_->DAdvise(&fe, ADVF_PRIMEFIRST, sink_, &connection_);
}

HRESULT Subscription::Unadvise() {
    if (!data_ || !connection_) return S_FALSE;
    const HRESULT hr = data_->DUnadvise(connection_);
    connection_ = 0;
    return hr;
}
