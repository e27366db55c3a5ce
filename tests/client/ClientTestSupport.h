// What the client's tests against real servers share: a ModelUi that
// records what the operations ask of the windows, server registration,
// finding a server in the scanned table, and the server's view of a group.
#pragma once

#include "ServerConnections.h"

#include <map>
#include <string>
#include <vector>

namespace clienttest {

// Records what the operations ask of the windows.
class RecordingUi final : public ModelUi {
public:
    struct Node {
        NodeHandle parent;
        std::string text;
    };
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    NodeHandle InsertConnectionNode(const std::string& progId) override;
    NodeHandle InsertGroupNode(NodeHandle connection, const std::string& name) override;
    // A node's children go with it, as in a tree control.
    void DeleteNode(NodeHandle node) override;
    void UpdateViews() override { ++updates; }
    void ItemsChanged(CGroup&) override { ++changes; }

    std::vector<std::string> messages;
    std::map<NodeHandle, Node> nodes;
    NodeHandle last = 0;
    int updates = 0;
    int changes = 0;
};

// Runs `exe /RegServer` from the build's binaries; true when it succeeded.
bool RegisterOnce(const char* exe);

// Position of the entry with this ProgID in the table; -1 when absent.
int IndexOf(const ServerTable& table, const char* progId);

// The server's own count of the group's items, through its item enumerator;
// -1 when it gives none.
int ServerItemCount(CGroup& group);

}  // namespace clienttest
