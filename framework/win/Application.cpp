#include "Application.h"

#include "DocTemplate.h"
#include "Document.h"
#include "FrameWindow.h"
#include "StandardIds.h"
#include "Text.h"

#include <commctrl.h>

namespace fw {
namespace {

Application* g_current = nullptr;

// Messages that arrive steadily by themselves; handling them is no reason to
// recompute command states.
bool IsIdleTrigger(const MSG& msg) {
    return msg.message != WM_TIMER && msg.message != WM_PAINT && msg.message != WM_MOUSEMOVE &&
           msg.message != WM_NCMOUSEMOVE;
}

}  // namespace

Application::Application() : instance_(::GetModuleHandleW(nullptr)) { g_current = this; }

Application::~Application() {
    if (g_current == this) g_current = nullptr;
}

Application* Application::Current() { return g_current; }

void Application::AdoptMainFrame(std::unique_ptr<FrameWindow> frame) {
    mainFrame_ = frame.get();
    ownedFrame_ = std::move(frame);
}

void Application::AddDocTemplate(std::unique_ptr<DocumentTemplate> docTemplate) {
    if (docTemplate) templates_.push_back(std::move(docTemplate));
}

DocumentTemplate* Application::TemplateAt(size_t index) const {
    return index < templates_.size() ? templates_[index].get() : nullptr;
}

MultiDocTemplate* Application::DocTemplate(size_t index) const {
    return dynamic_cast<MultiDocTemplate*>(TemplateAt(index));
}

void Application::CloseAllDocuments() {
    for (const auto& docTemplate : templates_) docTemplate->CloseAllDocuments();
}

int Application::Run(HINSTANCE instance, int showCommand) {
    if (instance) instance_ = instance;
    showCommand_ = showCommand;

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    if (!InitInstance()) {
        if (mainFrame_ && mainFrame_->hwnd()) ::DestroyWindow(mainFrame_->hwnd());
        const int code = ExitInstance();
        return code != 0 ? code : 1;
    }
    quitCode_ = MessageLoop();
    return ExitInstance();
}

int Application::MessageLoop() {
    MSG msg;
    bool idle = true;
    for (;;) {
        // Command states are refreshed once each time the queue runs dry, so
        // toolbar buttons follow whatever the last message changed.
        while (idle && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            OnIdle();
            idle = false;
        }
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(msg.wParam);
        if (got == -1) return -1;
        if (!mainFrame_ || !mainFrame_->hwnd() || !mainFrame_->PreTranslateMessage(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (IsIdleTrigger(msg) && IdleWorkPending()) idle = true;
    }
}

void Application::OnIdle() {
    if (mainFrame_ && mainFrame_->hwnd()) mainFrame_->UpdateCommandUI();
}

void Application::Lock() { ::InterlockedIncrement(&locks_); }

void Application::Unlock() {
    if (::InterlockedDecrement(&locks_) != 0 || userControl_) return;
    if (mainFrame_ && mainFrame_->hwnd()) mainFrame_->CloseFrame();
}

std::string Application::LoadString(UINT id) const {
    const wchar_t* text = nullptr;
    // Length 0 asks for a pointer into the resource itself (not terminated).
    const int length = ::LoadStringW(instance_, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return std::string();
    return Narrow(text, length);
}

bool Application::OnCommand(UINT id) {
    switch (id) {
    case ID_FILE_NEW:
        if (DocumentTemplate* docTemplate = TemplateAt(0)) docTemplate->OpenNewDocument();
        return true;
    case ID_FILE_OPEN:
        OnFileOpen();
        return true;
    default:
        return false;
    }
}

bool Application::OnUpdateCommand(UINT id, bool& enabled) {
    switch (id) {
    case ID_FILE_NEW:
    case ID_FILE_OPEN:
        enabled = !templates_.empty();
        return true;
    default:
        return false;
    }
}

void Application::OnFileOpen() {
    DocumentTemplate* docTemplate = TemplateAt(0);
    std::string path;
    if (docTemplate && docTemplate->PromptFileName(mainFrame_ ? mainFrame_->hwnd() : nullptr, false, path))
        docTemplate->OpenDocumentFile(path);
}

}  // namespace fw
