#include "ValidateItem.h"

#include "AddItemDialog.h"
#include "ComPtr.h"
#include "DataExchange.h"
#include "ServerConnections.h"
#include "TaskMemResults.h"
#include "Text.h"
#include "ToolResource.h"
#include "ValueText.h"

#include <utility>

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

    std::wstring id = fw::Widen(ask.itemId);
    OPCITEMDEF def{};
    def.szAccessPath = const_cast<LPWSTR>(L"");
    def.szItemID = &id[0];
    def.bActive = FALSE;
    def.hClient = 0;
    def.dwBlobSize = 0;
    def.pBlob = nullptr;
    def.vtRequestedDataType = VT_EMPTY;
    fw::TaskMemPtr<OPCITEMRESULT> results;
    fw::TaskMemPtr<HRESULT> errors;
    const HRESULT hr = group.m_pItemMgt
                           ? group.m_pItemMgt->ValidateItems(1, &def, FALSE, fw::OutPtr(results), fw::OutPtr(errors))
                           : E_POINTER;
    // The result may carry a blob of its own; nothing here shows it.
    const fw::TaskMemPtr<BYTE> blob(results ? std::exchange(results->pBlob, nullptr) : nullptr);
    // A server that fails the whole call need not give an error array: the
    // call's own result then stands for the item's as well.
    const HRESULT itemError = errors ? errors.get()[0] : hr;
    if (hr != S_OK || itemError != S_OK || !results) {
        const std::string text = "Validate Item error (HR = " + HresultText(hr) + ", PHR = " + HresultText(itemError) + ")";
        ::MessageBoxW(owner, fw::Widen(text).c_str(), nullptr, MB_OK | MB_ICONWARNING);
        return;
    }
    ValidateResultDialog shown;
    shown.itemId = fw::Narrow(id);
    shown.canonicalType = std::to_string(static_cast<int>(results->vtCanonicalDataType));
    shown.serverHandle = std::to_string(static_cast<int>(results->hServer));
    shown.DoModal(owner);
}
