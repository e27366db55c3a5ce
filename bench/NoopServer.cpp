// bench_noop_server.exe: the yardstick of the cross-process figures.  A local
// server whose objects serve their calls from a single-threaded apartment
// with a message loop, as VELMORA_OPC does, and do no work of their own:
// IOPCServer::RemoveGroup returns at once (the empty call),
// IOPCSyncIO::Read answers with a reply of the requested size built without
// any lookup (what marshalling alone costs for a read of that size), and
// AddGroup makes a group whose subscriptions send streams of its size (see
// NoopGroup).  The process ends when its last object is released.
#include "ComObject.h"
#include "ComPtr.h"
#include "NoopGroup.h"
#include "NoopServerIdentity.h"
#include "OpcInterfaces.h"
#include "ServerProcess.h"
#include "TaskMem.h"

#include <objbase.h>

namespace {

using bench::NoopGroup;

class NoopServer final : public fw::ComObject<NoopServer, IOPCServer, IOPCSyncIO> {
public:
    // IOPCServer: AddGroup, and RemoveGroup as the empty call; nothing else
    // is used.
    STDMETHODIMP AddGroup(LPCWSTR, BOOL, DWORD dwRequestedUpdateRate, OPCHANDLE hClientGroup, LONG*, FLOAT*, DWORD,
                          OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate, REFIID riid, LPUNKNOWN* ppUnk) override {
        if (!phServerGroup || !ppUnk) return E_INVALIDARG;
        *phServerGroup = ++groups_;
        if (pRevisedUpdateRate) *pRevisedUpdateRate = dwRequestedUpdateRate;
        return fw::CreateInstance<NoopGroup>(riid, reinterpret_cast<void**>(ppUnk), dwRequestedUpdateRate,
                                             hClientGroup);
    }
    STDMETHODIMP GetErrorString(HRESULT, LCID, LPWSTR* ppString) override {
        if (ppString) *ppString = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetGroupByName(LPCWSTR, REFIID, LPUNKNOWN* ppUnk) override {
        if (ppUnk) *ppUnk = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetStatus(OPCSERVERSTATUS** ppServerStatus) override {
        if (ppServerStatus) *ppServerStatus = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP RemoveGroup(OPCHANDLE, BOOL) override { return S_OK; }
    STDMETHODIMP CreateGroupEnumerator(OPCENUMSCOPE, REFIID, LPUNKNOWN* ppUnk) override {
        if (ppUnk) *ppUnk = nullptr;
        return E_NOTIMPL;
    }

    // IOPCSyncIO: a good value per handle, typed as the benchmark driver's
    // tag with that handle (odd handles VT_I4, even ones VT_R8), so that the
    // reply has the shape of VELMORA_OPC's.
    STDMETHODIMP Read(OPCDATASOURCE, DWORD dwCount, OPCHANDLE* phServer, OPCITEMSTATE** ppItemValues,
                      HRESULT** ppErrors) override {
        if (!phServer || !ppItemValues || !ppErrors) return E_INVALIDARG;
        *ppItemValues = nullptr;
        *ppErrors = nullptr;
        if (dwCount == 0) return E_INVALIDARG;
        auto states = fw::TaskMemArray<OPCITEMSTATE>(dwCount);
        auto errors = fw::TaskMemArray<HRESULT>(dwCount);
        if (!states || !errors) return E_OUTOFMEMORY;
        FILETIME now;
        CoFileTimeNow(&now);
        for (DWORD i = 0; i < dwCount; ++i) {
            OPCITEMSTATE& s = states.get()[i];
            s.hClient = phServer[i];
            s.ftTimeStamp = now;
            s.wQuality = OPC_QUALITY_GOOD;
            if (phServer[i] % 2 == 1) {
                s.vDataValue.vt = VT_I4;
                s.vDataValue.lVal = static_cast<LONG>(phServer[i]);
            } else {
                s.vDataValue.vt = VT_R8;
                s.vDataValue.dblVal = phServer[i] * 0.5;
            }
            errors.get()[i] = S_OK;
        }
        *ppItemValues = states.release();
        *ppErrors = errors.release();
        return S_OK;
    }
    STDMETHODIMP Write(DWORD, OPCHANDLE*, VARIANT*, HRESULT** ppErrors) override {
        if (ppErrors) *ppErrors = nullptr;
        return E_NOTIMPL;
    }

private:
    testserver::ProcessReference processReference_;
    OPCHANDLE groups_ = 0;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    testserver::ServedClass served;
    served.clsid = bench::CLSID_BenchNoopServer;
    served.create = [](REFIID iid, void** out) { return fw::CreateInstance<NoopServer>(iid, out); };
    // A process per server object: a new one is never handed to a process
    // that is already ending.
    served.registration = REGCLS_SINGLEUSE;
    return testserver::Serve(served);
}
