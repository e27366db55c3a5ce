// Display texts of values in memory and in stream blocks, the UTF-8, ANSI
// and UTF-16 conversions and the 100-byte text fields.
#include "ClientRecords.h"
#include "QualityText.h"
#include "TextToValue.h"
#include "ValueText.h"
#include "Variant.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
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
        {VT_R8, [](VARIANT& v) { v.dblVal = 1.0 / 3.0; }, "0.3333333333333333"},
        {VT_R8, [](VARIANT& v) { v.dblVal = 0.1 + 0.2; }, "0.300000"},
        {VT_R8, [](VARIANT& v) { v.dblVal = 1e300; }, "1e+300"},
        {VT_R4, [](VARIANT& v) { v.fltVal = 2.1f; }, "2.100000"},
        {VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; }, "TRUE"},
        {VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_FALSE; }, "FALSE"},
        {VT_BOOL, [](VARIANT& v) { v.boolVal = 1; }, "TRUE"},
        {12, [](VARIANT& v) { v.iVal = 0; }, "FALSE"},
        {VT_I1, [](VARIANT& v) { v.cVal = -5; }, "-5"},
        {VT_UI1, [](VARIANT& v) { v.bVal = 200; }, "200"},
        {VT_UI2, [](VARIANT& v) { v.uiVal = 65535; }, "65535"},
        {VT_UI4, [](VARIANT& v) { v.ulVal = 4294967295u; }, "4294967295"},
        {VT_I8, [](VARIANT& v) { v.llVal = -9000000000LL; }, "-9000000000"},
        {VT_UI8, [](VARIANT& v) { v.ullVal = 18446744073709551615ULL; }, "18446744073709551615"},
        {VT_ERROR, [](VARIANT& v) { v.scode = E_FAIL; }, "0x80004005"},
        {VT_EMPTY, [](VARIANT&) {}, "???"},
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

// Money and dates come from the system in the user's locale; one-dimensional
// arrays list their elements.
TEST(VariantToText, LocaleTypesAndArrays) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DATE;
    v.date = 1.0;  // the last day of 1899
    EXPECT_NE(std::string::npos, VariantToText(v).text.find("1899"));
    v.vt = VT_CY;
    v.cyVal.int64 = 12345;  // 1.2345 in units of 1/10000
    EXPECT_NE(std::string::npos, VariantToText(v).text.find("2345"));

    SAFEARRAY* numbers = SafeArrayCreateVector(VT_I4, 0, 3);
    for (LONG i = 0; i < 3; ++i) {
        LONG value = (i + 1) * 10;
        ASSERT_EQ(S_OK, SafeArrayPutElement(numbers, &i, &value));
    }
    v.vt = VT_ARRAY | VT_I4;
    v.parray = numbers;
    EXPECT_EQ("{10, 20, 30}", VariantToText(v).text);
    VariantClear(&v);

    SAFEARRAY* words = SafeArrayCreateVector(VT_BSTR, 0, 2);
    const wchar_t* texts[] = {L"a", L"bc"};
    for (LONG i = 0; i < 2; ++i) {
        BSTR word = SysAllocString(texts[i]);
        ASSERT_EQ(S_OK, SafeArrayPutElement(words, &i, word));
        SysFreeString(word);
    }
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = words;
    EXPECT_EQ("{a, bc}", VariantToText(v).text);
    VariantClear(&v);

    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    v.vt = VT_ARRAY | VT_R8;
    v.parray = SafeArrayCreate(VT_R8, 2, bounds);
    EXPECT_EQ("???", VariantToText(v).text) << "two dimensions have no text";
    VariantClear(&v);
}

TEST(QualityText, QualitySubstatusAndLimitInWords) {
    EXPECT_EQ("Good", QualityText(0xC0));
    EXPECT_EQ("Good: local override", QualityText(0xD8));
    EXPECT_EQ("Uncertain", QualityText(0x40));
    EXPECT_EQ("Uncertain: last usable", QualityText(0x44));
    EXPECT_EQ("Bad", QualityText(0x00));
    EXPECT_EQ("Bad: comm failure", QualityText(0x18));
    EXPECT_EQ("Bad: last known value", QualityText(0x14));
    EXPECT_EQ("Bad: waiting for initial data", QualityText(0x20));
    EXPECT_EQ("Bad: not connected, low limited", QualityText(0x09));
    EXPECT_EQ("Good, constant", QualityText(0xC3));
    EXPECT_EQ("Uncertain: 0x48", QualityText(0x48)) << "a substatus the standard does not name";
    EXPECT_EQ("Invalid (0x80)", QualityText(0x80));
}

