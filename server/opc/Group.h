// An OPC group: the client's set of items with its state, its own thread,
// and the item management and synchronous I/O interfaces.
#pragma once

#include "ComObject.h"
#include "ConnectionPoint.h"
#include "ConnectionPointContainer.h"
#include "GlobalMemory.h"
#include "DataStream.h"
#include "Item.h"
#include "ItemList.h"
#include "NoMembersDispatch.h"
#include "OpcInterfaces.h"
#include "Sync.h"
#include "UniqueHandle.h"

#include <atomic>
#include <string>
#include <utility>
#include <vector>

class ServerContext;
class CAdviseConnection;
class CCallbackConnection;
class CallbackValues;

// Group names are kept in 200 wide characters, terminator included.
constexpr size_t kMaxGroupName = 199;

struct GroupSettings {
    std::wstring name;
    BOOL active = FALSE;
    DWORD updateRate = 0;
    OPCHANDLE hClientGroup = 0;
    LONG timeBias = 0;
    FLOAT percentDeadband = 0.0f;
    LCID lcid = 0;
    OPCHANDLE hServerGroup = 0;
};

class CGroup final : public fw::ComObject<CGroup, IDataObject, IOPCItemMgt, IOPCGroupStateMgt, IOPCSyncIO,
                                          IOPCAsyncIO, IOPCAsyncIO2, IConnectionPointContainer,
                                          fw::NoMembersDispatch>,
                     private fw::ConnectionObserver<IOPCDataCallback> {
public:
    CGroup();
    ~CGroup() override;

    void Initialize(const GroupSettings& settings, ServerContext* server);
    // The thread that serves the group's calls; the group owns it from then on.
    void AttachThread(fw::UniqueHandle thread, DWORD threadId);
    // The group leaves its server object: its subscriptions end, its thread
    // is asked to quit and joined, and the link to the server is cut, so
    // clients that still hold the group get E_FAIL.  Called on a thread
    // other than the group's own.
    void Shutdown();

    const std::wstring& Name() const { return m_settings.name; }
    OPCHANDLE ServerHandle() const { return m_settings.hServerGroup; }
    const GroupSettings& Settings() const { return m_settings; }
    CItem* FirstItem();
    CItem* FirstItemLocked() const { return m_items.First(); }
    size_t ItemCount();

    // Refreshes the tags behind the handles through one block read.
    HRESULT DeviceRead(DWORD count, const OPCHANDLE* handles);

    // Data-change streams.
    StreamKind KindOf(CLIPFORMAT format) const;
    DWORD ActiveItemCount();
    // Server handles of the active items, in list order.
    HRESULT ActiveHandles(std::vector<OPCHANDLE>& handles);
    // One device read of every active item.
    HRESULT ReadActiveItems();
    // One subscription cycle: reads the active tags and, when any item
    // changed, hands back a stream of the changed items in a block of its
    // own, remembering what was sent.  *changed is the stream's item count.
    // An inactive group sends nothing.
    HRESULT SubscriptionCycle(StreamKind kind, fw::UniqueGlobal& stream, DWORD* changed);
    // A stream of the items behind the handles, in their order, as the
    // completion of an asynchronous request numbered transactionId; the
    // items' change state stays.
    HRESULT StreamForHandles(StreamKind kind, DWORD count, const OPCHANDLE* handles, DWORD transactionId,
                             fw::UniqueGlobal& stream);
    // Adds items like those of source (tag, active state, client handle,
    // requested type, blob), for a clone.
    HRESULT CopyItemsFrom(CGroup& source);
    // Ends every subscription (group removal) without waiting for them.
    void RemoveAllConnections();
    bool HasSubscriptions() const { return m_pFirstConnection || m_callback; }
    // Cuts off every client of the group and of its connection point: their
    // process has died, and COM would keep their references for ever.
    void DisconnectClients();

    // Subscriptions hold the group as well as clients do; they say so, so
    // that the group can tell whether a client still holds it.
    void AddWorkerHold() {
        Identity()->AddRef();
        ++m_workerHolds;
    }
    void ReleaseWorkerHold() {
        --m_workerHolds;
        Identity()->Release();
    }
    // True when references other than the server's list and the workers'
    // exist: a client (or a call on the stack) still holds the group.
    bool HeldByClients();

    // The data callback's side: the changes of one cycle, tested against
    // what the callback last sent with the group's deadband, and the
    // values of the items behind the handles for a read or refresh.  Both
    // count what they give as sent.
    HRESULT CollectCallbackChanges(CallbackValues& changes);
    HRESULT CollectCallbackValues(const std::vector<OPCHANDLE>& handles, CallbackValues& values);

    // The group's item list may be walked by worker threads: every change
    // and every walk holds this lock.
    fw::CriticalSection& ItemLock() { return m_itemLock; }
    // First item whose server handle matches; call with ItemLock held.
    CItem* FindItemLocked(OPCHANDLE handle) const;

    // IDataObject
    STDMETHODIMP GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) override;
    STDMETHODIMP GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) override;
    STDMETHODIMP QueryGetData(FORMATETC* pformatetc) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) override;
    STDMETHODIMP SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium, BOOL fRelease) override;
    STDMETHODIMP EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) override;
    STDMETHODIMP DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    STDMETHODIMP DUnadvise(DWORD dwConnection) override;
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** ppenumAdvise) override;

    // IOPCItemMgt
    STDMETHODIMP AddItems(DWORD dwCount, OPCITEMDEF* pItemArray, OPCITEMRESULT** ppAddResults,
                          HRESULT** ppErrors) override;
    STDMETHODIMP ValidateItems(DWORD dwCount, OPCITEMDEF* pItemArray, BOOL bBlobUpdate,
                               OPCITEMRESULT** ppValidationResults, HRESULT** ppErrors) override;
    STDMETHODIMP RemoveItems(DWORD dwCount, OPCHANDLE* phServer, HRESULT** ppErrors) override;
    STDMETHODIMP SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive, HRESULT** ppErrors) override;
    STDMETHODIMP SetClientHandles(DWORD dwCount, OPCHANDLE* phServer, OPCHANDLE* phClient,
                                  HRESULT** ppErrors) override;
    STDMETHODIMP SetDatatypes(DWORD dwCount, OPCHANDLE* phServer, VARTYPE* pRequestedDatatypes,
                              HRESULT** ppErrors) override;
    STDMETHODIMP CreateEnumerator(REFIID riid, LPUNKNOWN* ppUnk) override;

    // IOPCGroupStateMgt
    STDMETHODIMP GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName, LONG* pTimeBias,
                          FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup,
                          OPCHANDLE* phServerGroup) override;
    STDMETHODIMP SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate, BOOL* pActive, LONG* pTimeBias,
                          FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup) override;
    STDMETHODIMP SetName(LPCWSTR szName) override;
    STDMETHODIMP CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) override;

    // IOPCSyncIO
    STDMETHODIMP Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer, OPCITEMSTATE** ppItemValues,
                      HRESULT** ppErrors) override;
    STDMETHODIMP Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, HRESULT** ppErrors) override;

    // IOPCAsyncIO
    STDMETHODIMP Read(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer,
                      DWORD* pTransactionID, HRESULT** ppErrors) override;
    STDMETHODIMP Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                       DWORD* pTransactionID, HRESULT** ppErrors) override;
    STDMETHODIMP Refresh(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD* pTransactionID) override;
    STDMETHODIMP Cancel(DWORD dwTransactionID) override;

    // IOPCAsyncIO2
    STDMETHODIMP Read(DWORD dwCount, OPCHANDLE* phServer, DWORD dwTransactionID, DWORD* pdwCancelID,
                      HRESULT** ppErrors) override;
    STDMETHODIMP Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, DWORD dwTransactionID,
                       DWORD* pdwCancelID, HRESULT** ppErrors) override;
    STDMETHODIMP Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID, DWORD* pdwCancelID) override;
    STDMETHODIMP Cancel2(DWORD dwCancelID) override;
    STDMETHODIMP SetEnable(BOOL bEnable) override;
    STDMETHODIMP GetEnable(BOOL* pbEnable) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // Link of the server's group list.
    CGroup* m_pNext = nullptr;

