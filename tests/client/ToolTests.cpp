// The client's tools against real servers started by COM: the Read/Write,
// Performance test and OPC Interfaces dialogs and Validate Item run modally
// on the test's thread, driven from a watcher thread by window messages;
// Async Cache Refresh delivers through the group's real subscription.
//
// Groups get an update period far longer than a test, so the server never
// reads the device on its own: every device read is one of the test's, and
// the simulation's running value (1.0 at start, 1.1 more with every read,
// the written number after a write) makes each value known in advance.
#include "AsyncRefresh.h"
#include "ClientTestSupport.h"
#include "ComPtr.h"
#include "DialogWatcher.h"
#include "GroupInterface.h"
#include "InterfacesDialog.h"
#include "MessageBoxWatcher.h"
#include "PerformanceDialog.h"
#include "PerformanceTexts.h"
#include "Processes.h"
#include "ReadWriteDialog.h"
#include "ServerConnections.h"
#include "TaskMem.h"
#include "ToolResource.h"
#include "ValidateItem.h"
#include "WineTest.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdio>
#include <future>
#include <optional>
#include <string>
#include <vector>

namespace {

using clienttest::IndexOf;
using clienttest::ServerGroupCount;
using frameworktest::DialogWatcher;
using frameworktest::ItemText;
using testsupport::MessageBoxSeen;
using testsupport::WaitForMessageBox;
using Texts = std::vector<std::string>;

constexpr const char* kVelmora = "Velmora.VelmoraOPC.1";
constexpr const char* kBranch = "Velmora.BranchTest.1";
constexpr const char* kRefusing = "Velmora.RefusingTest.1";
constexpr DWORD kQuietRate = 600000;
// What a message box without a caption of its own is titled.
constexpr const char* kWarningCaption = "Error";

std::future<std::optional<MessageBoxSeen>> WatchForBox(const char* caption, DWORD timeoutMs = 20000) {
    return std::async(std::launch::async, [caption, timeoutMs] { return WaitForMessageBox(caption, timeoutMs); });
}

std::string BoxText(const std::optional<MessageBoxSeen>& seen) { return seen ? seen->text : "(no box)"; }

// Presses a button; returns when the dialog has handled it.  A message box
// nobody waits for is cancelled after a while, so that a wrong box fails
// the test instead of hanging it.
void Press(HWND dialog, int id) {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                            reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)), SMTO_NORMAL, 30000, &result))
        return;
    ADD_FAILURE() << "button " << id << " was still being handled after 30 s";
    frameworktest::CancelBoxesOwnedBy(dialog);
}

// Presses a button whose handler shows a message box with this caption,
// possibly in another process, and answers the box's text.
std::string PressThroughBox(HWND dialog, int id, const char* caption) {
    auto box = WatchForBox(caption);
    Press(dialog, id);
    return BoxText(box.get());
}

class ToolTest : public clienttest::ConnectionsTest {
protected:
    CGroup* ConnectWithFiveTags() {
        return ConnectWithGroup(kVelmora, {"Name0", "Name1", "Name2", "Name3", "Name4"}, kQuietRate);
    }
};

// --- Read/Write --------------------------------------------------------------

using ReadWriteTool = ToolTest;

struct ReadWriteSeen {
    std::string name;
    Texts values;  // after opening, then after each step that shows one
    Texts boxes;   // texts of the boxes the steps closed
};

