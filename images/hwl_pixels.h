// The last stage of decoding, shared by the whole-plane stages and the row
// decoder: reconstructed Y, U, V to R, G, B, and channel values to bytes.
#pragma once

#include <cstdint>

namespace hwl {

// Inverse colour constants as the format fixes them (not exact reciprocals).
constexpr double kRedFromV = 1.140251;
constexpr double kBlueFromU = 2.028398;
constexpr double kGreenScale = 1.694915;
constexpr double kLumaRed = 0.3;
constexpr double kLumaBlue = 0.11;
constexpr double kMaxChannel = 255.0;
// Adding and subtracting 1.5 * 2^52 rounds a double below 2^51 to an integer,
// halves to even, in the default rounding mode, without a library call.
constexpr double kRoundingMagic = 6755399441055744.0;

// Clamp, then round half to even; NaN fails both tests and gives 0.
// Written without branches so the pixel loops vectorise.
inline uint8_t toByte(double x) {
    x = x > 0.0 ? x : 0.0;
    x = x < kMaxChannel ? x : kMaxChannel;
    return static_cast<uint8_t>(static_cast<int32_t>((x + kRoundingMagic) - kRoundingMagic));
}

// Y, U, V -> R, G, B in the format's order (G from the unrounded R and B).
struct Rgb {
    double r, g, b;
};
inline Rgb yuvPixel(double y, double u, double v) {
    const double red = y + kRedFromV * v;
    const double blue = y + kBlueFromU * u;
    const double green = (y - kLumaRed * red - kLumaBlue * blue) * kGreenScale;
    return {red, green, blue};
}

// One decoded pixel as it sits in memory: blue, green, red, 0.
inline uint32_t bgrPixel(double y, double u, double v) {
    const Rgb c = yuvPixel(y, u, v);
    return uint32_t(toByte(c.b)) | uint32_t(toByte(c.g)) << 8 | uint32_t(toByte(c.r)) << 16;
}

} // namespace hwl
