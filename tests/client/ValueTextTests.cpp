// Display texts of values in memory and in stream blocks, the ANSI/UTF-16
// conversions and the 100-byte text fields.
#include "ClientRecords.h"
#include "ValueText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct PlainCase {
    VARTYPE type;
    void (*fill)(VARIANT&);
    const char* text;
};

TEST(VariantToText, PlainValuesShowInTheirFormats) {
    const PlainCase cases[] = {
        {VT_I2, [](VARIANT& v) { v.iVal = -32768; }, "-32768"},
        {VT_I4, [](VARIANT& v) { v.lVal = 2147483647; }, "2147483647"},
        {VT_R4, [](VARIANT& v) { v.fltVal = -1.5f; }, "-1.500000"},
        {VT_R8, [](VARIANT& v) { v.dblVal = 12.5; }, "12.500000"},
        {VT_R8, [](VARIANT& v) { v.dblVal = 1.0 / 3.0; }, "0.333333"},
        {VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; }, "TRUE"},
        {VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_FALSE; }, "FALSE"},
        {VT_BOOL, [](VARIANT& v) { v.boolVal = 1; }, "TRUE"},
        {12, [](VARIANT& v) { v.iVal = 0; }, "FALSE"},
        {VT_UI1, [](VARIANT& v) { v.bVal = 7; }, "???"},
        {VT_EMPTY, [](VARIANT&) {}, "???"},
        {VT_DATE, [](VARIANT& v) { v.date = 1.0; }, "???"},
        {VT_ARRAY | VT_I4, [](VARIANT& v) { v.parray = nullptr; }, "???"},
        {VT_BYREF | VT_I2, [](VARIANT& v) { v.piVal = nullptr; }, "???"},
    };
    for (const PlainCase& c : cases) {
        VARIANT v;
        VariantInit(&v);
        v.vt = c.type;
        c.fill(v);
        const VariantText shown = VariantToText(v);
        EXPECT_EQ(c.text, shown.text) << "type " << c.type;
        EXPECT_EQ(c.type, shown.type);
    }
}

TEST(VariantToText, StringsComeFromTheBstrAndHugeNumbersAreCut) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(L"Tank level");
    EXPECT_EQ("Tank level", VariantToText(v).text);
    EXPECT_EQ(VT_BSTR, VariantToText(v).type);
    VariantClear(&v);
    v.vt = VT_BSTR;
    v.bstrVal = nullptr;  // a null BSTR is the empty string
    EXPECT_EQ("", VariantToText(v).text);

    v.vt = VT_R8;
    v.dblVal = 1e300;
    const std::string text = VariantToText(v).text;
    EXPECT_EQ(kMaxConvertedText, text.size());
    EXPECT_EQ("1000000000", text.substr(0, 10));
}

// A stream value needs its sixteen bytes; a string's characters follow its
// byte length, and the pointer in the VARIANT is never read.
TEST(VariantToText, StreamValuesAreReadOnlyFromTheBlock) {
    std::vector<BYTE> bytes(16, 0);
    const VARTYPE r8 = VT_R8;
    const double number = 2.25;
    std::memcpy(&bytes[0], &r8, sizeof r8);
    std::memcpy(&bytes[8], &number, sizeof number);
    auto shown = VariantToText(bytes.data(), bytes.size());
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ("2.250000", shown->text);
    EXPECT_EQ(VT_R8, shown->type);
    for (size_t available = 0; available < 16; ++available)
        EXPECT_FALSE(VariantToText(bytes.data(), available).has_value()) << available;
    EXPECT_FALSE(VariantToText(nullptr, 16).has_value());

    const VARTYPE bstr = VT_BSTR;
    const uint64_t bogusPointer = 0x0000000012345678ull;
    std::memcpy(&bytes[0], &bstr, sizeof bstr);
    std::memcpy(&bytes[8], &bogusPointer, sizeof bogusPointer);
    const std::wstring text = L"Valve open";
    const DWORD byteLength = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    bytes.resize(20);
    std::memcpy(&bytes[16], &byteLength, 4);
    const BYTE* chars = reinterpret_cast<const BYTE*>(text.c_str());
    bytes.insert(bytes.end(), chars, chars + byteLength + sizeof(wchar_t));
    // The terminating NUL is not needed: the length says where it ends.
    for (size_t size : {bytes.size(), bytes.size() - sizeof(wchar_t)}) {
        shown = VariantToText(bytes.data(), size);
        ASSERT_TRUE(shown.has_value()) << size;
        EXPECT_EQ("Valve open", shown->text);
        EXPECT_EQ(VT_BSTR, shown->type);
    }
    // One character short of the length: refused, not read past the end.
    EXPECT_FALSE(VariantToText(bytes.data(), bytes.size() - 2 * sizeof(wchar_t)).has_value());
    // The length field itself missing.
    EXPECT_FALSE(VariantToText(bytes.data(), 18).has_value());
    // The empty string.
    const DWORD zero = 0;
    std::memcpy(&bytes[16], &zero, 4);
    shown = VariantToText(bytes.data(), 20);
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ("", shown->text);
}

