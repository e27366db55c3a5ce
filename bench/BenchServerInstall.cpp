#include "BenchServerInstall.h"

#include "Processes.h"

namespace bench {
namespace {

int RegisterServerAt(const std::string& exePath) {
    return testsupport::RunToEnd("\"" + exePath + "\" /RegServer", 60000);
}

}  // namespace

BenchServerInstall::~BenchServerInstall() {
    if (!registered_) return;
    // The copy must have ended before its folder goes.
    testsupport::WaitForNoProcess(kServerExe, 60000);
    RegisterServerAt(testsupport::BinPath(kServerExe));
}

HRESULT BenchServerInstall::Install() {
    const std::string dir = scratch_.path();
    const struct {
        const char* from;
        const char* to;
    } files[] = {
        {kServerExe, kServerExe}, {"VELMORA_OPCPS.dll", "VELMORA_OPCPS.dll"}, {"bench_driver.dll", "TARNWNISA.DLL"}};
    for (const auto& file : files)
        if (!CopyFileA(testsupport::BinPath(file.from).c_str(), (dir + file.to).c_str(), FALSE))
            return HRESULT_FROM_WIN32(GetLastError());
    if (RegisterServerAt(dir + kServerExe) != 0) return E_FAIL;
    registered_ = true;
    return S_OK;
}

HRESULT BenchServerInstall::AddProgram(const char* exe) {
    if (!CopyFileA(testsupport::BinPath(exe).c_str(), Path(exe).c_str(), FALSE))
        return HRESULT_FROM_WIN32(GetLastError());
    return S_OK;
}

}  // namespace bench
