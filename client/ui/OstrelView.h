// The item list: the right pane of the main window.  What it lists follows
// the tree's selection (its list mode): the servers of the machine with
// their descriptions, the connected servers, the groups of a connection, or
// the items of a group with their values and qualities, which it keeps up to
// date as data changes arrive.
#pragma once

#include "ObjTree.h"
#include "View.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

class COstrelView : public fw::View {
public:
    HWND ListControl() const { return m_list; }
    // The selection kind whose content the list shows; 0: empty, no columns.
    int ListMode() const { return m_listMode; }

    // The first selected row, searched from the top; -1 when none.
    int SelectedRow() const;
    // The item of the selected row while the list shows a group's items;
    // null otherwise (a row of servers or groups names no item).
    CItem* SelectedItem() const;

    // Rebuilds the list for the tree's selection; sender and hints do not
    // matter.
    void OnUpdate(fw::View* sender) override;
    // Rewrites the value and quality cells of the selected group's rows:
    // every row (full), or only those whose value or quality changed since
    // they were last shown.
    void RefreshValues(bool full);

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    CObjTree* Tree() const;
    void Clear();
    void DeleteColumns();
    // Width 200, centred; a refused column is reported and passed over.
    void InsertColumn(int position, const char* title);
    int AppendRow(const std::string& text);
    void SetCell(int row, int column, const std::string& text);

    void ShowServers(CObjTree& tree);
    void ShowItems(CObjTree& tree);
    void ShowConnections(CObjTree& tree);
    void ShowGroups(CObjTree& tree);

    HWND m_list = nullptr;
    int m_listMode = 0;
};
