#include "ClientTestSupport.h"

#include "ComPtr.h"
#include "Processes.h"
#include "ServerTableScan.h"
#include "TaskMem.h"
#include "TaskMemResults.h"
#include "Variant.h"

#include <iterator>

namespace clienttest {

NodeHandle RecordingUi::InsertConnectionNode(const std::string& progId) {
    nodes[++last] = {0, progId};
    return last;
}

NodeHandle RecordingUi::InsertGroupNode(NodeHandle connection, const std::string& name) {
    nodes[++last] = {connection, name};
    return last;
}

void RecordingUi::DeleteNode(NodeHandle node) {
    for (auto it = nodes.begin(); it != nodes.end();)
        it = it->second.parent == node ? nodes.erase(it) : std::next(it);
    nodes.erase(node);
}

bool RegisterOnce(const char* exe) {
    return testsupport::RunToEnd("\"" + testsupport::BinPath(exe) + "\" /RegServer", 60000) == 0;
}

int IndexOf(const ServerTable& table, const char* progId) {
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i]->m_progId == progId) return static_cast<int>(i);
    return -1;
}

DWORD ServerGroupCount(IUnknown* server) {
    fw::ComPtr<IOPCServer> opc;
    if (!server || FAILED(server->QueryInterface(IID_IOPCServer, opc.put_void()))) return ~0u;
    OPCSERVERSTATUS* status = nullptr;
    if (opc->GetStatus(&status) != S_OK || !status) return ~0u;
    const fw::TaskMemPtr<OPCSERVERSTATUS> owner(status);
    const fw::TaskMemPtr<wchar_t> vendor(status->szVendorInfo);
    return status->dwGroupCount;
}

testsupport::CapturedRun RunConsole(const std::string& arguments) {
    return testsupport::RunCaptured("\"" + testsupport::BinPath("ostrel_console.exe") + "\" " + arguments, 60000);
}

int ServerItemCount(CGroup& group) {
    fw::ComPtr<IEnumOPCItemAttributes> items;
    if (!group.m_pItemMgt ||
        FAILED(group.m_pItemMgt->CreateEnumerator(IID_IEnumOPCItemAttributes, reinterpret_cast<LPUNKNOWN*>(items.put()))) ||
        !items)
        return -1;
    int count = 0;
    for (;;) {
        OPCITEMATTRIBUTES* attributes = nullptr;
        ULONG fetched = 0;
        const HRESULT hr = items->Next(1, &attributes, &fetched);
        if (attributes) {
            CoTaskMemFree(attributes->szItemID);
            CoTaskMemFree(attributes->szAccessPath);
            CoTaskMemFree(attributes->pBlob);
            VariantClear(&attributes->vEUInfo);
            CoTaskMemFree(attributes);
        }
        if (hr != S_OK || fetched != 1) break;
        ++count;
    }
    return count;
}

HRESULT WriteServerText(CGroup& group, const std::wstring& text) {
    fw::ComPtr<IOPCSyncIO> io;
    if (!group.m_pItemMgt || group.m_items.empty()) return E_POINTER;
    const HRESULT queried = group.m_pItemMgt->QueryInterface(IID_IOPCSyncIO, io.put_void());
    if (FAILED(queried)) return queried;
    fw::Variant value;
    VARIANT* raw = value.put();
    raw->vt = VT_BSTR;
    raw->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!value.in()->bstrVal) return E_OUTOFMEMORY;
    OPCHANDLE handle = group.m_items[0]->m_hServer;
    fw::TaskMemPtr<HRESULT> errors;
    const HRESULT hr = io->Write(1, &handle, value.in(), fw::OutPtr(errors));
    if (FAILED(hr)) return hr;
    return errors ? errors.get()[0] : E_POINTER;
}

std::wstring ServerText(CGroup& group) {
    const std::wstring none = L"(no value)";
    fw::ComPtr<IOPCSyncIO> io;
    if (!group.m_pItemMgt || group.m_items.empty() ||
        FAILED(group.m_pItemMgt->QueryInterface(IID_IOPCSyncIO, io.put_void())))
        return none;
    OPCHANDLE handle = group.m_items[0]->m_hServer;
    fw::TaskMemResults<OPCITEMSTATE, &OPCITEMSTATE::vDataValue> states;
    fw::TaskMemPtr<HRESULT> errors;
    if (io->Read(OPC_DS_DEVICE, 1, &handle, states.put(1), fw::OutPtr(errors)) != S_OK || !states ||
        states[0].vDataValue.vt != VT_BSTR)
        return none;
    const BSTR text = states[0].vDataValue.bstrVal;
    return std::wstring(text, SysStringLen(text));
}

void ConnectionsTest::SetUp() {
    ASSERT_HRESULT_SUCCEEDED(com_.result());
    static const bool registered = RegisterOnce("VELMORA_OPC.exe") && RegisterOnce("branch_opc_server.exe");
    ASSERT_TRUE(registered);
    connections_.ReplaceTable(ScanServerTable());
}

void ConnectionsTest::TearDown() {
    mtaServer_.reset();
    connections_.DisconnectAll();
    EXPECT_TRUE(testsupport::WaitForNoProcess("VELMORA_OPC.exe", 15000));
}

int ConnectionsTest::Connect(const char* progId) {
    const int index = IndexOf(connections_.Table(), progId);
    if (index < 0) return -1;
    connections_.Connect(index);
    return connections_.Entry(index)->m_pServer ? index : -1;
}

CGroup* ConnectionsTest::ConnectWithGroup(const char* progId, const std::vector<std::string>& itemIds, DWORD rate) {
    const int index = Connect(progId);
    if (index < 0) return nullptr;
    GroupParameters parameters;
    parameters.updateRate = rate;
    connections_.CreateGroup(index, parameters);
    CServer& entry = *connections_.Entry(index);
    if (entry.m_groups.empty()) return nullptr;
    // The server's subscription thread looks at the group once as it starts;
    // items already there then would be read from the device.
    testsupport::PumpMessages(200);
    server_ = entry.m_pServer.get();
    mtaServer_ = entry.m_mta;
    CGroup* group = entry.m_groups.back().get();
    for (const std::string& id : itemIds)
        if (!connections_.AddItem(*group, id)) return nullptr;
    return group;
}

}  // namespace clienttest