TEST_F(ReadWriteTool, ShowsEveryTypeFromTheDeviceAndWritesTypedText) {
    CGroup* group = ConnectWithFiveTags();
    ASSERT_NE(nullptr, group);

    // Opens the dialog on a row, runs `steps` on it, closes it with OK.
    auto run = [&](int row, const std::function<void(HWND, ReadWriteSeen&)>& steps) {
        ReadWriteSeen seen;
        ReadWriteDialog dialog(mtaServer_.lock(), *group, row, group->m_items[static_cast<size_t>(row)]->m_itemId);
        DialogWatcher watcher("Read/Write", IDOK, [&](HWND d) {
            seen.name = ItemText(d, IDC_RW_ITEM_NAME);
            seen.values.push_back(ItemText(d, IDC_RW_VALUE));
            if (steps) steps(d, seen);
        });
        EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
        EXPECT_TRUE(watcher.Result().found);
        return seen;
    };
    auto write = [](HWND d, const char* text, const char* caption, ReadWriteSeen& seen) {
        SetDlgItemTextA(d, IDC_RW_NEW_VALUE, text);
        seen.boxes.push_back(PressThroughBox(d, IDC_RW_WRITE, caption));
    };
    auto read = [](HWND d, ReadWriteSeen& seen) {
        Press(d, IDC_RW_READ);
        seen.values.push_back(ItemText(d, IDC_RW_VALUE));
    };

    ReadWriteSeen i2 = run(0, nullptr);  // running value 2.1
    EXPECT_EQ("Name0", i2.name);
    EXPECT_EQ(Texts({"2"}), i2.values);

    ReadWriteSeen i4 = run(1, [&](HWND d, ReadWriteSeen& seen) {  // 3.2
        write(d, "abc", kWarningCaption, seen);
        EXPECT_TRUE(testsupport::NoMessageBoxFor("Write", 300)) << "nothing reached the driver";
        write(d, "0x10", "Write", seen);
        read(d, seen);  // 17.1
    });
    EXPECT_EQ("Name1", i4.name);
    EXPECT_EQ(Texts({"3", "17"}), i4.values);
    EXPECT_EQ(Texts({"Nothing written: \"abc\" is not an integer", "16"}), i4.boxes);

    EXPECT_EQ(Texts({"FALSE", "TRUE"}), run(2, read).values);  // 18.2, then 19.3
    EXPECT_EQ(Texts({"20.400000"}), run(3, nullptr).values);

    // Writing goes on after a value that needs more than six decimals.
    ReadWriteSeen r8 = run(4, [&](HWND d, ReadWriteSeen& seen) {  // 21.5 + 5.2
        write(d, "1e15", "Write", seen);
        read(d, seen);  // 1e15 + 1.1 + 5.2
        write(d, "2.5", "Write", seen);
        read(d, seen);  // 3.6 + 5.2
    });
    ASSERT_EQ(3u, r8.values.size());
    EXPECT_EQ("26.700000", r8.values[0]);
    // Past six decimals' reach: the shortest text of the very value.
    EXPECT_EQ(0u, r8.values[1].find("1000000000000006.")) << r8.values[1];
    EXPECT_EQ(18u, r8.values[1].size()) << r8.values[1];
    EXPECT_EQ("8.800000", r8.values[2]);
    EXPECT_EQ(Texts({"1000000000000000.000000", "2.500000"}), r8.boxes);
    EXPECT_TRUE(testsupport::NoMessageBoxFor(kWarningCaption, 100));
}

// Strings outside the ANSI code page, and long ones, typed into the dialog:
// the server receives them as typed (its own read is the judge), and the
// dialog's read shows them whole.
TEST_F(ReadWriteTool, StringsOutsideTheCodePageAndLongOnesAreWrittenAndShownWhole) {
    CGroup* group = ConnectWithGroup(kBranch, {"text"}, 1000);
    ASSERT_NE(nullptr, group);
    const std::wstring foreign = L"\x0416\x0438\x0442\x043E \x4E2D";
    const std::wstring longText = L"\x0416" + std::wstring(29998, L'l') + L"\x4E2D";
    for (const std::wstring& typed : {foreign, longText}) {
        std::wstring shown;
        ReadWriteDialog dialog(mtaServer_.lock(), *group, 0, "text");
        DialogWatcher watcher("Read/Write", IDOK, [&](HWND d) {
            SetDlgItemTextW(d, IDC_RW_NEW_VALUE, typed.c_str());
            Press(d, IDC_RW_WRITE);
            Press(d, IDC_RW_READ);
            shown = frameworktest::WideText(GetDlgItem(d, IDC_RW_VALUE));
        });
        EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
        EXPECT_TRUE(watcher.Result().found);
        EXPECT_TRUE(clienttest::ServerText(*group) == typed) << "the server received something else";
        EXPECT_TRUE(shown == typed) << "shown: " << shown.size() << " characters";
    }
    EXPECT_TRUE(testsupport::NoMessageBoxFor(kWarningCaption, 100));
}

