// The clamped store shared by the combiners and the colour operators.
#pragma once

#include <cstdint>

#include "texgen/helpers.h"

namespace texgen {

// A channel value computed as a float: rounded to single precision first (so
// a value a hair below 255 that rounds up stores 255), then 255 at or above
// 255, 0 at or below 0, else truncated. NaN stores 0.
inline uint8_t clampedStore(double v) {
    constexpr float kMaxChannel = 255.0f;
    const auto f = static_cast<float>(v);
    if (f >= kMaxChannel) return 255;
    if (f <= 0.0f) return 0;
    return static_cast<uint8_t>(truncToInt32(f));
}

} // namespace texgen
