// Document side of the document/view model: a title and a path name, the
// views and child frames that show it, the new-document, open, save and
// close hooks.
#pragma once

#include "CommandTarget.h"

#include <windows.h>

#include <string>
#include <vector>

namespace fw {

class DocumentTemplate;
class ChildFrame;
class View;

// Made on the heap by a template's factory; closing deletes it.  A command
// target between its views and their frame, for commands that act on what
// the document holds.
class Document : public CommandTarget {
public:
    Document();
    // Destroys any frames still showing the document and leaves the template.
    virtual ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // New-document hook, run once the frame and views exist.  A template
    // that reuses its document (SingleDocTemplate) runs it for every File
    // New.  The base forgets the path name and clears the modified flag.
    // false: a new document is destroyed again; a reused one stays.
    virtual bool OnNewDocument();
    // Open hook for a document read from a file (File Open); false leaves a
    // new document destroyed again and must leave a reused one as it was.
    virtual bool OnOpenDocument(const std::string& path) { (void)path; return true; }
    // Save hook: writes the document to path; false when it could not.  The
    // base keeps no files and refuses.
    virtual bool OnSaveDocument(const std::string& path) { (void)path; return false; }
    // Close hook: the default destroys the frames and the document (delete
    // this).  Overrides do their own cleanup first, then call the base.  Safe
    // from inside any handler of the document's own windows; a second call
    // while the first is still running does nothing.  The caller must not
    // touch the document afterwards.
    virtual void OnCloseDocument();

    const std::string& Title() const { return title_; }
    // Sets the title and the captions of the windows showing the document.
    void SetTitle(const std::string& title);

    // The file the document was read from or saved to; may be a bare name
    // that proposes itself for the first save.
    const std::string& PathName() const { return pathName_; }
    // Sets the path name; with `retitle` the title becomes its file name.
    void SetPathName(const std::string& path, bool retitle = true);

    bool IsModified() const { return modified_; }
    void SetModified(bool modified = true) { modified_ = modified; }

    // Writes the document to path through the save hook; on success path is
    // its path name (and title) and it is no longer modified.
    bool DoSave(const std::string& path);
    // File Save: to the path name when that is a file that can be written,
    // else as File Save As.
    bool DoFileSave();
    // File Save As: asks for a file (proposing the path name) and saves there.
    bool DoFileSaveAs();

    DocumentTemplate* Template() const { return template_; }

    // The views showing the document, in the order they were made.
    const std::vector<View*>& Views() const { return views_; }
    // Every view but sender shows the document anew (its update hook).  The
    // hint says what changed, in the document's own terms (0: anything), and
    // hintObject which object, when the hint names one; both are passed on
    // untouched.
    void UpdateAllViews(View* sender, LPARAM hint = 0, void* hintObject = nullptr);

    bool HasView() const { return !frames_.empty(); }
    ChildFrame* FirstFrame() const { return frames_.empty() ? nullptr : frames_.front(); }
    const std::vector<ChildFrame*>& Frames() const { return frames_; }
    // Shows and activates the first child frame inside the main frame, and
    // brings the main frame to the top.  The main frame's own show state is
    // left alone: a program started minimised stays minimised.
    void ActivateFirstFrame();

private:
    friend class DocumentTemplate;
    friend class MultiDocTemplate;
    friend class ChildFrame;
    friend class View;
    friend class SdiFrame;
    void AddView(View* view);
    void RemoveView(View* view);
    void DetachFrame(ChildFrame* frame);
    void DestroyFrames();
    void DetachViews();

    DocumentTemplate* template_ = nullptr;
    std::string title_;
    std::string pathName_;
    bool modified_ = false;
    std::vector<ChildFrame*> frames_;
    std::vector<View*> views_;
    bool closing_ = false;
};

}  // namespace fw
