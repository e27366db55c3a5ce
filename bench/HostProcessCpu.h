// CPU time of another Windows process as the host counts it.  Under Wine each
// Windows process is a Linux process, and its /proc entry adds up the time of
// all its threads; GetProcessTimes of another process under Wine 8 leaves
// most of them out (a server thread that ran flat out showed as 7 %).
#pragma once

#include <string>

namespace bench {

class HostProcessCpu {
public:
    // The running process whose program file has this name; none found
    // outside Wine or when no such process runs.
    explicit HostProcessCpu(const char* exeName);
    bool Found() const { return !statPath_.empty(); }
    // User and system time so far; 0 when not found.
    double CpuMs() const;

private:
    std::string statPath_;
};

}  // namespace bench
