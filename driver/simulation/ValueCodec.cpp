#include "ValueCodec.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "TextFormat.h"

namespace tarn {
namespace {

unsigned char* ValuePart(tagVARIANT* variant) {
    return reinterpret_cast<unsigned char*>(variant) + TarnVariantValueOffset;
}

const unsigned char* ValuePart(const tagVARIANT* variant) {
    return reinterpret_cast<const unsigned char*>(variant) + TarnVariantValueOffset;
}

template <class T>
void Store(tagVARIANT* variant, T v) {
    std::memcpy(ValuePart(variant), &v, sizeof v);
}

template <class T>
T Load(const tagVARIANT* variant) {
    T v;
    std::memcpy(&v, ValuePart(variant), sizeof v);
    return v;
}

int16_t Low16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(v))); }

}  // namespace

int32_t TruncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483648.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483649.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

uint8_t StoreSimulatedValue(double running, int32_t type, tagVARIANT* value) {
    switch (type) {
    case TarnInt16Alt:
    case TarnInt16:
        Store(value, Low16(TruncateToInt32(running)));
        return kStatusServed;
    case TarnInt32:
    case TarnInt32Alt:
        Store(value, TruncateToInt32(running));
        return kStatusServed;
    case TarnFloat32:
        Store(value, static_cast<float>(running));
        return kStatusServed;
    case TarnBool16:
        Store(value, static_cast<int16_t>((TruncateToInt32(running) & 1) ? 1 : 0));
        return kStatusServed;
    case TarnFloat64:
        Store(value, running + 5.2);
        return kStatusServed;
    default:
        return kStatusUnknownType;
    }
}

WrittenValue ReadWrittenValue(int32_t type, const tagVARIANT* value) {
    WrittenValue written;
    switch (type) {
    case TarnInt16Alt:
    case TarnInt16:
    case TarnBool16: {
        const int v = Load<int16_t>(value);
        written = {true, static_cast<double>(v), FormatText("%d", v)};
        break;
    }
    case TarnInt32:
    case TarnInt32Alt: {
        const int v = Load<int32_t>(value);
        written = {true, static_cast<double>(v), FormatText("%d", v)};
        break;
    }
    case TarnFloat32: {
        const double v = Load<float>(value);
        written = {true, v, FormatText("%f", v)};
        break;
    }
    case TarnFloat64: {
        const double v = Load<double>(value);
        written = {true, v, FormatText("%lf", v)};
        break;
    }
    default:
        written.text = FormatText("(type %d)", static_cast<int>(type));
        break;
    }
    return written;
}

}  // namespace tarn
