// "Performance test": how many synchronous reads of all of a group's items
// the server answers in one second, from its cache ("Cash") or from the
// device ("Device").  Each run replaces the figures of the one before.
#pragma once

#include "ClientRecords.h"
#include "Dialog.h"
#include "PerformanceTexts.h"

class PerformanceDialog : public fw::Dialog {
public:
    // server: the group's server object; group: the group whose items are
    // read (it must outlive the dialog).
    PerformanceDialog(IUnknown* server, const CGroup& group);

    PerformanceTexts texts = NoRequestTexts();  // what the result fields show

protected:
    void DoDataExchange(fw::DataExchange& dx) override;
    bool OnCommand(UINT id) override;
    void OnOK() override { EndDialog(IDOK); }  // the fields are shown only

private:
    void Run(OPCDATASOURCE source);

    IUnknown* server_;
    const CGroup& group_;
};
