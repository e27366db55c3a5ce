// The client's console companion, for scripts and machines without a
// display: the same model and connection code as the window program.
//
//   ostrel_console servers
//   ostrel_console browse <ProgID>
//   ostrel_console read <ProgID> <ItemID>...
//   ostrel_console write <ProgID> <ItemID> <value>
//   ostrel_console watch <ProgID> <seconds> [<ItemID>...]
//   ostrel_console throughput <ProgID> [<ItemID>...]
//   ostrel_console save <ProgID> <file> [<ItemID>...]
//
// Without item IDs, watch, throughput and save take every item of the
// server's address space.  save writes an OSTREL document holding the
// connection and a group "Group1" of the items: OSTREL opens it connected.
// "--timeout <seconds>" before the command sets how long one step of talking
// to the server may take (10 s unless said).  The exit code is 0 on
// success, 1 for bad arguments, 2 when the server or an item cannot be
// reached, and 3 when the server stops answering: it died, or a step took
// longer than the time limit.
#include "CallWatchdog.h"
#include "ComPtr.h"
#include "DocumentCodec.h"
#include "DocumentFile.h"
#include "Handles.h"
#include "ReadThroughput.h"
#include "ResultText.h"
#include "ServerConnections.h"
#include "ServerTableScan.h"
#include "QualityText.h"
#include "TaskMemResults.h"
#include "TextToValue.h"
#include "TimeLimitedCall.h"
#include "ValueText.h"
#include "Variant.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The console writes UTF-8, the model's own text, so that no character is
// lost to a console's or a pipe's code page.
void Print(FILE* stream, const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int needed = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (needed < 0) return;
    std::vector<char> text(static_cast<size_t>(needed) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    std::fwrite(text.data(), 1, static_cast<size_t>(needed), stream);
}

void Out(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Print(stdout, format, args);
    va_end(args);
}

void Err(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Print(stderr, format, args);
    va_end(args);
}

// The console's face of the model: messages and values go to the output,
// tree nodes are plain numbers.
class ConsoleUi final : public ModelUi {
public:
    void ShowMessage(const std::string& text) override { Err("message: %s\n", text.c_str()); }
    NodeHandle InsertConnectionNode(const std::string&) override { return ++lastNode_; }
    NodeHandle InsertGroupNode(NodeHandle, const std::string&) override { return ++lastNode_; }
    void DeleteNode(NodeHandle) override {}
    void UpdateViews() override {}
    void ItemsChanged(CGroup& group) override {
        if (!printChanges_) return;
        for (auto& item : group.m_items) {
            if (!item->m_changed) continue;
            Out("%s = %s (quality 0x%02X %s)\n", item->m_itemId.c_str(), item->m_valueText.c_str(),
                        item->m_quality, QualityText(item->m_quality).c_str());
            item->m_changed = FALSE;
        }
        std::fflush(stdout);
    }
    bool printChanges_ = false;

private:
    NodeHandle lastNode_ = 0;
};

// How long one step of talking to the server may take.
DWORD g_callLimitMs = kUserCallLimitMs;

// A step that overruns ends the program: the thread that made the call is
// stuck in it for as long as the server does not answer.
CallWatchdog& Watchdog() {
    static CallWatchdog watchdog([](const std::string& step) {
        Err("the server did not answer within %lu s while %s; giving up\n",
            static_cast<unsigned long>((g_callLimitMs + 999) / 1000), step.c_str());
        std::fflush(stdout);
        std::fflush(stderr);
        // Not ExitProcess: the system's clean-up would call the server again.
        TerminateProcess(GetCurrentProcess(), 3);
    });
    return watchdog;
}

int Usage() {
    Err(
                 "usage: ostrel_console [--timeout <seconds>] <command>, the command one of\n"
                 "       ostrel_console servers\n"
                 "       ostrel_console browse <ProgID>\n"
                 "       ostrel_console read <ProgID> <ItemID>...\n"
                 "       ostrel_console write <ProgID> <ItemID> <value>\n"
                 "       ostrel_console watch <ProgID> <seconds> [<ItemID>...]\n"
                 "       ostrel_console throughput <ProgID> [<ItemID>...]\n"
                 "       ostrel_console save <ProgID> <file> [<ItemID>...]\n");
    return 1;
}

void PumpFor(DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const DWORD spent = GetTickCount() - start;
        if (spent >= ms) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_ALLINPUT);
    }
}

