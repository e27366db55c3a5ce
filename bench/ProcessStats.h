// What another process uses: CPU time, threads, memory and address space.
#pragma once

#include "HostProcessCpu.h"
#include "UniqueHandle.h"

#include <windows.h>

namespace bench {

struct ProcessSample {
    double cpuMs = 0;  // user + kernel time so far
    int threads = -1;
    double privateBytes = 0;  // committed private memory
    double workingSet = 0;
    double addressSpace = 0;  // reserved and committed, every region that is not free
    double stacks = 0;        // the stack reservations of its threads together
};

// The running process of a program, found by its file name.
class ProcessWatch {
public:
    explicit ProcessWatch(const char* exeName);
    bool IsOpen() const { return static_cast<bool>(process_); }
    DWORD Pid() const { return pid_; }
    // CPU time so far as GetProcessTimes reports it.
    double CpuMs() const;
    // CPU time so far as the host counts it; negative when not known.
    double HostCpuMs() const { return host_.Found() ? host_.CpuMs() : -1; }
    ProcessSample Sample() const;

private:
    DWORD pid_;
    fw::UniqueHandle process_;
    HostProcessCpu host_;
};

// CPU used by a process over a stretch of wall-clock time, as a percentage of
// one core.
class CpuShare {
public:
    explicit CpuShare(const ProcessWatch& process);
    double PercentSinceStart() const;      // by GetProcessTimes
    double HostPercentSinceStart() const;  // by the host's count; negative when not known

private:
    const ProcessWatch& process_;
    double cpuStart_;
    double hostCpuStart_;
    double wallStart_;
};

}  // namespace bench
