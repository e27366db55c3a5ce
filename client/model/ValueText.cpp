#include "ValueText.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>

namespace {

// Fields of the 32-bit VARIANT as it lies in a stream.
constexpr size_t kVariantTypeOffset = 0;
constexpr size_t kVariantDataOffset = 8;
constexpr size_t kStreamStringLengthOffset = 16;
constexpr size_t kStreamStringCharsOffset = 20;

// The C library's text of a number ("%i", "%f", "%.*g").
template <class... T>
std::string Printed(const char* format, T... values) {
    char buffer[512];
    const int n = std::snprintf(buffer, sizeof buffer, format, values...);
    if (n < 0) return "???";
    return std::string(buffer, std::min(static_cast<size_t>(n), sizeof buffer - 1));
}

std::string BoolText(SHORT value) { return value ? "TRUE" : "FALSE"; }

// Reads `text` back as a T (float or double).
template <class T>
T ReadBack(const std::string& text) {
    if constexpr (sizeof(T) == sizeof(float))
        return std::strtof(text.c_str(), nullptr);
    else
        return std::strtod(text.c_str(), nullptr);
}

// A floating-point value as six decimals ("%f") wherever those show it to
// the type's precision (7 significant digits of a float, 15 of a double),
// which is how values of ordinary size have always been shown.  Anything
// else (1e-50, the largest double, whose "%f" runs to 309 digits) is shown
// by the shortest "%g" text that reads back as exactly the same value.
template <class T>
std::string FloatingText(T value) {
    constexpr int kTypeDigits = sizeof(T) == sizeof(float) ? 7 : 15;
    constexpr int kRoundTripDigits = sizeof(T) == sizeof(float) ? 9 : 17;
    const double wide = static_cast<double>(value);
    if (std::isnan(wide)) return "nan";
    if (std::isinf(wide)) return wide < 0 ? "-inf" : "inf";
    if (std::fabs(wide) < 1e15) {
        const std::string sixDecimals = Printed("%f", wide);
        if (ReadBack<T>(sixDecimals) == ReadBack<T>(Printed("%.*g", kTypeDigits, wide))) return sixDecimals;
    }
    for (int digits = 1; digits < kRoundTripDigits; ++digits) {
        const std::string text = Printed("%.*g", digits, wide);
        if (ReadBack<T>(text) == value) return text;
    }
    return Printed("%.*g", kRoundTripDigits, wide);
}

// The system's text of a value in the user's locale; "???" when it has none.
std::string LocaleText(const VARIANT& value) {
    VARIANT text;
    VariantInit(&text);
    if (FAILED(VariantChangeTypeEx(&text, const_cast<VARIANT*>(&value), LOCALE_USER_DEFAULT, 0, VT_BSTR)))
        return "???";
    std::string result = WideToUtf8(text.bstrVal, SysStringLen(text.bstrVal));
    VariantClear(&text);
    return result;
}

// A value of type T from the first bytes of `data`, which need not be aligned.
template <class T>
T Load(const BYTE* data) {
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

// The text of every type that carries its value in the VARIANT's eight data
// bytes; strings are the caller's business.  `data` holds those bytes.
std::string ScalarText(VARTYPE type, const BYTE* data) {
    switch (type) {
    case VT_I2: return Printed("%i", static_cast<int>(Load<SHORT>(data)));
    case VT_I4: return Printed("%i", static_cast<int>(Load<LONG>(data)));
    case VT_R4: return FloatingText(Load<FLOAT>(data));
    case VT_R8: return FloatingText(Load<DOUBLE>(data));
    case VT_BOOL:
    case VT_VARIANT:
        // Type 12 has always been shown like a boolean from its first
        // 16 bits; keeping that keeps old servers' values readable.
        return BoolText(Load<SHORT>(data));
    case VT_I1: return Printed("%i", static_cast<int>(Load<signed char>(data)));
    case VT_UI1: return Printed("%u", static_cast<unsigned>(Load<BYTE>(data)));
    case VT_UI2: return Printed("%u", static_cast<unsigned>(Load<USHORT>(data)));
    case VT_INT: return Printed("%i", static_cast<int>(Load<LONG>(data)));
    case VT_UI4:
    case VT_UINT: return Printed("%lu", static_cast<unsigned long>(Load<ULONG>(data)));
    case VT_I8: return Printed("%lld", static_cast<long long>(Load<LONGLONG>(data)));
    case VT_UI8: return Printed("%llu", static_cast<unsigned long long>(Load<ULONGLONG>(data)));
    case VT_ERROR: return Printed("0x%08lX", static_cast<unsigned long>(Load<ULONG>(data)));
    case VT_CY:
    case VT_DATE: {
        // Money and dates as the user's locale writes them.
        VARIANT value;
        VariantInit(&value);
        value.vt = type;
        std::memcpy(&value.llVal, data, 8);
        return LocaleText(value);
    }
    default:
        // Other types, and every array or reference (their flag bits make
        // them differ from the plain types above).
        return "???";
    }
}

// A one-dimensional array of a type with a text: "{1, 2, 3}".
std::string ArrayText(const VARIANT& value) {
    SAFEARRAY* array = value.parray;
    const VARTYPE elementType = value.vt & VT_TYPEMASK;
    // Elements are copied into a VARIANT's eight data bytes: larger ones
    // (DECIMAL, VARIANT, records) have no text here.
    if (!array || SafeArrayGetDim(array) != 1 || SafeArrayGetElemsize(array) > 8 || elementType == VT_DECIMAL ||
        elementType == VT_VARIANT || elementType == VT_RECORD)
        return "???";
    LONG low = 0, high = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &low)) || FAILED(SafeArrayGetUBound(array, 1, &high))) return "???";
    std::string text = "{";
    for (LONG i = low; i <= high; ++i) {
        VARIANT element;
        VariantInit(&element);
        if (FAILED(SafeArrayGetElement(array, &i, &element.llVal))) return "???";
        element.vt = elementType;
        if (i != low) text += ", ";
        text += VariantToText(element).text;
        VariantClear(&element);
    }
    text += "}";
    return text;
}

}  // namespace

