// Document side of the document/view model: a title, the child frames that
// show it, the new-document, open and close hooks.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace fw {

class MultiDocTemplate;
class ChildFrame;

// Made on the heap by a template's factory; closing deletes it.
class Document {
public:
    Document();
    // Destroys any frames still showing the document and leaves the template.
    virtual ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // New-document hook, run once after the frame and view exist.  false
    // makes the template destroy the document again.
    virtual bool OnNewDocument() { return true; }
    // Open hook for a document made from a file (File Open); false makes the
    // template destroy the document again.
    virtual bool OnOpenDocument(const std::string& path) { (void)path; return true; }
    // Close hook: the default destroys the frames and the document (delete
    // this).  Overrides do their own cleanup first, then call the base.  Safe
    // from inside any handler of the document's own windows; a second call
    // while the first is still running does nothing.  The caller must not
    // touch the document afterwards.
    virtual void OnCloseDocument();

    const std::string& Title() const { return title_; }
    // Sets the title and the captions of the document's frames.
    void SetTitle(const std::string& title);

    MultiDocTemplate* Template() const { return template_; }
    bool HasView() const { return !frames_.empty(); }
    ChildFrame* FirstFrame() const { return frames_.empty() ? nullptr : frames_.front(); }
    const std::vector<ChildFrame*>& Frames() const { return frames_; }
    // Shows and activates the first child frame inside the main frame, and
    // brings the main frame to the top.  The main frame's own show state is
    // left alone: a program started minimised stays minimised.
    void ActivateFirstFrame();

private:
    friend class MultiDocTemplate;
    friend class ChildFrame;
    void DetachFrame(ChildFrame* frame);
    void DestroyFrames();

    MultiDocTemplate* template_ = nullptr;
    std::string title_;
    std::vector<ChildFrame*> frames_;
    bool closing_ = false;
};

}  // namespace fw
