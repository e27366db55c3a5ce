// CPU time of another Windows process as the host counts it.  Wine fills the
// system's process list with the times the host kernel keeps for the whole
// process (every thread, ended ones included), found through Wine's own map
// from Windows process to host process.  GetProcessTimes of another process
// under Wine 8 leaves most threads out (a server thread that ran flat out
// showed as 7 %), and looking the process up by name in the host's /proc can
// find the wrong one.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

class HostProcessCpu {
public:
    explicit HostProcessCpu(DWORD pid) : pid_(pid) {}
    // User and system time so far; negative, with the reason in Problem(),
    // when it cannot be had.
    double CpuMs() const;
    const std::string& Problem() const { return problem_; }

private:

    DWORD pid_;
    mutable std::string problem_;
};

}  // namespace testsupport