TEST_F(ReadWriteTool, RefusedReadsAndWritesAreReportedAndUnknownTypesSendNothing) {
    // The branch server fails a whole read or write for a handle it does not
    // know; the model's handle is changed behind the dialog's back.
    CGroup* group = ConnectWithGroup(kBranch, {"top"}, 1000);
    ASSERT_NE(nullptr, group);
    CItem& item = *group->m_items[0];
    const OPCHANDLE good = item.m_hServer;

    Texts values, boxes;
    {
        ReadWriteDialog dialog(mtaServer_.lock(), *group, 0, "top");
        DialogWatcher watcher("Read/Write", IDCANCEL, [&](HWND d) {
            values.push_back(ItemText(d, IDC_RW_VALUE));
            item.m_hServer = good + 0x1000;
            boxes.push_back(PressThroughBox(d, IDC_RW_READ, kWarningCaption));
            values.push_back(ItemText(d, IDC_RW_VALUE));
            SetDlgItemTextA(d, IDC_RW_NEW_VALUE, "7");
            boxes.push_back(PressThroughBox(d, IDC_RW_WRITE, kWarningCaption));
        });
        EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
        EXPECT_TRUE(watcher.Result().found);
    }
    ASSERT_EQ(2u, values.size());
    EXPECT_NE("", values[0]);
    EXPECT_EQ(values[0], values[1]) << "a failed read keeps the last value";
    // The server took both calls and refused the item: its code is shown.
    EXPECT_EQ(Texts({"Reading Error\n\nItem error C0040001", "Writing Error\n\nItem error C0040001"}), boxes);

    // No read ever succeeded: the type is unknown and nothing is sent.
    boxes.clear();
    {
        auto opening = WatchForBox(kWarningCaption);
        ReadWriteDialog dialog(mtaServer_.lock(), *group, 0, "top");
        DialogWatcher watcher("Read/Write", IDOK, [&](HWND d) {
            SetDlgItemTextA(d, IDC_RW_NEW_VALUE, "5");
            boxes.push_back(PressThroughBox(d, IDC_RW_WRITE, kWarningCaption));
        });
        EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
        boxes.insert(boxes.begin(), BoxText(opening.get()));
    }
    item.m_hServer = good;
    EXPECT_EQ(Texts({"Reading Error\n\nItem error C0040001",
                     "Nothing written: the item's type is not known until a read succeeds."}),
              boxes);

    // A read-only item: the read works, the write's item error is shown.
    boxes.clear();
    {
        ReadWriteDialog dialog(mtaServer_.lock(), *group, 0, "top");
        DialogWatcher watcher("Read/Write", IDCANCEL, [&](HWND d) {
            SetDlgItemTextA(d, IDC_RW_NEW_VALUE, "5");
            boxes.push_back(PressThroughBox(d, IDC_RW_WRITE, kWarningCaption));
        });
        EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
    }
    EXPECT_EQ(Texts({"Writing Error\n\nItem error C0040006"}), boxes);
}

