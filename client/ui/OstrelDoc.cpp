#include "OstrelDoc.h"

#include "AddGroupDialog.h"
#include "AddItemDialog.h"
#include "AddServerDialog.h"
#include "Application.h"
#include "ComPtr.h"
#include "DocumentCodec.h"
#include "DocumentFile.h"
#include "FrameWindow.h"
#include "ObjTree.h"
#include "OstrelResource.h"
#include "ServerTableScan.h"
#include "Text.h"

#include <cstdio>

namespace {

std::string HexCode(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

HWND MainWindow() {
    fw::Application* app = fw::Application::Current();
    return app && app->MainFrame() ? app->MainFrame()->hwnd() : nullptr;
}

}  // namespace

CObjTree* COstrelDoc::Tree() const {
    return Views().empty() ? nullptr : dynamic_cast<CObjTree*>(Views().front());
}

void COstrelDoc::ReportFileError(const std::string& text) const {
    std::string caption = "Ostrel";
    if (fw::Application* app = fw::Application::Current()) {
        const std::string title = app->LoadString(IDS_APP_TITLE);
        if (!title.empty()) caption = title;
    }
    ::MessageBoxA(MainWindow(), text.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

bool COstrelDoc::OnNewDocument() {
    CObjTree* tree = Tree();
    if (!tree) return false;
    // ReplaceTable ends every connection of the old table first.
    tree->Model().ReplaceTable(ScanServerTable());
    if (!fw::Document::OnNewDocument()) return false;
    // A path name, not a title: the first save proposes it.
    SetPathName(kNewPathName, false);
    return true;
}

bool COstrelDoc::OnOpenDocument(const std::string& path) {
    CObjTree* tree = Tree();
    if (!tree) return false;

    std::vector<uint8_t> contents;
    const HRESULT hr = ReadDocumentFile(fw::Widen(path), contents);
    if (FAILED(hr)) {
        ReportFileError("Cannot open \"" + path + "\": it is not an Ostrel document or cannot be read (" +
                        HexCode(hr) + ").");
        return false;
    }
    ServerTable table;
    std::string why;
    if (!DecodeContents(contents, table, &why)) {
        ReportFileError("Cannot open \"" + path + "\": the document is damaged (" + why + ").");
        return false;
    }

    // Only now, with the whole file read, do the old connections end.
    tree->Model().ReplaceTable(std::move(table));
    tree->Model().ReconnectOpened();
    return true;
}

bool COstrelDoc::OnSaveDocument(const std::string& path) {
    CObjTree* tree = Tree();
    if (!tree) return false;
    const HRESULT hr = WriteDocumentFile(fw::Widen(path), EncodeContents(tree->Model().Table()));
    if (FAILED(hr)) {
        ReportFileError("Cannot save \"" + path + "\" (" + HexCode(hr) + ").");
        return false;
    }
    return true;
}

void COstrelDoc::OnCloseDocument() {
    if (CObjTree* tree = Tree()) tree->Model().DisconnectAll();
    fw::Document::OnCloseDocument();  // deletes this object
}

void COstrelDoc::AddServer(CObjTree& tree) {
    std::vector<std::string> progIds;
    for (const auto& entry : tree.Model().Table()) progIds.push_back(entry->m_progId);
    AddServerDialog dialog(progIds);
    if (dialog.DoModal(MainWindow()) != IDOK) {
        UpdateAllViews(nullptr);
        return;
    }
    // No selection (an empty table) connects nothing.
    tree.Model().Connect(dialog.index());
}

void COstrelDoc::AddGroup(CObjTree& tree) {
    AddGroupDialog dialog;
    if (dialog.DoModal(MainWindow()) != IDOK) {
        UpdateAllViews(nullptr);
        return;
    }
    GroupParameters parameters;
    parameters.name = dialog.name;
    parameters.active = dialog.active;
    parameters.timeBias = dialog.timeBias;
    parameters.percentDeadband = dialog.percentDeadband;
    parameters.localeId = dialog.localeId;
    parameters.updateRate = dialog.updateRate;
    tree.Model().CreateGroup(tree.GetSelectedServerIndex(), parameters);
}

void COstrelDoc::AddItem(CObjTree& tree) {
    // The dialog shows the server's address space when it can be browsed;
    // without that an item ID can still be typed.
    fw::ComPtr<IOPCBrowseServerAddressSpace> browse;
    IUnknown* server = tree.GetSelectedServer();
    if (!server || FAILED(server->QueryInterface(IID_IOPCBrowseServerAddressSpace, browse.put_void())))
        tree.ShowMessage("QueryInterface(IID_IOPCBrowse)");

    AddItemDialog dialog(browse.get(), AddItemDialog::kAdding);
    const INT_PTR result = dialog.DoModal(MainWindow());
    browse.reset();
    if (result != IDOK) {
        UpdateAllViews(nullptr);
        return;
    }
    // The selection is taken again: the dialog's own loop may have let it
    // change.
    CGroup* group = tree.GetSelectedGroup();
    const int index = tree.GetSelectedServerIndex();
    if (group && dialog.addAll) {
        tree.Model().AddAllItems(index, *group);
        return;
    }
    if (group) tree.Model().AddItem(*group, dialog.itemId);
    UpdateAllViews(nullptr);
}

void COstrelDoc::Delete(CObjTree& tree) {
    const int index = tree.GetSelectedServerIndex();
    switch (tree.GetSelectionKind()) {
    case kSelectionGroup:
        if (CGroup* group = tree.GetSelectedGroup()) tree.Model().RemoveGroup(index, *group);
        break;
    case kSelectionConnection:
        tree.Model().DisconnectServer(index);
        break;
    default:
        break;
    }
    UpdateAllViews(nullptr);
}

bool COstrelDoc::OnCommand(UINT id) {
    CObjTree* tree = Tree();
    switch (id) {
    case ID_EDIT_ADD_SERVER:
        if (tree) AddServer(*tree);
        return true;
    case ID_EDIT_ADD_GROUP:
        if (tree && tree->ParentIsConfiguration()) AddGroup(*tree);
        return true;
    case ID_EDIT_ADD_ITEM:
        if (tree && tree->GrandparentIsConfiguration()) AddItem(*tree);
        return true;
    case ID_EDIT_DELETE:
        if (tree) Delete(*tree);
        return true;
    default:
        return fw::Document::OnCommand(id);
    }
}

bool COstrelDoc::OnUpdateCommand(UINT id, bool& enabled) {
    const CObjTree* tree = Tree();
    switch (id) {
    case ID_EDIT_ADD_SERVER:
        enabled = tree != nullptr;
        return true;
    case ID_EDIT_ADD_GROUP:
        enabled = tree && tree->ParentIsConfiguration();
        return true;
    case ID_EDIT_ADD_ITEM:
        enabled = tree && tree->GrandparentIsConfiguration();
        return true;
    case ID_EDIT_DELETE: {
        const SelectionKind kind = tree ? tree->GetSelectionKind() : kSelectionNone;
        enabled = kind == kSelectionGroup || kind == kSelectionConnection;
        return true;
    }
    default:
        return fw::Document::OnUpdateCommand(id, enabled);
    }
}
