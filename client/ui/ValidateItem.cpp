#include "ValidateItem.h"

#include "AddItemDialog.h"
#include "ComPtr.h"
#include "DataExchange.h"
#include "ServerConnections.h"
#include "TaskMem.h"
#include "ToolResource.h"
#include "ValueText.h"

ValidateResultDialog::ValidateResultDialog() : fw::Dialog(IDD_VALIDATE_RESULT) {}

void ValidateResultDialog::DoDataExchange(fw::DataExchange& dx) {
    dx.Text(IDC_VALIDATED_ITEM_ID, itemId);
    dx.Text(IDC_VALIDATED_TYPE, canonicalType);
    dx.Text(IDC_VALIDATED_HANDLE, serverHandle);
}

void ValidateItem(HWND owner, IUnknown* server, const CGroup& group) {
    fw::ComPtr<IOPCBrowseServerAddressSpace> browse;
    if (server) server->QueryInterface(IID_IOPCBrowseServerAddressSpace, browse.put_void());  // optional: typing works too
    AddItemDialog ask(browse.get(), AddItemDialog::kValidating);
    const INT_PTR answer = ask.DoModal(owner);
    browse.reset();
    if (answer != IDOK || ask.addAll) return;

    std::wstring id = AnsiToWide(ask.itemId);
    OPCITEMDEF def{};
    def.szAccessPath = const_cast<LPWSTR>(L"");
    def.szItemID = &id[0];
    def.bActive = FALSE;
    def.hClient = 0;
    def.dwBlobSize = 0;
    def.pBlob = nullptr;
    def.vtRequestedDataType = VT_EMPTY;
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    const HRESULT hr =
        group.m_pItemMgt ? group.m_pItemMgt->ValidateItems(1, &def, FALSE, &results, &errors) : E_POINTER;
    fw::TaskMemPtr<OPCITEMRESULT> resultOwner(results);
    fw::TaskMemPtr<HRESULT> errorOwner(errors);
    if (results) {
        CoTaskMemFree(results[0].pBlob);
        results[0].pBlob = nullptr;
    }
    // A server that fails the whole call need not give an error array: the
    // call's own result then stands for the item's as well.
    const HRESULT itemError = errors ? errors[0] : hr;
    if (hr != S_OK || itemError != S_OK || !results) {
        const std::string text = "Validate Item error (HR = " + HresultText(hr) + ", PHR = " + HresultText(itemError) + ")";
        ::MessageBoxA(owner, text.c_str(), nullptr, MB_OK | MB_ICONWARNING);
        return;
    }
    ValidateResultDialog shown;
    shown.itemId = WideToAnsi(id);
    shown.canonicalType = std::to_string(static_cast<int>(results[0].vtCanonicalDataType));
    shown.serverHandle = std::to_string(static_cast<int>(results[0].hServer));
    shown.DoModal(owner);
}