// A server that stops answering (its process frozen): each call is given
// up after the limit with a message, the dialog stays usable, and works
// again once the server answers.
TEST_F(ReadWriteTool, AFrozenServerIsGivenUpAfterTheLimit) {
    CGroup* group = ConnectWithGroup(kBranch, {"A.a1"}, 1000);
    ASSERT_NE(nullptr, group);
    Texts boxes;
    DWORD frozenMs = 0;
    std::string afterwards;
    {
        ReadWriteDialog dialog(mtaServer_.lock(), *group, 0, "A.a1", 1500);
        DialogWatcher watcher("Read/Write", IDOK, [&](HWND d) {
            {
                testsupport::ProcessFreeze freeze(testsupport::FindProcessId("branch_opc_server.exe"));
                ASSERT_TRUE(freeze.frozen());
                const DWORD start = GetTickCount();
                boxes.push_back(PressThroughBox(d, IDC_RW_READ, kWarningCaption));
                SetDlgItemTextA(d, IDC_RW_NEW_VALUE, "5");
                boxes.push_back(PressThroughBox(d, IDC_RW_WRITE, kWarningCaption));
                frozenMs = GetTickCount() - start;
            }
            // The calls given up are served when the server wakes, in no
            // order of their own with this one.
            for (int tries = 0; tries < 25 && afterwards != "5"; ++tries) {
                if (tries) Sleep(200);
                Press(d, IDC_RW_READ);
                afterwards = ItemText(d, IDC_RW_VALUE);
            }
        });
        EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
        EXPECT_TRUE(watcher.Result().found);
    }
    EXPECT_EQ(Texts({"Reading Error\n\nThe server did not answer within 2 s.",
                     "Writing Error\n\nThe server did not answer within 2 s. The value may still be written."}),
              boxes);
    EXPECT_LT(frozenMs, 8000u);
    // The write given up was sent all the same, and the server took it
    // when it woke.
    EXPECT_EQ("5", afterwards);
}

// --- Validate Item -----------------------------------------------------------

using ValidateItemTool = ToolTest;

// A known ID: the prompt closes and a second "Validate Item" dialog shows the
// server's answer.  An unknown one: a box with both codes.  Neither is added.
TEST_F(ValidateItemTool, ShowsTheServersAnswerOrBothCodesAndAddsNothing) {
    CGroup* group = ConnectWithGroup(kVelmora, {"Name0", "Name1"}, kQuietRate);
    ASSERT_NE(nullptr, group);
    Texts shown;
    {
        DialogWatcher watcher("Validate Item", IDOK, [&](HWND prompt) {
            SetDlgItemTextA(prompt, IDC_ITEM_ID, "Name3");
            PostMessageA(prompt, WM_COMMAND, IDOK, 0);
            HWND result = nullptr;
            auto resultShown = [&] {
                result = IsWindow(prompt) ? nullptr : FindWindowA("#32770", "Validate Item");
                return result && IsWindowVisible(result);
            };
            if (!testsupport::PumpUntil(resultShown, 10000)) return;
            for (int id : {IDC_VALIDATED_ITEM_ID, IDC_VALIDATED_TYPE, IDC_VALIDATED_HANDLE})
                shown.push_back(ItemText(result, id));
            PostMessageA(result, WM_COMMAND, IDOK, 0);
        });
        ValidateItem(nullptr, server_, *group);
        ASSERT_TRUE(watcher.Result().found);
    }
    ASSERT_EQ(3u, shown.size()) << "the result dialog came";
    EXPECT_EQ("Name3", shown[0]);
    EXPECT_EQ(std::to_string(VT_R4), shown[1]);
    EXPECT_FALSE(shown[2].empty());
    EXPECT_EQ(shown[2].find_first_not_of("-0123456789"), std::string::npos) << shown[2];

    auto box = WatchForBox(kWarningCaption);
    DialogWatcher watcher("Validate Item", IDOK,
                          [](HWND prompt) { SetDlgItemTextA(prompt, IDC_ITEM_ID, "No.Such.Tag"); });
    ValidateItem(nullptr, server_, *group);
    EXPECT_TRUE(watcher.Result().found);
    EXPECT_EQ("Validate Item error (HR = 1, PHR = C0040007)", BoxText(box.get()));
    EXPECT_EQ(2u, group->m_items.size());
    EXPECT_EQ(2, clienttest::ServerItemCount(*group));
}

// --- Async Cache Refresh -----------------------------------------------------

using AsyncRefreshTool = ToolTest;

