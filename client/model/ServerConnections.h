// The client's operations that talk to OPC servers: connecting an entry of
// the server table, groups with their data-change subscriptions, items, and
// the reconnection of an opened document.  Everything the windows must do
// (messages, tree nodes, refreshing the views) goes through ModelUi, so the
// same operations serve the window program and the console companion.
#pragma once

#include "ClientRecords.h"
#include "TimeLimitedCall.h"

#include <functional>
#include <string>
#include <vector>

// What the operations ask of the user interface.
class ModelUi {
public:
    virtual ~ModelUi() = default;
    // A warning to the user (a message box without a caption of its own).
    virtual void ShowMessage(const std::string& text) = 0;
    // Nodes of the object tree; parents are expanded after an insertion.
    virtual NodeHandle InsertConnectionNode(const std::string& progId) = 0;
    virtual NodeHandle InsertGroupNode(NodeHandle connection, const std::string& name) = 0;
    virtual void DeleteNode(NodeHandle node) = 0;
    // Every view of the document shows the model anew.
    virtual void UpdateViews() = 0;
    // New values arrived for items of the group (their changed flags are set).
    virtual void ItemsChanged(CGroup& group) = 0;
};

// What the Add Group dialog collects.
struct GroupParameters {
    std::string name = "Group1";
    BOOL active = TRUE;
    LONG timeBias = 0;
    FLOAT percentDeadband = 0.0f;
    DWORD localeId = 0;
    DWORD updateRate = 1000;
    // The OPC DA 2.0 data callback before the OPC 1.0 stream, where the
    // group offers both.
    bool preferDataCallback = false;
};

// Walks a server's address space from its browse position, depth first: the
// leaves of a branch's sub-branches come before the branch's own leaves.
// `leaf` gets each leaf's full item ID; IDs the ANSI code page cannot
// represent are not handed on (a changed ID would name another item or
// none), only counted in *unrepresentable when that is given.
void ForEachItemIdBelow(IOPCBrowseServerAddressSpace* browse, const std::function<void(const std::string&)>& leaf,
                        size_t* unrepresentable = nullptr);

// The result of an item ID that a document could not keep (longer than its
// 100-byte field, or with characters the ANSI code page lacks): refused
// before anything is sent.
constexpr HRESULT kItemIdTooLong = HRESULT_FROM_WIN32(ERROR_BUFFER_OVERFLOW);

// "%X" of an HRESULT: upper-case hexadecimal without leading zeros.
std::string HresultText(HRESULT hr);

class ServerConnections {
public:
    explicit ServerConnections(ModelUi& ui) : ui_(ui) {}
    ~ServerConnections();
    ServerConnections(const ServerConnections&) = delete;
    ServerConnections& operator=(const ServerConnections&) = delete;

    ServerTable& Table() { return table_; }
    const ServerTable& Table() const { return table_; }
    // Disconnects everything and takes the new table (new or opened document).
    void ReplaceTable(ServerTable table);

    // Connects entry `index` (chosen in the Add OPC Server dialog); the
    // result of the step that failed (the message shown is the user's),
    // S_FALSE when the entry was connected already.
    HRESULT Connect(int index);
    // Creates a group on the connected entry and subscribes to its changes;
    // a name that a document could not keep is refused with a message.
    void CreateGroup(int index, const GroupParameters& parameters);
    // Adds one item; false when the server refused it (nothing is shown),
    // or when a document could not keep the ID (that is said).
    bool AddItem(CGroup& group, const std::string& itemId);
    // Adds the items in one AddItems call; each ID's result, in order (the
    // accepted ones are in the group, in that order).  IDs a document could
    // not keep get kItemIdTooLong and are said once, in one message.
    std::vector<HRESULT> AddItems(CGroup& group, const std::vector<std::string>& itemIds);
    // Adds every item below the server's browse position, depth first.
    void AddAllItems(int index, CGroup& group);
    // Removes the n-th item of the group from the server and the model.
    void DeleteItem(CGroup& group, size_t n);
    // Removes a group of entry `index` from the server and the model.
    void RemoveGroup(int index, CGroup& group);
    void DisconnectServer(int index);
    void DisconnectAll();
    // Connects again, in table order, every entry read from a file with the
    // connected mark, and creates its groups and items again.
    void ReconnectOpened();

    // Asks every connected server with groups for its status; one that has
    // gone, or that does not answer within limitMs (its process frozen), is
    // marked lost (see MarkLost).  Call now and then (every few seconds): a
    // server that died sends no more changes, and nothing else would notice.
    void CheckConnections(DWORD limitMs = kUserCallLimitMs);
    // Asked before a command that calls entry `index`'s server while the
    // user waits: true when the server answers its status within the call
    // limit.  One that does not is marked lost (said once); a lost one is
    // refused with a word, and nothing is asked of it.
    bool Answers(int index);
    // The limit of the calls a user waits for (kUserCallLimitMs unless set).
    void SetCallLimit(DWORD limitMs) { callLimitMs_ = limitMs; }
    DWORD CallLimit() const { return callLimitMs_; }
    // The entry's server answered a call with `hr`, an RPC code of a server
    // that has gone: its items turn "Bad: not connected", this is said once,
    // and later clean-up no longer calls the server.
    void MarkLost(CServer& entry, HRESULT hr);
    void MarkLost(CServer& entry, const std::string& why);

    // Lookups behind the tree's selection operations.
    int FindServerByNode(NodeHandle node) const;
    CGroup* FindGroupByNode(int index, NodeHandle node) const;
    CServer* Entry(int index) const;

private:
    HRESULT CreateServerObject(const std::string& clsidText, IUnknown** out);
    void RecordConnection(CServer& entry, fw::ComPtr<IUnknown> server, const std::string& clsidText);
    // Advises the client's IOPCShutdown where the server offers it.
    void AdviseShutdown(CServer& entry);
    // AddGroup, GetGroupByName and DAdvise for one group record; the failure
    // message is left to the caller.
    HRESULT MakeGroupOnServer(CServer& entry, CGroup& group, DWORD requestedRate, HRESULT* failedStep);
    void Subscribe(IDataObject* data, CGroup& group);
    // Advises an IOPCDataCallback on the group's connection point; false
    // when the group has none or refuses it.
    bool SubscribeCallback(IUnknown* groupObject, CGroup& group);
    // One item's answer to AddItems: the server's handle and the canonical
    // type where it was accepted.
    struct ItemAdded {
        HRESULT result = E_POINTER;
        OPCHANDLE hServer = 0;
        VARTYPE type = VT_EMPTY;
    };
    // One AddItems call for the IDs, with client handles from firstClient
    // on in their order.
    std::vector<ItemAdded> AddItemsToServer(CGroup& group, const std::vector<std::string>& itemIds,
                                            OPCHANDLE firstClient);
    bool RemoveGroupAt(int index, size_t groupIndex);
    // The entry's status within limitMs; false (and the entry marked lost)
    // when it has gone or did not answer.
    bool CheckAnswer(CServer& entry, DWORD limitMs);

    ModelUi& ui_;
    ServerTable table_;
    DWORD callLimitMs_ = kUserCallLimitMs;
};
