// Shared helpers of the operators: the library's random generator, the
// cosine-weighted sampler, two square roots and the RGB/HSV conversions.
// Their arithmetic is fixed to the bit; see each definition for the exact
// order of rounding.
#pragma once

#include <cstdint>

namespace texgen {

// pi as the generator uses it: the single-precision value 3.1415927.
constexpr float kPiSingle = 3.14159274101257324f;

// Truncation toward zero that is defined for every input: values outside the
// 32-bit range and NaN give INT32_MIN, as the x86 conversion instruction does.
// Operators convert computed coordinates through this instead of a plain cast,
// whose behaviour on such values is undefined.
inline int32_t truncToInt32(double v) {
    constexpr double kLimit = 2147483648.0; // 2^31
    if (v > -kLimit - 1.0 && v < kLimit) return static_cast<int32_t>(v);
    return INT32_MIN;
}

struct Rgb {
    uint8_t r, g, b;
};

// Random generator state, one 32-bit word, zero at start. Seeding operators
// assign it directly.
extern uint32_t randomSeed;

// state := state * 22695477 (mod 2^32); returns state >> 16 (0..65535).
uint32_t nextRandom();

// Pixel of `layer` at float position (x, y), wrapped, cosine-weighted.
Rgb sampleLayer(int layer, float x, float y);

// Cosine-weighted blend of a 2x2 block with fractions tx, ty.
Rgb cosineBlend(Rgb p00, Rgb p10, Rgb p01, Rgb p11, float tx, float ty);

// Newton iteration on unsigned 32-bit values.
uint32_t intSqrt(uint32_t n);

// Square root by halving the exponent bits; exact for powers of four.
float fastSqrt(float v);

// h in degrees (-1 for grey), s 0..1, v 0..255.
void rgbToHsv(float r, float g, float b, float& h, float& s, float& v);
void hsvToRgb(float h, float s, float v, float& r, float& g, float& b);

} // namespace texgen
