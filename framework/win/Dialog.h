// A modal dialog made from a dialog resource.
#pragma once

#include "CommandTarget.h"

#include <windows.h>

namespace fw {

class DataExchange;

class Dialog : public CommandTarget {
public:
    explicit Dialog(UINT resourceId) : resourceId_(resourceId) {}
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog until it ends; its result (IDOK, IDCANCEL, ...), or -1
    // when the dialog could not be made.
    INT_PTR DoModal(HWND owner);
    HWND hwnd() const { return hwnd_; }

protected:
    // Runs when the controls exist, before the fields are shown in them
    // (fill lists here); true lets the dialog manager set the focus.
    virtual bool OnInitDialog() { return true; }
    // Reads and checks the fields; the dialog ends with IDOK only when all
    // of them pass.
    virtual void OnOK() {
        if (UpdateData(true)) EndDialog(IDOK);
    }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    void EndDialog(INT_PTR result);

    // Lists the dialog's fields; called to show them when the dialog opens
    // and to read them back on OK.
    virtual void DoDataExchange(DataExchange& dx) { (void)dx; }
    // One pass of DoDataExchange; false when a field failed (its message has
    // been shown and its control has the focus).
    bool UpdateData(bool fromControls);

    // Messages the framework does not handle itself (WM_NOTIFY, timers,
    // private messages): true when handled.  `result` is the answer to a
    // WM_NOTIFY (it goes to DWLP_MSGRESULT) and for any other message the
    // dialog procedure's return value.
    virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) {
        (void)msg; (void)wp; (void)lp; (void)result;
        return false;
    }

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp);
    UINT resourceId_;
    HWND hwnd_ = nullptr;
};

}  // namespace fw
