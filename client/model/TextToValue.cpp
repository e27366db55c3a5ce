#include "TextToValue.h"

#include "ValueText.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {

bool Fail(std::string* why, const std::string& reason, VARIANT* out) {
    VariantClear(out);
    VariantInit(out);
    if (why) *why = reason;
    return false;
}

// The number ended at `end`: it must have taken some text, and only blanks
// may follow it.
bool WholeText(const char* start, const char* end) {
    if (end == start) return false;
    while (*end == ' ' || *end == '\t') ++end;
    return *end == '\0';
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool SameWord(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
    return i == a.size() && !b[i];
}

struct IntegerRange {
    long long low;
    unsigned long long high;
};

// The range of each integer type that is written from an integer text.
bool IntegerRangeOf(VARTYPE type, IntegerRange* range) {
    switch (type) {
    case VT_I1: *range = {-128, 127}; return true;
    case VT_UI1: *range = {0, 255}; return true;
    case VT_I2: *range = {-32768, 32767}; return true;
    case VT_UI2: *range = {0, 65535}; return true;
    case VT_I4:
    case VT_INT:
    case VT_VARIANT: *range = {std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max()}; return true;
    case VT_UI4:
    case VT_UINT: *range = {0, std::numeric_limits<ULONG>::max()}; return true;
    case VT_I8: *range = {std::numeric_limits<LONGLONG>::min(), std::numeric_limits<LONGLONG>::max()}; return true;
    case VT_UI8: *range = {0, std::numeric_limits<ULONGLONG>::max()}; return true;
    default: return false;
    }
}

bool IntegerValue(const std::string& text, VARTYPE type, const IntegerRange& range, VARIANT* out,
                  std::string* why) {
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    const std::string trimmed = Trimmed(text);
    const bool negative = !trimmed.empty() && trimmed[0] == '-';
    unsigned long long bits = 0;
    bool inRange;
    if (negative || range.low < 0) {
        const long long value = std::strtoll(start, &end, 0);
        if (!WholeText(start, end)) return Fail(why, "\"" + text + "\" is not an integer", out);
        inRange = errno != ERANGE && value >= range.low &&
                  (value < 0 || static_cast<unsigned long long>(value) <= range.high);
        bits = static_cast<unsigned long long>(value);
    } else {
        const unsigned long long value = std::strtoull(start, &end, 0);
        if (!WholeText(start, end)) return Fail(why, "\"" + text + "\" is not an integer", out);
        inRange = errno != ERANGE && value <= range.high;
        bits = value;
    }
    if (!inRange) return Fail(why, "\"" + text + "\" is out of range for the item's type", out);
    out->vt = type;
    // The low bytes, as the item's type reads them (little-endian).
    out->ullVal = bits;
    if (type != VT_I8 && type != VT_UI8) out->ullVal &= 0xFFFFFFFFull;
    return true;
}

bool BoolValue(const std::string& text, VARIANT* out, std::string* why) {
    const std::string word = Trimmed(text);
    out->vt = VT_BOOL;
    if (word == "1" || word == "-1" || SameWord(word, "TRUE")) {
        out->boolVal = VARIANT_TRUE;
        return true;
    }
    if (word == "0" || SameWord(word, "FALSE")) {
        out->boolVal = VARIANT_FALSE;
        return true;
    }
    return Fail(why, "\"" + text + "\" is not a boolean (TRUE, FALSE, 1 or 0)", out);
}

bool FloatValue(const std::string& text, VARTYPE type, VARIANT* out, std::string* why) {
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(start, &end);
    if (!WholeText(start, end)) return Fail(why, "\"" + text + "\" is not a number", out);
    if (errno != ERANGE && !std::isfinite(value))
        return Fail(why, "\"" + text + "\" is not a finite number, which the item cannot hold", out);
    // What rounds to the largest float still is one; what would become
    // infinite, or 0 from a number that is not, is not sent.
    const float single = static_cast<float>(value);
    if (errno == ERANGE || (type == VT_R4 && (!std::isfinite(single) || (single == 0 && value != 0))))
        return Fail(why, "\"" + text + "\" is out of range for the item's type", out);
    out->vt = type;
    if (type == VT_R4)
        out->fltVal = single;
    else
        out->dblVal = value;
    return true;
}

// Money, dates and decimals as the user's locale writes them.
bool LocaleValue(const std::string& text, VARTYPE type, VARIANT* out, std::string* why) {
    VARIANT source;
    VariantInit(&source);
    const std::wstring wide = Utf8ToWide(Trimmed(text));
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!source.bstrVal) return Fail(why, "out of memory", out);
    const HRESULT hr = VariantChangeTypeEx(out, &source, LOCALE_USER_DEFAULT, 0, type);
    VariantClear(&source);
    if (hr == DISP_E_OVERFLOW) return Fail(why, "\"" + text + "\" is out of range for the item's type", out);
    if (FAILED(hr) || wide.empty()) return Fail(why, "\"" + text + "\" is not a value of the item's type", out);
    return true;
}

