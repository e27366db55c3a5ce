// VELMORA_OPC as the benchmarks use it: a copy of the built server in a
// scratch folder with the benchmark driver installed under the first name of
// the driver search list, registered from there while the object lives.  The
// built server's own registration is restored at the end, for the tests.
#pragma once

#include "WineTest.h"

#include <windows.h>

#include <string>

namespace bench {

inline constexpr const char* kServerExe = "VELMORA_OPC.exe";

class BenchServerInstall {
public:
    BenchServerInstall() = default;
    ~BenchServerInstall();
    BenchServerInstall(const BenchServerInstall&) = delete;
    BenchServerInstall& operator=(const BenchServerInstall&) = delete;

    HRESULT Install();
    // Copies a program of the build beside the server copy, where it finds
    // the bench driver as the server does: in its own folder.
    HRESULT AddProgram(const char* exe);
    std::string Path(const char* file) const { return scratch_.path() + file; }

private:
    testsupport::ScratchDir scratch_;
    bool registered_ = false;
};

}  // namespace bench
