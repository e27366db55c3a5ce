#include "ReadWriteDialog.h"

#include "DataExchange.h"
#include "SyncItemCalls.h"
#include "Text.h"
#include "TextToValue.h"
#include "ToolResource.h"
#include "ValueText.h"
#include "Variant.h"

#include <memory>
#include <utility>

ReadWriteDialog::ReadWriteDialog(std::shared_ptr<MtaServer> server, const CGroup& group, int row, std::string itemName,
                                 DWORD limitMs)
    : fw::Dialog(IDD_READ_WRITE),
      itemName(std::move(itemName)),
      server_(std::move(server)),
      limitMs_(limitMs),
      group_(group),
      row_(row) {}

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
    const CItem* item = Item();
    auto job = std::make_shared<SyncReadJob>(group_.m_name, item ? item->m_hServer : 0);
    const HRESULT ran = RunWithTimeLimit(server_, limitMs_, job);
    if (ran == kCallTimedOut) {
        // Text and type stay those of the last good read.
        Warn("Reading Error\n\n" + NoAnswerText());
        return;
    }
    const SyncItemOutcome& outcome = job->outcome;
    if (FAILED(ran) || outcome.access == GroupAccess::NoServerInterface) return;
    if (outcome.access == GroupAccess::Reached && item) {
        // S_FALSE says to look at the item's own code: a success code still
        // comes with the value, an error is shown with the server's words.
        if (FAILED(outcome.call) || FAILED(outcome.item)) {
            // Text and type stay those of the last good read.
            Warn(FAILED(outcome.call) ? std::string("Reading Error")
                                      : "Reading Error\n\nItem error " + outcome.itemErrorText);
        } else {
            const VariantText read = VariantToText(job->value.get());
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
    const CItem* item = Item();
    if (!item) return;
    auto job = std::make_shared<SyncWriteJob>(group_.m_name, item->m_hServer, value.get());
    const HRESULT ran = RunWithTimeLimit(server_, limitMs_, job);
    if (ran == kCallTimedOut) {
        // The server may still take the value: the write was sent.
        Warn("Writing Error\n\n" + NoAnswerText() + " The value may still be written.");
        return;
    }
    const SyncItemOutcome& outcome = job->outcome;
    if (FAILED(ran) || outcome.access != GroupAccess::Reached) return;
    // A success code of the item (the server clamped the value, say) is a
    // write done.
    if (FAILED(outcome.call))
        Warn("Writing Error");
    else if (FAILED(outcome.item))
        Warn("Writing Error\n\nItem error " + outcome.itemErrorText);
}

std::string ReadWriteDialog::NoAnswerText() const {
    return "The server did not answer within " + std::to_string((limitMs_ + 999) / 1000) + " s.";
}
