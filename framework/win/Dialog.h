// A modal dialog made from a dialog resource.
#pragma once

#include "CommandTarget.h"

#include <windows.h>

namespace fw {

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
    virtual bool OnInitDialog() { return true; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    void EndDialog(INT_PTR result);

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp);
    UINT resourceId_;
    HWND hwnd_ = nullptr;
};

}  // namespace fw
