// What another process uses: CPU time, threads, memory and address space.
#pragma once

#include "HostProcessCpu.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <string>

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
    // CPU time so far as GetProcessTimes reports it; negative when not known.
    double CpuMs() const;
    // CPU time so far as the host counts it; negative, with the reason in
    // HostProblem(), when not known.
    double HostCpuMs() const { return host_.CpuMs(); }
    const std::string& HostProblem() const { return host_.Problem(); }
    ProcessSample Sample() const;

private:
    DWORD pid_;
    fw::UniqueHandle process_;
    testsupport::HostProcessCpu host_;
};

// A share of one core, or why it could not be measured.
struct CpuPercent {
    double percent = -1;
    std::string problem;  // set when percent is negative
    bool Known() const { return percent >= 0; }
};

// "12.3 %", or "n/a (the reason)".
std::string FormatCpu(const CpuPercent& cpu);

// CPU used by a process over a stretch of wall-clock time, as a percentage of
// one core.
class CpuShare {
public:
    explicit CpuShare(const ProcessWatch& process);
    double PercentSinceStart() const;  // by GetProcessTimes; negative when not known
    // By the host's count.  A count that stood still while GetProcessTimes
    // moved was read from the wrong place and is reported as not known.
    CpuPercent HostPercentSinceStart() const;

private:
    const ProcessWatch& process_;
    double cpuStart_;
    double hostCpuStart_;
    double wallStart_;
};

}  // namespace bench
