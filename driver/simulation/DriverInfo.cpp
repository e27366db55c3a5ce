#include "DriverInfo.h"

#include <array>

namespace tarn {
namespace {

constexpr char kTitle[] = "  TARNISA:    Corvell (32-bit driver) ";
constexpr size_t kTitleLength = sizeof kTitle - 1;
constexpr size_t kEdgeWidth = 70;
constexpr size_t kTitlePadding = 33;

// Code page 437 box drawing.
constexpr char kBackspace = '\x08';
constexpr char kTopLeft = '\xC9';
constexpr char kTopRight = '\xBB';
constexpr char kBottomLeft = '\xC8';
constexpr char kBottomRight = '\xBC';
constexpr char kHorizontal = '\xCD';
constexpr char kVertical = '\xBA';

constexpr size_t kBannerLength = 1 + (1 + kEdgeWidth + 1) + 1 + (1 + kTitleLength + 1 + kTitlePadding) + 1 +
                                 (1 + kEdgeWidth + 1);

constexpr std::array<char, kBannerLength + 1> MakeBanner() {
    std::array<char, kBannerLength + 1> banner{};
    size_t at = 0;
    const auto put = [&](char c, size_t times) {
        for (size_t i = 0; i < times; ++i) banner[at++] = c;
    };
    put(kBackspace, 1);
    put(kTopLeft, 1);
    put(kHorizontal, kEdgeWidth);
    put(kTopRight, 1);
    put('\n', 1);
    put(kVertical, 1);
    for (size_t i = 0; i < kTitleLength; ++i) put(kTitle[i], 1);
    put(kVertical, 1);
    put(' ', kTitlePadding);
    put('\n', 1);
    put(kBottomLeft, 1);
    put(kHorizontal, kEdgeWidth);
    put(kBottomRight, 1);
    banner[at] = '\0';
    return banner;
}

// Static storage: the host keeps the pointer, never a copy.
constexpr std::array<char, kBannerLength + 1> kBanner = MakeBanner();

}  // namespace

const char* SimulationBanner() { return kBanner.data(); }

size_t SimulationBannerLength() { return kBannerLength; }

void FillDriverInfo(TarnDriverInfo& info) {
    info.version = kSimulationVersion;
    info.name = kSimulationName;
    info.banner = SimulationBanner();
    info.contextSize = kSimulationContextSize;
    info.reserved16 = 1;
    info.reserved28 = 1;
}

}  // namespace tarn
