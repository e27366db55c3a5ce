// "Validate Item": asks for an item ID in the Add Item dialog (in its
// validating form), has the group's server validate it, and shows what the
// server would make of the item.  The item is not added.
#pragma once

#include "ClientRecords.h"
#include "Dialog.h"

#include <string>

// Shows the outcome of a successful validation.  The fields are shown only;
// OK and Cancel just close.
class ValidateResultDialog : public fw::Dialog {
public:
    ValidateResultDialog();

    std::string itemId;
    std::string canonicalType;  // the VARTYPE as a decimal number
    std::string serverHandle;   // as a decimal number

protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    void OnOK() override { EndDialog(IDOK); }
};

// The whole command: owner owns every window it shows; server is the
// group's server object (asked for its browsing interface, if any); the
// validation goes to group.m_pItemMgt.
void ValidateItem(HWND owner, IUnknown* server, const CGroup& group);
