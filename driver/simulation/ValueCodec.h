// Moving numbers in and out of the value part of a VARIANT by driver type
// code.  Only the bytes of the value's own width, starting at offset 8, are
// read or written: the type field belongs to the host.
#pragma once

#include <cstdint>
#include <string>

#include "TarnProtocol.h"

namespace tarn {

// Block-read status of an element.
constexpr uint8_t kStatusServed = 0;
constexpr uint8_t kStatusUnknownType = 1;

// The running value truncated toward zero, saturating at the int32 limits (and
// 0 for NaN) where a plain conversion would be undefined; a written double can
// put the running value anywhere.
int32_t TruncateToInt32(double value);

// Stores the tag value derived from the running value for one element;
// returns the element's status.  Nothing is stored for an unknown type code.
uint8_t StoreSimulatedValue(double running, int32_t type, tagVARIANT* value);

struct WrittenValue {
    bool known = false;  // a type code the driver understands
    double number = 0;   // the written value, when known
    std::string text;    // what the write shows
};

// Reads the value to write.  An unknown type code has no width to read, so
// its text names the code instead of a value: "(type 7)".
WrittenValue ReadWrittenValue(int32_t type, const tagVARIANT* value);

}  // namespace tarn
