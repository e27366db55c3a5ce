// OSTREL's application object: start-up (OLE, the tree's image strip, the
// settings key, the single-document template, the first document) and the
// resources the windows share.
#pragma once

#include "Application.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace fw {
class SingleDocTemplate;
}

class COstrelApp : public fw::Application {
public:
    COstrelApp();
    ~COstrelApp() override;

    // The start-up steps in order; false ends the program (a failure has
    // been shown to the user where there is something to tell).
    bool InitInstance() override;
    // Ends OLE and frees the image strip; the exit code.
    int ExitInstance() override;

    // Start-up steps, each also callable on its own.
    // OLE for this thread; shows the failure message when it cannot start.
    bool InitOle();
    // The tree's 16 x 15 pictures, pure green transparent.
    bool CreateTreeImages();
    // HKEY_CURRENT_USER\Software\<key>\<program>: where settings live.
    void SetRegistryKey(const std::string& key);
    // The template of the one document: frame CMainFrame, document
    // COstrelDoc, first view CObjTree.
    fw::SingleDocTemplate* AddOstrelTemplate();

    // The way out is bounded: from the main window's destruction to the end
    // of ExitInstance (leaving every server, ending OLE) the program takes
    // at most kUserCallLimitMs, whatever a server does; past that it ends
    // without finishing its clean-up (the servers notice it has gone).
    static void StartExitLimit();
    static void EndExitLimit();

    // The command line InitInstance parses instead of the process's own.
    void SetCommandLine(const std::wstring& commandLine) { m_commandLine = commandLine; }

    HIMAGELIST TreeImages() const { return m_treeImages; }
    const std::string& SettingsKey() const { return m_settingsKey; }
    fw::SingleDocTemplate* Template() const;

    // About.
    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(UINT id, bool& enabled) override;

private:
    bool m_oleInitialised = false;
    HIMAGELIST m_treeImages = nullptr;
    std::string m_settingsKey;
    std::wstring m_commandLine;
};

// The running OSTREL application, or null.
COstrelApp* TheOstrelApp();
