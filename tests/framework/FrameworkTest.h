// Shared pieces of the window-layer tests: an application that is never
// Run, a document that counts what happens to it, and a fixture with the
// server's main frame loaded from its resources.
#pragma once

#include "Application.h"
#include "DocTemplate.h"
#include "Document.h"
#include "Frames.h"
#include "MainFrame.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace frameworktest {

class TestApplication : public fw::Application {
public:
    bool InitInstance() override { return true; }
};

// What happened to TestDocuments since the last Reset.
struct DocumentLog {
    int created = 0;
    int live = 0;
    int closeCalls = 0;
    bool failNew = false;
    bool lockApp = false;  // hold an application lock while alive, as server objects do
    std::vector<std::string> opened;
};
DocumentLog& Log();

class TestDocument : public fw::Document {
public:
    TestDocument();
    ~TestDocument() override;
    bool OnNewDocument() override;
    bool OnOpenDocument(const std::string& path) override;
    void OnCloseDocument() override;

private:
    bool locked_ = false;
};

// The server's frame, recording the commands that reach its own handler.
class RecordingFrame : public CMainFrame {
public:
    bool OnCommand(UINT id) override {
        commands.push_back(id);
        return CMainFrame::OnCommand(id);
    }
    std::vector<UINT> commands;
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    fw::MultiDocTemplate& Template() { return *app_->DocTemplate(0); }
    fw::Document* OpenDocument();
    HWND ActiveChildWindow() const;
    // Sends a menu command the way the menu bar does.
    void Command(UINT id) { SendMessageW(frame_.hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }

    std::unique_ptr<TestApplication> app_;
    RecordingFrame frame_;
};

// Removes a pending quit message; true when there was one.
bool TakeQuitMessage();

std::string MenuText(HMENU menu, int position);
// The popup of a menu bar whose text is exactly `text`.
HMENU Popup(HMENU bar, const char* text);
bool IsGrayed(HMENU menu, UINT id);
bool IsChecked(HMENU menu, UINT id);
std::string StatusPaneText(HWND statusBar, int pane);

// Sets the thread's keyboard state for the life of the object.
class KeyboardStateScope {
public:
    KeyboardStateScope();
    ~KeyboardStateScope();
    void Set(int key, BYTE state);
    KeyboardStateScope(const KeyboardStateScope&) = delete;
    KeyboardStateScope& operator=(const KeyboardStateScope&) = delete;

private:
    BYTE saved_[256];
    BYTE current_[256];
};

}  // namespace frameworktest
