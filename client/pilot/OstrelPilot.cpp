// Drives a running OSTREL (or any top-level window) from another process,
// the way a person would with the mouse, for scripts that demonstrate the
// program or take its pictures:
//
//   ostrel_pilot select-group <seconds>     select the first group under
//                                           "Configuration" once it exists
//   ostrel_pilot select-server <seconds>    the same for the first connection
//   ostrel_pilot select-row <row>           select a row of the item list
//   ostrel_pilot command <id>               post a menu command to OSTREL
//   ostrel_pilot wait <caption> <seconds>   wait for a top-level window
//   ostrel_pilot rect <caption>             print its frame as WxH+X+Y
//   ostrel_pilot place <caption> <x> <y> <w> <h>
//   ostrel_pilot click <caption> <id>       press a dialog's button
//   ostrel_pilot close <caption>            close it (Cancel for a dialog)
//
// A caption matches when it contains the text given.  Only handles cross
// the process boundary: tree and list messages with pointers are not used.
// The exit code is 0 on success, 1 for bad arguments, 2 when the window or
// node was not found in time.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

struct WindowSearch {
    const std::function<bool(HWND)>* match;
    HWND found;
};

// An enumeration callback must be stdcall on 32-bit Windows, which a lambda
// cannot be made into.
BOOL CALLBACK VisitWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    if (!(*search->match)(window)) return TRUE;
    search->found = window;
    return FALSE;
}

// The first window (top-level when parent is null, else a descendant of
// parent) that `match` accepts.
HWND FindWindowIf(HWND parent, const std::function<bool(HWND)>& match) {
    WindowSearch search = {&match, nullptr};
    if (parent)
        EnumChildWindows(parent, VisitWindow, reinterpret_cast<LPARAM>(&search));
    else
        EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindTopLevel(const char* text) {
    return FindWindowIf(nullptr, [text](HWND window) {
        char caption[256] = {};
        GetWindowTextA(window, caption, sizeof caption);
        return IsWindowVisible(window) && std::strstr(caption, text) != nullptr;
    });
}

HWND WaitForTopLevel(const char* text, DWORD seconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = FindTopLevel(text)) return window;
        if (GetTickCount() - start >= seconds * 1000) return nullptr;
        Sleep(100);
    }
}

HWND FindChild(HWND parent, const char* className) {
    if (!parent) return nullptr;
    return FindWindowIf(parent, [className](HWND window) {
        char name[64] = {};
        GetClassNameA(window, name, sizeof name);
        return _stricmp(name, className) == 0;
    });
}

HWND Ostrel() { return FindTopLevel(" - Ostrel"); }

HTREEITEM Next(HWND tree, UINT relation, HTREEITEM from) {
    return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(from)));
}

int SelectNode(bool group, DWORD seconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        const HWND tree = FindChild(Ostrel(), WC_TREEVIEWA);
        const HTREEITEM configuration = tree ? Next(tree, TVGN_ROOT, nullptr) : nullptr;
        const HTREEITEM connection = configuration ? Next(tree, TVGN_CHILD, configuration) : nullptr;
        const HTREEITEM firstGroup = connection ? Next(tree, TVGN_CHILD, connection) : nullptr;
        const HTREEITEM node = group ? firstGroup : connection;
        if (node) {
            SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(connection));
            SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node));
            SetForegroundWindow(Ostrel());
            return 0;
        }
        if (GetTickCount() - start >= seconds * 1000) {
            std::fprintf(stderr, "no %s appeared in OSTREL's tree\n", group ? "group" : "connection");
            return 2;
        }
        Sleep(200);
    }
}

int SelectRow(int row) {
    const HWND list = FindChild(Ostrel(), WC_LISTVIEWA);
    if (!list || row < 0 || row >= SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)) return 2;
    // Messages with pointers do not cross processes; the keys a person
    // would press do.
    auto press = [list](WPARAM key) {
        SendMessageA(list, WM_KEYDOWN, key, 1);
        SendMessageA(list, WM_KEYUP, key, 0xC0000001);
    };
    press(VK_HOME);
    for (int r = 0; r < row; ++r) press(VK_DOWN);
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: ostrel_pilot select-group <seconds> | select-server <seconds> | select-row <row> |\n"
                 "       command <id> |\n"
                 "       wait <caption> <seconds> | rect <caption> | place <caption> <x> <y> <w> <h> |\n"
                 "       click <caption> <id> | close <caption>\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "select-group" && argc == 3) return SelectNode(true, std::strtoul(argv[2], nullptr, 10));
    if (command == "select-server" && argc == 3) return SelectNode(false, std::strtoul(argv[2], nullptr, 10));
    if (command == "select-row" && argc == 3) return SelectRow(std::atoi(argv[2]));
    if (command == "command" && argc == 3) {
        const HWND frame = Ostrel();
        if (!frame) return 2;
        PostMessageA(frame, WM_COMMAND, MAKEWPARAM(std::strtoul(argv[2], nullptr, 10), 0), 0);
        return 0;
    }
    if (command == "wait" && argc == 4) return WaitForTopLevel(argv[2], std::strtoul(argv[3], nullptr, 10)) ? 0 : 2;
    if (command == "rect" && argc == 3) {
        RECT r = {};
        const HWND window = FindTopLevel(argv[2]);
        if (!window || !GetWindowRect(window, &r)) return 2;
        std::printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
        return 0;
    }
    if (command == "place" && argc == 7) {
        const HWND window = FindTopLevel(argv[2]);
        if (!window) return 2;
        ShowWindow(window, SW_RESTORE);
        return MoveWindow(window, std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]), TRUE)
                   ? 0
                   : 2;
    }
    if (command == "click" && argc == 4) {
        const HWND window = FindTopLevel(argv[2]);
        const int id = std::atoi(argv[3]);
        const HWND button = window ? GetDlgItem(window, id) : nullptr;
        if (!button) return 2;
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return 0;
    }
    if (command == "close" && argc == 3) {
        const HWND window = FindTopLevel(argv[2]);
        if (!window) return 2;
        char name[16] = {};
        GetClassNameA(window, name, sizeof name);
        if (std::strcmp(name, "#32770") == 0)
            PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        else
            PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    }
    return Usage();
}
