// Copy of an item: its value text on the clipboard as plain text (ANSI and
// Unicode) and as a picture of the text, so that both editors and drawing
// programs can paste it.
#pragma once

#include <windows.h>

#include <string>

// Replaces the clipboard's contents; false (with nothing half-written) when
// the clipboard cannot be opened or a format cannot be made.
bool CopyValueText(HWND owner, const std::string& valueText);
