// Dialog data exchange driven through a real modal dialog: values shown when
// it opens, read back on OK, refused texts answered with the framework's
// messages while the dialog stays open.
#include "FrameworkTest.h"

#include "DataExchange.h"
#include "DataExchangeResource.h"
#include "Dialog.h"
#include "DialogWatcher.h"
#include "MessageBoxWatcher.h"

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

TEST_F(DataExchangeDialog, ShowsTheFieldsWhenItOpens) {
    struct {
        std::string number, ratio, count, text;
        UINT flag = 0;
        LRESULT choice = -2, limit = 0;
    } shown;
    DialogWatcher watcher(kCaption, IDCANCEL, [&shown](HWND dialog) {
        shown.flag = IsDlgButtonChecked(dialog, IDC_DX_FLAG);
        shown.number = ItemText(dialog, IDC_DX_NUMBER);
        shown.ratio = ItemText(dialog, IDC_DX_RATIO);
        shown.count = ItemText(dialog, IDC_DX_COUNT);
        shown.text = ItemText(dialog, IDC_DX_TEXT);
        shown.choice = SendDlgItemMessageA(dialog, IDC_DX_CHOICE, CB_GETCURSEL, 0, 0);
        shown.limit = SendDlgItemMessageA(dialog, IDC_DX_TEXT, EM_GETLIMITTEXT, 0, 0);
    });
    EXPECT_EQ(IDCANCEL, dialog_.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), shown.flag);
    EXPECT_EQ("-7", shown.number);
    EXPECT_EQ("2.5", shown.ratio);
    EXPECT_EQ("42", shown.count);
    EXPECT_EQ("abc", shown.text);
    EXPECT_EQ(1, shown.choice);
    EXPECT_EQ(10, shown.limit);  // typing stops at the field's limit
}

