#include "Processes.h"

#include "UniqueHandle.h"
#include "WineTest.h"

#include <tlhelp32.h>

#include <thread>

namespace testsupport {
namespace {

// A failed snapshot is INVALID_HANDLE_VALUE, which the owner would take for
// a handle to close; it comes back empty instead.
fw::UniqueHandle Snapshot(DWORD what) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(what, 0);
    return fw::UniqueHandle(snapshot == INVALID_HANDLE_VALUE ? nullptr : snapshot);
}

}  // namespace

int CountProcesses(const char* exeName) {
    const fw::UniqueHandle snapshot = Snapshot(TH32CS_SNAPPROCESS);
    if (!snapshot) return -1;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry))
        if (lstrcmpiA(entry.szExeFile, exeName) == 0) ++count;
    return count;
}

std::optional<std::vector<DWORD>> ThreadIds(DWORD pid) {
    const fw::UniqueHandle snapshot = Snapshot(TH32CS_SNAPTHREAD);
    if (!snapshot) return std::nullopt;
    std::vector<DWORD> ids;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == pid) ids.push_back(entry.th32ThreadID);
    return ids;
}

int CountThreads(DWORD pid) {
    const auto ids = ThreadIds(pid);
    return ids ? static_cast<int>(ids->size()) : -1;
}

int CountHandles(DWORD pid) {
    // SYSTEM_HANDLE_INFORMATION as Windows lays it out on both builds.
    struct Entry {
        USHORT processId;
        USHORT creatorBackTraceIndex;
        UCHAR objectTypeIndex;
        UCHAR attributes;
        USHORT value;
        void* object;
        ULONG grantedAccess;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    using Query = LONG(NTAPI*)(int, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    constexpr int kSystemHandleInformation = 16;
    constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    if (!query) return -1;
    std::vector<unsigned char> buffer(1 << 20);
    LONG status;
    ULONG needed = 0;
    while ((status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           kInfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0) return -1;
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    int count = 0;
    for (ULONG i = 0; i < table->count; ++i)
        if (table->entries[i].processId == static_cast<USHORT>(pid)) ++count;
    return count;
}

int WaitForThreadsAtMost(DWORD pid, int limit, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    int count = CountThreads(pid);
    while (count > limit && GetTickCount() - start < timeoutMs) {
        Sleep(50);
        count = CountThreads(pid);
    }
    return count;
}

DWORD FindProcessId(const char* exeName) {
    const fw::UniqueHandle snapshot = Snapshot(TH32CS_SNAPPROCESS);
    if (!snapshot) return 0;
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    DWORD id = 0;
    for (BOOL more = Process32First(snapshot.get(), &entry); more && !id;
         more = Process32Next(snapshot.get(), &entry))
        if (lstrcmpiA(entry.szExeFile, exeName) == 0) id = entry.th32ProcessID;
    return id;
}

bool WaitForNoProcess(const char* exeName, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (CountProcesses(exeName) > 0) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(50);
    }
    return true;
}

int RunToEnd(const std::string& commandLine, DWORD timeoutMs) {
    std::string line = commandLine;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    const fw::UniqueHandle process(pi.hProcess);
    fw::UniqueHandle thread(pi.hThread);
    thread.reset();  // only the process is waited on
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.get(), &code);
    else
        TerminateProcess(process.get(), 1);
    return static_cast<int>(code);
}

namespace {

// A UTF-8 command line as the system takes it.
std::wstring WideCommandLine(const std::string& commandLine) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, commandLine.data(), static_cast<int>(commandLine.size()), nullptr, 0);
    std::wstring line(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, commandLine.data(), static_cast<int>(commandLine.size()), &line[0], n);
    return line;
}

}  // namespace

CapturedRun RunCaptured(const std::string& commandLine, DWORD timeoutMs) {
    CapturedRun run;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    fw::UniqueHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
    std::wstring line = WideCommandLine(commandLine);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = writer.get();
    si.hStdError = writer.get();
    PROCESS_INFORMATION pi{};
    if (line.empty() || !CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return run;
    const fw::UniqueHandle process(pi.hProcess);
    const fw::UniqueHandle thread(pi.hThread);  // only the process is waited on
    writer.reset();  // the child's copy is the only writer left: its end ends the reads
    // Read on another thread while this one watches the clock: a child that
    // fills the pipe would otherwise never end.
    std::thread draining([&] {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) run.output.append(buffer, got);
    });
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.get(), &code);
    else
        TerminateProcess(process.get(), 1);
    draining.join();
    run.exitCode = static_cast<int>(code);
    return run;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs) return false;
        PumpMessages(20);
    }
    return true;
}

}  // namespace testsupport

namespace testsupport {

ProcessFreeze::ProcessFreeze(DWORD pid) {
    const auto ids = ThreadIds(pid);
    if (!ids) return;
    for (DWORD id : *ids) {
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, id);
        if (!thread) continue;
        if (SuspendThread(thread) == static_cast<DWORD>(-1)) {
            CloseHandle(thread);
            continue;
        }
        threads_.push_back(thread);
    }
}

void ProcessFreeze::Thaw() {
    for (HANDLE thread : threads_) {
        ResumeThread(thread);
        CloseHandle(thread);
    }
    threads_.clear();
}

}  // namespace testsupport
