// Which tag names a browse hands out: the client's name pattern, data type
// and access rights, as the standard defines them.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

// The standard's wildcards, letter case ignored: ? any one character,
// * any run of characters (none too), # one digit, [list] one character of
// the list (ranges a-z allowed), [!list] one character not in it.  An empty
// pattern matches every name.  A pattern with an unclosed [ matches nothing
// where the bracket stands.
bool MatchesPattern(const wchar_t* text, const wchar_t* pattern);

struct BrowseFilter {
    std::wstring pattern;
    VARTYPE dataType = VT_EMPTY;  // VT_EMPTY: any type
    DWORD accessRights = 0;       // the rights a name must have, 0: any
    // Names are leaves; a browse for branches of a flat space finds none.
    bool branchesOnly = false;

    bool Accepts(const std::wstring& name, VARTYPE type, DWORD rights) const {
        return !branchesOnly && (dataType == VT_EMPTY || dataType == type) &&
               (rights & accessRights) == accessRights && MatchesPattern(name.c_str(), pattern.c_str());
    }
};