TEST_F(DataExchangeDialog, OkStoresEveryFieldAtItsLimits) {
    DialogWatcher watcher(kCaption, IDOK, [](HWND dialog) {
        CheckDlgButton(dialog, IDC_DX_FLAG, BST_UNCHECKED);
        SetDlgItemTextA(dialog, IDC_DX_NUMBER, " -2147483648 ");
        SetDlgItemTextA(dialog, IDC_DX_RATIO, "-1.25e3");
        SetDlgItemTextA(dialog, IDC_DX_COUNT, "4294967295");
        SetDlgItemTextA(dialog, IDC_DX_TEXT, "0123456789");
        SendDlgItemMessageA(dialog, IDC_DX_CHOICE, CB_SETCURSEL, 2, 0);
    });
    EXPECT_EQ(IDOK, dialog_.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    EXPECT_EQ(FALSE, dialog_.flag);
    EXPECT_EQ(static_cast<LONG>(-2147483647 - 1), dialog_.number);
    EXPECT_EQ(-1250.0f, dialog_.ratio);
    EXPECT_EQ(4294967295u, dialog_.count);
    EXPECT_EQ("0123456789", dialog_.text);
    EXPECT_EQ(2, dialog_.choice);
}

TEST_F(DataExchangeDialog, NothingSelectedReadsAsMinusOne) {
    DialogWatcher watcher(kCaption, IDOK, [](HWND dialog) {
        SendDlgItemMessageA(dialog, IDC_DX_CHOICE, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    });
    EXPECT_EQ(IDOK, dialog_.DoModal(nullptr));
    EXPECT_EQ(-1, dialog_.choice);
}

struct Refusal {
    int id;
    const char* bad;
    const char* message;
    const char* good;
};

TEST_F(DataExchangeDialog, RefusedTextKeepsTheDialogOpenUntilCorrected) {
    const Refusal cases[] = {
        {IDC_DX_NUMBER, "12x", "Please enter an integer.", "-60"},
        {IDC_DX_NUMBER, "2147483648", "Please enter an integer.", "2147483647"},
        {IDC_DX_NUMBER, "", "Please enter an integer.", "+8"},
        {IDC_DX_RATIO, "abc", "Please enter a number.", "0.5"},
        {IDC_DX_RATIO, "1e39", "Please enter a number.", "1e38"},
        {IDC_DX_COUNT, "-5", "Please enter a positive integer.", "5"},
        {IDC_DX_COUNT, "4294967296", "Please enter a positive integer.", "0"},
        {IDC_DX_TEXT, "0123456789A", "Please enter no more than 10 characters.", "ABCDEFGHIJ"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(std::string(c.bad) + " in control " + std::to_string(c.id));
        FieldsDialog dialog;
        RefusalSeen seen;
        std::string goodShown;
        DialogWatcher watcher(kCaption, IDOK, [&](HWND hwnd) {
            SetDlgItemTextA(hwnd, c.id, c.bad);
            seen = PressOkExpectingRefusal(hwnd, c.id, kAppTitle);
            SetDlgItemTextA(hwnd, c.id, c.good);
            goodShown = ItemText(hwnd, c.id);
        });
        EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
        ASSERT_TRUE(watcher.Result().found);
        ExpectRefusal(seen, c.message);
        EXPECT_EQ(static_cast<int>(std::string(c.bad).size()), seen.textLength) << "the refused text stays";
        // The corrected text is what OK stored.
        switch (c.id) {
        case IDC_DX_NUMBER: {
            LONG expected = 0;
            ASSERT_TRUE(fw::ParseInt32(c.good, expected));
            EXPECT_EQ(expected, dialog.number);
            break;
        }
        case IDC_DX_RATIO: EXPECT_FLOAT_EQ(static_cast<float>(atof(c.good)), dialog.ratio); break;
        case IDC_DX_COUNT: EXPECT_EQ(strtoul(c.good, nullptr, 10), dialog.count); break;
        default: EXPECT_EQ(goodShown, dialog.text); break;
        }
    }
}

TEST_F(DataExchangeDialog, FieldsAreCheckedInOrderAndTheFirstFailureStops) {
    RefusalSeen first, second, third;
    bool extraBox = true;
    DialogWatcher watcher(kCaption, IDOK, [&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_DX_TEXT, "far too long a name");
        SetDlgItemTextA(dialog, IDC_DX_COUNT, "-1");
        SetDlgItemTextA(dialog, IDC_DX_NUMBER, "one");
        first = PressOkExpectingRefusal(dialog, IDC_DX_NUMBER, kAppTitle);
        extraBox = !testsupport::NoMessageBoxFor(kAppTitle, 300);
        SetDlgItemTextA(dialog, IDC_DX_NUMBER, "1");
        second = PressOkExpectingRefusal(dialog, IDC_DX_COUNT, kAppTitle);
        SetDlgItemTextA(dialog, IDC_DX_COUNT, "2");
        third = PressOkExpectingRefusal(dialog, IDC_DX_TEXT, kAppTitle);
        SetDlgItemTextA(dialog, IDC_DX_TEXT, "short");
    });
    EXPECT_EQ(IDOK, dialog_.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    ExpectRefusal(first, "Please enter an integer.");
    EXPECT_FALSE(extraBox) << "one refusal per OK";
    ExpectRefusal(second, "Please enter a positive integer.");
    ExpectRefusal(third, "Please enter no more than 10 characters.");
    EXPECT_EQ(1, dialog_.number);
    EXPECT_EQ(2u, dialog_.count);
    EXPECT_EQ("short", dialog_.text);
}

TEST_F(DataExchangeDialog, ARefusedOkChangesNoField) {
    RefusalSeen seen;
    DialogWatcher watcher(kCaption, IDCANCEL, [&](HWND dialog) {
        CheckDlgButton(dialog, IDC_DX_FLAG, BST_UNCHECKED);
        SetDlgItemTextA(dialog, IDC_DX_NUMBER, "5");
        SetDlgItemTextA(dialog, IDC_DX_RATIO, "half");
        seen = PressOkExpectingRefusal(dialog, IDC_DX_RATIO, kAppTitle);
    });
    EXPECT_EQ(IDCANCEL, dialog_.DoModal(nullptr));
    ExpectRefusal(seen, "Please enter a number.");
    EXPECT_EQ(TRUE, dialog_.flag);
    EXPECT_EQ(-7, dialog_.number);
    EXPECT_EQ(2.5f, dialog_.ratio);
}

// The title string comes from the program's resources even before an
// application object exists (the server's strings are linked in here; the
// client dialog tests, which have none, see the program's name instead).
TEST(DataExchangeCaption, WithoutAnApplicationTheProgramsTitleStringTitlesTheMessage) {
    ASSERT_EQ(nullptr, fw::Application::Current());
    EXPECT_EQ(kAppTitle, fw::DataExchange::MessageCaption());
    FieldsDialog dialog;
    RefusalSeen seen;
    DialogWatcher watcher(kCaption, IDCANCEL, [&](HWND hwnd) {
        SetDlgItemTextA(hwnd, IDC_DX_COUNT, "-5");
        seen = PressOkExpectingRefusal(hwnd, IDC_DX_COUNT, kAppTitle);
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
    ExpectRefusal(seen, "Please enter a positive integer.");
    EXPECT_EQ(42u, dialog.count);
}

TEST(DataExchangeCaption, TheApplicationTitleTitlesTheMessage) {
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
