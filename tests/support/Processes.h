// Looking at and starting other processes of the test's Wine session.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// Pumps the calling thread's messages (which is how calls from servers reach
// a single-threaded apartment) until `done` holds; false when the time ran
// out first.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Number of running processes whose executable has this name.
int CountProcesses(const char* exeName);

// Id of the first running process with this name, 0 when none runs.
DWORD FindProcessId(const char* exeName);

// Waits until no process of this name runs; false when one still does.
bool WaitForNoProcess(const char* exeName, DWORD timeoutMs);

// Ids of a process's threads; nothing when they cannot be listed.
std::optional<std::vector<DWORD>> ThreadIds(DWORD pid);

// Number of threads of a process; -1 when they cannot be counted.
int CountThreads(DWORD pid);

// Number of handles a process holds, from the system's handle list (under
// Wine GetProcessHandleCount answers for the calling process only); -1 when
// they cannot be counted.
int CountHandles(DWORD pid);

// Waits until a process has at most `limit` threads; returns the last count.
int WaitForThreadsAtMost(DWORD pid, int limit, DWORD timeoutMs);

// Every thread of a process suspended while the object lives, as a frozen
// server is: its calls are taken and never answered.
class ProcessFreeze {
public:
    explicit ProcessFreeze(DWORD pid);
    ~ProcessFreeze() { Thaw(); }
    ProcessFreeze(const ProcessFreeze&) = delete;
    ProcessFreeze& operator=(const ProcessFreeze&) = delete;
    // True when at least one thread was suspended.
    bool frozen() const { return !threads_.empty(); }
    void Thaw();

private:
    std::vector<HANDLE> threads_;
};

// Runs a command line to its end; the exit code, or -1 when it could not
// start or did not end in time (it is then terminated).
int RunToEnd(const std::string& commandLine, DWORD timeoutMs);

// A command line (UTF-8) run to its end with its standard output and error
// caught together; exitCode -1 when it could not start or did not end in time (it
// is then terminated).
struct CapturedRun {
    int exitCode = -1;
    std::string output;
};
CapturedRun RunCaptured(const std::string& commandLine, DWORD timeoutMs);

}  // namespace testsupport
