// What the simulation driver tells the host about itself.
#pragma once

#include <cstddef>

#include "TarnProtocol.h"

namespace tarn {

constexpr int32_t kSimulationVersion = 1272;
constexpr const char* kSimulationName = "Corvell TCP/IP";
constexpr int32_t kSimulationContextSize = 8;  // int32 start-up parameter + one unused int32

// The console banner in code page 437: a double-line box around the driver's
// title, preceded by a backspace and without a final line feed.
const char* SimulationBanner();
size_t SimulationBannerLength();  // without the NUL

// Fills the fields the simulation owns; reserved20 and reserved24 stay as the
// host left them.
void FillDriverInfo(TarnDriverInfo& info);

}  // namespace tarn