// A connection to one server with one group, for the commands that need items.
class Session {
public:
    Session() : connections_(ui_) {}
    ~Session() {
        WatchedStep step(Watchdog(), g_callLimitMs, "leaving the server");
        connections_.DisconnectAll();
    }
    ConsoleUi& Ui() { return ui_; }

    // Connects the server registered as progId; false (said why) when not.
    bool Open(const std::string& progId) {
        connections_.ReplaceTable(ScanServerTable());
        ServerTable& table = connections_.Table();
        for (size_t i = 0; i < table.size(); ++i)
            if (_stricmp(table[i]->m_progId.c_str(), progId.c_str()) == 0) index_ = static_cast<int>(i);
        if (index_ < 0) {
            Err("no OPC server is registered as %s\n", progId.c_str());
            return false;
        }
        const HRESULT hr = [&] {
            WatchedStep step(Watchdog(), g_callLimitMs, "connecting");
            return connections_.Connect(index_);
        }();
        if (!Server()) {
            Err("%s could not be connected (HR = %s)\n", progId.c_str(), HresultText(hr).c_str());
            return false;
        }
        return true;
    }

    IUnknown* Server() const { return connections_.Entry(index_)->m_pServer.get(); }
    CServer* Entry() const { return connections_.Entry(index_); }
    ServerConnections& Connections() { return connections_; }
    const ServerTable& Table() const { return connections_.Table(); }

    // Every item ID below the server's browse position; those this program
    // cannot pass on unchanged are counted on stderr.
    std::vector<std::string> AllItemIds() const {
        WatchedStep step(Watchdog(), g_callLimitMs, "browsing");
        std::vector<std::string> ids;
        size_t unrepresentable = 0;
        fw::ComPtr<IOPCBrowseServerAddressSpace> browse;
        if (SUCCEEDED(Server()->QueryInterface(IID_IOPCBrowseServerAddressSpace, browse.put_void())))
            ForEachItemIdBelow(browse.get(), [&](const std::string& id) { ids.push_back(id); }, &unrepresentable);
        if (unrepresentable)
            Err("%zu item IDs with characters outside the ANSI code page were left out\n",
                         unrepresentable);
        return ids;
    }

    // Makes the group and adds the items; false (said which) when the group
    // fails or no item was taken.
    CGroup* MakeGroup(const std::vector<std::string>& ids, DWORD rate, const char* name = "Console") {
        WatchedStep step(Watchdog(), g_callLimitMs, "making the group and its items");
        GroupParameters parameters;
        parameters.name = name;
        parameters.updateRate = rate;
        connections_.CreateGroup(index_, parameters);
        CServer* entry = connections_.Entry(index_);
        if (entry->m_groups.empty()) return nullptr;
        CGroup* group = entry->m_groups.back().get();
        const std::vector<HRESULT> results = connections_.AddItems(*group, ids);
        for (size_t i = 0; i < ids.size(); ++i)
            if (FAILED(results[i]) && results[i] != kItemIdTooLong)  // those were said already
                Err("the server refused the item %s (HR = %s)\n", ids[i].c_str(),
                             HresultText(results[i]).c_str());
        return group->m_items.empty() ? nullptr : group;
    }

private:
    ConsoleUi ui_;
    ServerConnections connections_;
    int index_ = -1;
};

int ListServers() {
    for (const auto& entry : ScanServerTable()) Out("%s\n", entry->m_progId.c_str());
    return 0;
}

int Browse(const std::string& progId) {
    Session session;
    if (!session.Open(progId)) return 2;
    fw::ComPtr<IOPCBrowseServerAddressSpace> browse;
    if (FAILED(session.Server()->QueryInterface(IID_IOPCBrowseServerAddressSpace, browse.put_void()))) {
        Err("%s offers no address space to browse\n", progId.c_str());
        return 2;
    }
    for (const std::string& id : session.AllItemIds()) Out("%s\n", id.c_str());
    return 0;
}


fw::ComPtr<IOPCSyncIO> SyncIO(CGroup& group) {
    fw::ComPtr<IOPCSyncIO> io;
    if (group.m_pItemMgt) group.m_pItemMgt->QueryInterface(IID_IOPCSyncIO, io.put_void());
    return io;
}

