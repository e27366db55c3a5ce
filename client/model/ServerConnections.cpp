#include "ServerConnections.h"

#include "AdviseSink.h"
#include "ConnectionLoss.h"
#include "DataCallback.h"
#include "MtaServer.h"
#include "ShutdownSink.h"
#include "ComPtr.h"
#include "RegistryKey.h"
#include "TaskMem.h"
#include "TaskMemResults.h"
#include "ValueText.h"

#include <algorithm>
#include <memory>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

// A browse position deeper than this is a server that never stops saying
// "down": the walk ends there instead of recursing without end.
constexpr int kMaxBrowseDepth = 32;

CLIPFORMAT DataTimeFormat() {
    static const CLIPFORMAT format = static_cast<CLIPFORMAT>(RegisterClipboardFormatA("OPCSTMFORMATDATATIME"));
    return format;
}

std::string WithCode(const char* text, HRESULT hr) { return std::string(text) + " (HR = " + HresultText(hr) + ")"; }

// Calls Next one name at a time, as servers that ignore celt expect.
template <class Visit>
void ForEachName(IEnumString* names, Visit visit) {
    for (;;) {
        LPOLESTR name = nullptr;
        ULONG fetched = 0;
        const HRESULT hr = names->Next(1, &name, &fetched);
        fw::TaskMemPtr<wchar_t> owner(name);
        if (FAILED(hr) || fetched != 1 || !name) return;
        visit(name);
        if (hr != S_OK) return;
    }
}

}  // namespace

namespace {

void WalkBelow(IOPCBrowseServerAddressSpace* browse, const std::function<void(const std::string&)>& leaf,
               int depth, size_t* unrepresentable) {
    fw::ComPtr<IEnumString> branches;
    if (depth < kMaxBrowseDepth && browse->BrowseOPCItemIDs(OPC_BRANCH, L"", VT_EMPTY, 0, branches.put()) == S_OK &&
        branches) {
        ForEachName(branches.get(), [&](const wchar_t* name) {
            if (browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, name) != S_OK) return;
            WalkBelow(browse, leaf, depth + 1, unrepresentable);
            browse->ChangeBrowsePosition(OPC_BROWSE_UP, L"");
        });
    }
    fw::ComPtr<IEnumString> leaves;
    if (browse->BrowseOPCItemIDs(OPC_LEAF, L"", VT_EMPTY, 0, leaves.put()) != S_OK || !leaves) return;
    leaves->Reset();
    ForEachName(leaves.get(), [&](const wchar_t* name) {
        LPWSTR itemId = nullptr;
        if (FAILED(browse->GetItemID(const_cast<LPWSTR>(name), &itemId)) || !itemId) return;
        fw::TaskMemPtr<wchar_t> owner(itemId);
        const std::string text = WideToUtf8(itemId);
        if (Utf8ToExactAnsi(text))
            leaf(text);
        else if (unrepresentable)
            ++*unrepresentable;
    });
}

}  // namespace

void ForEachItemIdBelow(IOPCBrowseServerAddressSpace* browse, const std::function<void(const std::string&)>& leaf,
                        size_t* unrepresentable) {
    if (browse) WalkBelow(browse, leaf, 0, unrepresentable);
}

namespace {

// The start of an ID for a message: enough to recognise it.
std::string IdForMessage(const std::string& itemId) { return TextForMessage(itemId, 40); }

// Why a document could not keep this ID, for the message of a refused add.
std::string WhyNotKept(const std::string& itemId, const FieldCheck& check) {
    if (check.fit == FieldFit::NotAnsi)
        return "The item ID \"" + IdForMessage(itemId) +
               "\" has characters that a document cannot keep (outside the ANSI code page): the item was not added";
    return "The item ID \"" + IdForMessage(itemId) + "\" is " + std::to_string(check.ansiBytes) +
           " bytes long; a document keeps at most " + std::to_string(kTextFieldSize) + ": the item was not added";
}

// "1 item ID is ... and was not added" / "3 item IDs are ... and were not added".
std::string CountedRefusal(size_t count, const std::string& what) {
    return std::to_string(count) + (count == 1 ? " item ID " : " item IDs ") + (count == 1 ? "is " : "are ") + what +
           " and " + (count == 1 ? "was" : "were") + " not added";
}

}  // namespace

