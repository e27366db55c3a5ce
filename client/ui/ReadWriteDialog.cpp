#include "ReadWriteDialog.h"

#include "DataExchange.h"
#include "GroupInterface.h"
#include "ResultText.h"
#include "TaskMemResults.h"
#include "Text.h"
#include "TextToValue.h"
#include "ToolResource.h"
#include "ValueText.h"
#include "Variant.h"

#include <utility>

ReadWriteDialog::ReadWriteDialog(IUnknown* server, const CGroup& group, int row, std::string itemName)
    : fw::Dialog(IDD_READ_WRITE), itemName(std::move(itemName)), server_(server), group_(group), row_(row) {}

bool ReadWriteDialog::OnInitDialog() {
    // A string value may be as long as the user likes: no edit limit.
    ::SendDlgItemMessageW(hwnd(), IDC_RW_NEW_VALUE, EM_LIMITTEXT, 0, 0);
    Read();
    return true;
}

void ReadWriteDialog::DoDataExchange(fw::DataExchange& dx) {
    dx.Text(IDC_RW_ITEM_NAME, itemName, kMaxItemName);
    dx.Text(IDC_RW_VALUE, valueText);
    dx.Text(IDC_RW_NEW_VALUE, newValueText);
}

bool ReadWriteDialog::OnCommand(UINT id) {
    switch (id) {
    case IDC_RW_READ:
        Read();
        return true;
    case IDC_RW_WRITE:
        Write();
        return true;
    default:
        return false;
    }
}

const CItem* ReadWriteDialog::Item() const {
    if (row_ < 0 || static_cast<size_t>(row_) >= group_.m_items.size()) return nullptr;
    return group_.m_items[static_cast<size_t>(row_)].get();
}

void ReadWriteDialog::Warn(const std::string& text) {
    ::MessageBoxW(hwnd(), fw::Widen(text).c_str(), nullptr, MB_OK | MB_ICONWARNING);
}

void ReadWriteDialog::Read() {
    fw::ComPtr<IOPCSyncIO> io;
    const GroupAccess access = GetGroupInterface(server_, group_.m_name, io);
    if (access == GroupAccess::NoServerInterface) return;
    const CItem* item = Item();
    if (access == GroupAccess::Reached && item) {
        OPCHANDLE handle = item->m_hServer;
        fw::TaskMemResults<OPCITEMSTATE, &OPCITEMSTATE::vDataValue> states;
        fw::TaskMemPtr<HRESULT> errors;
        const HRESULT hr = io->Read(OPC_DS_DEVICE, 1, &handle, states.put(1), fw::OutPtr(errors));
        // S_FALSE says to look at the item's own code: a success code still
        // comes with the value, an error is shown with the server's words.
        const HRESULT itemResult = FAILED(hr) ? hr : errors ? errors.get()[0] : E_POINTER;
        if (FAILED(hr) || !states || FAILED(itemResult)) {
            // Text and type stay those of the last good read.
            Warn(FAILED(hr) ? std::string("Reading Error")
                            : "Reading Error\n\nItem error " + ServerResultText(server_, itemResult));
        } else {
            const VariantText read = VariantToText(states[0].vDataValue);
            valueText = read.text;  // whole, however long
            valueType = read.type;
            valueTypeKnown = true;
        }
    }
    // Only the value field: a new value typed before "Read" stays.
    fw::DataExchange dx(hwnd(), fw::DataExchange::Direction::ToControls);
    dx.Text(IDC_RW_VALUE, valueText);
}

void ReadWriteDialog::Write() {
    if (!UpdateData(true)) return;
    // Checked before the server is asked anything: a value that cannot be
    // made must not reach the item as whatever an empty VARIANT means there.
    if (!valueTypeKnown) {
        Warn("Nothing written: the item's type is not known until a read succeeds.");
        return;
    }
    fw::Variant value;
    std::string why;
    if (!TextToValue(newValueText, valueType, value.put(), &why)) {
        Warn("Nothing written: " + why);
        return;
    }
    fw::ComPtr<IOPCSyncIO> io;
    const CItem* item = Item();
    if (GetGroupInterface(server_, group_.m_name, io) != GroupAccess::Reached || !item) return;
    OPCHANDLE handle = item->m_hServer;
    fw::TaskMemPtr<HRESULT> errors;
    const HRESULT hr = io->Write(1, &handle, value.in(), fw::OutPtr(errors));
    // A success code of the item (the server clamped the value, say) is a
    // write done.
    const HRESULT itemResult = FAILED(hr) ? hr : errors ? errors.get()[0] : E_POINTER;
    if (FAILED(hr))
        Warn("Writing Error");
    else if (FAILED(itemResult))
        Warn("Writing Error\n\nItem error " + ServerResultText(server_, itemResult));
}
