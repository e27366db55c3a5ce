#include "ProcessStats.h"

#include "Processes.h"
#include "ResultTable.h"
#include "Stopwatch.h"

#include <psapi.h>

namespace bench {
namespace {

double FileTimeMs(const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return static_cast<double>(v.QuadPart) / 10000.0;
}

// Walks the process's address space: what is in use, and what of it is
// committed private memory (the "private bytes" of the process).
void WalkAddressSpace(HANDLE process, ProcessSample& sample) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    auto* at = static_cast<BYTE*>(info.lpMinimumApplicationAddress);
    MEMORY_BASIC_INFORMATION region;
    while (at < static_cast<BYTE*>(info.lpMaximumApplicationAddress) &&
           VirtualQueryEx(process, at, &region, sizeof region) == sizeof region) {
        const auto size = static_cast<double>(region.RegionSize);
        if (region.State != MEM_FREE) sample.addressSpace += size;
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) sample.privateBytes += size;
        at = static_cast<BYTE*>(region.BaseAddress) + region.RegionSize;
    }
}

// Where a thread's environment block keeps the two ends of its stack: the
// base (NT_TIB.StackBase) and the start of the whole reservation
// (DeallocationStack).
constexpr size_t kStackBaseOffset = sizeof(void*);
constexpr size_t kDeallocationStackOffset = sizeof(void*) == 8 ? 0x1478 : 0xE0C;

struct ThreadBasicInformation {
    LONG exitStatus;
    void* tebBaseAddress;
    void* clientId[2];
    ULONG_PTR affinityMask;
    LONG priority;
    LONG basePriority;
};
using NtQueryInformationThreadProc = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);

// The stack reservation of one thread of another process of our bitness.
double StackReservation(HANDLE process, DWORD threadId) {
    static const auto query = reinterpret_cast<NtQueryInformationThreadProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    fw::UniqueHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId));
    ThreadBasicInformation info{};
    if (!query || !thread || query(thread.get(), 0, &info, sizeof info, nullptr) != 0 || !info.tebBaseAddress) return 0;
    const auto* teb = static_cast<const BYTE*>(info.tebBaseAddress);
    ULONG_PTR base = 0, bottom = 0;
    if (!ReadProcessMemory(process, teb + kStackBaseOffset, &base, sizeof base, nullptr) ||
        !ReadProcessMemory(process, teb + kDeallocationStackOffset, &bottom, sizeof bottom, nullptr) || bottom >= base)
        return 0;
    return static_cast<double>(base - bottom);
}

double StackReservations(HANDLE process, DWORD pid) {
    double total = 0;
    if (const auto ids = testsupport::ThreadIds(pid))
        for (const DWORD id : *ids) total += StackReservation(process, id);
    return total;
}

}  // namespace

ProcessWatch::ProcessWatch(const char* exeName)
    : pid_(testsupport::FindProcessId(exeName)),
      process_(pid_ ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid_) : nullptr),
      host_(pid_) {}

double ProcessWatch::CpuMs() const {
    FILETIME created, ended, kernel, user;
    if (!process_ || !GetProcessTimes(process_.get(), &created, &ended, &kernel, &user)) return -1;
    return FileTimeMs(kernel) + FileTimeMs(user);
}

ProcessSample ProcessWatch::Sample() const {
    ProcessSample sample;
    sample.cpuMs = CpuMs();
    sample.threads = testsupport::CountThreads(pid_);
    if (!process_) return sample;
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process_.get(), &memory, sizeof memory))
        sample.workingSet = static_cast<double>(memory.WorkingSetSize);
    WalkAddressSpace(process_.get(), sample);
    sample.stacks = StackReservations(process_.get(), pid_);
    return sample;
}

CpuShare::CpuShare(const ProcessWatch& process)
    : process_(process), cpuStart_(process.CpuMs()), hostCpuStart_(process.HostCpuMs()), wallStart_(MonotonicMs()) {}

double CpuShare::PercentSinceStart() const {
    const double wall = MonotonicMs() - wallStart_;
    const double cpu = process_.CpuMs();
    if (cpuStart_ < 0 || cpu < 0 || wall <= 0) return -1;
    return 100.0 * (cpu - cpuStart_) / wall;
}

CpuPercent CpuShare::HostPercentSinceStart() const {
    CpuPercent share;
    const double wall = MonotonicMs() - wallStart_;
    const double hostCpu = process_.HostCpuMs();
    if (hostCpuStart_ < 0 || hostCpu < 0) {
        share.problem = process_.HostProblem();
    } else if (wall <= 0) {
        share.problem = "no time passed";
    } else if (hostCpu == hostCpuStart_ && process_.CpuMs() > cpuStart_) {
        share.problem = "the host's count stood still while GetProcessTimes moved";
    } else {
        share.percent = 100.0 * (hostCpu - hostCpuStart_) / wall;
    }
    return share;
}

std::string FormatCpu(const CpuPercent& cpu) {
    return cpu.Known() ? FormatPercent(cpu.percent) : "n/a (" + cpu.problem + ")";
}

}  // namespace bench
