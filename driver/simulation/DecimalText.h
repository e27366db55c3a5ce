// Decimal numbers as the driver reads them from address fields and from its
// start-up file: leading white space, an optional sign, then digits up to the
// first other character.
#pragma once

#include <cstdint>
#include <string_view>

namespace tarn {

// Reads a decimal number one character at a time, so that the same rule
// serves a bounded text field and a file read with fgetc.  Values beyond the
// int32 range saturate rather than wrap: an absurdly long field must not turn
// into an unrelated small number.
class DecimalAccumulator {
public:
    // Takes the next character; false when it cannot belong to the number,
    // which ends it (the character itself is not consumed).
    bool Feed(char c);
    bool HasDigits() const { return hasDigits_; }
    int32_t Value() const;

private:
    enum class Stage { LeadingSpace, Digits };
    Stage stage_ = Stage::LeadingSpace;
    bool negative_ = false;
    bool hasDigits_ = false;
    int64_t magnitude_ = 0;  // capped at 2^31, enough to saturate either way
};

// The number at the start of the text; 0 when there are no digits.
int32_t ParseDecimal(std::string_view text);

}  // namespace tarn
