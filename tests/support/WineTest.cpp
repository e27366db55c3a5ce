#include "WineTest.h"

#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace testsupport {

std::string BinDir() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of("\\/") + 1);
}

std::string BinPath(const char* fileName) { return BinDir() + fileName; }

std::string WinePrefix() {
    char value[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("WINEPREFIX", value, MAX_PATH);
    return (n > 0 && n < MAX_PATH) ? std::string(value, n) : std::string();
}

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

ScratchDir::ScratchDir() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        char name[MAX_PATH];
        std::snprintf(name, sizeof name, "%svt%lu_%ld\\", base, GetCurrentProcessId(),
                      InterlockedIncrement(&counter));
        if (CreateDirectoryA(name, nullptr)) {
            path_ = name;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            std::fprintf(stderr, "cannot create scratch folder %s\n", name);
            return;
        }
    }
}

ScratchDir::~ScratchDir() {
    if (path_.empty()) return;
    // Wide: a test may leave a file whose name the ANSI code page lacks.
    std::wstring folder(MAX_PATH, L'\0');  // the folder was made with the ANSI path
    folder.resize(static_cast<size_t>(
        std::max(0, MultiByteToWideChar(CP_ACP, 0, path_.c_str(), -1, &folder[0], MAX_PATH) - 1)));
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((folder + L"*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW((folder + found.cFileName).c_str());
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    RemoveDirectoryA(path_.c_str());
}

void ScratchDir::WriteFile(const char* name, const std::string& contents) const {
    FILE* f = std::fopen((path_ + name).c_str(), "wb");
    if (!f) return;
    std::fwrite(contents.data(), 1, contents.size(), f);
    std::fclose(f);
}

CurrentDirScope::CurrentDirScope(const std::string& dir) {
    char previous[MAX_PATH];
    const DWORD n = GetCurrentDirectoryA(MAX_PATH, previous);
    previous_.assign(previous, n);
    SetCurrentDirectoryA(dir.c_str());
}

CurrentDirScope::~CurrentDirScope() { SetCurrentDirectoryA(previous_.c_str()); }

ComScope::ComScope(DWORD model) : hr_(CoInitializeEx(nullptr, model)) {}

ComScope::~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
}

void PumpMessages(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (GetTickCount() - start >= ms) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

}  // namespace testsupport
