#include "HostProcessCpu.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace bench {
namespace {

// Wine shows the host's root directory as drive Z:.
constexpr const char* kHostProc = "Z:\\proc\\";
// Linux reports process times in ticks of 1/100 s (USER_HZ) on every
// platform Wine runs on.
constexpr double kMsPerTick = 10.0;

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool EndsWithNoCase(const std::string& text, const std::string& end) {
    if (end.size() > text.size()) return false;
    for (size_t i = 0; i < end.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - end.size() + i])) !=
            std::tolower(static_cast<unsigned char>(end[i])))
            return false;
    return true;
}

}  // namespace

HostProcessCpu::HostProcessCpu(const char* exeName) {
    WIN32_FIND_DATAA entry;
    const HANDLE find = FindFirstFileA((std::string(kHostProc) + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!std::isdigit(static_cast<unsigned char>(entry.cFileName[0]))) continue;
        const std::string dir = std::string(kHostProc) + entry.cFileName + "\\";
        // The command line's arguments are separated by NULs; the first is
        // the Windows program, with its path.
        const std::string commandLine = ReadFile(dir + "cmdline");
        if (EndsWithNoCase(commandLine.substr(0, commandLine.find('\0')), exeName)) {
            statPath_ = dir + "stat";
            break;
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

double HostProcessCpu::CpuMs() const {
    if (statPath_.empty()) return 0;
    // "pid (name) state ..." with user and system ticks as the 12th and 13th
    // fields after the name, which may itself hold spaces.
    const std::string stat = ReadFile(statPath_);
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    double user = 0, system = 0;
    for (int i = 1; i <= 13 && fields >> field; ++i) {
        if (i == 12) user = std::atof(field.c_str());
        if (i == 13) system = std::atof(field.c_str());
    }
    return (user + system) * kMsPerTick;
}

}  // namespace bench