TEST_F(AsyncRefreshTool, CachedValuesArriveThroughTheSubscriptionEveryTime) {
    CGroup* group = ConnectWithFiveTags();
    ASSERT_NE(nullptr, group);
    {
        // One device read fills the server's cache (running value 2.1).
        fw::ComPtr<IOPCSyncIO> io;
        ASSERT_EQ(GroupAccess::Reached, GetGroupInterface(server_, group->m_name, io));
        std::vector<OPCHANDLE> handles;
        for (const auto& item : group->m_items) handles.push_back(item->m_hServer);
        OPCITEMSTATE* states = nullptr;
        HRESULT* errors = nullptr;
        ASSERT_EQ(S_OK, io->Read(OPC_DS_DEVICE, 5, handles.data(), &states, &errors));
        for (int i = 0; i < 5; ++i) VariantClear(&states[i].vDataValue);
        CoTaskMemFree(states);
        CoTaskMemFree(errors);
    }
    auto texts = [&] {
        Texts all;
        for (const auto& item : group->m_items) all.push_back(item->m_valueText + (item->m_changed ? "" : " (unchanged)"));
        return all;
    };
    auto allArrived = [&] {
        for (const auto& item : group->m_items)
            if (!item->m_changed) return false;
        return true;
    };

    for (const char* round : {"first refresh", "again, nothing changed"}) {
        SCOPED_TRACE(round);
        for (auto& item : group->m_items) {
            item->m_changed = FALSE;
            item->m_valueText = "?";
        }
        auto box = WatchForBox(kWarningCaption, 1000);
        AsyncCacheRefresh(nullptr, server_, *group);
        EXPECT_TRUE(testsupport::PumpUntil(allArrived, 5000));
        EXPECT_EQ(Texts({"2", "2", "FALSE", "2.100000", "7.300000"}), texts());
        EXPECT_FALSE(box.get().has_value());
    }
    EXPECT_TRUE(ui_.messages.empty());

    // A subscription the server does not know: the request is refused.
    const DWORD connection = group->m_adviseConnection;
    group->m_adviseConnection = connection + 1000;
    auto box = WatchForBox(kWarningCaption);
    AsyncCacheRefresh(nullptr, server_, *group);
    group->m_adviseConnection = connection;
    EXPECT_EQ("Refresh Error", BoxText(box.get()));
}

// --- Performance test --------------------------------------------------------

using PerformanceTool = ToolTest;

Texts PerformanceFields(HWND dialog) {
    Texts texts;
    for (int id : {IDC_PERF_REQUESTS, IDC_PERF_TIME, IDC_PERF_REQUEST_RATE, IDC_PERF_REQUEST_TIME, IDC_PERF_VALUE_RATE,
                   IDC_PERF_ITEMS, IDC_PERF_ERRORS})
        texts.push_back(ItemText(dialog, id));
    return texts;
}

const Texts kNoRequestFields = {"Number of requests = 0", "Time = 0",      "0 requests per second",
                                "Time of 1 request = 0",  "0 values per second", "Number of items in request = 0",
                                "No request"};

// Reads a run's figures back from its texts and checks that they agree.
void ExpectConsistentRun(const Texts& f, long items) {
    ASSERT_EQ(7u, f.size());
    long requests = 0, time = 0, rate = 0, values = 0, shownItems = 0, errors = -1;
    double perRequest = 0;
    ASSERT_EQ(1, std::sscanf(f[0].c_str(), "Number of requests = %ld", &requests)) << f[0];
    ASSERT_EQ(1, std::sscanf(f[1].c_str(), "Time = %ld", &time)) << f[1];
    ASSERT_EQ(1, std::sscanf(f[2].c_str(), "%ld requests per second", &rate)) << f[2];
    ASSERT_EQ(1, std::sscanf(f[3].c_str(), "Time of 1 request = %lf ms", &perRequest)) << f[3];
    ASSERT_EQ(1, std::sscanf(f[4].c_str(), "%ld values per second", &values)) << f[4];
    ASSERT_EQ(1, std::sscanf(f[5].c_str(), "Number of items in request = %ld", &shownItems)) << f[5];
    ASSERT_EQ(1, std::sscanf(f[6].c_str(), "Number of errors = %ld", &errors)) << f[6];
    EXPECT_GT(requests, 0);
    EXPECT_GE(time, 1000);
    EXPECT_EQ(requests * 1000 / time, rate);
    char expected[64];
    std::snprintf(expected, sizeof expected, "Time of 1 request = %3.6f ms", static_cast<double>(time) / requests);
    EXPECT_EQ(expected, f[3]);
    EXPECT_EQ(items * requests * 1000 / time, values);
    EXPECT_EQ(items, shownItems);
    EXPECT_EQ(0, errors);
}

