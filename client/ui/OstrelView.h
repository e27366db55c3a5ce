// The item list: the right pane of the main window, a list that keeps no
// text of its own (owner data), so that a group of 100,000 items shows at
// once and scrolls freely.  What it lists follows
// the selection the document keeps for the tree (its list mode): the servers
// of the machine with their descriptions, the connected servers, the groups
// of a connection, or the items of a group with their values and qualities,
// which it keeps up to date as data changes arrive.  It tells the document
// which item its selected row names.
#pragma once

#include "OstrelDoc.h"
#include "View.h"

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

class COstrelView : public fw::View {
public:
    HWND ListControl() const { return m_list; }
    // The selection kind whose content the list shows; 0: empty, no columns.
    int ListMode() const { return m_listMode; }

    // The first selected row, searched from the top; -1 when none.
    int SelectedRow() const;

    // Values arrived (kHintValuesChanged): the changed rows on screen are
    // drawn again.
    // Node hints are the tree's.  Anything else rebuilds the list for the
    // document's selection.
    void OnUpdate(fw::View* sender, LPARAM hint, void* hintObject) override;
    // Draws the selected group's rows again: every row (full), or only the
    // rows on screen whose value or quality changed since they were last
    // shown.  Either way every item counts as shown afterwards.
    void RefreshValues(bool full);

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    COstrelDoc* Doc() const;
    // Tells the document the item of the selected row, if the row names one.
    void ReportSelectedItem();
    void Clear();
    void DeleteColumns();
    // Width 200, centred; a refused column is reported and passed over.
    void InsertColumn(int position, const char* title);
    // The rows of servers, connections or groups, which the list shows
    // until its content changes.
    void ShowRows(std::vector<std::vector<std::wstring>> rows);
    void SetRowCount(size_t count);
    // The text of a cell: an item's from the selected group, any other from
    // the rows shown.
    std::wstring CellText(int row, int column) const;
    void OnGetDisplayInfo(NMLVDISPINFOW& info) const;

    void ShowServers(const ServerTable& table);
    void ShowItems(const CGroup* group);
    void ShowConnections(const ServerTable& table);
    void ShowGroups(const CServer* entry);

    HWND m_list = nullptr;
    int m_listMode = 0;
    std::vector<std::vector<std::wstring>> m_rows;
};
