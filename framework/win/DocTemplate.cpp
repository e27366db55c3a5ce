#include "DocTemplate.h"

#include "Application.h"
#include "MdiChildFrame.h"
#include "Document.h"
#include "MdiFrame.h"
#include "View.h"
#include "WindowClass.h"

#include <algorithm>
#include <memory>

namespace fw {

MultiDocTemplate::MultiDocTemplate(UINT resourceId, DocumentFactory makeDocument, ViewFactory makeView,
                                   FrameFactory makeFrame)
    : resourceId_(resourceId),
      makeDocument_(std::move(makeDocument)),
      makeView_(std::move(makeView)),
      makeFrame_(std::move(makeFrame)),
      menu_(::LoadMenuW(ResourceInstance(), MAKEINTRESOURCEW(resourceId))) {
    if (Application* app = Application::Current()) docString_ = app->LoadString(resourceId);
}

MultiDocTemplate::~MultiDocTemplate() {
    for (Document* document : documents_) document->template_ = nullptr;
}

std::string MultiDocTemplate::DocString(int field) const {
    size_t start = 0;
    for (int i = 0; i < field; ++i) {
        start = docString_.find('\n', start);
        if (start == std::string::npos) return std::string();
        ++start;
    }
    const size_t end = docString_.find('\n', start);
    return docString_.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

Document* MultiDocTemplate::CreateDocument(const std::string& title) {
    Application* app = Application::Current();
    MdiFrame* main = app ? app->MainFrame() : nullptr;
    if (!main || !main->MdiClient() || !makeDocument_) return nullptr;

    Document* document = makeDocument_();
    if (!document) return nullptr;
    document->template_ = this;
    documents_.push_back(document);
    document->title_ = title;

    std::unique_ptr<ChildFrame> frame(makeFrame_ ? makeFrame_() : new ChildFrame);
    std::unique_ptr<View> view(makeView_ ? makeView_() : nullptr);
    if (!frame || !view) {
        delete document;
        return nullptr;
    }
    view->document_ = document;
    frame->document_ = document;
    document->frames_.push_back(frame.get());
    if (!frame->Create(*main, title, resourceId_, std::move(view))) {
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

void MultiDocTemplate::CloseAllDocuments() {
    // A close hook may keep its document open (or close others): work from a
    // snapshot and only on documents that are still ours.
    const std::vector<Document*> snapshot = documents_;
    for (Document* document : snapshot)
        if (std::find(documents_.begin(), documents_.end(), document) != documents_.end())
            document->OnCloseDocument();
}

void MultiDocTemplate::RemoveDocument(Document* document) {
    documents_.erase(std::remove(documents_.begin(), documents_.end(), document), documents_.end());
}

}  // namespace fw
