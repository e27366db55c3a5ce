#include "DecimalText.h"

#include <algorithm>
#include <limits>

namespace tarn {
namespace {

// The C locale's white space, spelled out so that the result never depends on
// the process locale or on the sign of char.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr int64_t kMagnitudeCap = int64_t{1} << 31;

}  // namespace

bool DecimalAccumulator::Feed(char c) {
    if (stage_ == Stage::LeadingSpace) {
        if (IsSpace(c)) return true;
        stage_ = Stage::Digits;
        if (c == '+' || c == '-') {
            negative_ = (c == '-');
            return true;
        }
    }
    if (!IsDigit(c)) return false;
    hasDigits_ = true;
    magnitude_ = std::min(magnitude_ * 10 + (c - '0'), kMagnitudeCap);
    return true;
}

int32_t DecimalAccumulator::Value() const {
    if (negative_) return static_cast<int32_t>(-magnitude_);  // -2^31 still fits
    return static_cast<int32_t>(std::min<int64_t>(magnitude_, std::numeric_limits<int32_t>::max()));
}

int32_t ParseDecimal(std::string_view text) {
    DecimalAccumulator number;
    for (char c : text)
        if (!number.Feed(c)) break;
    return number.Value();
}

}  // namespace tarn