TEST_F(PerformanceTool, OpensEmptyAndShowsEachRunsOwnFigures) {
    CGroup* group = ConnectWithFiveTags();
    ASSERT_NE(nullptr, group);
    Texts opening, cache, device, missing;
    std::unique_ptr<CItem> setAside;
    PerformanceDialog dialog(server_, *group);
    DialogWatcher watcher("Performance test", IDOK, [&](HWND d) {
        opening = PerformanceFields(d);
        Press(d, IDC_PERF_CACHE);
        cache = PerformanceFields(d);
        // The next run takes the group's items anew.
        setAside = std::move(group->m_items.back());
        group->m_items.pop_back();
        Press(d, IDC_PERF_DEVICE);
        device = PerformanceFields(d);
        // A group the server no longer knows by that name: no request at all.
        group->m_name = "Renamed";
        Press(d, IDC_PERF_CACHE);
        missing = PerformanceFields(d);
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    EXPECT_TRUE(watcher.Result().found);
    group->m_name = "Group1";
    if (setAside) group->m_items.push_back(std::move(setAside));

    EXPECT_EQ(kNoRequestFields, opening);
    {
        SCOPED_TRACE("Cache, five items");
        ExpectConsistentRun(cache, 5);
    }
    {
        SCOPED_TRACE("Device, four items");
        ExpectConsistentRun(device, 4);
    }
    EXPECT_EQ(kNoRequestFields, missing);
}

TEST(PerformanceTexts, FiguresOfOneMeasurement) {
    ReadThroughput measured;
    measured.requests = 250;
    measured.errors = 0;
    measured.elapsedMs = 1000;
    measured.items = 3;
    const PerformanceTexts texts = MeasuredTexts(measured);
    EXPECT_EQ(Texts({"Number of requests = 250", "Time = 1000", "250 requests per second",
                     "Time of 1 request = 4.000000 ms", "750 values per second", "Number of items in request = 3",
                     "Number of errors = 0"}),
              Texts({texts.requests, texts.time, texts.requestRate, texts.requestTime, texts.valueRate, texts.items,
                     texts.errors}));
}

// --- OPC Interfaces ----------------------------------------------------------

using InterfacesTool = ToolTest;

using Rows = std::vector<Texts>;

struct InterfacesSeen {
    Texts columns;
    Rows rows;
};

InterfacesSeen RunInterfacesDialog(IUnknown* server, std::optional<std::string> firstGroup) {
    InterfacesSeen seen;
    InterfacesDialog dialog(server, std::move(firstGroup));
    DialogWatcher watcher("OPC Interfaces", IDOK, [&](HWND d) {
        const HWND list = GetDlgItem(d, IDC_INTERFACE_LIST);
        for (int c = 0; c < 3; ++c) {
            char title[64] = {};
            LVCOLUMNA column = {};
            column.mask = LVCF_TEXT | LVCF_WIDTH;
            column.pszText = title;
            column.cchTextMax = sizeof title;
            if (!SendMessageA(list, LVM_GETCOLUMNA, c, reinterpret_cast<LPARAM>(&column))) break;
            seen.columns.push_back(std::string(title) + " " + std::to_string(column.cx));
        }
        const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        for (int r = 0; r < count; ++r) {
            seen.rows.emplace_back();
            for (int c = 0; c < 3; ++c) {
                char text[128] = {};
                LVITEMA item = {};
                item.iSubItem = c;
                item.pszText = text;
                item.cchTextMax = sizeof text;
                SendMessageA(list, LVM_GETITEMTEXTA, r, reinterpret_cast<LPARAM>(&item));
                seen.rows.back().push_back(text);
            }
        }
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    EXPECT_TRUE(watcher.Result().found);
    return seen;
}

// The rows with the third column as given: eight server interfaces, a
// heading, seven group interfaces.
Rows InterfaceRows(const std::vector<const char*>& server, const std::vector<const char*>& group) {
    const char* names[] = {"IUnknown", "IOPCServer", "IOPCBrowseSeverAddressSpace", "IOPCServerPublicGroups",
                           "IPersistFile", "IOPCItemProperties", "IConnectionPointContainer", "IOPCCommon",
                           "Groups interfaces:", "IOPCGroupStateMgt", "IOPCItemMgt", "IOPCSyncIO", "IOPCAsyncIO",
                           "IDataObject", "IOPCAsyncIO2", "IConnectionPointContainer"};
    const char* required[] = {"Yes", "Yes", "Optional", "Optional", "Optional", "Yes (OPC 2.0)", "Yes (OPC 2.0)",
                              "Yes (OPC 2.0)", "", "Yes", "Yes", "Yes", "Yes (OPC 1.0)", "Yes (OPC 1.0)",
                              "Yes (OPC 2.0)", "Yes (OPC 2.0)"};
    Rows rows;
    for (size_t i = 0; i < 16; ++i) rows.push_back({names[i], required[i], i < 8 ? server[i] : i == 8 ? "" : group[i - 9]});
    return rows;
}

// VELMORA_OPC speaks DA 2.0 as well: every required interface is there.
const std::vector<const char*> kVelmoraServer = {"Yes", "Yes", "Yes", "No", "No", "Yes", "Yes", "Yes"};
// The branch servers offer IOPCShutdown through a connection point.
const std::vector<const char*> kBranchServer = {"Yes", "Yes", "Yes", "No", "No", "No", "Yes", "No"};

TEST_F(InterfacesTool, VelmoraWithItsOwnGroupAndWithATemporaryOne) {
    CGroup* group = ConnectWithGroup(kVelmora, {}, kQuietRate);
    ASSERT_NE(nullptr, group);
    const Rows expected = InterfaceRows(kVelmoraServer, {"Yes", "Yes", "Yes", "Yes", "Yes", "Yes", "Yes"});
    ASSERT_EQ(1u, ServerGroupCount(server_));
    const InterfacesSeen own = RunInterfacesDialog(server_, group->m_name);
    EXPECT_EQ(Texts({"Interface name 250", "Required 100", "Obtained 130"}), own.columns);
    EXPECT_EQ(expected, own.rows);
    EXPECT_EQ(1u, ServerGroupCount(server_)) << "no group added or removed";

    connections_.RemoveGroup(IndexOf(connections_.Table(), kVelmora), *group);
    ASSERT_EQ(0u, ServerGroupCount(server_));
    EXPECT_EQ(expected, RunInterfacesDialog(server_, std::nullopt).rows);
    EXPECT_EQ(0u, ServerGroupCount(server_)) << "the temporary group is gone again";
    EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(InterfacesTool, RefusedGroupIsReportedOnceAndItsRowsSayNo) {
    const int index = Connect(kRefusing);
    ASSERT_GE(index, 0) << kRefusing << " is registered by branch_opc_server.exe";
    IUnknown* server = connections_.Entry(index)->m_pServer.get();
    auto box = WatchForBox(kWarningCaption);
    const InterfacesSeen seen = RunInterfacesDialog(server, std::nullopt);
    const std::optional<MessageBoxSeen> shown = box.get();
    ASSERT_TRUE(shown.has_value());
    EXPECT_EQ("Add Group error (HR = 80004005)", shown->text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), shown->icon);
    EXPECT_EQ(InterfaceRows(kBranchServer, {"No", "No", "No", "No", "No", "No", "No"}), seen.rows);
    EXPECT_EQ(0u, ServerGroupCount(server));
}

}  // namespace
