// The start-up parameter: one decimal number read from a small text file in
// the host's current directory, chosen by the driver instance.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tarn {

constexpr const char* kStartupFilePrefix = "TARNISA";
constexpr int32_t kDefaultStartupParameter = 2500;
constexpr int32_t kMinStartupParameter = 1;
constexpr int32_t kMaxStartupParameter = 50000;

// The names tried, in order: two-digit instance, bare instance, no instance.
std::array<std::string, 3> StartupFileNames(int32_t instance);

// The parameter a file holds: its leading number when that is within range,
// otherwise the default (also for a file that does not start with a number).
int32_t StartupParameterFromFile(std::FILE* file);

// Opens the first of the instance's start-up files that exists and takes its
// parameter; the default when none of them opens.
int32_t ReadStartupParameter(int32_t instance);

}  // namespace tarn
