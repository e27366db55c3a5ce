// bench_ostrel_list.exe RESULT_FILE: OSTREL with a group of 100,000 items on
// VELMORA_OPC, in this process as the program runs it: adding the items,
// leaving the group, opening the saved document (connection, group and the
// items made again) with and without the server's process start, selecting
// the group so that the list shows it, a data change drawn, and Exit.  The rows go to RESULT_FILE for opc_bench.exe.
#include "BenchTags.h"
#include "ComPtr.h"
#include "MainFrame.h"
#include "ObjTree.h"
#include "OstrelApp.h"
#include "OstrelDoc.h"
#include "OstrelView.h"
#include "ResultTable.h"
#include "SingleDocTemplate.h"
#include "Statistics.h"
#include "Stopwatch.h"
#include "Text.h"
#include "WineTest.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace bench;

size_t kItems = 100000;  // another count as the second argument, for trying
constexpr const char* kServerProgId = "Velmora.VelmoraOPC.1";
constexpr const char* kFigure = "OSTREL, a group of 100,000 items";

// Dispatches what has arrived (data changes, paint) without waiting.
void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int ServerIndex(ServerConnections& model) {
    for (size_t i = 0; i < model.Table().size(); ++i)
        if (model.Table()[i]->m_progId == kServerProgId) return static_cast<int>(i);
    return -1;
}

HTREEITEM FirstGroupNode(HWND tree, HTREEITEM configuration) {
    const auto child = [tree](HTREEITEM parent) {
        return reinterpret_cast<HTREEITEM>(
            SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(parent)));
    };
    HTREEITEM connection = child(configuration);
    return connection ? child(connection) : nullptr;
}

int Measure(ResultTable& table) {
    auto app = std::make_unique<COstrelApp>();
    // The program's own command line names no document: this one names the
    // result file.
    app->SetCommandLine(L"OSTREL.exe");
    if (!app->InitInstance()) return 3;
    auto* frame = dynamic_cast<CMainFrame*>(app->MainFrame());
    auto document = [&] { return dynamic_cast<COstrelDoc*>(app->Template()->GetDocument()); };
    if (!frame || !document()) return 3;
    ServerConnections& model = document()->Model();
    const int index = ServerIndex(model);
    if (index < 0 || FAILED(model.Connect(index))) return 4;
    GroupParameters parameters;
    parameters.name = "Bench";
    model.CreateGroup(index, parameters);
    CServer* entry = model.Entry(index);
    if (!entry || entry->m_groups.empty()) return 5;

    std::vector<std::string> ids;
    ids.reserve(kItems);
    for (size_t i = 0; i < kItems; ++i) ids.push_back(fw::Narrow(BenchTagName(static_cast<int>(i % kBenchTagCount))));
    const double addMs = TimeMs([&] { model.AddItems(*entry->m_groups.front(), ids); });
    if (entry->m_groups.front()->m_items.size() != kItems) return 6;
    table.Add({"Add 100,000 items to a group (one AddItems call)", FormatDuration(addMs), "", "", ""});

    testsupport::ScratchDir scratch;
    const std::string path = scratch.path() + "big.ost";
    if (!document()->DoSave(path)) return 7;
    const double leaveMs = TimeMs([&] { model.DisconnectAll(); });
    table.Add({"Leave the group of 100,000 items (disconnect)", FormatDuration(leaveMs), "", "", ""});

    // Opening makes the connection, the group and its items again; selecting
    // the group's node fills the list.  Opened twice: once starting the
    // server's process, once with the process already running (held by a
    // server object of this program's own), which is the client's part.
    const HWND tree = frame->Tree()->TreeControl();
    const HWND list = frame->List()->ListControl();
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(fw::Widen(kServerProgId).c_str(), &clsid))) return 8;
    fw::ComPtr<IUnknown> running;
    CServer* opened = nullptr;
    for (const bool warm : {false, true}) {
        if (warm && FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, running.put_void())))
            return 8;
        const double openMs = TimeMs([&] { app->Template()->OpenDocumentFile(path); });
        opened = document()->Model().Entry(ServerIndex(document()->Model()));
        if (!opened || opened->m_groups.empty() || opened->m_groups.front()->m_items.size() != kItems) return 9;
        const HTREEITEM groupNode = FirstGroupNode(tree, frame->Tree()->ConfigurationNode());
        const double selectMs = TimeMs([&] {
            SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(groupNode));
            UpdateWindow(list);
        });
        if (static_cast<size_t>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) != kItems) return 10;
        const std::string server = warm ? "server process running" : "server process started";
        table.Add({"Open the saved document (" + server + "): connect, make the group, add its 100,000 items",
                   FormatDuration(openMs), "", "", ""});
        table.Add({"Select the group: the list shows its 100,000 rows", FormatDuration(selectMs), "", "", ""});
        table.Add({"Open and select together (" + server + ")", FormatDuration(openMs + selectMs), "", "",
                   warm ? "under 2 s" : ""});
        if (!warm) document()->Model().DisconnectAll();
    }

    // The first data change brings every item; a later one redraws the rows
    // on screen that changed.
    const double waitStart = MonotonicMs();
    CItem& last = *opened->m_groups.front()->m_items.back();
    while (last.m_valueText == "?" && MonotonicMs() - waitStart < 30000) {
        Pump();
        Sleep(10);
    }
    for (auto& item : opened->m_groups.front()->m_items) item->m_changed = TRUE;
    const double redrawMs = TimeMs([&] {
        frame->List()->RefreshValues(false);
        UpdateWindow(list);
    });
    table.Add({"A data change of every item shown (rows on screen drawn again)", FormatDuration(redrawMs), "", "",
               ""});
    running.reset();
    const double exitMs = TimeMs([&] { app->ExitInstance(); });
    table.Add({"Exit with the group open", FormatDuration(exitMs), "", "", ""});
    app.reset();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    if (argc > 2) kItems = std::strtoul(argv[2], nullptr, 10);
    ResultTable table;
    table.AddSection("OSTREL item list, in process against VELMORA_OPC");
    const int rc = Measure(table);
    if (rc != 0) table.Add(FailureRow(kFigure, MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, rc)));
    return table.Save(argv[1]) ? 0 : 1;
}
