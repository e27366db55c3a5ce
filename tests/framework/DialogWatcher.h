// Watches, from a thread of its own, for a modal dialog that the test's
// thread is about to run; reads it and presses one of its buttons so that
// the modal loop returns.
#pragma once

#include <windows.h>

#include <functional>
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

}  // namespace frameworktest
