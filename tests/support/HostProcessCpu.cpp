#include "HostProcessCpu.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace testsupport {
namespace {

constexpr int kSystemProcessInformation = 5;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

// The leading fields of SYSTEM_PROCESS_INFORMATION up to the process id, as
// Windows lays them out on both builds (MinGW's header hides the times in a
// reserved block).
struct ProcessEntry {
    ULONG nextEntryOffset;
    ULONG numberOfThreads;
    LARGE_INTEGER workingSetPrivateSize;
    ULONG hardFaultCount;
    ULONG numberOfThreadsHighWatermark;
    ULONGLONG cycleTime;
    LARGE_INTEGER createTime;
    LARGE_INTEGER userTime;
    LARGE_INTEGER kernelTime;
    USHORT imageNameLength;
    USHORT imageNameMaximumLength;
    PWSTR imageNameBuffer;
    LONG basePriority;
    HANDLE uniqueProcessId;
};
static_assert(offsetof(ProcessEntry, userTime) == 40 && offsetof(ProcessEntry, kernelTime) == 48,
              "SYSTEM_PROCESS_INFORMATION times");
static_assert(offsetof(ProcessEntry, uniqueProcessId) == (sizeof(void*) == 8 ? 80 : 68),
              "SYSTEM_PROCESS_INFORMATION process id");

using NtQuerySystemInformationProc = LONG(NTAPI*)(int, void*, ULONG, ULONG*);

}  // namespace

double HostProcessCpu::CpuMs() const {
    static const auto query = reinterpret_cast<NtQuerySystemInformationProc>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) {
        problem_ = "NtQuerySystemInformation is missing";
        return -1;
    }
    if (pid_ == 0) {
        problem_ = "the process was not found";
        return -1;
    }
    std::vector<unsigned char> buffer(256 * 1024);
    LONG status;
    ULONG needed = 0;
    while ((status = query(kSystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           kStatusInfoLengthMismatch)
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
    if (status != 0) {
        problem_ = "the process list could not be read";
        return -1;
    }
    for (size_t at = 0;;) {
        const auto* entry = reinterpret_cast<const ProcessEntry*>(buffer.data() + at);
        if (reinterpret_cast<ULONG_PTR>(entry->uniqueProcessId) == pid_)
            return static_cast<double>(entry->userTime.QuadPart + entry->kernelTime.QuadPart) / 10000.0;
        if (entry->nextEntryOffset == 0) break;
        at += entry->nextEntryOffset;
    }
    problem_ = "the process has ended";
    return -1;
}

}  // namespace testsupport
