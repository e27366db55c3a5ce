#include "QualityText.h"

#include <cstdio>

namespace {

// The substatus words the standard names, by the status bits (quality and
// substatus together); a status it does not name shows its number.
const char* SubstatusWords(WORD status) {
    switch (status) {
    case 0x04: return "config error";
    case 0x08: return "not connected";
    case 0x0C: return "device failure";
    case 0x10: return "sensor failure";
    case 0x14: return "last known value";
    case 0x18: return "comm failure";
    case 0x1C: return "out of service";
    case 0x20: return "waiting for initial data";
    case 0x44: return "last usable";
    case 0x50: return "sensor not accurate";
    case 0x54: return "units exceeded";
    case 0x58: return "sub-normal";
    case 0xD8: return "local override";
    default: return nullptr;
    }
}

const char* LimitWords(WORD limit) {
    switch (limit) {
    case 1: return "low limited";
    case 2: return "high limited";
    case 3: return "constant";
    default: return nullptr;
    }
}

}  // namespace

std::string QualityText(WORD quality) {
    const WORD status = quality & 0xFC;
    const WORD qualityBits = quality & 0xC0;
    std::string text;
    switch (qualityBits) {
    case 0xC0: text = "Good"; break;
    case 0x40: text = "Uncertain"; break;
    case 0x00: text = "Bad"; break;
    default: {
        // 0x80 is no quality the standard defines: neither good nor bad.
        char number[32];
        std::snprintf(number, sizeof number, "Invalid (0x%02X)", quality & 0xFF);
        return number;
    }
    }
    if (status != qualityBits) {
        if (const char* words = SubstatusWords(status)) {
            text += std::string(": ") + words;
        } else {
            char number[16];
            std::snprintf(number, sizeof number, ": 0x%02X", status);
            text += number;
        }
    }
    if (const char* limit = LimitWords(quality & 0x03)) text += std::string(", ") + limit;
    return text;
}