VariantText VariantToText(const VARIANT& value) {
    VariantText result;
    result.type = value.vt;
    if (value.vt == VT_BSTR) {
        result.text = value.bstrVal ? WideToUtf8(value.bstrVal, SysStringLen(value.bstrVal)) : std::string();
        return result;
    }
    if ((value.vt & ~VT_TYPEMASK) == VT_ARRAY) {
        result.text = ArrayText(value);
        return result;
    }
    // The data bytes start at the union, the same place as in the 32-bit
    // layout that streams carry.
    BYTE data[8];
    std::memcpy(data, &value.llVal, sizeof data);
    result.text = ScalarText(value.vt, data);
    return result;
}

std::optional<VariantText> VariantToText(const BYTE* value, size_t available) {
    if (!value || available < kStreamVariantSize) return std::nullopt;
    VariantText result;
    std::memcpy(&result.type, value + kVariantTypeOffset, sizeof result.type);
    if (result.type != VT_BSTR) {
        result.text = ScalarText(result.type, value + kVariantDataOffset);
        return result;
    }
    // The string follows the VARIANT: its length in bytes, as a BSTR keeps
    // it, then the characters.  A length that runs past the block is not a
    // string we can trust any part of.
    if (available < kStreamStringCharsOffset) return std::nullopt;
    DWORD byteLength;
    std::memcpy(&byteLength, value + kStreamStringLengthOffset, sizeof byteLength);
    if (byteLength > available - kStreamStringCharsOffset) return std::nullopt;
    // Copied out, because the characters need not be aligned in the block.
    const size_t chars = byteLength / sizeof(wchar_t);
    std::wstring text(chars, L'\0');
    if (chars) std::memcpy(&text[0], value + kStreamStringCharsOffset, chars * sizeof(wchar_t));
    result.text = WideToUtf8(text);
    return result;
}
