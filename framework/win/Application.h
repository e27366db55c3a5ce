// The application object: start-up hook, document templates, the main
// frame, the message loop, and the lock that lets a COM-started program end
// with its last object.
#pragma once

#include "CommandTarget.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace fw {

class DocumentTemplate;
class FrameWindow;
class MultiDocTemplate;

// Parsed command line: "/X" or "-X" switches compared without regard to case.
struct CommandLineInfo {
    bool embedding = false;     // "Embedding": started by COM for a client
    bool automation = false;    // "Automation"
    bool unregister = false;    // "Unregserver" or "Unregister"
    bool regserver = false;     // "RegServer"
    std::string fileName;       // first argument that is not a switch

    // commandLine is a whole process command line, program name first (as
    // GetCommandLineW returns it).
    static CommandLineInfo Parse(const wchar_t* commandLine);
};

// The last link of the command chain: New and Open.
class Application : public CommandTarget {
public:
    Application();
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    static Application* Current();

    // Start-up hook: true enters the message loop, false ends the program.
    virtual bool InitInstance() = 0;
    // Runs after the message loop (and after a failed InitInstance); its
    // result is the process exit code.  The default returns the code the
    // quit message carried.
    virtual int ExitInstance() { return quitCode_; }
    // Runs when the message queue has emptied; the default refreshes the main
    // frame's command states.
    virtual void OnIdle();
    // Asked after each message that may call for idle work: false spares the
    // look at the queue that idle processing needs, which under a busy stream
    // of calls is a trip to the window system per message.
    virtual bool IdleWorkPending() const { return true; }

    // Runs InitInstance, the message loop and ExitInstance.  When
    // InitInstance fails, the main frame is destroyed and the result is
    // ExitInstance's, or 1 when that is 0: a failed start never reports
    // success.
    int Run(HINSTANCE instance, int showCommand);

    // The module the resources come from: the executable until Run says
    // otherwise.
    HINSTANCE Instance() const { return instance_; }
    int ShowCommand() const { return showCommand_; }

    // The main frame (MDI or single-document), not owned: it must outlive
    // its window.
    void SetMainFrame(FrameWindow* frame) { mainFrame_ = frame; }
    // The main frame, owned by the application from now on.
    void AdoptMainFrame(std::unique_ptr<FrameWindow> frame);
    FrameWindow* MainFrame() const { return mainFrame_; }

    void AddDocTemplate(std::unique_ptr<DocumentTemplate> docTemplate);
    // Template `index` of any kind, or null.
    DocumentTemplate* TemplateAt(size_t index = 0) const;
    // Template `index` when it is a multiple-document one, else null.
    MultiDocTemplate* DocTemplate(size_t index = 0) const;
    size_t DocTemplateCount() const { return templates_.size(); }
    // Closes the documents of every template.
    void CloseAllDocuments();

    // Live COM objects and documents each hold one lock.  When the last goes
    // and the user has not taken control of the program, the main frame is
    // closed and the program ends.
    void Lock();
    void Unlock();
    long LockCount() const { return locks_; }
    // Set once the user works with the program's windows (the main frame sets
    // it when the user picks a menu command, presses an accelerator or a
    // toolbar button) or when the user started the program.
    void SetUserControl(bool user) { userControl_ = user; }
    bool UserControl() const { return userControl_; }

    // Loads a string resource of this module; empty when there is none.
    std::string LoadString(UINT id) const;

    // New (template 0) and Open.
    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(UINT id, bool& enabled) override;

protected:
    // The Open command: asks for a file and opens it with template 0.
    virtual void OnFileOpen();

private:
    int MessageLoop();

    HINSTANCE instance_ = nullptr;
    int showCommand_ = SW_SHOWNORMAL;
    FrameWindow* mainFrame_ = nullptr;
    std::unique_ptr<FrameWindow> ownedFrame_;
    std::vector<std::unique_ptr<DocumentTemplate>> templates_;
    long locks_ = 0;
    bool userControl_ = false;
    int quitCode_ = 0;
};

}  // namespace fw