// Text ends at its first NUL, as in the fields it comes from, and stops at
// the conversion limit.
TEST(TextConversion, RoundTripsThroughUtf16UpToTheLimit) {
    EXPECT_EQ(L"Group1", AnsiToWide("Group1"));
    EXPECT_EQ("Random.Int4", WideToAnsi(L"Random.Int4"));
    EXPECT_EQ("Random.Int4", WideToAnsi(std::wstring(L"Random.Int4")));
    EXPECT_EQ("", WideToAnsi(static_cast<const wchar_t*>(nullptr)));
    EXPECT_EQ(L"", AnsiToWide(""));
    EXPECT_EQ(L"ab", AnsiToWide(std::string("ab\0cd", 5)));
    EXPECT_EQ("ab", WideToAnsi(L"ab\0cd", 5));
    EXPECT_EQ("abc", WideToAnsi(L"abcdef", 3));

    EXPECT_EQ(std::wstring(kMaxConvertedText, L'a'), AnsiToWide(std::string(500, 'a')));
    EXPECT_EQ(std::string(kMaxConvertedText, 'b'), WideToAnsi(std::wstring(500, L'b')));
    EXPECT_EQ(std::string(kMaxConvertedText, 'c'), WideToAnsi(std::wstring(kMaxConvertedText, L'c')));
    EXPECT_EQ(std::string(kMaxConvertedText - 1, 'd'), WideToAnsi(std::wstring(kMaxConvertedText - 1, L'd')));
    EXPECT_EQ(std::wstring(kMaxConvertedText, L'e'), AnsiToWide(std::string(kMaxConvertedText, 'e')));
}

TEST(TextConversion, UsesTheAnsiCodePage) {
    // A character outside 7-bit ASCII goes through the code page both ways.
    const wchar_t eAcute[] = {0x00E9, 0};
    char expected[8] = {};
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, 0, eAcute, 1, expected, sizeof expected, nullptr, &usedDefault);
    ASSERT_GT(n, 0);
    if (usedDefault) GTEST_SKIP() << "the prefix's ANSI code page has no e-acute";
    EXPECT_EQ(std::string(expected, n), WideToAnsi(eAcute));
    EXPECT_EQ(std::wstring(eAcute), AnsiToWide(std::string(expected, n)));
}

TEST(TextConversion, CutsNeverSplitACharacter) {
    // Shift-JIS: HIRAGANA A takes two bytes.  After one single byte, 99 of
    // them fill 199 bytes; the hundredth would need 201.
    if (!IsValidCodePage(932)) GTEST_SKIP() << "no Shift-JIS tables";
    const wchar_t hiragana = 0x3042;
    const std::wstring wide = L"x" + std::wstring(150, hiragana);
    const std::string cut = WideToCodePage(932, wide.c_str(), wide.size());
    EXPECT_EQ(1 + 2 * 99u, cut.size());
    EXPECT_EQ(L"x" + std::wstring(99, hiragana), CodePageToWide(932, cut));
    // Without the single byte: 99 characters, 198 bytes, not 199.
    const std::wstring even(150, hiragana);
    EXPECT_EQ(198u, WideToCodePage(932, even.c_str(), even.size()).size());

    // UTF-8 to UTF-16: characters outside the basic plane are surrogate
    // pairs, and an odd limit must not keep the first half of one.
    std::string faces;
    for (int i = 0; i < 150; ++i) faces += "\xF0\x9F\x98\x80";  // U+1F600
    const std::wstring pairs = CodePageToWide(CP_UTF8, faces);
    ASSERT_EQ(kMaxConvertedText - 1, pairs.size());
    EXPECT_EQ(0xDE00, pairs.back()) << "ends with a whole pair";
    const std::wstring one = CodePageToWide(CP_UTF8, "\xF0\x9F\x98\x80");
    EXPECT_EQ(std::wstring({0xD83D, 0xDE00}), one);
    // And back: 4 bytes per pair, 49 pairs fit in 199 bytes.
    EXPECT_EQ(4 * 49u, WideToCodePage(CP_UTF8, pairs.c_str(), pairs.size()).size());
}

TEST(FitTextField, CutsToOneHundredBytes) {
    EXPECT_EQ("", FitTextField(""));
    EXPECT_EQ(std::string(99, 'x'), FitTextField(std::string(99, 'x')));
    EXPECT_EQ(std::string(100, 'x'), FitTextField(std::string(100, 'x')));
    EXPECT_EQ(std::string(100, 'x'), FitTextField(std::string(101, 'x')));
    const std::string mixed = std::string(60, 'a') + std::string(60, 'b');
    EXPECT_EQ(mixed.substr(0, 100), FitTextField(mixed));
}

TEST(FitTextField, NeverSplitsADoubleByteCharacter) {
    CPINFO info{};
    if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize < 2) GTEST_SKIP() << "single-byte ANSI code page";
    const wchar_t wide = 0x3042;
    char ansi[4] = {};
    if (WideCharToMultiByte(CP_ACP, 0, &wide, 1, ansi, sizeof ansi, nullptr, nullptr) != 2)
        GTEST_SKIP() << "no two-byte form of the test character";
    // 99 single bytes, then a two-byte character that would straddle byte 100.
    const std::string text = std::string(99, 'x') + std::string(ansi, 2);
    EXPECT_EQ(std::string(99, 'x'), FitTextField(text));
}

}  // namespace
