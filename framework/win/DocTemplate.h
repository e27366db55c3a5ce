// Multiple-document template: makes a document, an MDI child frame and a
// view for it, numbers untitled documents, and tracks the open ones.
#pragma once

#include "Handles.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace fw {

class Document;
class ChildFrame;
class View;

class MultiDocTemplate {
public:
    using DocumentFactory = std::function<Document*()>;
    using ViewFactory = std::function<View*()>;
    using FrameFactory = std::function<ChildFrame*()>;

    // resourceId names the document string ("\nDocName\nFileNewName\n..."),
    // the menu shown while one of these documents is active and the child
    // frames' icon.  The factories return heap objects; without a frame
    // factory the frames are plain ChildFrames.
    MultiDocTemplate(UINT resourceId, DocumentFactory makeDocument, ViewFactory makeView,
                     FrameFactory makeFrame = nullptr);
    // Documents still open lose their template but stay alive.
    ~MultiDocTemplate();
    MultiDocTemplate(const MultiDocTemplate&) = delete;
    MultiDocTemplate& operator=(const MultiDocTemplate&) = delete;

    // Makes an untitled document titled "<DocName><n>" (n = 1, 2, ... over
    // the life of the template; a document whose new-document hook fails
    // does not use up its number), its child frame and view inside the
    // application's main frame, runs its new-document hook and shows the
    // frame.  Null when any step fails.
    Document* OpenNewDocument();
    // The same for a document made from a file: titled with the file's name,
    // the open hook instead of the new-document hook.
    Document* OpenDocumentFile(const std::string& path);

    // The open documents, in order of creation.
    const std::vector<Document*>& Documents() const { return documents_; }
    // Closes every open document through its close hook.
    void CloseAllDocuments();

    UINT ResourceId() const { return resourceId_; }
    HMENU Menu() const { return menu_.get(); }
    // Field k of the document string (0 = window title, 1 = doc name,
    // 2 = file-new name, 3 = filter name, 4 = filter ext, 5 = registry file
    // type, 6 = registry type name); empty when absent.
    std::string DocString(int field) const;

private:
    friend class Document;
    void RemoveDocument(Document* document);
    // Makes document, frame and view; the document is registered and titled.
    Document* CreateDocument(const std::string& title);

    UINT resourceId_;
    DocumentFactory makeDocument_;
    ViewFactory makeView_;
    FrameFactory makeFrame_;
    UniqueMenu menu_;
    std::string docString_;
    unsigned untitledCount_ = 0;
    std::vector<Document*> documents_;
};

}  // namespace fw
