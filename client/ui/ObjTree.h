// The object tree: the left pane of the main window.  It shows the
// document's model as tree nodes: the roots "Configuration" and "OPC
// servers", the servers found on the machine under "OPC servers", the
// connected servers under "Configuration" and their groups below them.  The
// model asks for the nodes of its connections and groups through the
// document's hints; the tree tells the document what its selected node
// stands for, in the model's terms.
#pragma once

#include "OstrelDoc.h"
#include "View.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

// Pictures of the image strip the nodes show.
enum TreeImage {
    kImageConfiguration = 1,
    kImageServers = 3,
    kImageAvailableServer = 5,
    kImageConnection = 6,
    kImageGroup = 7,
};

class CObjTree : public fw::View {
public:
    CObjTree() = default;
    ~CObjTree() override;

    HWND TreeControl() const { return m_tree; }
    HTREEITEM ConfigurationNode() const { return m_configuration; }
    HTREEITEM ServersNode() const { return m_servers; }

    // What the caret node stands for, evaluated on the node each time.
    SelectionKind GetSelectionKind() const;

    // fw::View: the roots and the available servers, the first time only.
    void OnInitialUpdate() override;
    // Adds and removes the nodes the hints name; every other change shows
    // in the nodes already.
    void OnUpdate(fw::View* sender, LPARAM hint, void* hintObject) override;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    COstrelDoc* Doc() const;
    // The caret node in the model's terms.
    TreeSelection CaretSelection() const;
    // Tells the document of a caret that moved without the control saying
    // so (or before its node was known for what it is).
    void ReportMovedCaret();
    // Table index of the selected connection, or of the connection whose
    // group is selected; -1 for any other selection.
    int CaretServerIndex(const ServerConnections& model) const;
    // The selected node's parent is "Configuration" (a connection).
    bool ParentIsConfiguration() const;
    // The selected node's grandparent is "Configuration" (a group).
    bool GrandparentIsConfiguration() const;

    NodeHandle InsertConnectionNode(const std::string& progId);
    NodeHandle InsertGroupNode(NodeHandle connection, const std::string& name);
    void DeleteNode(NodeHandle node);
    // Ends the document's connections: their nodes are going.
    void DisconnectAll();

    HTREEITEM InsertNode(HTREEITEM parent, HTREEITEM after, const std::string& text, int image);
    // "Configuration" and "OPC servers", with the image strip, once.
    void EnsureRoots();
    HTREEITEM Selected() const;
    HTREEITEM ParentOf(HTREEITEM node) const;
    void Expand(HTREEITEM node);

    HWND m_tree = nullptr;
    HTREEITEM m_configuration = nullptr;
    HTREEITEM m_servers = nullptr;
    bool m_serversListed = false;  // the machine's servers are under "OPC servers"
};