// What a user types, read as each type, shows again as the same text.
TEST(TextToValue, EveryTypeReadsWhatItShows) {
    struct Case {
        VARTYPE type;
        const char* typed;
        const char* shown;
    };
    const Case cases[] = {
        {VT_I1, "-128", "-128"},   {VT_UI1, "0xFF", "255"},   {VT_I2, "-2", "-2"},
        {VT_UI2, "65535", "65535"}, {VT_I4, "010", "8"},     {VT_UI4, "4294967295", "4294967295"},
        {VT_INT, "-7", "-7"},      {VT_UINT, "7", "7"},      {VT_I8, "-9000000000", "-9000000000"},
        {VT_UI8, "18446744073709551615", "18446744073709551615"},
        {VT_R4, " 1.5 ", "1.500000"}, {VT_R8, "1e3", "1000.000000"},
        {VT_R4, "3.4028235e38", "3.4028235e+38"}, {VT_R8, "1e-50", "1e-50"},
        {VT_R8, "1.7976931348623157e308", "1.7976931348623157e+308"}, {VT_R8, "0.000123456789", "0.000123456789"},
        {VT_R8, "1e20", "1e+20"},   {VT_R4, "1e-40", "1e-40"},
        {VT_BOOL, "TRUE", "TRUE"},  {VT_BOOL, "0", "FALSE"},   {VT_BSTR, " x ", " x "},
        {VT_ARRAY | VT_I4, "{1, -2,3}", "{1, -2, 3}"}, {VT_ARRAY | VT_R8, "{}", "{}"},
        {VT_ARRAY | VT_BOOL, "{true, 0}", "{TRUE, FALSE}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        VARIANT value;
        std::string why;
        ASSERT_TRUE(TextToValue(c.typed, c.type, &value, &why)) << why;
        EXPECT_EQ(c.type, value.vt);
        EXPECT_EQ(c.shown, VariantToText(value).text);
        if (c.type == VT_R4 || c.type == VT_R8) {
            // And what shows reads back as the very same value.
            VARIANT again;
            ASSERT_TRUE(TextToValue(c.shown, c.type, &again, nullptr));
            EXPECT_EQ(VARCMP_EQ, VarCmp(&value, &again, LOCALE_USER_DEFAULT, 0));
            VariantClear(&again);
        }
        VariantClear(&value);
    }
    VARIANT value;
    ASSERT_TRUE(TextToValue("1", VT_BOOL, &value, nullptr));
    EXPECT_EQ(VARIANT_TRUE, value.boolVal) << "a true boolean is -1 on the wire, not 1";
    ASSERT_TRUE(TextToValue("1.5", VT_CY, &value, nullptr));
    EXPECT_EQ(15000, value.cyVal.int64);
}

TEST(TextToValue, RefusesWhatIsNotWholeOrDoesNotFit) {
    struct Case {
        VARTYPE type;
        const char* typed;
        const char* reason;  // a part of the message
    };
    const Case cases[] = {
        {VT_I2, " ", "not an integer"},         {VT_I4, "\t", "not an integer"},
        {VT_R8, "  ", "not a number"},          {VT_I4, "12abc", "not an integer"},
        {VT_R4, "1.5x", "not a number"},        {VT_I1, "128", "out of range"},
        {VT_UI1, "-1", "out of range"},         {VT_UI4, "4294967296", "out of range"},
        {VT_I2, "32768", "out of range"},       {VT_R4, "1e-50", "out of range"},
        {VT_R4, "3.5e38", "out of range"},      {VT_R8, "1e999", "out of range"},
        {VT_R8, "nan", "not a finite number"},  {VT_R4, "inf", "not a finite number"},
        {VT_BOOL, "2", "not a boolean"},        {VT_BOOL, "yes", "not a boolean"},
        {VT_DATE, "", "not a value"},           {VT_ARRAY | VT_I4, "1, 2", "not an array"},
        {VT_ARRAY | VT_I2, "{1, x}", "not an integer"}, {VT_EMPTY, "1", "read the item first"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        VARIANT value;
        std::string why;
        EXPECT_FALSE(TextToValue(c.typed, c.type, &value, &why));
        EXPECT_EQ(VT_EMPTY, value.vt) << "nothing to send";
        EXPECT_NE(std::string::npos, why.find(c.reason)) << why;
    }
}

TEST(VariantToText, StringsComeFromTheBstr) {
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

// Text ends at its first NUL, as in the fields it comes from, and is never
// cut: a long name, value or path converts whole.
TEST(TextConversion, RoundTripsThroughUtf16Whole) {
    EXPECT_EQ(L"Group1", AnsiToWide("Group1"));
    EXPECT_EQ("Random.Int4", WideToAnsi(L"Random.Int4"));
    EXPECT_EQ("Random.Int4", WideToAnsi(std::wstring(L"Random.Int4")));
    EXPECT_EQ("", WideToAnsi(static_cast<const wchar_t*>(nullptr)));
    EXPECT_EQ("", WideToUtf8(static_cast<const wchar_t*>(nullptr)));
    EXPECT_EQ(L"", AnsiToWide(""));
    EXPECT_EQ(L"ab", AnsiToWide(std::string("ab\0cd", 5)));
    EXPECT_EQ(L"ab", Utf8ToWide(std::string("ab\0cd", 5)));
    EXPECT_EQ("ab", WideToAnsi(L"ab\0cd", 5));
    EXPECT_EQ("abc", WideToAnsi(L"abcdef", 3));

    EXPECT_EQ(std::wstring(500, L'a'), AnsiToWide(std::string(500, 'a')));
    EXPECT_EQ(std::string(500, 'b'), WideToAnsi(std::wstring(500, L'b')));
    EXPECT_EQ(std::wstring(30000, L'p'), Utf8ToWide(std::string(30000, 'p')));
    EXPECT_EQ(std::string(5000, 'z'), AnsiToUtf8(std::string(5000, 'z')));
}

// Text that is data (a value to write, a path, the console's output) keeps
// every character: a long string value goes whole, in UTF-8 and back.
TEST(TextConversion, DataIsConvertedWhole) {
    const std::string typed = "\xD0\x96" + std::string(30000, 'q') + "\xE4\xB8\xAD";  // Zhe ... zhong
    fw::Variant value;
    std::string why;
    ASSERT_TRUE(TextToValue(typed, VT_BSTR, value.put(), &why)) << why;
    const BSTR sent = value.in()->bstrVal;
    ASSERT_EQ(30002u, SysStringLen(sent));
    EXPECT_EQ(0x0416, sent[0]);
    EXPECT_EQ(0x4E2D, sent[30001]);
    EXPECT_EQ(typed, VariantToText(*value.in()).text) << "shown as it was written";
    const wchar_t omega[] = {0x03A9, L'!', 0};
    EXPECT_EQ("\xCE\xA9!", WideToUtf8(omega, 2));
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

TEST(TextConversion, MultiByteCharactersAndSurrogatePairsStayWhole) {
    // Shift-JIS: HIRAGANA A takes two bytes; 150 of them after one single
    // byte are 301 bytes, all kept.
    if (!IsValidCodePage(932)) GTEST_SKIP() << "no Shift-JIS tables";
    const wchar_t hiragana = 0x3042;
    const std::wstring wide = L"x" + std::wstring(150, hiragana);
    const std::string bytes = WideToCodePage(932, wide.c_str(), wide.size());
    EXPECT_EQ(1 + 2 * 150u, bytes.size());
    EXPECT_EQ(wide, CodePageToWide(932, bytes));

    // UTF-8 to UTF-16: characters outside the basic plane are surrogate
    // pairs, kept as pairs both ways.
    std::string faces;
    for (int i = 0; i < 150; ++i) faces += "\xF0\x9F\x98\x80";  // U+1F600
    const std::wstring pairs = Utf8ToWide(faces);
    ASSERT_EQ(300u, pairs.size());
    EXPECT_EQ(std::wstring({0xD83D, 0xDE00}), pairs.substr(298));
    EXPECT_EQ(faces, WideToUtf8(pairs));
}

// Names go into the document's 100-byte ANSI fields: only those the code
// page holds exactly, in at most 100 bytes, fit.
TEST(TextConversion, DocumentFieldsTakeExactAnsiOfAtMostOneHundredBytes) {
    EXPECT_EQ(std::optional<std::string>("Random.Int4"), Utf8ToExactAnsi("Random.Int4"));
    EXPECT_EQ(FieldFit::Fits, CheckDocumentField(std::string(100, 'x')).fit);
    const FieldCheck tooLong = CheckDocumentField(std::string(101, 'x'));
    EXPECT_EQ(FieldFit::TooLong, tooLong.fit);
    EXPECT_EQ(101u, tooLong.ansiBytes);
    EXPECT_EQ(FieldFit::NotAnsi, CheckDocumentField(std::string("a\0b", 3)).fit) << "a NUL ends a field";
    if (GetACP() == CP_UTF8) GTEST_SKIP() << "a UTF-8 ANSI code page holds every character";
    // Cyrillic ZHE and CJK "middle" are in no single code page together.
    const std::string foreign = "Tag.\xD0\x96\xE4\xB8\xAD";
    EXPECT_FALSE(Utf8ToExactAnsi(foreign).has_value());
    EXPECT_EQ(FieldFit::NotAnsi, CheckDocumentField(foreign).fit);

    // A message shows the start of a long name, never half a character.
    EXPECT_EQ("ab", TextForMessage("ab", 2));
    EXPECT_EQ("a...", TextForMessage("a\xD0\x96", 2));
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
