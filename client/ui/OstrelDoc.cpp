#include "OstrelDoc.h"

#include "AddGroupDialog.h"
#include "AddItemDialog.h"
#include "AddServerDialog.h"
#include "AsyncRefresh.h"
#include "InterfacesDialog.h"
#include "OstrelApp.h"
#include "PerformanceDialog.h"
#include "ReadWriteDialog.h"
#include "ValidateItem.h"
#include "Application.h"
#include "ComPtr.h"
#include "DocumentCodec.h"
#include "DocumentFile.h"
#include "FrameWindow.h"
#include "OstrelResource.h"
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

COstrelDoc::COstrelDoc() : m_model(*this) {}

COstrelDoc::~COstrelDoc() {
    // While the views can still take their nodes away.
    m_model.DisconnectAll();
}

void COstrelDoc::SetSelection(const TreeSelection& selection, fw::View* sender) {
    m_selection = selection;
    // The list is rebuilt for the new selection: none of its rows is
    // selected until it says so.
    m_selectedItem = -1;
    UpdateAllViews(sender, kHintSelectionChanged);
}

IUnknown* COstrelDoc::SelectedServer() const {
    const CServer* entry = m_model.Entry(m_selection.serverIndex);
    return entry ? entry->m_pServer.get() : nullptr;
}

CItem* COstrelDoc::SelectedItem() const {
    const CGroup* group = m_selection.group;
    if (!group || m_selectedItem < 0 || static_cast<size_t>(m_selectedItem) >= group->m_items.size()) return nullptr;
    return group->m_items[static_cast<size_t>(m_selectedItem)].get();
}

void COstrelDoc::ShowMessage(const std::string& text) {
    // No caption of our own: the system's default one.
    ::MessageBoxW(MainWindow(), fw::Widen(text).c_str(), nullptr, MB_OK | MB_ICONWARNING);
}

NodeHandle COstrelDoc::InsertConnectionNode(const std::string& progId) {
    NodeChange change;
    change.text = progId;
    UpdateAllViews(nullptr, kHintConnectionAdded, &change);
    return change.node;
}

NodeHandle COstrelDoc::InsertGroupNode(NodeHandle connection, const std::string& name) {
    NodeChange change;
    change.parent = connection;
    change.text = name;
    UpdateAllViews(nullptr, kHintGroupAdded, &change);
    return change.node;
}

void COstrelDoc::DeleteNode(NodeHandle node) {
    NodeChange change;
    change.node = node;
    UpdateAllViews(nullptr, kHintNodeRemoved, &change);
}

void COstrelDoc::UpdateViews() { UpdateAllViews(nullptr, kHintConfigurationChanged); }

void COstrelDoc::ItemsChanged(CGroup& group) { UpdateAllViews(nullptr, kHintValuesChanged, &group); }

