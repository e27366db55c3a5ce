// "Add Group": the parameters of a new group.  OK reads and checks the
// fields in the order active, data callback, time bias, deadband, locale ID,
// name, update rate; the first that does not parse keeps the dialog open.
#pragma once

#include "Dialog.h"

#include <string>

class AddGroupDialog : public fw::Dialog {
public:
    AddGroupDialog();

    // Shown when the dialog opens, filled by OK.
    std::string name = "Group1";  // at most kMaxNameLength characters
    BOOL active = TRUE;
    LONG timeBias = 0;          // minutes
    FLOAT percentDeadband = 0;
    DWORD localeId = 0;
    DWORD updateRate = 1000;    // requested, milliseconds
    // Subscribe through the OPC DA 2.0 data callback where the group offers
    // both it and the OPC 1.0 data stream.
    BOOL dataCallback = FALSE;

    static constexpr size_t kMaxNameLength = 100;

protected:
    void DoDataExchange(fw::DataExchange& dx) override;
};
