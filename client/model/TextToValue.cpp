#include "TextToValue.h"

#include "ValueText.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

bool Fail(std::string* why, const std::string& reason, VARIANT* out) {
    VariantInit(out);
    if (why) *why = reason;
    return false;
}

bool WholeText(const char* start, const char* end) {
    while (*end == ' ' || *end == '\t') ++end;
    return end != start && *end == '\0';
}

}  // namespace

bool TextToValue(const std::string& text, VARTYPE type, VARIANT* out, std::string* why) {
    VariantInit(out);
    const char* start = text.c_str();
    char* end = nullptr;
    switch (type) {
    case VT_I2:
    case VT_I4:
    case VT_BOOL:
    case 12: {
        errno = 0;
        const long long value = std::strtoll(start, &end, 0);
        if (!WholeText(start, end)) return Fail(why, "\"" + text + "\" is not an integer", out);
        const long long low = type == VT_I4 || type == 12 ? std::numeric_limits<LONG>::min() : -32768;
        const long long high = type == VT_I4 || type == 12 ? std::numeric_limits<LONG>::max() : 32767;
        if (errno == ERANGE || value < low || value > high)
            return Fail(why, "\"" + text + "\" is out of range for the item's type", out);
        out->vt = type;
        out->lVal = static_cast<LONG>(value);  // the first four bytes, as the item's type reads them
        return true;
    }
    case VT_R4:
    case VT_R8: {
        errno = 0;
        const double value = std::strtod(start, &end);
        if (!WholeText(start, end)) return Fail(why, "\"" + text + "\" is not a number", out);
        if (errno == ERANGE || !std::isfinite(value) ||
            (type == VT_R4 && std::fabs(value) > std::numeric_limits<float>::max()))
            return Fail(why, "\"" + text + "\" is out of range for the item's type", out);
        out->vt = type;
        if (type == VT_R4)
            out->fltVal = static_cast<float>(value);
        else
            out->dblVal = value;
        return true;
    }
    case VT_BSTR: {
        const std::wstring wide = AnsiToWide(text);
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
