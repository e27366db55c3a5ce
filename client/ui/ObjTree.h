// The object tree: the left pane of the main window.  It owns the client's
// model (the server table with its connections, groups and items) and shows
// it as tree nodes: the roots "Configuration" and "OPC servers", the servers
// found on the machine under "OPC servers", the connected servers under
// "Configuration" and their groups below them.  Every command finds its
// target through the selection operations here.
#pragma once

#include "ServerConnections.h"
#include "View.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

// What the selected node stands for (GetSelectionKind).
enum SelectionKind {
    kSelectionNone = 0,           // nothing, or an available server
    kSelectionServers = 1,        // the root "OPC servers"
    kSelectionGroup = 2,          // a group of a connected server
    kSelectionConfiguration = 3,  // the root "Configuration"
    kSelectionConnection = 4,     // a connected server
};

// Pictures of the image strip the nodes show.
enum TreeImage {
    kImageConfiguration = 1,
    kImageServers = 3,
    kImageAvailableServer = 5,
    kImageConnection = 6,
    kImageGroup = 7,
};

class CObjTree : public fw::View, public ModelUi {
public:
    CObjTree();
    ~CObjTree() override;

    ServerConnections& Model() { return m_model; }
    HWND TreeControl() const { return m_tree; }
    HTREEITEM ConfigurationNode() const { return m_configuration; }
    HTREEITEM ServersNode() const { return m_servers; }

    // Selection operations, evaluated on the tree's caret node each time.
    SelectionKind GetSelectionKind() const;
    // Table index of the selected connection, or of the connection whose
    // group is selected; -1 for any other selection.
    int GetSelectedServerIndex() const;
    // The server object of that entry (the entry's own reference: callers
    // use it for one command and do not release it), or null.
    IUnknown* GetSelectedServer() const;
    // The selected group, or null unless a group node is selected.
    CGroup* GetSelectedGroup() const;
    // The selected node's parent is "Configuration" (a connection).
    bool ParentIsConfiguration() const;
    // The selected node's grandparent is "Configuration" (a group).
    bool GrandparentIsConfiguration() const;

    // Walking the nodes: the first child of a node, the next sibling, a
    // node's text; null or empty at the end.
    HTREEITEM FirstChild(HTREEITEM node) const;
    HTREEITEM NextSibling(HTREEITEM node) const;
    std::string NodeText(HTREEITEM node) const;

    // fw::View: the roots and the available servers, the first time only.
    void OnInitialUpdate() override;
    void OnUpdate(fw::View* sender) override;

    // ModelUi
    void ShowMessage(const std::string& text) override;
    NodeHandle InsertConnectionNode(const std::string& progId) override;
    NodeHandle InsertGroupNode(NodeHandle connection, const std::string& name) override;
    void DeleteNode(NodeHandle node) override;
    void UpdateViews() override;
    void ItemsChanged(CGroup& group) override;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    HTREEITEM InsertNode(HTREEITEM parent, HTREEITEM after, const std::string& text, int image);
    // "Configuration" and "OPC servers", with the image strip, once.
    void EnsureRoots();
    HTREEITEM Selected() const;
    HTREEITEM ParentOf(HTREEITEM node) const;
    void Expand(HTREEITEM node);
    HWND Owner() const;

    ServerConnections m_model;
    HWND m_tree = nullptr;
    HTREEITEM m_configuration = nullptr;
    HTREEITEM m_servers = nullptr;
    bool m_serversListed = false;  // the machine's servers are under "OPC servers"
};
