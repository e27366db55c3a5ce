// Moves values between a dialog's controls and the fields they stand for:
// to the controls when the dialog opens, back with validation when OK is
// pressed.  A dialog lists its fields once, in DoDataExchange:
//
//   void DoDataExchange(fw::DataExchange& dx) override {
//       dx.Check(IDC_ACTIVE, active_);
//       dx.Int(IDC_BIAS, bias_);
//       dx.Text(IDC_NAME, name_, 100);
//   }
//
// Reading stops at the first field whose text does not parse: the user is
// told with the framework's standard message, that control gets the focus
// with its text selected, and every later call of the same pass does nothing.
// What a reading pass reads is held back until Commit: a pass that fails
// changes no field, so a dialog cancelled after a refused OK hands back the
// values it was opened with.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace fw {

class DataExchange {
public:
    enum class Direction {
        ToControls,    // field values are shown in the controls
        FromControls,  // control contents are checked and stored in the fields
    };

    DataExchange(HWND dialog, Direction direction) : dialog_(dialog), direction_(direction) {}
    DataExchange(const DataExchange&) = delete;
    DataExchange& operator=(const DataExchange&) = delete;

    HWND dialog() const { return dialog_; }
    bool FromControls() const { return direction_ == Direction::FromControls; }
    // True once a field has failed in this pass.
    bool Failed() const { return failed_; }
    // Control id of the field that failed; 0 while none has.
    int FailedControl() const { return failedId_; }

    // Text of an edit box.  maxChars > 0 limits what the user can type and
    // refuses a longer text on reading ("Please enter no more than %1
    // characters."); the count is of the text's characters in the ANSI code
    // page the field keeps it in.
    void Text(int id, std::string& value, size_t maxChars = 0);
    // Signed 32-bit decimal number ("Please enter an integer.").
    void Int(int id, LONG& value);
    // Unsigned 32-bit decimal number; a minus sign is refused ("Please enter
    // a positive integer.").
    void UInt(int id, DWORD& value);
    // 32-bit float, shown with up to 6 significant digits ("Please enter a
    // number.").
    void Float(int id, FLOAT& value);
    // Check box state: BST_UNCHECKED, BST_CHECKED (or BST_INDETERMINATE for
    // a three-state box).
    void Check(int id, BOOL& value);
    // Selected position of a combo box; -1 when nothing is selected.
    void ComboIndex(int id, int& index);

    // Ends a reading pass: stores every value read, unless a field failed.
    // True when the pass succeeded.  Showing values needs no Commit.
    bool Commit();

    // Reports a field that cannot be stored: message box owned by the dialog,
    // focus to the control, and the rest of the pass skipped.
    void Fail(int id, const std::string& message);

    // The framework's standard messages.
    static const char* const kIntegerMessage;
    static const char* const kNumberMessage;
    static const char* const kPositiveIntegerMessage;
    static const char* const kMaxCharsMessage;  // "%1" stands for the limit

    // Title of the framework's messages: the application's title string
    // (IDS_APP_TITLE) when there is one, else the executable's name without
    // its extension.
    static std::string MessageCaption();

private:
    // False when the pass has failed already or the control is missing.
    bool Usable(int id) const;
    template <class T>
    void Store(T& field, T value) {
        pending_.push_back([&field, value]() { field = value; });
    }
    HWND Control(int id) const { return ::GetDlgItem(dialog_, id); }

    HWND dialog_;
    Direction direction_;
    int failedId_ = 0;
    bool failed_ = false;
    std::vector<std::function<void()>> pending_;
};

// The parsing rules of the numeric fields, shared with anyone who needs to
// read a number the way a dialog does.  Blanks around the number are allowed;
// anything else besides the number, an empty text and a value out of range
// are refused.
bool ParseInt32(const std::string& text, LONG& value);
bool ParseUInt32(const std::string& text, DWORD& value);
bool ParseFloat(const std::string& text, FLOAT& value);
// "%.6g" of the value: what the dialogs show for a float field.
std::string FormatFloat(FLOAT value);

}  // namespace fw
