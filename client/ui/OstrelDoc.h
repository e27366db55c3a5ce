// OSTREL's document: the server table (held by the object tree) as a file,
// and the commands that change it.  New rebuilds the table from the
// registry, Open reads a saved one and connects its servers again, Save
// writes it; every one of them first ends the connections of the last.
#pragma once

#include "Document.h"

#include <cstdint>
#include <string>
#include <vector>

class CItem;
class CObjTree;
class COstrelView;

class COstrelDoc : public fw::Document {
public:
    // The first view: the tree that holds the model.
    CObjTree* Tree() const;
    // The second view: the item list.
    COstrelView* List() const;
    // The item of the list's selected row while a group's items are listed.
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
    void AddServer(CObjTree& tree);
    void AddGroup(CObjTree& tree);
    void AddItem(CObjTree& tree);
    void Delete(CObjTree& tree);
    void Copy();
    // Read/Write on the selected item row.
    void ReadWrite(CObjTree& tree);
    // Properties: the interfaces of the selected connection.
    void ShowInterfaces(CObjTree& tree);
    // Performance test, Validate Item, Async Cache Refresh on the selected
    // group.
    void GroupTool(CObjTree& tree, UINT id);
    // A file that could not be opened or saved: a message with the program's
    // caption.
    void ReportFileError(const std::string& text) const;
};
