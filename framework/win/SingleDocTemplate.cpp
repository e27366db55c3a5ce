#include "SingleDocTemplate.h"

#include "Application.h"
#include "Document.h"
#include "SdiFrame.h"
#include "View.h"

namespace fw {

SingleDocTemplate::SingleDocTemplate(UINT resourceId, DocumentFactory makeDocument, ViewFactory makeView,
                                     FrameFactory makeFrame)
    : DocumentTemplate(resourceId),
      makeDocument_(std::move(makeDocument)),
      makeView_(std::move(makeView)),
      makeFrame_(std::move(makeFrame)) {}

SingleDocTemplate::~SingleDocTemplate() {
    // The document's close hook may still want its views: it goes first.
    CloseAllDocuments();
    DestroyFrame();
}

void SingleDocTemplate::DestroyFrame() {
    if (!frame_) return;
    // No longer the main frame before its window goes: destroying it must
    // not end the message loop of whoever still runs.
    Application* app = Application::Current();
    if (app && app->MainFrame() == frame_.get()) app->SetMainFrame(nullptr);
    frame_.reset();
}

Document* SingleDocTemplate::Prepare(bool& made) {
    made = false;
    Document* document = GetDocument();
    if (!document) {
        if (!makeDocument_) return nullptr;
        document = AddDocument(makeDocument_());
        if (!document) return nullptr;
        made = true;
    }
    if (frame_ && frame_->hwnd()) {
        if (frame_->GetDocument() != document) frame_->AttachDocument(document);
        return document;
    }

    DestroyFrame();  // an object whose window has gone
    frame_.reset(makeFrame_ ? makeFrame_() : new SdiFrame);
    if (frame_) {
        frame_->SetCreateContext(document, makeView_);
        // The main frame already while its windows are made: they may ask.
        Application* app = Application::Current();
        if (app && !app->MainFrame()) app->SetMainFrame(frame_.get());
        if (frame_->LoadFrame(ResourceId())) return document;
        DestroyFrame();
    }
    if (made) delete document;
    made = false;
    return nullptr;
}

void SingleDocTemplate::Discard(Document* document) {
    delete document;
    DestroyFrame();
}

void SingleDocTemplate::InitialUpdate(Document& document) {
    for (View* view : std::vector<View*>(document.Views())) view->OnInitialUpdate();
    if (frame_) {
        frame_->UpdateTitle();
        frame_->UpdateCommandUI();
    }
}

Document* SingleDocTemplate::OpenNewDocument() {
    bool made = false;
    Document* document = Prepare(made);
    if (!document) return nullptr;
    const std::string previousTitle = document->Title();
    const std::string name = DocString(1);
    document->SetTitle(name.empty() ? "Untitled" : name);
    if (!document->OnNewDocument()) {
        if (made)
            Discard(document);
        else
            document->SetTitle(previousTitle);
        return nullptr;
    }
    InitialUpdate(*document);
    return document;
}

Document* SingleDocTemplate::OpenDocumentFile(const std::string& path) {
    bool made = false;
    Document* document = Prepare(made);
    if (!document) return nullptr;
    if (!document->OnOpenDocument(path)) {
        if (made) Discard(document);
        return nullptr;
    }
    document->SetPathName(path);
    document->SetModified(false);
    InitialUpdate(*document);
    return document;
}

void SingleDocTemplate::OnTitleChanged(Document& document) {
    if (frame_ && frame_->GetDocument() == &document) frame_->UpdateTitle();
}

void SingleDocTemplate::OnDocumentRemoved(Document& document) {
    if (frame_ && frame_->GetDocument() == &document) frame_->AttachDocument(nullptr);
}

}  // namespace fw
