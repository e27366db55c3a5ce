#include "AddServerDialog.h"

#include "DataExchange.h"
#include "Text.h"
#include "resource.h"

AddServerDialog::AddServerDialog(const std::vector<std::string>& progIds)
    : fw::Dialog(IDD_ADD_SERVER), progIds_(progIds), index_(progIds.empty() ? -1 : 0) {}

bool AddServerDialog::OnInitDialog() {
    // The server list is not sorted: positions must stay table indexes.
    const HWND list = ::GetDlgItem(hwnd(), IDC_SERVER_NAME);
    for (const std::string& progId : progIds_)
        ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(fw::Widen(progId).c_str()));
    index_ = progIds_.empty() ? -1 : 0;
    return true;
}

void AddServerDialog::DoDataExchange(fw::DataExchange& dx) { dx.ComboIndex(IDC_SERVER_NAME, index_); }

void AddServerDialog::OnOK() {
    if (!UpdateData(true)) return;
    if (index_ >= 0 && static_cast<size_t>(index_) < progIds_.size()) {
        progId_ = progIds_[static_cast<size_t>(index_)];
    } else {
        index_ = -1;
        progId_.clear();
    }
    EndDialog(IDOK);
}