std::string HresultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "%lX", static_cast<unsigned long>(hr));
    return text;
}

ServerConnections::~ServerConnections() { DisconnectAll(); }

void ServerConnections::ReplaceTable(ServerTable table) {
    DisconnectAll();
    table_ = std::move(table);
}

CServer* ServerConnections::Entry(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= table_.size()) return nullptr;
    return table_[static_cast<size_t>(index)].get();
}

int ServerConnections::FindServerByNode(NodeHandle node) const {
    if (node == 0) return -1;
    for (size_t i = 0; i < table_.size(); ++i)
        if (table_[i]->m_node == node) return static_cast<int>(i);
    return -1;
}

CGroup* ServerConnections::FindGroupByNode(int index, NodeHandle node) const {
    CServer* entry = Entry(index);
    if (!entry || node == 0) return nullptr;
    for (const auto& group : entry->m_groups)
        if (group->m_node == node) return group.get();
    return nullptr;
}

HRESULT ServerConnections::CreateServerObject(const std::string& clsidText, IUnknown** out) {
    CLSID clsid;
    const HRESULT parsed = CLSIDFromString(Utf8ToWide(clsidText).c_str(), &clsid);
    if (FAILED(parsed)) return parsed;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                            reinterpret_cast<void**>(out));
}

void ServerConnections::RecordConnection(CServer& entry, fw::ComPtr<IUnknown> server, const std::string& clsidText) {
    entry.m_node = ui_.InsertConnectionNode(entry.m_progId);
    entry.m_pServer = std::move(server);
    // Now, while the server answers: the proxy is marshalled, which may ask
    // the server.  A failure leaves only the time-limited tools without the
    // server, and they say so.
    entry.m_mta = MtaServer::Make(entry.m_pServer.get(), kUserCallLimitMs, nullptr);
    entry.m_clsidText = clsidText;  // a CLSID's text: 38 ASCII characters
    entry.m_lost = false;
    AdviseShutdown(entry);
}

void ServerConnections::AdviseShutdown(CServer& entry) {
    fw::ComPtr<IConnectionPointContainer> container;
    if (FAILED(entry.m_pServer->QueryInterface(IID_IConnectionPointContainer, container.put_void()))) return;
    fw::ComPtr<IConnectionPoint> point;
    if (FAILED(container->FindConnectionPoint(IID_IOPCShutdown, point.put())) || !point) return;
    fw::ComPtr<CShutdownSink> sink;
    CServer* target = &entry;
    sink.attach(new CShutdownSink([this, target](const std::string& reason) {
        MarkLost(*target, target->m_progId + " is shutting down (\"" + reason +
                              "\"): its values are no longer updated");
    }));
    DWORD cookie = 0;
    if (FAILED(point->Advise(sink.get(), &cookie))) return;
    entry.m_pShutdownSink = std::move(sink);
    entry.m_shutdownPoint = std::move(point);
    entry.m_shutdownCookie = cookie;
}

