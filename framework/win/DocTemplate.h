// Document templates: what makes a program's documents, the windows that
// show them and their views.  DocumentTemplate holds what every kind has (the
// resource id, the document string, the open documents); MultiDocTemplate
// gives each document a child frame of an MDI main frame, SingleDocTemplate
// (SingleDocTemplate.h) reuses one document in one main frame.
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

class DocumentTemplate {
public:
    using DocumentFactory = std::function<Document*()>;
    using ViewFactory = std::function<View*()>;

    // resourceId names the document string ("\nDocName\nFileNewName\n..."),
    // the template's menu and the icon of its frames.
    explicit DocumentTemplate(UINT resourceId);
    // Documents still open lose their template but stay alive.
    virtual ~DocumentTemplate();
    DocumentTemplate(const DocumentTemplate&) = delete;
    DocumentTemplate& operator=(const DocumentTemplate&) = delete;

    // File New: a document that is new and empty, shown; null on failure.
    virtual Document* OpenNewDocument() = 0;
    // File Open: a document read from the file at path, shown; null when it
    // cannot be read.
    virtual Document* OpenDocumentFile(const std::string& path) = 0;

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
    // Filter of the file dialogs ("<name>\0*<ext>\0" when the document
    // string names a filter, then all files), double-NUL terminated.
    std::wstring FileDialogFilter() const;
    // Asks for a file with the system's Open (save false) or Save As dialog,
    // owned by `owner`, with this template's filter; `path` proposes a name
    // and receives the choice.  false when the user cancelled.
    bool PromptFileName(HWND owner, bool save, std::string& path) const;

protected:
    // A new document of this template; the factory's object, registered.
    Document* AddDocument(Document* document);
    // A document's title changed: the windows showing it follow.
    virtual void OnTitleChanged(Document& document) { (void)document; }
    // A document left the template (closed or deleted); runs before the
    // document is gone.
    virtual void OnDocumentRemoved(Document& document) { (void)document; }

private:
    friend class Document;
    void RemoveDocument(Document* document);

    UINT resourceId_;
    UniqueMenu menu_;
    std::string docString_;
    std::vector<Document*> documents_;
};

class MultiDocTemplate : public DocumentTemplate {
public:
    using FrameFactory = std::function<ChildFrame*()>;

    // The factories return heap objects; without a frame factory the frames
    // are plain ChildFrames.  The template's menu is shown while one of its
    // documents is active.
    MultiDocTemplate(UINT resourceId, DocumentFactory makeDocument, ViewFactory makeView,
                     FrameFactory makeFrame = nullptr);

    // Makes an untitled document titled "<DocName><n>" (n = 1, 2, ... over
    // the life of the template; a document whose new-document hook fails
    // does not use up its number), its child frame and view inside the
    // application's main frame, runs its new-document hook and shows the
    // frame.  Null when any step fails.
    Document* OpenNewDocument() override;
    // The same for a document made from a file: titled with the file's name,
    // the open hook instead of the new-document hook.
    Document* OpenDocumentFile(const std::string& path) override;

private:
    // Makes document, frame and view; the document is registered and titled.
    Document* CreateDocument(const std::string& title);

    DocumentFactory makeDocument_;
    ViewFactory makeView_;
    FrameFactory makeFrame_;
    unsigned untitledCount_ = 0;
};

}  // namespace fw
