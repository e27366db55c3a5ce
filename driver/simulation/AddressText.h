// The simulation driver's address text: "station name,station number,address
// number".  Every field may be missing; the simulation's own tags use a
// single field ("0" to "4").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarn {

struct ParsedAddress {
    std::string stationName;    // at most kAddressNameChars characters
    int32_t stationNumber = 0;  // 0 when the field is missing or has no digits
    int32_t addressNumber = 0;  // likewise
};

// Characters of the name field that take part in the name.
constexpr size_t kAddressNameChars = 20;
// Characters of the station-number field that are examined.
constexpr size_t kStationNumberChars = 4;

// Splits the text at its first two commas.  Only the text itself is read, up to
// its end, so a short address never reaches into whatever follows it.
ParsedAddress ParseAddress(std::string_view text);

}  // namespace tarn
