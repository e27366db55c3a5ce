// Shared pieces for tests that run under Wine: where the binaries are, the
// build tree's Wine prefix, scratch folders, COM in the test's thread.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// Folder holding every binary of the build (tests, programs, DLLs), with a
// trailing backslash.
std::string BinDir();

// Full path of a file in BinDir().
std::string BinPath(const char* fileName);

// The Unix path of the Wine prefix the tests run in (empty outside Wine).
std::string WinePrefix();

// True when running under Wine rather than on Windows.
bool RunningUnderWine();

// A fresh empty folder, removed with its files when the object goes away.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }  // trailing backslash
    // Writes a file with the given contents into the folder.
    void WriteFile(const char* name, const std::string& contents) const;

private:
    std::string path_;
};

// Makes a folder the process's current directory for the lifetime of the object.
class CurrentDirScope {
public:
    explicit CurrentDirScope(const std::string& dir);
    ~CurrentDirScope();
    CurrentDirScope(const CurrentDirScope&) = delete;
    CurrentDirScope& operator=(const CurrentDirScope&) = delete;

private:
    std::string previous_;
};

// COM initialised in the calling thread for the lifetime of the object.
class ComScope {
public:
    explicit ComScope(DWORD model = COINIT_APARTMENTTHREADED);
    ~ComScope();
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    HRESULT result() const { return hr_; }

private:
    HRESULT hr_;
};

// Dispatches every message waiting in this thread's queue, for up to `ms`.
void PumpMessages(DWORD ms);

}  // namespace testsupport
