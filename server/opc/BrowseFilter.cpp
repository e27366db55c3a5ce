#include "BrowseFilter.h"

#include <cwctype>

namespace {

wchar_t Folded(wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); }

// Matches c against the list that starts after '[' at *list; moves *list
// past the closing ']'.  False (and *list null) when the list is unclosed.
bool InList(wchar_t c, const wchar_t*& list) {
    bool negated = false;
    if (*list == L'!') {
        negated = true;
        ++list;
    }
    bool found = false;
    const wchar_t* p = list;
    // A ']' right at the start is a member, not the end.
    bool first = true;
    for (; *p && (first || *p != L']'); first = false) {
        wchar_t low = Folded(*p);
        wchar_t high = low;
        if (p[1] == L'-' && p[2] && p[2] != L']') {
            high = Folded(p[2]);
            p += 3;
        } else {
            ++p;
        }
        if (low <= Folded(c) && Folded(c) <= high) found = true;
    }
    if (!*p) {
        list = nullptr;
        return false;
    }
    list = p + 1;
    return found != negated;
}

bool Match(const wchar_t* text, const wchar_t* pattern) {
    while (*pattern) {
        switch (*pattern) {
        case L'*':
            // Runs of stars are one star; then try every rest of the text.
            while (*pattern == L'*') ++pattern;
            if (!*pattern) return true;
            for (const wchar_t* rest = text;; ++rest) {
                if (Match(rest, pattern)) return true;
                if (!*rest) return false;
            }
        case L'?':
            if (!*text) return false;
            break;
        case L'#':
            if (!std::iswdigit(*text)) return false;
            break;
        case L'[': {
            if (!*text) return false;
            const wchar_t* list = pattern + 1;
            if (!InList(*text, list)) return false;
            pattern = list;
            ++text;
            continue;
        }
        default:
            if (!*text || Folded(*text) != Folded(*pattern)) return false;
            break;
        }
        ++pattern;
        ++text;
    }
    return !*text;
}

}  // namespace

bool MatchesPattern(const wchar_t* text, const wchar_t* pattern) {
    if (!pattern || !*pattern) return true;
    return Match(text ? text : L"", pattern);
}