int Read(const std::string& progId, const std::vector<std::string>& ids) {
    Session session;
    if (!session.Open(progId)) return 2;
    CGroup* group = session.MakeGroup(ids, 1000);
    fw::ComPtr<IOPCSyncIO> io = group ? SyncIO(*group) : fw::ComPtr<IOPCSyncIO>();
    if (!io) return 2;
    std::vector<OPCHANDLE> handles;
    for (const auto& item : group->m_items) handles.push_back(item->m_hServer);
    WatchedStep step(Watchdog(), g_callLimitMs, "reading");
    fw::TaskMemResults<OPCITEMSTATE, &OPCITEMSTATE::vDataValue> states;
    fw::TaskMemPtr<HRESULT> errors;
    const HRESULT hr = io->Read(OPC_DS_DEVICE, static_cast<DWORD>(handles.size()), handles.data(),
                                states.put(handles.size()), fw::OutPtr(errors));
    int rc = 0;
    if (FAILED(hr) || !states || !errors) {
        Err("Read failed (HR = %s)\n", HresultText(hr).c_str());
        rc = 2;
    } else {
        // S_FALSE only says to look at each item's code: a success code other
        // than S_OK still comes with the value.
        for (size_t i = 0; i < handles.size(); ++i) {
            const HRESULT error = errors.get()[i];
            const char* id = group->m_items[i]->m_itemId.c_str();
            if (FAILED(error)) {
                Out("%s: error %s\n", id, ServerResultText(session.Server(), error).c_str());
                rc = 2;
                continue;
            }
            Out("%s = ", id);
            const std::string text = VariantToText(states[i].vDataValue).text;
            std::fwrite(text.data(), 1, text.size(), stdout);
            Out(" (quality 0x%02X %s)", states[i].wQuality, QualityText(states[i].wQuality).c_str());
            if (error != S_OK) Out(" (item result %s)", ServerResultText(session.Server(), error).c_str());
            Out("\n");
        }
    }
    return rc;
}

int Write(const std::string& progId, const std::string& id, const std::string& text) {
    Session session;
    if (!session.Open(progId)) return 2;
    CGroup* group = session.MakeGroup({id}, 1000);
    fw::ComPtr<IOPCSyncIO> io = group ? SyncIO(*group) : fw::ComPtr<IOPCSyncIO>();
    if (!io) return 2;
    fw::Variant value;
    std::string why;
    if (!TextToValue(text, group->m_items[0]->m_canonicalType, value.put(), &why)) {
        Err("nothing written: %s\n", why.c_str());
        return 1;
    }
    OPCHANDLE handle = group->m_items[0]->m_hServer;
    WatchedStep step(Watchdog(), g_callLimitMs, "writing");
    fw::TaskMemPtr<HRESULT> errors;
    const HRESULT hr = io->Write(1, &handle, value.in(), fw::OutPtr(errors));
    if (FAILED(hr) || !errors) {
        Err("Write failed (HR = %s)\n", HresultText(FAILED(hr) ? hr : E_POINTER).c_str());
        return 2;
    }
    // The call's S_FALSE only says to look at the item's own code.
    const HRESULT itemResult = errors.get()[0];
    if (FAILED(itemResult)) {
        Err("Write failed: item error %s\n", ServerResultText(session.Server(), itemResult).c_str());
        return 2;
    }
    if (itemResult != S_OK)
        Out("%s written (item result %s)\n", id.c_str(), ServerResultText(session.Server(), itemResult).c_str());
    else
        Out("%s written\n", id.c_str());
    return 0;
}

int Watch(const std::string& progId, long seconds, std::vector<std::string> ids) {
    Session session;
    if (!session.Open(progId)) return 2;
    if (ids.empty()) ids = session.AllItemIds();
    session.Ui().printChanges_ = true;
    CGroup* group = session.MakeGroup(ids, 500);
    if (!group) return 2;
    // The model has said why when the server takes no subscription.
    if (!group->m_pSink && !group->m_pCallback) return 2;
    // A server that dies sends nothing more: its status is asked for now
    // and then, and the watch ends when it no longer answers.
    constexpr DWORD kCheckEveryMs = 2000;
    for (DWORD left = static_cast<DWORD>(seconds) * 1000; left > 0;) {
        const DWORD slice = left < kCheckEveryMs ? left : kCheckEveryMs;
        PumpFor(slice);
        left -= slice;
        {
            // The check has the limit of its own and says so itself; the
            // watchdog is for a check that could not be limited.
            WatchedStep step(Watchdog(), g_callLimitMs + 2000, "asking for the server's status");
            session.Connections().CheckConnections(g_callLimitMs);
        }
        if (session.Entry()->m_lost) return 3;  // the model has said why
    }
    return 0;
}

