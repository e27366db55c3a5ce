// OSTREL's main window: a single-document frame with the menu, toolbar and
// status bar of resource 128, and a static splitter between them holding the
// object tree (left) and the item list (right).
#pragma once

#include "SdiFrame.h"
#include "Splitter.h"

class CObjTree;
class COstrelView;

class CMainFrame : public fw::SdiFrame {
public:
    // The two panes: the tree is the frame's first view, the list its second.
    CObjTree* Tree() const;
    COstrelView* List() const;
    fw::Splitter& SplitterWindow() { return m_splitter; }

    // The tree's column is this wide at first and may be dragged to nothing.
    static constexpr int kTreeWidth = 240;

    // Help Topics, F1 and Shift+F1: the platform's help for the program.
    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(UINT id, bool& enabled) override;

protected:
    // Toolbar (New, Open, Save, About, context Help) and status bar (message pane and the
    // CAPS, NUM and SCRL indicators) around the client area; false when
    // either cannot be made.
    bool OnCreate() override;
    // The splitter with the tree in column 0 and the list in column 1; false
    // when a pane cannot be made.
    bool OnCreateClient() override;
    // The timer that asks the document's servers now and then whether they
    // still answer: a server that died sends nothing, so only asking tells.
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    fw::Splitter m_splitter;
};
