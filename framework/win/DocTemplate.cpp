#include "DocTemplate.h"

#include "Application.h"
#include "Document.h"
#include "MdiChildFrame.h"
#include "MdiFrame.h"
#include "Text.h"
#include "View.h"
#include "WindowClass.h"

#include <commdlg.h>

#include <algorithm>
#include <memory>

namespace fw {

DocumentTemplate::DocumentTemplate(UINT resourceId)
    : resourceId_(resourceId), menu_(::LoadMenuW(ResourceInstance(), MAKEINTRESOURCEW(resourceId))) {
    if (Application* app = Application::Current()) docString_ = app->LoadString(resourceId);
}

DocumentTemplate::~DocumentTemplate() {
    for (Document* document : documents_) document->template_ = nullptr;
}

std::string DocumentTemplate::DocString(int field) const {
    size_t start = 0;
    for (int i = 0; i < field; ++i) {
        start = docString_.find('\n', start);
        if (start == std::string::npos) return std::string();
        ++start;
    }
    const size_t end = docString_.find('\n', start);
    return docString_.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::wstring DocumentTemplate::FileDialogFilter() const {
    // "<name>\0*<ext>\0" when the document string names a filter, then all
    // files; the string's own terminator ends the list.
    std::wstring filter;
    const std::string filterName = DocString(3);
    const std::string filterExt = DocString(4);
    if (!filterName.empty() && !filterExt.empty()) {
        filter += Widen(filterName);
        filter.push_back(L'\0');
        filter += L"*" + Widen(filterExt);
        filter.push_back(L'\0');
    }
    filter += L"All Files (*.*)";
    filter.push_back(L'\0');
    filter += L"*.*";
    filter.push_back(L'\0');
    return filter;
}

bool DocumentTemplate::PromptFileName(HWND owner, bool save, std::string& path) const {
    const std::wstring filter = FileDialogFilter();
    const std::string ext = DocString(4);
    const std::wstring defaultExt = Widen(!ext.empty() && ext[0] == '.' ? ext.substr(1) : ext);
    wchar_t file[MAX_PATH] = {};
    Widen(path).copy(file, MAX_PATH - 1);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER |
                (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    if (!(save ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn))) return false;
    path = Narrow(file);
    return true;
}

Document* DocumentTemplate::AddDocument(Document* document) {
    if (!document) return nullptr;
    document->template_ = this;
    documents_.push_back(document);
    return document;
}

void DocumentTemplate::CloseAllDocuments() {
    // A close hook may keep its document open (or close others): work from a
    // snapshot and only on documents that are still ours.
    const std::vector<Document*> snapshot = documents_;
    for (Document* document : snapshot)
        if (std::find(documents_.begin(), documents_.end(), document) != documents_.end())
            document->OnCloseDocument();
}

void DocumentTemplate::RemoveDocument(Document* document) {
    const auto found = std::find(documents_.begin(), documents_.end(), document);
    if (found == documents_.end()) return;
    documents_.erase(found);
    OnDocumentRemoved(*document);
}

MultiDocTemplate::MultiDocTemplate(UINT resourceId, DocumentFactory makeDocument, ViewFactory makeView,
                                   FrameFactory makeFrame)
    : DocumentTemplate(resourceId),
      makeDocument_(std::move(makeDocument)),
      makeView_(std::move(makeView)),
      makeFrame_(std::move(makeFrame)) {}

Document* MultiDocTemplate::CreateDocument(const std::string& title) {
    Application* app = Application::Current();
    auto* main = app ? dynamic_cast<MdiFrame*>(app->MainFrame()) : nullptr;
    if (!main || !main->MdiClient() || !makeDocument_) return nullptr;

    Document* document = AddDocument(makeDocument_());
    if (!document) return nullptr;
    document->title_ = title;

    std::unique_ptr<ChildFrame> frame(makeFrame_ ? makeFrame_() : new ChildFrame);
    std::unique_ptr<View> view(makeView_ ? makeView_() : nullptr);
    if (!frame || !view) {
        delete document;
        return nullptr;
    }
    document->AddView(view.get());
    frame->document_ = document;
    document->frames_.push_back(frame.get());
    if (!frame->Create(*main, title, ResourceId(), std::move(view))) {
        document->frames_.clear();
        delete document;
        return nullptr;
    }
    frame.release();  // its window owns it now
    return document;
}

Document* MultiDocTemplate::OpenNewDocument() {
    const std::string name = DocString(1);
    Document* document = CreateDocument((name.empty() ? "Untitled" : name) + std::to_string(untitledCount_ + 1));
    if (!document) return nullptr;
    if (!document->OnNewDocument()) {
        delete document;
        return nullptr;
    }
    ++untitledCount_;
    document->ActivateFirstFrame();
    return document;
}

Document* MultiDocTemplate::OpenDocumentFile(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    Document* document = CreateDocument(slash == std::string::npos ? path : path.substr(slash + 1));
    if (!document) return nullptr;
    if (!document->OnOpenDocument(path)) {
        delete document;
        return nullptr;
    }
    document->ActivateFirstFrame();
    return document;
}

}  // namespace fw
