#include "DataExchange.h"

#include "StandardIds.h"
#include "Text.h"
#include "WindowClass.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace fw {

const char* const DataExchange::kIntegerMessage = "Please enter an integer.";
const char* const DataExchange::kNumberMessage = "Please enter a number.";
const char* const DataExchange::kPositiveIntegerMessage = "Please enter a positive integer.";
const char* const DataExchange::kMaxCharsMessage = "Please enter no more than %1 characters.";

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string Trimmed(const std::string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

// Digits only, at least one; the magnitude, or false past `limit`.
bool ParseMagnitude(const std::string& digits, unsigned long long limit, unsigned long long& magnitude) {
    if (digits.empty()) return false;
    magnitude = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
        if (magnitude > limit) return false;
    }
    return true;
}

std::string Replace(std::string text, const char* placeholder, const std::string& with) {
    const size_t at = text.find(placeholder);
    if (at != std::string::npos) text.replace(at, std::char_traits<char>::length(placeholder), with);
    return text;
}

bool IsEdit(HWND control) {
    wchar_t cls[16] = {};
    ::GetClassNameW(control, cls, 16);
    return ::lstrcmpiW(cls, L"Edit") == 0;
}

}  // namespace

bool ParseInt32(const std::string& text, LONG& value) {
    std::string t = Trimmed(text);
    bool negative = false;
    if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
        negative = t[0] == '-';
        t.erase(0, 1);
    }
    unsigned long long magnitude = 0;
    if (!ParseMagnitude(t, negative ? 2147483648ULL : 2147483647ULL, magnitude)) return false;
    value = negative ? static_cast<LONG>(-static_cast<long long>(magnitude)) : static_cast<LONG>(magnitude);
    return true;
}

bool ParseUInt32(const std::string& text, DWORD& value) {
    std::string t = Trimmed(text);
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    unsigned long long magnitude = 0;
    if (!ParseMagnitude(t, 4294967295ULL, magnitude)) return false;
    value = static_cast<DWORD>(magnitude);
    return true;
}

bool ParseFloat(const std::string& text, FLOAT& value) {
    const std::string t = Trimmed(text);
    if (t.empty()) return false;
    // Plain decimal notation only: strtod would also take "inf", "nan" and
    // hexadecimal forms, which no one types as a deadband.
    bool digit = false;
    for (char c : t) {
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c != '+' && c != '-' && c != '.' && c != 'e' && c != 'E')
            return false;
    }
    if (!digit) return false;
    char* end = nullptr;
    const double parsed = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !std::isfinite(parsed) || std::fabs(parsed) > FLT_MAX) return false;
    value = static_cast<FLOAT>(parsed);
    return true;
}

std::string FormatFloat(FLOAT value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*g", FLT_DIG, static_cast<double>(value));
    return text;
}

std::string DataExchange::MessageCaption() {
    // ResourceInstance is the application's module while an application
    // object exists, else the executable's.
    const wchar_t* title = nullptr;
    const int length = ::LoadStringW(ResourceInstance(), IDS_APP_TITLE, reinterpret_cast<LPWSTR>(&title), 0);
    if (length > 0 && title) return Narrow(title, length);

    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, n < MAX_PATH ? n : MAX_PATH);
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0) name.erase(dot);
    return Narrow(name);
}

bool DataExchange::Commit() {
    if (!failed_)
        for (const auto& store : pending_) store();
    pending_.clear();
    return !failed_;
}

bool DataExchange::Usable(int id) const { return !failed_ && Control(id) != nullptr; }

void DataExchange::Fail(int id, const std::string& message) {
    if (failed_) return;
    failed_ = true;
    failedId_ = id;
    ::MessageBoxW(dialog_, Widen(message).c_str(), Widen(MessageCaption()).c_str(), MB_ICONEXCLAMATION | MB_OK);
    // After the box: closing it gives the focus back to where it was.
    if (HWND control = Control(id)) {
        ::SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
        if (IsEdit(control)) ::SendMessageW(control, EM_SETSEL, 0, -1);
    }
}

void DataExchange::Text(int id, std::string& value, size_t maxChars) {
    if (!Usable(id)) return;
    const HWND control = Control(id);
    if (!FromControls()) {
        ::SetWindowTextW(control, Widen(value).c_str());
        if (maxChars > 0 && IsEdit(control)) ::SendMessageW(control, EM_LIMITTEXT, maxChars, 0);
        return;
    }
    // Characters as the control counts them (UTF-16 units), not the bytes
    // of the UTF-8 text.
    const int length = ::GetWindowTextLengthW(control);
    std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
    wide.resize(static_cast<size_t>(::GetWindowTextW(control, &wide[0], length + 1)));
    if (maxChars > 0 && wide.size() > maxChars) {
        Fail(id, Replace(kMaxCharsMessage, "%1", std::to_string(maxChars)));
        return;
    }
    Store(value, Narrow(wide));
}

void DataExchange::Int(int id, LONG& value) {
    if (!Usable(id)) return;
    if (!FromControls()) {
        ::SetWindowTextW(Control(id), std::to_wstring(value).c_str());
        return;
    }
    LONG parsed = 0;
    if (ParseInt32(WindowText(Control(id)), parsed))
        Store(value, parsed);
    else
        Fail(id, kIntegerMessage);
}

void DataExchange::UInt(int id, DWORD& value) {
    if (!Usable(id)) return;
    if (!FromControls()) {
        ::SetWindowTextW(Control(id), std::to_wstring(value).c_str());
        return;
    }
    DWORD parsed = 0;
    if (ParseUInt32(WindowText(Control(id)), parsed))
        Store(value, parsed);
    else
        Fail(id, kPositiveIntegerMessage);
}

void DataExchange::Float(int id, FLOAT& value) {
    if (!Usable(id)) return;
    if (!FromControls()) {
        ::SetWindowTextW(Control(id), Widen(FormatFloat(value)).c_str());
        return;
    }
    FLOAT parsed = 0;
    if (ParseFloat(WindowText(Control(id)), parsed))
        Store(value, parsed);
    else
        Fail(id, kNumberMessage);
}

void DataExchange::Check(int id, BOOL& value) {
    if (!Usable(id)) return;
    if (!FromControls())
        ::CheckDlgButton(dialog_, id, value == BST_INDETERMINATE ? BST_INDETERMINATE : value ? BST_CHECKED : BST_UNCHECKED);
    else
        Store(value, static_cast<BOOL>(::IsDlgButtonChecked(dialog_, id)));
}

void DataExchange::ComboIndex(int id, int& index) {
    if (!Usable(id)) return;
    if (!FromControls()) {
        ::SendMessageW(Control(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        return;
    }
    const LRESULT selected = ::SendMessageW(Control(id), CB_GETCURSEL, 0, 0);
    Store(index, selected == CB_ERR ? -1 : static_cast<int>(selected));
}

}  // namespace fw
