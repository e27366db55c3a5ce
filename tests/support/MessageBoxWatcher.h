// Closes modal message boxes that the code under test shows, and reports what
// they said.  The box belongs to another thread (or process): the test keeps
// its own thread free to watch for it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace testsupport {

struct MessageBoxSeen {
    std::string caption;
    std::string text;  // UTF-8
    UINT icon = 0;  // MB_ICONWARNING, MB_ICONERROR, ... when recognisable; 0 otherwise
};

// Waits up to timeoutMs for a top-level dialog box with exactly this caption,
// reads its message text, presses its OK (or only) button and waits for it to
// close.  Returns nothing when no such box appeared in time.
std::optional<MessageBoxSeen> WaitForMessageBox(const char* caption, DWORD timeoutMs = 10000);

// True when no top-level dialog with this caption exists for the next ms.
bool NoMessageBoxFor(const char* caption, DWORD ms);

}  // namespace testsupport