private:
    // The stream counter's next value; every stream of the group takes one.
    DWORD NextStreamId() { return static_cast<DWORD>(InterlockedIncrement(&m_streamCounter) - 1); }
    class StreamItems;
    HRESULT WriteStream(StreamKind kind, void* data, size_t size, DWORD dwSize, DWORD transactionId,
                        const StreamItems& items);
    HRESULT BuildStream(StreamKind kind, DWORD sizedFor, DWORD transactionId, const StreamItems& items,
                        fw::UniqueGlobal& stream);
    CAdviseConnection* FindConnection(DWORD number) const;
    // Takes a subscription out of service (it is already unlinked).
    static void EndConnection(CAdviseConnection* connection);
    // An asynchronous read of the handles through a subscription; the
    // completion stream carries the number handed to the client.
    HRESULT StartTransaction(DWORD connection, OPCDATASOURCE source, DWORD count, const OPCHANDLE* handles,
                             DWORD* transactionId);
    // Writes the values to the items behind the handles, one driver request
    // each, filling errors (and client handles, where asked); S_FALSE when
    // any item failed.  Runs on the thread that serves the group's calls.
    // One value written to the tag, converted to its type first.
    HRESULT WriteConverted(CRealItem& tag, const VARIANT& value) const;
    HRESULT WriteItems(DWORD count, const OPCHANDLE* handles, const VARIANT* values, HRESULT* errors,
                       OPCHANDLE* clientHandles);
    // The handles this group knows, and their values where given; errors
    // get S_OK or OPC_E_INVALIDHANDLE per handle.
    HRESULT SplitKnownHandles(DWORD count, const OPCHANDLE* handles, const VARIANT* values, HRESULT* errors,
                              std::vector<OPCHANDLE>& known, std::vector<VARIANT>& knownValues);

    // The data callback's connection point and its subscription.
    void InitializeCallbackPoint();
    HRESULT OnAdvise(DWORD cookie, IOPCDataCallback* sink) override;
    void OnUnadvise(DWORD cookie) override;
    void EndCallback();

    // One new item for AddItems: S_OK, or E_OUTOFMEMORY when the server
    // object's budget or the process has no room for it.
    HRESULT AddItem(const OPCITEMDEF& def, CRealItem* tag, OPCHANDLE* handle);
    // The handle of a new item of the tag (see CItem::ServerHandle).
    OPCHANDLE NewItemHandleLocked(const CRealItem& tag);
    void ReturnToBudget(const CItem& item);
    HRESULT ResolveItems(DWORD count, const OPCITEMDEF* defs, bool add, OPCITEMRESULT** results,
                         HRESULT** errors);
    void FreeItems();

    void DetachServer();

    GroupSettings m_settings;
    // The items a subscription cycle found changed, with the readings it
    // tested: kept between cycles so that a cycle allocates nothing.  Under
    // the item lock, like the list.
    std::vector<std::pair<CItem*, TagReading>> m_cycleChanges;
    fw::UniqueHandle m_thread;
    DWORD m_threadId = 0;
    ServerContext* m_pServer = nullptr;
    ItemList m_items;
    fw::CriticalSection m_itemLock;

    // Subscriptions, in the order they were made.  Only the thread that
    // serves the group's calls changes or searches this list.
    CAdviseConnection* m_pFirstConnection = nullptr;
    DWORD m_lastConnection = 0;
    volatile LONG m_streamCounter = 0;

    // One data callback at most; like the list above, only the thread that
    // serves the group's calls changes it.
    fw::ComPtr<fw::ConnectionPoint<IOPCDataCallback>> m_callbackPoint;
    fw::ConnectionPointContainer m_points;
    CCallbackConnection* m_callback = nullptr;
    std::atomic<bool> m_callbacksEnabled{true};
    std::atomic<long> m_workerHolds{0};
    OPCHANDLE m_nextExtraHandle = kFirstExtraItemHandle;
};
