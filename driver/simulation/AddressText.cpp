#include "AddressText.h"

#include "DecimalText.h"

namespace tarn {

ParsedAddress ParseAddress(std::string_view text) {
    ParsedAddress parsed;
    const size_t firstComma = text.find(',');
    parsed.stationName = std::string(text.substr(0, firstComma).substr(0, kAddressNameChars));
    if (firstComma == std::string_view::npos) return parsed;

    // The fields are split at the commas of the whole text, so a station name
    // longer than the examined part still leaves the numbers where they are.
    const std::string_view rest = text.substr(firstComma + 1);
    const size_t secondComma = rest.find(',');
    parsed.stationNumber = ParseDecimal(rest.substr(0, secondComma).substr(0, kStationNumberChars));
    if (secondComma == std::string_view::npos) return parsed;

    parsed.addressNumber = ParseDecimal(rest.substr(secondComma + 1));
    return parsed;
}

}  // namespace tarn
