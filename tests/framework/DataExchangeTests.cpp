// Dialog data exchange driven through a real modal dialog: values shown when
// it opens, read back on OK, refused texts answered with the framework's
// messages while the dialog stays open.
#include "FrameworkTest.h"

#include "DataExchange.h"
#include "DataExchangeResource.h"
#include "Dialog.h"
#include "DialogWatcher.h"
#include "MessageBoxWatcher.h"

#include <cstring>
#include <iterator>

namespace frameworktest {
namespace {

constexpr const char* kCaption = "Exchange Test";
// IDS_APP_TITLE of the server's resources, linked into this program.
constexpr const char* kAppTitle = "VELMORA_OPC";

class FieldsDialog : public fw::Dialog {
public:
    FieldsDialog() : fw::Dialog(IDD_EXCHANGE_TEST) {}

    BOOL flag = TRUE;
    LONG number = -7;
    FLOAT ratio = 2.5f;
    DWORD count = 42;
    std::string text = "abc";
    int choice = 1;

protected:
    bool OnInitDialog() override {
        for (const char* name : {"first", "second", "third"})
            SendDlgItemMessageA(hwnd(), IDC_DX_CHOICE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        return true;
    }
    void DoDataExchange(fw::DataExchange& dx) override {
        dx.Check(IDC_DX_FLAG, flag);
        dx.Int(IDC_DX_NUMBER, number);
        dx.Float(IDC_DX_RATIO, ratio);
        dx.UInt(IDC_DX_COUNT, count);
        dx.Text(IDC_DX_TEXT, text, 10);
        dx.ComboIndex(IDC_DX_CHOICE, choice);
    }
};

class DataExchangeDialog : public ::testing::Test {
protected:
    TestApplication app_;
    FieldsDialog dialog_;
};

// The fields shown when it opens; OK stores every field, at its limits.
TEST_F(DataExchangeDialog, ShowsTheFieldsAndOkStoresThem) {
    struct {
        std::string number, ratio, count, text;
        UINT flag = 0;
        LRESULT choice = -2, limit = 0;
    } shown;
    DialogWatcher watcher(kCaption, IDOK, [&shown](HWND dialog) {
        shown.flag = IsDlgButtonChecked(dialog, IDC_DX_FLAG);
        shown.number = ItemText(dialog, IDC_DX_NUMBER);
        shown.ratio = ItemText(dialog, IDC_DX_RATIO);
        shown.count = ItemText(dialog, IDC_DX_COUNT);
        shown.text = ItemText(dialog, IDC_DX_TEXT);
        shown.choice = SendDlgItemMessageA(dialog, IDC_DX_CHOICE, CB_GETCURSEL, 0, 0);
        shown.limit = SendDlgItemMessageA(dialog, IDC_DX_TEXT, EM_GETLIMITTEXT, 0, 0);
        CheckDlgButton(dialog, IDC_DX_FLAG, BST_UNCHECKED);
        SetDlgItemTextA(dialog, IDC_DX_NUMBER, " -2147483648 ");
        SetDlgItemTextA(dialog, IDC_DX_RATIO, "-1.25e3");
        SetDlgItemTextA(dialog, IDC_DX_COUNT, "4294967295");
        SetDlgItemTextA(dialog, IDC_DX_TEXT, "0123456789");
        SendDlgItemMessageA(dialog, IDC_DX_CHOICE, CB_SETCURSEL, 2, 0);
    });
    EXPECT_EQ(IDOK, dialog_.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), shown.flag);
    EXPECT_EQ("-7", shown.number);
    EXPECT_EQ("2.5", shown.ratio);
    EXPECT_EQ("42", shown.count);
    EXPECT_EQ("abc", shown.text);
    EXPECT_EQ(1, shown.choice);
    EXPECT_EQ(10, shown.limit);  // typing stops at the field's limit
    EXPECT_EQ(FALSE, dialog_.flag);
    EXPECT_EQ(static_cast<LONG>(-2147483647 - 1), dialog_.number);
    EXPECT_EQ(-1250.0f, dialog_.ratio);
    EXPECT_EQ(4294967295u, dialog_.count);
    EXPECT_EQ("0123456789", dialog_.text);
    EXPECT_EQ(2, dialog_.choice);