HRESULT ServerConnections::Connect(int index) {
    CServer* entry = Entry(index);
    if (!entry) {
        ui_.UpdateViews();
        return E_INVALIDARG;
    }
    fw::UniqueRegKey key;
    if (const LONG opened = fw::OpenRegKey(HKEY_CLASSES_ROOT, entry->m_progId.c_str(), KEY_READ, key);
        opened != ERROR_SUCCESS) {
        ui_.UpdateViews();
        return HRESULT_FROM_WIN32(opened);
    }
    char clsidText[kTextFieldSize] = {};
    DWORD size = sizeof clsidText;
    if (const LONG read = RegGetValueA(key.get(), "CLSID", nullptr, RRF_RT_REG_SZ, nullptr, clsidText, &size);
        read != ERROR_SUCCESS) {
        ui_.UpdateViews();
        return HRESULT_FROM_WIN32(read);
    }

    fw::ComPtr<IUnknown> server;
    if (const HRESULT created = CreateServerObject(clsidText, server.put()); FAILED(created)) {
        ui_.ShowMessage("CoCreateInstance");
        return created;
    }
    if (entry->m_node) {
        // One connection per entry; the object just made goes again.
        ui_.ShowMessage("Can't open server");
        ui_.UpdateViews();
        return S_FALSE;
    }
    RecordConnection(*entry, std::move(server), clsidText);
    fw::ComPtr<IOPCServer> opc;
    const HRESULT hr = entry->m_pServer->QueryInterface(IID_IOPCServer, opc.put_void());
    if (FAILED(hr)) {
        ui_.ShowMessage(WithCode("Query Interface error", hr));
        return hr;
    }
    ui_.UpdateViews();
    return S_OK;
}