void COstrelDoc::ReportFileError(const std::string& text) const {
    std::string caption = "Ostrel";
    if (fw::Application* app = fw::Application::Current()) {
        const std::string title = app->LoadString(IDS_APP_TITLE);
        if (!title.empty()) caption = title;
    }
    ::MessageBoxW(MainWindow(), fw::Widen(text).c_str(), fw::Widen(caption).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

bool COstrelDoc::OnNewDocument() {
    // ReplaceTable ends every connection of the old table first.
    m_model.ReplaceTable(ScanServerTable());
    if (!fw::Document::OnNewDocument()) return false;
    // A path name, not a title: the first save proposes it.
    SetPathName(kNewPathName, false);
    return true;
}

bool COstrelDoc::OnOpenDocument(const std::string& path) {
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
    m_model.ReplaceTable(std::move(table));
    m_model.ReconnectOpened();
    return true;
}

bool COstrelDoc::OnSaveDocument(const std::string& path) {
    const HRESULT hr = WriteDocumentFile(fw::Widen(path), EncodeContents(m_model.Table()));
    if (FAILED(hr)) {
        ReportFileError("Cannot save \"" + path + "\" (" + HexCode(hr) + ").");
        return false;
    }
    return true;
}

void COstrelDoc::OnCloseDocument() {
    // The one document closes only as the program ends.
    COstrelApp::StartExitLimit();
    m_model.DisconnectAll();
    fw::Document::OnCloseDocument();  // deletes this object
}

void COstrelDoc::AddServer() {
    std::vector<std::string> progIds;
    for (const auto& entry : m_model.Table()) progIds.push_back(entry->m_progId);
    AddServerDialog dialog(progIds);
    if (dialog.DoModal(MainWindow()) != IDOK) {
        UpdateAllViews(nullptr, kHintAll);
        return;
    }
    // No selection (an empty table) connects nothing.
    m_model.Connect(dialog.index());
}

void COstrelDoc::AddGroup() {
    AddGroupDialog dialog;
    if (dialog.DoModal(MainWindow()) != IDOK) {
        UpdateAllViews(nullptr, kHintAll);
        return;
    }
    GroupParameters parameters;
    parameters.name = dialog.name;
    parameters.active = dialog.active;
    parameters.timeBias = dialog.timeBias;
    parameters.percentDeadband = dialog.percentDeadband;
    parameters.localeId = dialog.localeId;
    parameters.updateRate = dialog.updateRate;
    parameters.preferDataCallback = dialog.dataCallback != FALSE;
    m_model.CreateGroup(m_selection.serverIndex, parameters);
}

void COstrelDoc::AddItem() {
    // The dialog shows the server's address space when it can be browsed;
    // without that an item ID can still be typed.
    fw::ComPtr<IOPCBrowseServerAddressSpace> browse;
    IUnknown* server = SelectedServer();
    if (!server || FAILED(server->QueryInterface(IID_IOPCBrowseServerAddressSpace, browse.put_void())))
        ShowMessage("QueryInterface(IID_IOPCBrowse)");

    AddItemDialog dialog(browse.get(), AddItemDialog::kAdding);
    const INT_PTR result = dialog.DoModal(MainWindow());
    browse.reset();
    if (result != IDOK) {
        UpdateAllViews(nullptr, kHintAll);
        return;
    }
    // The selection is taken again: the dialog's own loop may have let it
    // change.
    CGroup* group = m_selection.group;
    const int index = m_selection.serverIndex;
    if (group && dialog.addAll) {
        m_model.AddAllItems(index, *group);
        return;
    }
    if (group) m_model.AddItem(*group, dialog.itemId);
    UpdateAllViews(nullptr, kHintConfigurationChanged);
}

void COstrelDoc::Delete() {
    // The selected item row first, then the selected group, then the
    // selected connection.
    const int index = m_selection.serverIndex;
    CGroup* group = m_selection.group;
    if (group && SelectedItem()) {
        m_model.DeleteItem(*group, static_cast<size_t>(m_selectedItem));
    } else if (group) {
        m_model.RemoveGroup(index, *group);
    } else if (m_selection.kind == kSelectionConnection) {
        m_model.DisconnectServer(index);
    }
    UpdateAllViews(nullptr, kHintConfigurationChanged);
}

void COstrelDoc::Copy() {
    const CItem* item = SelectedItem();
    if (item && !CopyValueText(MainWindow(), item->m_valueText))
        ReportFileError("The value could not be put on the clipboard.");
}

void COstrelDoc::GroupTool(UINT id) {
    CGroup* group = m_selection.group;
    IUnknown* server = SelectedServer();
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

void COstrelDoc::ReadWrite() {
    CGroup* group = m_selection.group;
    IUnknown* server = SelectedServer();
    const CItem* item = SelectedItem();
    if (!group || !server || !item) return;
    const CServer* entry = m_model.Entry(m_selection.serverIndex);
    if (!entry) return;
    ReadWriteDialog dialog(entry->m_mta, *group, m_selectedItem, item->m_itemId, m_model.CallLimit());
    dialog.DoModal(MainWindow());
}

void COstrelDoc::ShowInterfaces() {
    const CServer* entry = m_model.Entry(m_selection.serverIndex);
    if (!entry || !entry->m_pServer || m_selection.kind != kSelectionConnection) return;
    // The first group by its name, which is also what its node shows.
    std::optional<std::string> firstGroup;
    if (!entry->m_groups.empty()) firstGroup = entry->m_groups.front()->m_name;
    InterfacesDialog dialog(entry->m_pServer.get(), firstGroup);
    dialog.DoModal(MainWindow());
}

bool COstrelDoc::OnCommand(UINT id) {
    // The commands that call the selected server while the user waits start
    // only once it has answered within the call limit: a server that froze
    // is found here, said, and left, instead of holding the window.
    switch (id) {
    case ID_EDIT_ADD_GROUP:
    case ID_EDIT_ADD_ITEM:
    case ID_VIEW_PROPERTIES:
    case ID_TOOLS_PERFORMANCE:
    case ID_GROUP_VALIDATE_ITEM:
    case ID_GROUP_ASYNC_REFRESH:
        if (!m_model.Answers(m_selection.serverIndex)) return true;
        break;
    default:
        break;
    }
    switch (id) {
    case ID_EDIT_ADD_SERVER:
        AddServer();
        return true;
    case ID_EDIT_ADD_GROUP:
        if (m_selection.kind == kSelectionConnection) AddGroup();
        return true;
    case ID_EDIT_ADD_ITEM:
        if (m_selection.kind == kSelectionGroup) AddItem();
        return true;
    case ID_EDIT_DELETE:
        Delete();
        return true;
    case ID_EDIT_COPY:
        Copy();
        return true;
    case ID_TOOLS_READ_WRITE:
        ReadWrite();
        return true;
    case ID_VIEW_PROPERTIES:
        ShowInterfaces();
        return true;
    case ID_TOOLS_PERFORMANCE:
    case ID_GROUP_VALIDATE_ITEM:
    case ID_GROUP_ASYNC_REFRESH:
        GroupTool(id);
        return true;
    default:
        return fw::Document::OnCommand(id);
    }
}

bool COstrelDoc::OnUpdateCommand(UINT id, bool& enabled) {
    const SelectionKind kind = m_selection.kind;
    switch (id) {
    case ID_EDIT_ADD_SERVER:
        enabled = true;
        return true;
    case ID_EDIT_ADD_GROUP:
        enabled = kind == kSelectionConnection;
        return true;
    case ID_EDIT_ADD_ITEM:
    case ID_TOOLS_PERFORMANCE:
    case ID_GROUP_VALIDATE_ITEM:
    case ID_GROUP_ASYNC_REFRESH:
        enabled = kind == kSelectionGroup;
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
