#include "Dialog.h"

#include "WindowClass.h"

namespace fw {

INT_PTR Dialog::DoModal(HWND owner) {
    return ::DialogBoxParamW(ResourceInstance(), MAKEINTRESOURCEW(resourceId_), owner, &Dialog::DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

void Dialog::EndDialog(INT_PTR result) {
    if (hwnd_) ::EndDialog(hwnd_, result);
}

INT_PTR CALLBACK Dialog::DialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        ::SetWindowLongPtrW(dialog, DWLP_USER, lp);
        self->hwnd_ = dialog;
        return self->OnInitDialog() ? TRUE : FALSE;
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
    default:
        return FALSE;
    }
}

}  // namespace fw
