// The OPC server object: a document of the server program that loads a
// driver, holds the tag table and the group list, and answers IOPCServer.
#pragma once

#include "ClientWatch.h"
#include "ComObject.h"
#include "ConnectionPoint.h"
#include "ConnectionPointContainer.h"
#include "Group.h"
#include "Document.h"
#include "NoMembersDispatch.h"
#include "OpcInterfaces.h"
#include "RealItem.h"
#include "ServerContext.h"
#include "Sync.h"
#include "TagTable.h"
#include "TarnProtocol.h"

#include <atomic>
#include <string>
#include <vector>

class CGroup;
class CEnumer;

class CHalyardDoc final : public fw::Document,
                          public fw::ComObject<CHalyardDoc, IOPCServer, IOPCBrowseServerAddressSpace, IOPCCommon,
                                               IConnectionPointContainer, IOPCItemProperties,
                                               fw::NoMembersDispatch>,
                          public ServerContext {
public:
    CHalyardDoc();
    ~CHalyardDoc() override;

    // fw::Document
    bool OnNewDocument() override;
    void OnCloseDocument() override;
    // fw::ComObject: the last client reference closes the document.
    void OnFinalRelease();

    // The client process this server object was made for, watched so that
    // its end closes the object (0 = not known, not watched).
    void WatchClient(DWORD pid);
    DWORD ClientProcessId() const { return m_clientWatch.ProcessId(); }
    // The client process has ended: disconnect everything it held and close.
    void OnClientGone();

    // ServerContext
    IUnknown* ServerIdentity() override { return Identity(); }
    void AddTagEnumerator(CEnumer* enumerator) override { m_tagEnumerators.push_back(enumerator); }
    void RemoveTagEnumerator(CEnumer* enumerator) override;
    CRealItem* FirstTag() const override { return m_tags.First(); }
    CRealItem* FindTag(const wchar_t* itemId) const override;
    bool HasDriver() const override { return m_pfnTarnMain != nullptr; }
    void* DriverContext() const override { return m_pDriverContext; }
    DriverStatus SendToDriver(tarn::TarnRequest& request) override;
    bool DriverHeldByThisThread() const override;
    ServerBudget& Budget() override { return m_budget; }
    void AddWorkerUse() override { ++m_workerUses; }
    void ReleaseWorkerUse() override;
    void BeginModalCall() override { ++m_modalCalls; }
    void EndModalCall() override;
    bool CloseRequested() const override { return m_closeRequested || m_closing; }

    // Goes on with a close that waited for a call to return or for the
    // last worker to let go; nothing when none is due.  Main thread.
    void ResumeClose();

    HRESULT FindGroupByName(const wchar_t* name, CGroup** out) const;
    bool GroupNameInUse(const std::wstring& name) const override;
    HRESULT CloneGroup(CGroup& source, const wchar_t* name, REFIID riid, LPUNKNOWN* ppUnk) override;

    // Driver connection.
    void ReadServerDirectory();
    HRESULT LoadDriver(const char* path);
    HRESULT EnumerateTags(const char* path);
    HRESULT CreateTag(const char* name, int32_t accessRights, VARTYPE canonicalType, const char* address,
                      int32_t ioMode);
    const std::string& Label() const { return m_label; }
    const std::string& ServerDirectory() const { return m_serverDir; }

    // IOPCServer
    STDMETHODIMP AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate, OPCHANDLE hClientGroup,
                          LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD dwLCID, OPCHANDLE* phServerGroup,
                          DWORD* pRevisedUpdateRate, REFIID riid, LPUNKNOWN* ppUnk) override;
    STDMETHODIMP GetErrorString(HRESULT dwError, LCID dwLocale, LPWSTR* ppString) override;
    STDMETHODIMP GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) override;
    STDMETHODIMP GetStatus(OPCSERVERSTATUS** ppServerStatus) override;
    STDMETHODIMP RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) override;
    STDMETHODIMP CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN* ppUnk) override;

    // IOPCCommon
    STDMETHODIMP SetLocaleID(LCID dwLcid) override;
    STDMETHODIMP GetLocaleID(LCID* pdwLcid) override;
    STDMETHODIMP QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) override;
    STDMETHODIMP GetErrorString(HRESULT dwError, LPWSTR* ppString) override;
    STDMETHODIMP SetClientName(LPCWSTR szName) override;

    // IOPCItemProperties (the six standard properties of every tag)
    STDMETHODIMP QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount, DWORD** ppPropertyIDs,
                                          LPWSTR** ppDescriptions, VARTYPE** ppvtDataTypes) override;
    STDMETHODIMP GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs, VARIANT** ppvData,
                                   HRESULT** ppErrors) override;
    STDMETHODIMP LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs, LPWSTR** ppszNewItemIDs,
                               HRESULT** ppErrors) override;

    // IConnectionPointContainer (IOPCShutdown)
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // IOPCBrowseServerAddressSpace (a flat space: the tag names, no branches)
    STDMETHODIMP QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) override;
    STDMETHODIMP ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection, LPCWSTR szString) override;
    STDMETHODIMP BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, LPCWSTR szFilterCriteria,
                                  VARTYPE vtDataTypeFilter, DWORD dwAccessRightsFilter,
                                  LPENUMSTRING* ppIString) override;
    STDMETHODIMP GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) override;
    STDMETHODIMP BrowseAccessPaths(LPCWSTR szItemID, LPENUMSTRING* ppIString) override;

private:
    struct GroupStart;
    // Tells every client advised for IOPCShutdown that the object goes, and
    // lets go of their sinks.
    void NotifyShutdown();
    static DWORD WINAPI GroupThread(void* param);
    void RunGroupThread(GroupStart& start);
    std::wstring GenerateGroupName() const;
    // Makes a group on its own thread and lists it (see AddGroup).
    HRESULT CreateGroup(GroupSettings settings, CGroup** created);
    CGroup* LastGroup() const;

    // Group list (owning one reference per group) and handles.
    CGroup* m_pFirstGroup = nullptr;
    OPCHANDLE m_lastGroupHandle = 0;

    TagTable m_tags;
    FILETIME m_startTime{};
    tarn::TarnMainProc m_pfnTarnMain = nullptr;
    fw::UniqueHandle m_hGroupEvent;
    void* m_pDriverContext = nullptr;
    std::string m_label;
    std::string m_driverPath;
    std::string m_serverDir;
    ClientWatch m_clientWatch;
    std::vector<CEnumer*> m_tagEnumerators;
    bool m_closing = false;
    bool m_finalReleasing = false;

    // Deferred closing (see ServerContext): calls on the main thread's stack
    // that may run a message loop, and worker threads still using the tags.
    ServerBudget m_budget;
    int m_modalCalls = 0;
    bool m_closeRequested = false;
    std::atomic<long> m_workerUses{0};
    bool m_destroying = false;
    // Where the last worker's end is reported; read by worker threads.
    HWND m_resumeWindow = nullptr;

    // What a client told us through IOPCCommon, and the shutdown notices.
    LCID m_locale = 0x409;
    std::string m_baseTitle;
    fw::ComPtr<fw::ConnectionPoint<IOPCShutdown>> m_shutdownPoint;
    fw::ConnectionPointContainer m_points;
    bool m_clientGone = false;
};
