#include "InterfacesDialog.h"

#include "ComPtr.h"
#include "OpcInterfaces.h"
#include "ServerConnections.h"
#include "Text.h"
#include "ToolResource.h"
#include "ValueText.h"

#include <commctrl.h>
#include <ocidl.h>

#include <utility>

namespace {

constexpr const char* kTemporaryGroup = "Group1";

struct Probe {
    const char* name;
    const char* required;
    const IID* iid;
};

// The server object's interfaces.  The misspelt name is the one users of
// this list have always seen.
const Probe kServerProbes[] = {
    {"IUnknown", "Yes", &IID_IUnknown},
    {"IOPCServer", "Yes", &IID_IOPCServer},
    {"IOPCBrowseSeverAddressSpace", "Optional", &IID_IOPCBrowseServerAddressSpace},
    {"IOPCServerPublicGroups", "Optional", &IID_IOPCServerPublicGroups},
    {"IPersistFile", "Optional", &IID_IPersistFile},
    {"IOPCItemProperties", "Yes (OPC 2.0)", &IID_IOPCItemProperties},
    {"IConnectionPointContainer", "Yes (OPC 2.0)", &IID_IConnectionPointContainer},
    {"IOPCCommon", "Yes (OPC 2.0)", &IID_IOPCCommon},
};

const Probe kGroupProbes[] = {
    {"IOPCGroupStateMgt", "Yes", &IID_IOPCGroupStateMgt},
    {"IOPCItemMgt", "Yes", &IID_IOPCItemMgt},
    {"IOPCSyncIO", "Yes", &IID_IOPCSyncIO},
    {"IOPCAsyncIO", "Yes (OPC 1.0)", &IID_IOPCAsyncIO},
    {"IDataObject", "Yes (OPC 1.0)", &IID_IDataObject},
    {"IOPCAsyncIO2", "Yes (OPC 2.0)", &IID_IOPCAsyncIO2},
    {"IConnectionPointContainer", "Yes (OPC 2.0)", &IID_IConnectionPointContainer},
};

const char* YesNo(bool yes) { return yes ? "Yes" : "No"; }

bool ServerGives(IUnknown* server, REFIID iid) {
    fw::ComPtr<IUnknown> obtained;
    return server->QueryInterface(iid, obtained.put_void()) == S_OK;
}

bool GroupGives(IOPCServer* server, const std::wstring& group, REFIID iid) {
    fw::ComPtr<IUnknown> obtained;
    return server->GetGroupByName(group.c_str(), iid, obtained.put()) == S_OK;
}

void Warn(HWND owner, const std::string& text) {
    ::MessageBoxW(owner, fw::Widen(text).c_str(), nullptr, MB_OK | MB_ICONWARNING);
}

void RegisterListClass() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
        return ::InitCommonControlsEx(&controls) != FALSE;
    }();
    (void)registered;
}

}  // namespace

InterfacesDialog::InterfacesDialog(IUnknown* server, std::optional<std::string> firstGroup)
    : fw::Dialog(IDD_OPC_INTERFACES), server_(server), firstGroup_(std::move(firstGroup)) {
    RegisterListClass();
}

void InterfacesDialog::InsertColumns() {
    struct Column {
        const wchar_t* title;
        int width;
    };
    static const Column kColumns[] = {{L"Interface name", 250}, {L"Required", 100}, {L"Obtained", 130}};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_CENTER;  // the control keeps its first column left-aligned
        column.cx = kColumns[i].width;
        column.pszText = const_cast<LPWSTR>(kColumns[i].title);
        column.iSubItem = i;
        if (::SendMessageW(list_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column)) == -1)
            ::MessageBoxA(hwnd(), "Error", "Colomn Insert", MB_OK);
    }
}

void InterfacesDialog::AddRow(const char* name, const char* required, const char* obtained) {
    const std::wstring texts[] = {fw::Widen(name), fw::Widen(required), fw::Widen(obtained)};
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = rows_;
    item.pszText = const_cast<LPWSTR>(texts[0].c_str());
    const int row = static_cast<int>(::SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) return;
    ++rows_;
    for (int sub = 1; sub < 3; ++sub) {
        LVITEMW cell = {};
        cell.iSubItem = sub;
        cell.pszText = const_cast<LPWSTR>(texts[sub].c_str());
        ::SendMessageW(list_, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
    }
}

bool InterfacesDialog::OnInitDialog() {
    list_ = ::GetDlgItem(hwnd(), IDC_INTERFACE_LIST);
    InsertColumns();
    fw::ComPtr<IOPCServer> opc;
    if (!server_ || FAILED(server_->QueryInterface(IID_IOPCServer, opc.put_void())) || !opc) return true;

    // The group asked: the server's own first group, or one made for the
    // questions.  A refused group is asked about by name all the same, so
    // every row says "No" rather than the list stopping short.
    const std::string groupName = firstGroup_ ? *firstGroup_ : kTemporaryGroup;
    const std::wstring wideName = fw::Widen(groupName);
    fw::ComPtr<IOPCItemMgt> made;
    OPCHANDLE madeHandle = 0;
    bool created = false;
    if (!firstGroup_) {
        FLOAT deadband = 10.0f;
        DWORD revisedRate = 0;
        const HRESULT hr = opc->AddGroup(wideName.c_str(), TRUE, 0, 1, nullptr, &deadband, 0, &madeHandle,
                                         &revisedRate, IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN*>(made.put()));
        created = SUCCEEDED(hr);
        if (!created) Warn(hwnd(), "Add Group error (HR = " + HresultText(hr) + ")");
    }

    for (const Probe& probe : kServerProbes) AddRow(probe.name, probe.required, YesNo(ServerGives(server_, *probe.iid)));
    AddRow("Groups interfaces:", "", "");
    for (const Probe& probe : kGroupProbes)
        AddRow(probe.name, probe.required, YesNo(GroupGives(opc.get(), wideName, *probe.iid)));

    if (created) {
        made.reset();
        const HRESULT hr = opc->RemoveGroup(madeHandle, TRUE);
        if (FAILED(hr)) Warn(hwnd(), "Remove Group error (HR = " + HresultText(hr) + ")");
    }
    return true;
}
