// The tag set of the benchmark driver, shared by the driver and the programs
// that address its tags by name.
#pragma once

#include <cstdio>
#include <string>

namespace bench {

// Large enough for the biggest group the benchmarks build.
constexpr int kBenchTagCount = 10000;

// "Bench00000" .. "Bench09999", in the driver's list order: tag i has the
// server handle i + 1.
inline std::wstring BenchTagName(int index) {
    wchar_t name[16];
    std::swprintf(name, 16, L"Bench%05d", index);
    return name;
}

}  // namespace bench
