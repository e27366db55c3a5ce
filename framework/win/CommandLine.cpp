#include "Application.h"

#include "Handles.h"
#include "Text.h"

#include <shellapi.h>

namespace fw {
namespace {

bool SameSwitch(const wchar_t* given, const wchar_t* name) {
    return ::CompareStringOrdinal(given, -1, name, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

CommandLineInfo CommandLineInfo::Parse(const wchar_t* commandLine) {
    CommandLineInfo info;
    if (!commandLine || !*commandLine) return info;

    // The system's own splitting, so quoted paths with spaces and the
    // program-name rules match what the shell and COM put on the line.
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(commandLine, &count);
    UniqueLocal owner(reinterpret_cast<HLOCAL>(args));
    if (!args) return info;

    for (int i = 1; i < count; ++i) {
        const wchar_t* arg = args[i];
        if (arg[0] == L'/' || arg[0] == L'-') {
            const wchar_t* name = arg + 1;
            if (SameSwitch(name, L"Embedding"))
                info.embedding = true;
            else if (SameSwitch(name, L"Automation"))
                info.automation = true;
            else if (SameSwitch(name, L"Unregserver") || SameSwitch(name, L"Unregister"))
                info.unregister = true;
            else if (SameSwitch(name, L"RegServer"))
                info.regserver = true;
        } else if (info.fileName.empty()) {
            info.fileName = Narrow(arg);
        }
    }
    return info;
}

}  // namespace fw
