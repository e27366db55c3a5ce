// "Add Item" (and "Validate Item"): shows the server's address space as a
// tree and returns an item ID, or the request to add every item.
//
// The tree holds one node "root" and below it, depth first, the server's
// branches (each named by the ID the server gives for the branch's name from
// inside it) before its leaves (each named by its item ID), in the server's
// order.  A name whose ID the server cannot give is shown as the browse name
// itself.  A click or double click on a node without children, other than
// "root", copies its text into the item ID box.
#pragma once

#include "Dialog.h"
#include "OpcInterfaces.h"

#include <commctrl.h>

#include <string>

class AddItemDialog : public fw::Dialog {
public:
    enum Mode { kAdding = 0, kValidating = 1 };

    // browse: the server's browsing interface, used while the dialog opens
    // and released then; null gives an empty tree (an item ID can still be
    // typed).  The walk starts at the server's current browse position and
    // leaves the server there.
    explicit AddItemDialog(IOPCBrowseServerAddressSpace* browse, int mode = kAdding);

    int mode;             // kAdding, or kValidating: caption "Validate Item", no "Add All"
    BOOL addAll = FALSE;  // set by "Add All", cleared by OK
    std::string itemId;   // the item ID box's text after OK

    // Branch levels the walk descends at most: a server whose address space
    // loops (a branch holding itself) still gives a finite tree.
    static constexpr int kMaxDepth = 32;

protected:
    bool OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    void OnOK() override;
    bool OnCommand(UINT id) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;

private:
    HTREEITEM Insert(HTREEITEM parent, const std::string& text);
    void FillBelow(HTREEITEM node, int depth);
    std::string NodeText(LPWSTR name);
    void FillItemIdFromSelection();

    IOPCBrowseServerAddressSpace* browse_;  // held only while the dialog opens
    HWND tree_ = nullptr;
};