    DialogWatcher none(kCaption, IDOK, [](HWND dialog) {
        SendDlgItemMessageA(dialog, IDC_DX_CHOICE, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    });
    EXPECT_EQ(IDOK, dialog_.DoModal(nullptr));
    EXPECT_EQ(-1, dialog_.choice) << "nothing selected";

    // Ten characters are ten, however many bytes their UTF-8 takes: stored
    // as UTF-8 and shown again as they were, outside any ANSI code page too.
    const std::wstring typed = L"\x0416\x0416\x0416\x0416\x0416\x4E2D\x4E2D\x4E2D\x4E2D\x4E2D";
    DialogWatcher wide(kCaption, IDOK, [&typed](HWND dialog) { SetDlgItemTextW(dialog, IDC_DX_TEXT, typed.c_str()); });
    EXPECT_EQ(IDOK, dialog_.DoModal(nullptr));
    EXPECT_EQ("\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xD0\x96\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD\xE4\xB8\xAD",
              dialog_.text);
    std::wstring reshown;
    DialogWatcher again(kCaption, IDOK, [&reshown](HWND dialog) {
        wchar_t text[32] = {};
        GetDlgItemTextW(dialog, IDC_DX_TEXT, text, 32);
        reshown = text;
    });
    EXPECT_EQ(IDOK, dialog_.DoModal(nullptr));
    EXPECT_TRUE(reshown == typed);
}

constexpr const char* kInteger = "Please enter an integer.";
constexpr const char* kNumber = "Please enter a number.";
constexpr const char* kPositive = "Please enter a positive integer.";

// Each OK names the first refused field in exchange order, with one box, and
// keeps the dialog open with the refused text there to correct; once all are
// corrected, OK stores the corrections, edge values included.
TEST_F(DataExchangeDialog, RefusedTextsAreNamedOneAtATimeUntilCorrected) {
    const struct {
        int id;
        const char* bad;
        const char* message;
        const char* good;
    } steps[] = {
        {IDC_DX_NUMBER, "12x", kInteger, "-60"},
        {IDC_DX_RATIO, "abc", kNumber, "0.5"},
        {IDC_DX_COUNT, "-5", kPositive, "5"},
        {IDC_DX_TEXT, "0123456789A", "Please enter no more than 10 characters.", "ABCDEFGHIJ"},
        // Each good text below is read, and so accepted, by the next OK.
        {IDC_DX_NUMBER, "2147483648", kInteger, "2147483647"},
        {IDC_DX_RATIO, "1e39", kNumber, "1e38"},
        {IDC_DX_COUNT, "4294967296", kPositive, "0"},
        {IDC_DX_NUMBER, "", kInteger, "+8"},
    };
    std::vector<RefusalSeen> seen;
    bool secondBox = true;
    DialogWatcher watcher(kCaption, IDOK, [&](HWND dialog) {
        for (int i = 0; i < 4; ++i) SetDlgItemTextA(dialog, steps[i].id, steps[i].bad);  // all four wrong at once
        for (const auto& step : steps) {
            SetDlgItemTextA(dialog, step.id, step.bad);
            seen.push_back(PressOkExpectingRefusal(dialog, step.id, kAppTitle));
            if (seen.size() == 1) secondBox = !testsupport::NoMessageBoxFor(kAppTitle, 300);
            SetDlgItemTextA(dialog, step.id, step.good);
        }
    });
    EXPECT_EQ(IDOK, dialog_.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    ASSERT_EQ(std::size(steps), seen.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE(std::string("\"") + steps[i].bad + "\"");
        ExpectRefusal(seen[i], steps[i].message);
        EXPECT_EQ(static_cast<int>(std::strlen(steps[i].bad)), seen[i].textLength) << "the refused text stays";
    }
    EXPECT_FALSE(secondBox) << "one refusal per OK";
    EXPECT_EQ(8, dialog_.number);
    EXPECT_EQ(1e38f, dialog_.ratio);
    EXPECT_EQ(0u, dialog_.count);
    EXPECT_EQ("ABCDEFGHIJ", dialog_.text);
}

// A refused OK stores no field, not even those read before the refused one.
// The title comes from the program's resources even before an application
// object exists (the server's strings are linked in here; the client dialog
// tests, which have none, see the program's name instead).
TEST(DataExchangeCaption, ARefusedOkChangesNoFieldAndTheTitleStringTitlesTheBox) {
    ASSERT_EQ(nullptr, fw::Application::Current());
    EXPECT_EQ(kAppTitle, fw::DataExchange::MessageCaption());
    FieldsDialog dialog;
    RefusalSeen seen;
    DialogWatcher watcher(kCaption, IDCANCEL, [&](HWND hwnd) {
        CheckDlgButton(hwnd, IDC_DX_FLAG, BST_UNCHECKED);
        SetDlgItemTextA(hwnd, IDC_DX_NUMBER, "5");
        SetDlgItemTextA(hwnd, IDC_DX_RATIO, "half");
        seen = PressOkExpectingRefusal(hwnd, IDC_DX_RATIO, kAppTitle);
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
    ExpectRefusal(seen, kNumber);
    EXPECT_EQ(TRUE, dialog.flag);
    EXPECT_EQ(-7, dialog.number);
    EXPECT_EQ(2.5f, dialog.ratio);
    TestApplication app;
    EXPECT_EQ(kAppTitle, fw::DataExchange::MessageCaption());
}

TEST(NumberParsing, SignedRange) {
    LONG v = 99;
    EXPECT_TRUE(fw::ParseInt32("2147483647", v));
    EXPECT_EQ(2147483647, v);
    EXPECT_TRUE(fw::ParseInt32("\t-2147483648 ", v));
    EXPECT_EQ(-2147483647 - 1, v);
    EXPECT_TRUE(fw::ParseInt32("+0", v));
    EXPECT_EQ(0, v);
    v = 99;
    for (const char* bad : {"2147483648", "-2147483649", "", " ", "-", "--5", "5-", "1 2", "0x10", "1.0", "99999999999999999999"}) {
        EXPECT_FALSE(fw::ParseInt32(bad, v)) << bad;
    }
    EXPECT_EQ(99, v) << "a refused text leaves the value alone";
}

TEST(NumberParsing, UnsignedRefusesAnySign) {
    DWORD v = 7;
    EXPECT_TRUE(fw::ParseUInt32("4294967295", v));
    EXPECT_EQ(4294967295u, v);
    EXPECT_TRUE(fw::ParseUInt32(" +1000 ", v));
    EXPECT_EQ(1000u, v);
    for (const char* bad : {"-5", "-0", "4294967296", "", "1e3", "12abc"}) EXPECT_FALSE(fw::ParseUInt32(bad, v)) << bad;
    EXPECT_EQ(1000u, v);
}

TEST(NumberParsing, FloatsInDecimalNotation) {
    FLOAT v = 0;
    EXPECT_TRUE(fw::ParseFloat("0", v));
    EXPECT_EQ(0.0f, v);
    EXPECT_TRUE(fw::ParseFloat(" -0.25 ", v));
    EXPECT_EQ(-0.25f, v);
    EXPECT_TRUE(fw::ParseFloat("1.5E2", v));
    EXPECT_EQ(150.0f, v);
    EXPECT_TRUE(fw::ParseFloat(".5", v));
    EXPECT_EQ(0.5f, v);
    for (const char* bad : {"abc", "", ".", "-", "inf", "nan", "0x10", "1e39", "-1e39", "1,5", "2.5%", "1e"})
        EXPECT_FALSE(fw::ParseFloat(bad, v)) << bad;
    EXPECT_EQ(0.5f, v);
}

TEST(NumberParsing, FloatsAreShownWithSixSignificantDigits) {
    EXPECT_EQ("0", fw::FormatFloat(0.0f));
    EXPECT_EQ("2.5", fw::FormatFloat(2.5f));
    EXPECT_EQ("-60", fw::FormatFloat(-60.0f));
    EXPECT_EQ("0.333333", fw::FormatFloat(1.0f / 3.0f));
    EXPECT_EQ("1.23457e+08", fw::FormatFloat(123456789.0f));
}

}  // namespace
}  // namespace frameworktest
