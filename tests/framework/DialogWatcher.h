// Watches, from a thread of its own, for a modal dialog that the test's
// thread is about to run; reads it and presses one of its buttons so that
// the modal loop returns.
#pragma once

#include <windows.h>

#include "MessageBoxWatcher.h"

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace frameworktest {

struct ControlSeen {
    std::string className;
    std::string text;
    int id = 0;
    LONG style = 0;
    HICON icon = nullptr;  // for icon statics
};

struct DialogSeen {
    bool found = false;
    std::string caption;
    HWND owner = nullptr;
    std::vector<ControlSeen> controls;
};

class DialogWatcher {
public:
    // Starts watching for a top-level dialog with exactly this caption, owned
    // by a window of the calling thread.  When none appears in time, any
    // dialog of that thread is cancelled so that the test does not hang.
    // `fill` runs on the dialog (from the watcher's thread) before the press.
    using Fill = std::function<void(HWND dialog)>;
    explicit DialogWatcher(const char* caption, int pressId = IDOK, Fill fill = nullptr, DWORD timeoutMs = 10000);
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    // Waits for the watcher to finish and returns what it saw.
    const DialogSeen& Result();

private:
    void Watch(std::string caption, int pressId, Fill fill, DWORD timeoutMs, DWORD threadId);
    DialogSeen seen_;
    std::thread thread_;
};

// Reading a dialog from the watcher's thread.
std::string ItemText(HWND dialog, int id);
// A window's whole text, wide (what the ANSI form would show as "?").
std::wstring WideText(HWND window);
std::string ClassOf(HWND window);
// The focus window of the dialog's thread once it is `wanted`, or whatever
// it is when the time is up.
HWND WaitForFocus(HWND dialog, HWND wanted, DWORD ms);
// Cancels every dialog box of the dialog's thread that the dialog owns: a box
// nobody waits for would hold that thread for good.
void CancelBoxesOwnedBy(HWND dialog);

// What followed one OK that a field of the dialog refused.
struct RefusalSeen {
    std::optional<testsupport::MessageBoxSeen> box;
    int control = 0;
    bool dialogOpen = false;
    bool focused = false;
    DWORD selStart = 1, selEnd = 0;
    int textLength = -1;
};

// Presses OK while field `id` holds a text it must refuse, then reads what
// follows: the message box titled `caption` (closed here), the focus and
// the field's selection.
RefusalSeen PressOkExpectingRefusal(HWND dialog, int id, const char* caption);

// The box said `message` with a warning icon, and the dialog stayed open
// with the refused field focused and its whole text selected.
void ExpectRefusal(const RefusalSeen& seen, const char* message);

}  // namespace frameworktest
