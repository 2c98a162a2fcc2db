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

// Weight of the far neighbour for a fraction t: (1 - cos(t * pi)) / 2.
float cosineWeight(float t);

// The four weights of a 2x2 block, from the far-neighbour weights fx and fy
// (cosineWeight of the two fractions).
struct BlendWeights {
    float w00, w10, w01, w11;
};
BlendWeights blendWeights(float fx, float fy);

// One channel of the blend: the weighted sum in extended precision,
// truncated toward zero; only its low byte is kept. NaN or huge sums
// (possible only from non-finite fractions) give 0, never undefined
// behaviour.
uint8_t blendChannelExtended(uint8_t c00, uint8_t c10, uint8_t c01, uint8_t c11,
                             const BlendWeights& w);

// The same value as blendChannelExtended, mostly without x87 arithmetic.
// Byte times float is exact in double as in long double. With weights in
// 0..1 every partial sum is below 1024, so the double sum is within 2^-42 of
// the exact one and the extended sum within 2^-53: when the double sum is
// further than 2^-40 from an integer, both truncate to the same integer.
// Sums that close (flat areas, cell corners) take the extended path.
inline uint8_t blendChannel(uint8_t c00, uint8_t c10, uint8_t c01, uint8_t c11,
                            const BlendWeights& w) {
    const double sum = static_cast<double>(c00) * w.w00 + static_cast<double>(c10) * w.w10 +
                       static_cast<double>(c01) * w.w01 + static_cast<double>(c11) * w.w11;
    constexpr double kMaxSum = 1024.0;
    constexpr double kMargin = 0x1p-40;
    if (sum >= 0.0 && sum < kMaxSum) {
        const auto whole = static_cast<int32_t>(sum);
        const double fraction = sum - whole; // exact
        if (fraction > kMargin && fraction < 1.0 - kMargin) return static_cast<uint8_t>(whole);
    }
    return blendChannelExtended(c00, c10, c01, c11, w);
}

// cosineBlend with its weights already computed: the same bytes.
inline Rgb blendWith(const BlendWeights& w, Rgb p00, Rgb p10, Rgb p01, Rgb p11) {
    return Rgb{blendChannel(p00.r, p10.r, p01.r, p11.r, w),
               blendChannel(p00.g, p10.g, p01.g, p11.g, w),
               blendChannel(p00.b, p10.b, p01.b, p11.b, w)};
}

// sampleLayer for one operator call over `layer`. It remembers the cosine
// weights of recent fractions: an operator's sample positions share few
// fractions when their offsets repeat along a row or a column, and the
// cosine is most of a sample's cost.
class LayerSampler {
  public:
    explicit LayerSampler(int layer);
    Rgb operator()(float x, float y);

  private:
    static constexpr int kCacheBits = 10;
    float weight(float t);

    int layer_;
    uint32_t keys_[1 << kCacheBits];
    float weights_[1 << kCacheBits];
};

// Newton iteration on unsigned 32-bit values.
uint32_t intSqrt(uint32_t n);

// Square root by halving the exponent bits; exact for powers of four.
float fastSqrt(float v);

// h in degrees (-1 for grey), s 0..1, v 0..255.
void rgbToHsv(float r, float g, float b, float& h, float& s, float& v);
void hsvToRgb(float h, float s, float v, float& r, float& g, float& b);

} // namespace texgen
