#include "NoopGroup.h"

#include "CycleSchedule.h"
#include "DataStream.h"
#include "GlobalMemory.h"
#include "TaskMem.h"

#include <cstring>

namespace bench {

// One subscription's thread: a stream of the group's active items every
// update period, counted from when each was due.
class NoopSubscription {
public:
    NoopSubscription(NoopGroup& group, DWORD number) : group_(group), number_(number) {}
    ~NoopSubscription() {
        if (thread_) {
            SetEvent(stop_.get());
            WaitForSingleObject(thread_.get(), INFINITE);
        }
    }
    NoopSubscription(const NoopSubscription&) = delete;
    NoopSubscription& operator=(const NoopSubscription&) = delete;

    DWORD Number() const { return number_; }

    HRESULT Start(const FORMATETC& format, IAdviseSink* sink) {
        format_ = format;
        format_.ptd = nullptr;
        HRESULT hr = CoMarshalInterThreadInterfaceInStream(IID_IAdviseSink, sink, marshalledSink_.put());
        if (FAILED(hr)) return hr;
        stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!stop_) return E_OUTOFMEMORY;
        thread_.reset(CreateThread(nullptr, 256 * 1024, Thread, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
        return thread_ ? S_OK : E_OUTOFMEMORY;
    }

private:
    static DWORD WINAPI Thread(void* param) {
        static_cast<NoopSubscription*>(param)->Run();
        return 0;
    }

    void Run() {
        const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        fw::ComPtr<IAdviseSink> sink;
        if (IStream* stream = marshalledSink_.detach())
            if (FAILED(CoGetInterfaceAndReleaseStream(stream, IID_IAdviseSink, sink.put_void()))) sink.reset();
        CycleSchedule schedule;
        do {
            if (const DWORD n = group_.ActiveItems()) Send(sink.get(), n);
        } while (WaitForSingleObject(stop_.get(), schedule.NextWait(group_.UpdateRate())) != WAIT_OBJECT_0);
        sink.reset();
        if (SUCCEEDED(init)) CoUninitialize();
    }

    void Send(IAdviseSink* sink, DWORD n) {
        const DWORD size = StreamBlockSize(StreamKind::DataTime, n);
        const fw::UniqueGlobal block(GlobalAlloc(GPTR, size));
        if (!block || !sink) return;
        StreamWriter writer(GlobalLock(block.get()), size, StreamKind::DataTime);
        writer.WriteHeader(size, n, group_.ClientGroup(), sent_++);
        FILETIME now;
        CoFileTimeNow(&now);
        for (DWORD i = 0; i < n; ++i) {
            VARIANT value;
            std::memset(&value, 0, sizeof value);
            value.vt = VT_I4;
            value.lVal = static_cast<LONG>(sent_ + i);
            writer.WriteEntry(i, i + 1, OPC_QUALITY_GOOD, now, value);
        }
        GlobalUnlock(block.get());
        STGMEDIUM medium{};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = block.get();
        sink->OnDataChange(&format_, &medium);
    }

    NoopGroup& group_;
    DWORD number_;
    FORMATETC format_{};
    DWORD sent_ = 0;
    fw::ComPtr<IStream> marshalledSink_;
    fw::UniqueHandle stop_;
    fw::UniqueHandle thread_;
};

NoopGroup::NoopGroup(DWORD updateRate, OPCHANDLE clientGroup) : updateRate_(updateRate), clientGroup_(clientGroup) {}

NoopGroup::~NoopGroup() = default;

STDMETHODIMP NoopGroup::AddItems(DWORD dwCount, OPCITEMDEF* pItemArray, OPCITEMRESULT** ppAddResults,
                                 HRESULT** ppErrors) {
    if (!pItemArray || !ppAddResults || !ppErrors || dwCount == 0) return E_INVALIDARG;
    auto results = fw::TaskMemArray<OPCITEMRESULT>(dwCount);
    auto errors = fw::TaskMemArray<HRESULT>(dwCount);
    if (!results || !errors) return E_OUTOFMEMORY;
    for (DWORD i = 0; i < dwCount; ++i) {
        results.get()[i].hServer = items_ + i + 1;
        results.get()[i].vtCanonicalDataType = VT_I4;
        results.get()[i].dwAccessRights = OPC_READABLE | OPC_WRITEABLE;
        errors.get()[i] = S_OK;
    }
    items_ += dwCount;
    active_ = pItemArray[0].bActive != FALSE;
    *ppAddResults = results.release();
    *ppErrors = errors.release();
    return S_OK;
}

STDMETHODIMP NoopGroup::SetActiveState(DWORD dwCount, OPCHANDLE*, BOOL bActive, HRESULT** ppErrors) {
    if (!ppErrors || dwCount == 0) return E_INVALIDARG;
    auto errors = fw::TaskMemArray<HRESULT>(dwCount);
    if (!errors) return E_OUTOFMEMORY;
    active_ = bActive != FALSE;
    *ppErrors = errors.release();  // zero-filled: S_OK for each
    return S_OK;
}

STDMETHODIMP NoopGroup::DAdvise(FORMATETC* pformatetc, DWORD, IAdviseSink* pAdvSink, DWORD* pdwConnection) {
    if (!pformatetc || !pAdvSink || !pdwConnection) return E_INVALIDARG;
    auto subscription = std::make_unique<NoopSubscription>(*this, static_cast<DWORD>(subscriptions_.size() + 1));
    const HRESULT hr = subscription->Start(*pformatetc, pAdvSink);
    if (FAILED(hr)) return hr;
    *pdwConnection = subscription->Number();
    subscriptions_.push_back(std::move(subscription));
    return S_OK;
}

STDMETHODIMP NoopGroup::DUnadvise(DWORD dwConnection) {
    for (auto it = subscriptions_.begin(); it != subscriptions_.end(); ++it) {
        if ((*it)->Number() != dwConnection) continue;
        subscriptions_.erase(it);
        return S_OK;
    }
    return E_FAIL;
}

}  // namespace bench
