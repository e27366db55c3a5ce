// Single-document template: one document, reused, in one main frame that the
// template makes (and owns) the first time it is needed.  File New empties
// the document through its new-document hook; File Open reads a file into
// it; a file that cannot be read leaves the document as it was.
#pragma once

#include "DocTemplate.h"

#include <functional>
#include <memory>
#include <string>

namespace fw {

class SdiFrame;

class SingleDocTemplate : public DocumentTemplate {
public:
    using FrameFactory = std::function<SdiFrame*()>;

    // resourceId names the document string, the frame's caption, menu,
    // accelerators and icon.  The factories return heap objects; without a
    // frame factory the frame is a plain SdiFrame.  The frame becomes the
    // application's main frame when it has none.
    SingleDocTemplate(UINT resourceId, DocumentFactory makeDocument, ViewFactory makeView,
                      FrameFactory makeFrame = nullptr);
    // Closes the document, then destroys the frame.
    ~SingleDocTemplate() override;

    // Makes document and frame when missing (the frame hidden: the caller
    // shows it), titles the document "<DocName>" ("Untitled" without one),
    // runs its new-document hook and the views' initial update.  Null when
    // any step fails; a reused document keeps its title then.
    Document* OpenNewDocument() override;
    // The same with the open hook on path; on success the path names the
    // document and titles it.
    Document* OpenDocumentFile(const std::string& path) override;

    Document* GetDocument() const { return Documents().empty() ? nullptr : Documents().front(); }
    SdiFrame* Frame() const { return frame_.get(); }

protected:
    void OnTitleChanged(Document& document) override;
    void OnDocumentRemoved(Document& document) override;

private:
    // The document and a frame showing it, made when missing; `made` tells
    // whether the document was made just now.
    Document* Prepare(bool& made);
    // Undoes Prepare for a document made just now.
    void Discard(Document* document);
    void InitialUpdate(Document& document);
    void DestroyFrame();

    DocumentFactory makeDocument_;
    ViewFactory makeView_;
    FrameFactory makeFrame_;
    std::unique_ptr<SdiFrame> frame_;
};

}  // namespace fw