int Throughput(const std::string& progId, std::vector<std::string> ids) {
    Session session;
    if (!session.Open(progId)) return 2;
    if (ids.empty()) ids = session.AllItemIds();
    CGroup* group = session.MakeGroup(ids, 60000);
    fw::ComPtr<IOPCSyncIO> io = group ? SyncIO(*group) : fw::ComPtr<IOPCSyncIO>();
    if (!io) return 2;
    std::vector<OPCHANDLE> handles;
    for (const auto& item : group->m_items) handles.push_back(item->m_hServer);
    for (OPCDATASOURCE source : {OPC_DS_CACHE, OPC_DS_DEVICE}) {
        constexpr long kMeasureMs = 1000;
        ReadThroughput r;
        {
            WatchedStep step(Watchdog(), g_callLimitMs + kMeasureMs, "measuring reads");
            r = MeasureReads(io.get(), source, handles, kMeasureMs);
        }
        if (r.lostWith != S_OK) {
            Err("%s does not answer any more (HR = %s)\n", progId.c_str(),
                         HresultText(r.lostWith).c_str());
            return 3;
        }
        Out("%s: %ld requests in %ld ms, %ld requests per second, %.6f ms per request, "
                    "%ld values per second, %ld items per request, %ld errors\n",
                    source == OPC_DS_CACHE ? "cache" : "device", r.requests, r.elapsedMs, r.RequestsPerSecond(),
                    r.MsPerRequest(), r.ValuesPerSecond(), r.items, r.errors);
    }
    return 0;
}

int Save(const std::string& progId, const std::string& path, std::vector<std::string> ids) {
    Session session;
    if (!session.Open(progId)) return 2;
    if (ids.empty()) ids = session.AllItemIds();
    const CGroup* group = session.MakeGroup(ids, 500, "Group1");
    if (!group) return 2;
    // The whole path: a cut one would name, and overwrite, another file.
    const HRESULT hr = WriteDocumentFile(Utf8ToWide(path), EncodeContents(session.Table()));
    if (FAILED(hr)) {
        Err("%s could not be written (HR = %s)\n", path.c_str(), HresultText(hr).c_str());
        return 2;
    }
    // The items the server took, which are what the document holds.
    Out("%s written: %s with group Group1 of %zu items\n", path.c_str(), progId.c_str(),
                group->m_items.size());
    return 0;
}

// The arguments as the system has them, in UTF-16, made UTF-8 like every
// text of the model: the C runtime's argv would pass them through the ANSI
// code page and turn the characters it lacks into "?".
std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    const fw::UniqueLocal owner(reinterpret_cast<HLOCAL>(wide));
    if (!wide) return args;
    for (int i = 0; i < count; ++i) args.push_back(WideToUtf8(wide[i]));
    return args;
}

int Run(std::vector<std::string> args) {
    if (args.size() >= 3 && args[1] == "--timeout") {
        char* end = nullptr;
        const long seconds = std::strtol(args[2].c_str(), &end, 10);
        if (*end != '\0' || seconds < 1 || seconds > 3600) return Usage();
        g_callLimitMs = static_cast<DWORD>(seconds) * 1000;
        args.erase(args.begin() + 1, args.begin() + 3);
    }
    if (args.size() < 2) return Usage();
    const std::string command = args[1];
    std::vector<std::string> rest(args.begin() + 2, args.end());
    if (command == "servers" && rest.empty()) return ListServers();
    if (command == "browse" && rest.size() == 1) return Browse(rest[0]);
    if (command == "read" && rest.size() >= 2) return Read(rest[0], {rest.begin() + 1, rest.end()});
    if (command == "write" && rest.size() == 3) return Write(rest[0], rest[1], rest[2]);
    if (command == "watch" && rest.size() >= 2) {
        char* end = nullptr;
        const long seconds = std::strtol(rest[1].c_str(), &end, 10);
        if (*end != '\0' || seconds < 1 || seconds > 86400) return Usage();
        return Watch(rest[0], seconds, {rest.begin() + 2, rest.end()});
    }
    if (command == "throughput" && !rest.empty()) return Throughput(rest[0], {rest.begin() + 1, rest.end()});
    if (command == "save" && rest.size() >= 2) return Save(rest[0], rest[1], {rest.begin() + 2, rest.end()});
    return Usage();
}

}  // namespace

int main() {
    // A console shows the UTF-8 that is written to it (pipes and files get
    // the same bytes).
    SetConsoleOutputCP(CP_UTF8);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    const int rc = Run(Arguments());
    CoUninitialize();
    return rc;
}