void ServerConnections::Subscribe(IDataObject* data, CGroup& group) {
    fw::ComPtr<CAdviseSink> sink;
    sink.attach(new CAdviseSink([this](CGroup& changed) { ui_.ItemsChanged(changed); }));
    FORMATETC format{DataTimeFormat(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    DWORD connection = 0;
    const HRESULT hr = data->DAdvise(&format, ADVF_PRIMEFIRST, sink.get(), &connection);
    if (FAILED(hr)) {
        // The group is kept: it still reads and writes.
        ui_.ShowMessage("Group \"" + group.m_name + "\": the server refused the subscription (HR = " + HresultText(hr) +
                        "); its values show when they are read");
        return;
    }
    group.m_adviseConnection = connection;
    group.m_pSink = std::move(sink);  // the group's own reference, given back when it goes
}

HRESULT ServerConnections::MakeGroupOnServer(CServer& entry, CGroup& group, DWORD requestedRate,
                                             HRESULT* failedStep) {
    *failedStep = S_OK;
    fw::ComPtr<IOPCServer> server;
    HRESULT hr = entry.m_pServer ? entry.m_pServer->QueryInterface(IID_IOPCServer, server.put_void()) : E_POINTER;
    if (FAILED(hr)) {
        *failedStep = hr;
        return E_NOINTERFACE;
    }
    const std::wstring name = Utf8ToWide(group.m_name);
    OPCHANDLE hServerGroup = 0;
    DWORD revisedRate = 0;
    FLOAT deadband = group.m_percentDeadband;
    fw::ComPtr<IOPCItemMgt> items;
    hr = server->AddGroup(name.c_str(), TRUE, requestedRate, 1, nullptr, &deadband, 0, &hServerGroup, &revisedRate,
                          IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN*>(items.put()));
    if (FAILED(hr) || !items) {
        *failedStep = FAILED(hr) ? hr : E_POINTER;
        return E_FAIL;
    }
    // The group must answer to the name the model keeps (the tools find it
    // by that name).  A group the server named otherwise is not kept, and
    // is not left behind on the server either.
    fw::ComPtr<IUnknown> named;
    hr = server->GetGroupByName(name.c_str(), IID_IUnknown, named.put());
    if (hr != S_OK || !named) {
        *failedStep = FAILED(hr) ? hr : E_FAIL;
        server->RemoveGroup(hServerGroup, TRUE);
        return E_UNEXPECTED;
    }
    group.m_hServerGroup = hServerGroup;
    group.m_updateRate = revisedRate;
    group.m_pItemMgt = std::move(items);
    // The OPC 1.0 stream where the group offers it; otherwise (or first,
    // when asked for) the OPC 2.0 data callback; a group with neither still
    // reads and writes.
    fw::ComPtr<IDataObject> data;
    if (group.m_preferDataCallback && SubscribeCallback(named.get(), group)) return S_OK;
    if (SUCCEEDED(named->QueryInterface(IID_IDataObject, data.put_void())) && data)
        Subscribe(data.get(), group);
    else if (group.m_preferDataCallback || !SubscribeCallback(named.get(), group))
        ui_.ShowMessage("Group \"" + group.m_name +
                        "\": the server sends no data changes for it; its values show when they are read");
    return S_OK;
}

bool ServerConnections::SubscribeCallback(IUnknown* groupObject, CGroup& group) {
    fw::ComPtr<IConnectionPointContainer> container;
    if (FAILED(groupObject->QueryInterface(IID_IConnectionPointContainer, container.put_void()))) return false;
    fw::ComPtr<IConnectionPoint> point;
    if (FAILED(container->FindConnectionPoint(IID_IOPCDataCallback, point.put())) || !point) return false;
    fw::ComPtr<CDataCallback> callback;
    callback.attach(new CDataCallback([this](CGroup& changed) { ui_.ItemsChanged(changed); }));
    // Values may come while Advise is still running: the sink must know
    // its group before.
    callback->SetGroup(&group);
    DWORD cookie = 0;
    if (FAILED(point->Advise(callback.get(), &cookie))) {
        callback->DetachGroup();
        return false;
    }
    group.m_pCallback = std::move(callback);
    group.m_callbackPoint = std::move(point);
    group.m_callbackCookie = cookie;
    return true;
}

void ServerConnections::CreateGroup(int index, const GroupParameters& parameters) {
    CServer* entry = Entry(index);
    if (!entry) {
        ui_.ShowMessage(WithCode("Query Interface error", E_POINTER));
        return;
    }
    // The name goes into a document field: one that does not fit would be
    // saved changed and name no group on the server when reopened.
    const FieldCheck nameCheck = CheckDocumentField(parameters.name);
    if (nameCheck.fit != FieldFit::Fits) {
        ui_.ShowMessage("The group name \"" + TextForMessage(parameters.name, 40) + "\" " +
                        (nameCheck.fit == FieldFit::NotAnsi
                             ? "has characters that a document cannot keep (outside the ANSI code page)"
                             : "is " + std::to_string(nameCheck.ansiBytes) + " bytes long; a document keeps at most " +
                                   std::to_string(kTextFieldSize)) +
                        ": the group was not added");
        return;
    }
    auto group = std::make_unique<CGroup>();
    group->m_name = parameters.name;
    group->m_active = parameters.active;
    group->m_timeBias = parameters.timeBias;
    group->m_percentDeadband = parameters.percentDeadband;
    group->m_localeId = parameters.localeId;
    group->m_preferDataCallback = parameters.preferDataCallback;
    HRESULT step = S_OK;
    const HRESULT made = MakeGroupOnServer(*entry, *group, parameters.updateRate, &step);
    if (made == E_NOINTERFACE) {
        ui_.ShowMessage(WithCode("Query Interface error", step));
        return;
    }
    if (made == E_FAIL) {
        ui_.ShowMessage(WithCode("Add Group error", step));
        return;
    }
    if (made != S_OK) {
        // The group stays on the server, which named it otherwise than asked.
        ui_.ShowMessage(WithCode("Get Group error", step));
        return;
    }
    CGroup& recorded = *group;
    entry->m_groups.push_back(std::move(group));
    recorded.m_node = ui_.InsertGroupNode(entry->m_node, recorded.m_name);
    if (recorded.m_pSink) recorded.m_pSink->SetGroup(&recorded);
    if (recorded.m_pCallback) recorded.m_pCallback->SetGroup(&recorded);
    ui_.UpdateViews();
}

std::vector<ServerConnections::ItemAdded> ServerConnections::AddItemsToServer(CGroup& group,
                                                                             const std::vector<std::string>& itemIds,
                                                                             OPCHANDLE firstClient) {
    std::vector<ItemAdded> added(itemIds.size());
    if (itemIds.empty()) return added;
    if (!group.m_pItemMgt) return added;  // E_POINTER each
    // One call for them all: a server answers thousands of items in one
    // AddItems far sooner than in thousands of calls.
    std::vector<std::wstring> wide;
    wide.reserve(itemIds.size());
    for (const std::string& id : itemIds) wide.push_back(Utf8ToWide(id));
    std::vector<OPCITEMDEF> defs(itemIds.size());
    for (size_t i = 0; i < defs.size(); ++i) {
        defs[i].szAccessPath = const_cast<LPWSTR>(L"");
        defs[i].szItemID = &wide[i][0];
        defs[i].bActive = TRUE;
        defs[i].hClient = firstClient + static_cast<OPCHANDLE>(i);
        defs[i].vtRequestedDataType = VT_EMPTY;
    }
    fw::TaskMemPtr<OPCITEMRESULT> results;
    fw::TaskMemPtr<HRESULT> errors;
    const HRESULT hr = group.m_pItemMgt->AddItems(static_cast<DWORD>(defs.size()), defs.data(), fw::OutPtr(results),
                                                  fw::OutPtr(errors));
    if (FAILED(hr) || !results || !errors) {
        for (ItemAdded& item : added) item.result = FAILED(hr) ? hr : E_POINTER;
        return added;
    }
    for (size_t i = 0; i < defs.size(); ++i) {
        OPCITEMRESULT& result = results.get()[i];
        const fw::TaskMemPtr<BYTE> blob(std::exchange(result.pBlob, nullptr));  // not used here
        added[i].result = errors.get()[i];
        if (FAILED(added[i].result)) continue;
        added[i].hServer = result.hServer;
        added[i].type = result.vtCanonicalDataType;
    }
    return added;
}

bool ServerConnections::AddItem(CGroup& group, const std::string& itemId) {
    // A document keeps an ID in a 100-byte ANSI field: one that is longer,
    // or has characters the code page lacks, would be saved changed and name
    // another item, or none, when reopened.
    const FieldCheck check = CheckDocumentField(itemId);
    if (check.fit != FieldFit::Fits) {
        ui_.ShowMessage(WhyNotKept(itemId, check));
        return false;
    }
    const OPCHANDLE hClient = group.m_nextClientHandle;
    const ItemAdded added = AddItemsToServer(group, {itemId}, hClient).front();
    if (added.result != S_OK) return false;
    auto item = std::make_unique<CItem>();
    item->m_itemId = itemId;
    item->m_hClient = hClient;
    item->m_hServer = added.hServer;
    item->m_canonicalType = added.type;
    group.m_items.push_back(std::move(item));
    ++group.m_nextClientHandle;
    return true;
}

std::vector<HRESULT> ServerConnections::AddItems(CGroup& group, const std::vector<std::string>& itemIds) {
    std::vector<HRESULT> results(itemIds.size(), E_POINTER);
    if (itemIds.empty() || !group.m_pItemMgt) return results;
    // IDs a document could not keep are refused before anything is sent
    // (see AddItem), and said in one message for them all.
    std::vector<std::string> fitting;
    std::vector<size_t> positions;
    size_t tooLong = 0, notAnsi = 0;
    for (size_t i = 0; i < itemIds.size(); ++i) {
        const FieldFit fit = CheckDocumentField(itemIds[i]).fit;
        if (fit != FieldFit::Fits) {
            ++(fit == FieldFit::TooLong ? tooLong : notAnsi);
            results[i] = kItemIdTooLong;
            continue;
        }
        fitting.push_back(itemIds[i]);
        positions.push_back(i);
    }
    if (fitting.size() < itemIds.size()) {
        std::string message;
        if (tooLong)
            message = CountedRefusal(tooLong, "longer than the " + std::to_string(kTextFieldSize) +
                                                   " bytes a document keeps");
        if (notAnsi)
            message += (message.empty() ? "" : "; ") +
                       CountedRefusal(notAnsi, "made of characters that a document cannot keep (outside the ANSI "
                                               "code page)");
        ui_.ShowMessage(message);
        if (fitting.empty()) return results;
        const std::vector<HRESULT> added = AddItems(group, fitting);
        for (size_t k = 0; k < added.size(); ++k) results[positions[k]] = added[k];
        return results;
    }
    // Every item takes the next client handle, refused or not, so handles
    // follow the order asked.
    const OPCHANDLE first = group.m_nextClientHandle;
    group.m_nextClientHandle = first + static_cast<OPCHANDLE>(itemIds.size());
    const std::vector<ItemAdded> added = AddItemsToServer(group, itemIds, first);
    for (size_t i = 0; i < added.size(); ++i) {
        results[i] = added[i].result;
        if (FAILED(results[i])) continue;
        auto item = std::make_unique<CItem>();
        item->m_itemId = itemIds[i];
        item->m_hClient = first + static_cast<OPCHANDLE>(i);
        item->m_hServer = added[i].hServer;
        item->m_canonicalType = added[i].type;
        group.m_items.push_back(std::move(item));
    }
    return results;
}

void ServerConnections::AddAllItems(int index, CGroup& group) {
    CServer* entry = Entry(index);
    fw::ComPtr<IOPCBrowseServerAddressSpace> browse;
    if (!entry || !entry->m_pServer ||
        FAILED(entry->m_pServer->QueryInterface(IID_IOPCBrowseServerAddressSpace, browse.put_void()))) {
        ui_.ShowMessage("QueryInterface(IID_IOPCBrowse)");
        return;
    }
    std::vector<std::string> ids;
    size_t unrepresentable = 0;
    ForEachItemIdBelow(browse.get(), [&](const std::string& itemId) { ids.push_back(itemId); }, &unrepresentable);
    if (unrepresentable)
        ui_.ShowMessage(std::to_string(unrepresentable) +
                        (unrepresentable == 1 ? " item ID has" : " item IDs have") +
                        " characters outside the ANSI code page, which a document cannot keep: " +
                        (unrepresentable == 1 ? "it was" : "they were") + " not added");
    AddItems(group, ids);
    ui_.UpdateViews();
}

void ServerConnections::DeleteItem(CGroup& group, size_t n) {
    if (n >= group.m_items.size()) return;
    if (group.m_pItemMgt) {
        OPCHANDLE handle = group.m_items[n]->m_hServer;
        fw::TaskMemPtr<HRESULT> errors;
        group.m_pItemMgt->RemoveItems(1, &handle, fw::OutPtr(errors));  // the item goes from the list either way
    }
    group.m_items.erase(group.m_items.begin() + static_cast<std::ptrdiff_t>(n));
}

namespace {

// The server's status, asked on the time-limited call's own proxy.
class StatusJob final : public ServerJob {
public:
    HRESULT Run(IUnknown* server) override {
        fw::ComPtr<IOPCServer> opc;
        const HRESULT queried = server->QueryInterface(IID_IOPCServer, opc.put_void());
        // Only an answer that the server has gone counts; a server without
        // the interface is not asked.
        if (FAILED(queried)) return IsConnectionLost(queried) ? queried : S_OK;
        OPCSERVERSTATUS* status = nullptr;
        const HRESULT hr = opc->GetStatus(&status);
        if (status) {
            const fw::TaskMemPtr<OPCSERVERSTATUS> owner(status);
            const fw::TaskMemPtr<wchar_t> vendor(status->szVendorInfo);
        }
        return hr;
    }
};

}  // namespace

bool ServerConnections::CheckAnswer(CServer& entry, DWORD limitMs) {
    // Without a proxy for other threads (it could not be made) the server
    // is asked on this thread, without a limit.
    const HRESULT hr = entry.m_mta ? RunWithTimeLimit(entry.m_mta, limitMs, std::make_shared<StatusJob>())
                                   : StatusJob().Run(entry.m_pServer.get());
    if (hr == kCallTimedOut)
        MarkLost(entry, entry.m_progId + " did not answer within " + std::to_string((limitMs + 999) / 1000) +
                            " s: its values are no longer updated");
    else if (IsConnectionLost(hr))
        MarkLost(entry, hr);
    return !entry.m_lost;
}

void ServerConnections::CheckConnections(DWORD limitMs) {
    for (auto& owned : table_) {
        CServer& entry = *owned;
        if (entry.m_pServer && !entry.m_lost && !entry.m_groups.empty()) CheckAnswer(entry, limitMs);
    }
}

bool ServerConnections::Answers(int index) {
    CServer* entry = Entry(index);
    if (!entry || !entry->m_pServer) return false;
    if (entry->m_lost) {
        ui_.ShowMessage(entry->m_progId + " does not answer any more: disconnect it and connect it again");
        return false;
    }
    return CheckAnswer(*entry, callLimitMs_);
}

void ServerConnections::MarkLost(CServer& entry, HRESULT hr) {
    MarkLost(entry, entry.m_progId + " does not answer any more (HR = " + HresultText(hr) +
                        "): its values are no longer updated");
}

void ServerConnections::MarkLost(CServer& entry, const std::string& why) {
    if (entry.m_lost) return;
    entry.m_lost = true;
    for (auto& group : entry.m_groups) {
        // What a server that only froze sends when it wakes is not shown:
        // the connection stays lost until the user connects again.
        if (group->m_pSink) group->m_pSink->DetachGroup();
        if (group->m_pCallback) group->m_pCallback->DetachGroup();
        for (auto& item : group->m_items) {
            item->m_quality = kQualityNotConnected;
            item->m_changed = TRUE;
        }
        ui_.ItemsChanged(*group);
    }
    ui_.ShowMessage(why);
}

bool ServerConnections::RemoveGroupAt(int index, size_t groupIndex) {
    CServer* entry = Entry(index);
    if (!entry || groupIndex >= entry->m_groups.size()) return false;
    CGroup& group = *entry->m_groups[groupIndex];
    // A group that never reached the server (its re-creation failed), or
    // whose server has gone, has no server object to call: it only leaves
    // the model.
    if (entry->m_lost) {
        group.m_callbackPoint.reset();
        group.m_pItemMgt.reset();
    }
    fw::ComPtr<IOPCServer> server;
    if (group.m_pItemMgt) {
        const HRESULT queried =
            entry->m_pServer ? entry->m_pServer->QueryInterface(IID_IOPCServer, server.put_void()) : E_POINTER;
        if (IsConnectionLost(queried)) {
            MarkLost(*entry, queried);
            group.m_callbackPoint.reset();
            group.m_pItemMgt.reset();
        } else if (FAILED(queried)) {
            ui_.ShowMessage("Query Interface error");
            return false;
        }
    }
    if (group.m_pItemMgt) {
        if (group.m_callbackPoint) {
            group.m_callbackPoint->Unadvise(group.m_callbackCookie);
            group.m_callbackPoint.reset();
        } else {
            fw::ComPtr<IDataObject> data;
            const std::wstring name = Utf8ToWide(group.m_name);
            if (server->GetGroupByName(name.c_str(), IID_IDataObject, reinterpret_cast<LPUNKNOWN*>(data.put())) ==
                    S_OK &&
                data)
                data->DUnadvise(group.m_adviseConnection);
        }
        // One call for every item: a group of 100,000 items must not take
        // 100,000 round trips to leave.
        std::vector<OPCHANDLE> handles;
        handles.reserve(group.m_items.size());
        for (const auto& item : group.m_items) handles.push_back(item->m_hServer);
        if (!handles.empty() && !entry->m_lost) {
            fw::TaskMemPtr<HRESULT> errors;
            const HRESULT removed =
                group.m_pItemMgt->RemoveItems(static_cast<DWORD>(handles.size()), handles.data(), fw::OutPtr(errors));
            if (IsConnectionLost(removed))
                MarkLost(*entry, removed);
            else if (FAILED(removed))
                ui_.ShowMessage("Remove Items error");
        }
        group.m_items.clear();
        group.m_pItemMgt.reset();
        if (!entry->m_lost) {
            const HRESULT hr = server->RemoveGroup(group.m_hServerGroup, TRUE);
            if (IsConnectionLost(hr))
                MarkLost(*entry, hr);
            else if (FAILED(hr))
                ui_.ShowMessage(WithCode("Remove Group error", hr));
        }
    }
    if (group.m_node) ui_.DeleteNode(group.m_node);
    entry->m_groups.erase(entry->m_groups.begin() + static_cast<std::ptrdiff_t>(groupIndex));
    return true;
}

void ServerConnections::RemoveGroup(int index, CGroup& group) {
    CServer* entry = Entry(index);
    if (!entry) return;
    for (size_t i = 0; i < entry->m_groups.size(); ++i)
        if (entry->m_groups[i].get() == &group) {
            RemoveGroupAt(index, i);
            return;
        }
}

void ServerConnections::DisconnectServer(int index) {
    CServer* entry = Entry(index);
    if (!entry) return;
    while (!entry->m_groups.empty()) {
        // A server without IOPCServer cannot be asked to remove the group:
        // the group leaves the model all the same, so the disconnection ends.
        if (!RemoveGroupAt(index, 0)) {
            if (entry->m_groups.front()->m_node) ui_.DeleteNode(entry->m_groups.front()->m_node);
            entry->m_groups.erase(entry->m_groups.begin());
        }
    }
    if (entry->m_shutdownPoint && !entry->m_lost) entry->m_shutdownPoint->Unadvise(entry->m_shutdownCookie);
    entry->m_shutdownPoint.reset();
    if (entry->m_pShutdownSink) entry->m_pShutdownSink->Detach();
    entry->m_pShutdownSink.reset();
    if (entry->m_node) ui_.DeleteNode(entry->m_node);
    entry->m_node = 0;
    // Waited for, so that a server ending with its last client is on its
    // way out before anything connects again; briefly for one that was
    // lost, which may have frozen.
    constexpr DWORD kLostReleaseMs = 2000;
    MtaServer::Release(std::move(entry->m_mta), entry->m_lost ? std::min(kLostReleaseMs, callLimitMs_) : callLimitMs_);
    entry->m_pServer.reset();
}

void ServerConnections::DisconnectAll() {
    for (size_t i = 0; i < table_.size(); ++i)
        if (table_[i]->m_pServer) DisconnectServer(static_cast<int>(i));
}

void ServerConnections::ReconnectOpened() {
    for (size_t i = 0; i < table_.size(); ++i) {
        CServer& entry = *table_[i];
        if (!entry.m_connectedMark) continue;
        fw::ComPtr<IUnknown> server;
        if (FAILED(CreateServerObject(entry.m_clsidText, server.put()))) {
            // The entry stays disconnected; its groups stay in the model
            // (and in a later save) without any server object behind them.
            ui_.ShowMessage("CoCreateInstance");
            continue;
        }
        entry.m_connectedMark = false;
        RecordConnection(entry, std::move(server), entry.m_clsidText);
        for (auto& owned : entry.m_groups) {
            CGroup& group = *owned;
            HRESULT step = S_OK;
            if (MakeGroupOnServer(entry, group, group.m_updateRate, &step) != S_OK) {
                ui_.ShowMessage("Add Group error");
                continue;
            }
            group.m_node = ui_.InsertGroupNode(entry.m_node, group.m_name);
            if (group.m_pSink) group.m_pSink->SetGroup(&group);
            if (group.m_pCallback) group.m_pCallback->SetGroup(&group);
            // Every item takes the next client handle, refused or not, so the
            // handles follow the file's order.
            std::vector<std::string> ids;
            ids.reserve(group.m_items.size());
            for (const auto& item : group.m_items) ids.push_back(item->m_itemId);
            const OPCHANDLE first = group.m_nextClientHandle;
            group.m_nextClientHandle = first + static_cast<OPCHANDLE>(ids.size());
            const std::vector<ItemAdded> added = AddItemsToServer(group, ids, first);
            for (size_t i = 0; i < added.size(); ++i) {
                CItem& item = *group.m_items[i];
                item.m_hClient = first + static_cast<OPCHANDLE>(i);
                item.m_hServer = added[i].result == S_OK ? added[i].hServer : 0;
                item.m_canonicalType = added[i].result == S_OK ? added[i].type : static_cast<VARTYPE>(VT_EMPTY);
                if (added[i].result != S_OK) ui_.ShowMessage("Add Item error");
            }
        }
    }
}
