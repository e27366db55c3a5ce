#include "OstrelDoc.h"

#include "AddGroupDialog.h"
#include "AddItemDialog.h"
#include "AddServerDialog.h"
#include "AsyncRefresh.h"
#include "InterfacesDialog.h"
#include "PerformanceDialog.h"
#include "ReadWriteDialog.h"
#include "ValidateItem.h"
#include "Application.h"
#include "ComPtr.h"
#include "DocumentCodec.h"
#include "DocumentFile.h"
#include "FrameWindow.h"
#include "ObjTree.h"
#include "OstrelResource.h"
#include "OstrelView.h"
#include "ServerTableScan.h"
#include "Text.h"
#include "ValueClipboard.h"

#include <cstdio>
#include <optional>

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

COstrelView* COstrelDoc::List() const {
    return Views().size() < 2 ? nullptr : dynamic_cast<COstrelView*>(Views()[1]);
}

CItem* COstrelDoc::SelectedItem() const {
    const COstrelView* list = List();
    return list ? list->SelectedItem() : nullptr;
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
    // The selected item row first, then the selected group, then the
    // selected connection.
    const int index = tree.GetSelectedServerIndex();
    const COstrelView* list = List();
    CGroup* group = tree.GetSelectedGroup();
    if (group && SelectedItem()) {
        tree.Model().DeleteItem(*group, static_cast<size_t>(list->SelectedRow()));
    } else if (group) {
        tree.Model().RemoveGroup(index, *group);
    } else if (tree.GetSelectionKind() == kSelectionConnection) {
        tree.Model().DisconnectServer(index);
    }
    UpdateAllViews(nullptr);
}

void COstrelDoc::Copy() {
    const CItem* item = SelectedItem();
    if (item && !CopyValueText(MainWindow(), item->m_valueText))
        ReportFileError("The value could not be put on the clipboard.");
}

void COstrelDoc::GroupTool(CObjTree& tree, UINT id) {
    CGroup* group = tree.GetSelectedGroup();
    IUnknown* server = tree.GetSelectedServer();
    if (!group || !server) return;
    switch (id) {
    case ID_TOOLS_PERFORMANCE: {
        PerformanceDialog dialog(server, *group);
        dialog.DoModal(MainWindow());
        break;
    }
    case ID_GROUP_VALIDATE_ITEM:
        ValidateItem(MainWindow(), server, *group);
        break;
    case ID_GROUP_ASYNC_REFRESH:
        AsyncCacheRefresh(MainWindow(), server, *group);
        break;
    default:
        break;
    }
}

void COstrelDoc::ReadWrite(CObjTree& tree) {
    const COstrelView* list = List();
    CGroup* group = tree.GetSelectedGroup();
    IUnknown* server = tree.GetSelectedServer();
    if (!list || !group || !server || !SelectedItem()) return;
    const int row = list->SelectedRow();
    ReadWriteDialog dialog(server, *group, row, group->m_items[static_cast<size_t>(row)]->m_itemId);
    dialog.DoModal(MainWindow());
}

void COstrelDoc::ShowInterfaces(CObjTree& tree) {
    const CServer* entry = tree.Model().Entry(tree.GetSelectedServerIndex());
    if (!entry || !entry->m_pServer || tree.GetSelectionKind() != kSelectionConnection) return;
    // The first group as the tree names it.
    std::optional<std::string> firstGroup;
    if (!entry->m_groups.empty()) {
        const CGroup& group = *entry->m_groups.front();
        firstGroup = group.m_node ? tree.NodeText(reinterpret_cast<HTREEITEM>(group.m_node)) : group.m_name;
    }
    InterfacesDialog dialog(entry->m_pServer, firstGroup);
    dialog.DoModal(MainWindow());
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
    case ID_EDIT_COPY:
        Copy();
        return true;
    case ID_TOOLS_READ_WRITE:
        if (tree) ReadWrite(*tree);
        return true;
    case ID_VIEW_PROPERTIES:
        if (tree) ShowInterfaces(*tree);
        return true;
    case ID_TOOLS_PERFORMANCE:
    case ID_GROUP_VALIDATE_ITEM:
    case ID_GROUP_ASYNC_REFRESH:
        if (tree) GroupTool(*tree, id);
        return true;
    default:
        return fw::Document::OnCommand(id);
    }
}

bool COstrelDoc::OnUpdateCommand(UINT id, bool& enabled) {
    const CObjTree* tree = Tree();
    const SelectionKind kind = tree ? tree->GetSelectionKind() : kSelectionNone;
    switch (id) {
    case ID_EDIT_ADD_SERVER:
        enabled = tree != nullptr;
        return true;
    case ID_EDIT_ADD_GROUP:
        enabled = tree && tree->ParentIsConfiguration();
        return true;
    case ID_EDIT_ADD_ITEM:
    case ID_TOOLS_PERFORMANCE:
    case ID_GROUP_VALIDATE_ITEM:
    case ID_GROUP_ASYNC_REFRESH:
        enabled = tree && tree->GrandparentIsConfiguration();
        return true;
    case ID_EDIT_DELETE:
        enabled = kind == kSelectionGroup || kind == kSelectionConnection || SelectedItem();
        return true;
    // A row of servers or groups names no item: these act on item rows only.
    case ID_EDIT_COPY:
    case ID_TOOLS_READ_WRITE:
        enabled = SelectedItem() != nullptr;
        return true;
    case ID_VIEW_PROPERTIES:
        enabled = kind == kSelectionConnection;
        return true;
    default:
        return fw::Document::OnUpdateCommand(id, enabled);
    }
}
