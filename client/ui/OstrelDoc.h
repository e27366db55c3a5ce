// OSTREL's document: the client's model (the server table with its
// connections, groups and items) as a file, what the object tree has
// selected in it, and the commands that change it.  New rebuilds the table
// from the registry, Open reads a saved one and connects its servers again,
// Save writes it; every one of them first ends the connections of the last.
//
// The two views never reach each other.  They tell the document what the
// user selected, and the document tells every view what changed through
// UpdateAllViews with one of the hints below.
#pragma once

#include "Document.h"
#include "ServerConnections.h"

#include <string>

// What the tree's selected node stands for.
enum SelectionKind {
    kSelectionNone = 0,           // nothing, or an available server
    kSelectionServers = 1,        // the root "OPC servers"
    kSelectionGroup = 2,          // a group of a connected server
    kSelectionConfiguration = 3,  // the root "Configuration"
    kSelectionConnection = 4,     // a connected server
};

// The tree's selection in the model's terms.
struct TreeSelection {
    SelectionKind kind = kSelectionNone;
    // Table index of the selected connection, or of the connection whose
    // group is selected; -1 for any other selection.
    int serverIndex = -1;
    // The selected group; null unless a group node is selected.
    CGroup* group = nullptr;

    bool operator==(const TreeSelection& other) const {
        return kind == other.kind && serverIndex == other.serverIndex && group == other.group;
    }
    bool operator!=(const TreeSelection& other) const { return !(*this == other); }
};

// The hints of the document's UpdateAllViews.  0 is also what the framework
// sends with a view's first update.
enum OstrelHint : LPARAM {
    kHintAll = 0,               // anything may have changed: show the model anew
    kHintSelectionChanged,      // the tree's selection (COstrelDoc::Selection) changed
    kHintConfigurationChanged,  // connections, groups or items came or went
    kHintValuesChanged,         // values arrived; object: the CGroup they are for
    // The model asks for tree nodes; object: a NodeChange.
    kHintConnectionAdded,       // a connection was made: the tree adds its node
    kHintGroupAdded,            // a group was made: the tree adds its node
    kHintNodeRemoved,           // a connection or group went: the tree removes its node
};

// The object of the node hints.
struct NodeChange {
    NodeHandle parent = 0;  // a group's connection node
    std::string text;       // what a new node shows
    NodeHandle node = 0;    // the node added (set by the tree), or the one to remove
};

class COstrelDoc : public fw::Document, private ModelUi {
public:
    COstrelDoc();
    ~COstrelDoc() override;

    ServerConnections& Model() { return m_model; }
    const ServerConnections& Model() const { return m_model; }

    // What the tree has selected, as it last said.
    const TreeSelection& Selection() const { return m_selection; }
    // The tree's selection changed: kept, with no item row selected until
    // the list says so, and every view but sender told.
    void SetSelection(const TreeSelection& selection, fw::View* sender);
    // The list's selected row, as a position in the selected group's items;
    // -1 when the list shows no items or no row is selected.
    void SetSelectedItemIndex(int index) { m_selectedItem = index; }
    // The server object of the selected connection (or of the selected
    // group's connection): the entry's own reference, for one command.
    IUnknown* SelectedServer() const;
    // The item of the list's selected row while the selected group's items
    // are listed.
    CItem* SelectedItem() const;

    bool OnNewDocument() override;
    // The file is read and checked completely before anything changes: a
    // file that cannot be read leaves the document and its connections as
    // they were, and says why.
    bool OnOpenDocument(const std::string& path) override;
    bool OnSaveDocument(const std::string& path) override;
    void OnCloseDocument() override;

    // Edit (Add OPC Server, Add Group, Add Item, Delete, Copy), View
    // Properties, the Tools and the Group Interface commands.
    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(UINT id, bool& enabled) override;

    // The document's path name after a new document: proposed by the first
    // save.
    static constexpr const char* kNewPathName = "Ostrel";

private:
    void AddServer();
    void AddGroup();
    void AddItem();
    void Delete();
    void Copy();
    // Read/Write on the selected item row.
    void ReadWrite();
    // Properties: the interfaces of the selected connection.
    void ShowInterfaces();
    // Performance test, Validate Item, Async Cache Refresh on the selected
    // group.
    void GroupTool(UINT id);
    // A file that could not be opened or saved: a message with the program's
    // caption.
    void ReportFileError(const std::string& text) const;

    // ModelUi: messages go to the main window, nodes to the views as hints.
    void ShowMessage(const std::string& text) override;
    NodeHandle InsertConnectionNode(const std::string& progId) override;
    NodeHandle InsertGroupNode(NodeHandle connection, const std::string& name) override;
    void DeleteNode(NodeHandle node) override;
    void UpdateViews() override;
    void ItemsChanged(CGroup& group) override;

    // Before the model: the model's last disconnections still reach them.
    TreeSelection m_selection;
    int m_selectedItem = -1;
    ServerConnections m_model;
};
