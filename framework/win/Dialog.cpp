#include "Dialog.h"

#include "DataExchange.h"
#include "WindowClass.h"

namespace fw {

INT_PTR Dialog::DoModal(HWND owner) {
    return ::DialogBoxParamW(ResourceInstance(), MAKEINTRESOURCEW(resourceId_), owner, &Dialog::DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

void Dialog::EndDialog(INT_PTR result) {
    if (hwnd_) ::EndDialog(hwnd_, result);
}

bool Dialog::UpdateData(bool fromControls) {
    if (!hwnd_) return false;
    DataExchange dx(hwnd_, fromControls ? DataExchange::Direction::FromControls : DataExchange::Direction::ToControls);
    DoDataExchange(dx);
    return dx.Commit();
}

INT_PTR CALLBACK Dialog::DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        ::SetWindowLongPtrW(dialog, DWLP_USER, lp);
        self->hwnd_ = dialog;
        const bool defaultFocus = self->OnInitDialog();
        self->UpdateData(false);
        return defaultFocus ? TRUE : FALSE;
    }
    if (!self) return FALSE;

    switch (msg) {
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDOK:
            self->OnOK();
            return TRUE;
        case IDCANCEL:
            self->OnCancel();
            return TRUE;
        default:
            return self->OnCommand(LOWORD(wp)) ? TRUE : FALSE;
        }
    case WM_NCDESTROY:
        ::SetWindowLongPtrW(dialog, DWLP_USER, 0);
        self->hwnd_ = nullptr;
        return FALSE;
    default: {
        INT_PTR result = FALSE;
        if (!self->OnMessage(msg, wp, lp, result)) return FALSE;
        // Notification results travel in DWLP_MSGRESULT; the return value
        // only says that the message was handled.
        if (msg == WM_NOTIFY) {
            ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
            return TRUE;
        }
        return result;
    }
    }
}

}  // namespace fw