// "{1, 2, 3}": each element read as the element type, into a vector.
bool ArrayValue(const std::string& text, VARTYPE type, VARIANT* out, std::string* why) {
    const VARTYPE elementType = type & VT_TYPEMASK;
    const std::string whole = Trimmed(text);
    if (whole.size() < 2 || whole.front() != '{' || whole.back() != '}')
        return Fail(why, "\"" + text + "\" is not an array: write it as {1, 2, 3}", out);
    std::vector<std::string> parts;
    const std::string inner = whole.substr(1, whole.size() - 2);
    if (!Trimmed(inner).empty()) {
        size_t from = 0;
        for (size_t comma; (comma = inner.find(',', from)) != std::string::npos; from = comma + 1)
            parts.push_back(inner.substr(from, comma - from));
        parts.push_back(inner.substr(from));
    }
    SAFEARRAY* array = SafeArrayCreateVector(elementType, 0, static_cast<ULONG>(parts.size()));
    if (!array) return Fail(why, "the item's array type cannot be written", out);
    out->vt = type;
    out->parray = array;  // freed with `out` on every failure below
    for (size_t i = 0; i < parts.size(); ++i) {
        VARIANT element;
        if (!TextToValue(Trimmed(parts[i]), elementType, &element, why)) return Fail(why, *why, out);
        LONG index = static_cast<LONG>(i);
        // A BSTR element goes in as its pointer and is copied by the array.
        void* data = elementType == VT_BSTR ? static_cast<void*>(element.bstrVal) : static_cast<void*>(&element.llVal);
        const HRESULT hr = SafeArrayPutElement(array, &index, data);
        VariantClear(&element);
        if (FAILED(hr)) return Fail(why, "out of memory", out);
    }
    return true;
}

}  // namespace

bool TextToValue(const std::string& text, VARTYPE type, VARIANT* out, std::string* why) {
    VariantInit(out);
    if ((type & ~VT_TYPEMASK) == VT_ARRAY) {
        const VARTYPE elementType = type & VT_TYPEMASK;
        if (elementType == VT_VARIANT || elementType == VT_EMPTY || elementType == VT_DECIMAL)
            return Fail(why, "the item's value type is not known; read the item first", out);
        return ArrayValue(text, type, out, why);
    }
    IntegerRange range;
    if (IntegerRangeOf(type, &range)) return IntegerValue(text, type, range, out, why);
    switch (type) {
    case VT_BOOL: return BoolValue(text, out, why);
    case VT_R4:
    case VT_R8: return FloatValue(text, type, out, why);
    case VT_CY:
    case VT_DATE:
    case VT_DECIMAL: return LocaleValue(text, type, out, why);
    case VT_BSTR: {
        // Sent whole: a string value has no length limit of its own.
        const std::wstring wide = Utf8ToWide(text);
        BSTR value = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        if (!value) return Fail(why, "out of memory", out);
        out->vt = VT_BSTR;
        out->bstrVal = value;
        return true;
    }
    default:
        // A type never read (VT_EMPTY) or one without a text form: sending
        // an empty value of it would write garbage.
        return Fail(why, "the item's value type is not known; read the item first", out);
    }
}
