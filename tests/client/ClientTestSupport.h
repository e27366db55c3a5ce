// What the client's tests against real servers share: a ModelUi that
// records what the operations ask of the windows, server registration,
// finding a server in the scanned table, the server's view of a group, and
// a fixture holding the connections.
#pragma once

#include "Processes.h"
#include "ServerConnections.h"
#include "WineTest.h"

#include <gtest/gtest.h>

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

// The server's own count of its groups, from its status; ~0 when it gives
// none.
DWORD ServerGroupCount(IUnknown* server);

// The string item of the branch servers ("text", shared by the server's
// whole process), written and read back through the group's first item, from
// the device: what the server itself received.  ServerText is "(no value)"
// when the read fails or gives no string.
HRESULT WriteServerText(CGroup& group, const std::wstring& text);
std::wstring ServerText(CGroup& group);

// ostrel_console.exe run with these arguments to its end, its output caught.
testsupport::CapturedRun RunConsole(const std::string& arguments);

// The table scanned once VELMORA_OPC and the branch servers are registered;
// every connection is closed and VELMORA_OPC has ended when the test ends.
class ConnectionsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Connects the server with this ProgID; its table index, or -1.
    int Connect(const char* progId);
    // Connects the server and makes "Group1" on it with this update rate and
    // these items; nullptr when the group or an item was refused.
    CGroup* ConnectWithGroup(const char* progId, const std::vector<std::string>& itemIds, DWORD rate);

    testsupport::ComScope com_;
    RecordingUi ui_;
    ServerConnections connections_{ui_};
    IUnknown* server_ = nullptr;  // the last server connected with a group
    std::weak_ptr<MtaServer> mtaServer_;  // the same for other threads, while connected
};

}  // namespace clienttest
