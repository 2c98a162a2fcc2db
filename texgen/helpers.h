// Shared helpers of the operators: the library's random generator, the
// cosine-weighted sampler, two square roots and the RGB/HSV conversions.
// Their arithmetic is fixed to the bit; see each definition for the exact
// order of rounding.
#pragma once

#include <cmath>
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

// The blend's weights prepared for blendPrepared. Mostly the sum needs no
// x87 arithmetic: when every weight is 0 or at least 2^-31 (and at most 1),
// each product of a byte and a weight is a whole multiple of 2^-54 below
// 2^8, so every partial sum (below 2^10) has at most 64 significant bits:
// the extended sum is exact. Scaled by 2^54 the same sum is a 64-bit
// integer, and its truncation is a shift. Smaller weights (a fraction within
// about 10^-5 of a whole pixel) keep the extended sum.
struct PreparedWeights {
    BlendWeights weights;
    uint64_t scaled[4]; // the weights times 2^54, when exact
    bool exact;
};

inline PreparedWeights prepareWeights(const BlendWeights& w) {
    constexpr float kSmallest = 0x1p-31f;
    constexpr double kScale = 0x1p54;
    PreparedWeights prepared{w, {}, true};
    const float weights[4] = {w.w00, w.w10, w.w01, w.w11};
    for (int i = 0; i < 4; ++i) {
        const float v = weights[i];
        if (!(v == 0.0f || (v >= kSmallest && v <= 1.0f))) {
            prepared.exact = false;
            return prepared;
        }
        prepared.scaled[i] =
            static_cast<uint64_t>(static_cast<int64_t>(static_cast<double>(v) * kScale));
    }
    return prepared;
}

// cosineBlend with its weights already computed: the same bytes.
inline Rgb blendPrepared(const PreparedWeights& w, Rgb p00, Rgb p10, Rgb p01, Rgb p11) {
    if (!w.exact) {
        return Rgb{blendChannelExtended(p00.r, p10.r, p01.r, p11.r, w.weights),
                   blendChannelExtended(p00.g, p10.g, p01.g, p11.g, w.weights),
                   blendChannelExtended(p00.b, p10.b, p01.b, p11.b, w.weights)};
    }
    constexpr int kShift = 54;
    const uint64_t* f = w.scaled;
    const auto channel = [f](uint8_t c00, uint8_t c10, uint8_t c01, uint8_t c11) {
        const uint64_t sum = c00 * f[0] + c10 * f[1] + c01 * f[2] + c11 * f[3];
        return static_cast<uint8_t>(sum >> kShift);
    };
    return Rgb{channel(p00.r, p10.r, p01.r, p11.r), channel(p00.g, p10.g, p01.g, p11.g),
               channel(p00.b, p10.b, p01.b, p11.b)};
}

// sampleLayer for one operator call over `layer`. It remembers the cosine
// weights of recent fractions: an operator's sample positions share few
// fractions when their offsets repeat along a row or a column, and a
// cosine costs more than the rest of a weight.
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

// The HSV conversions are defined here so that the colour operators, which
// run them per pixel, can inline them.
constexpr float kDegreesPerTurn = 360.0f;
constexpr float kDegreesPerSector = 60.0f;
constexpr float kHueFoldLimit = kDegreesPerTurn * 65536.0f;

// rgbToHsv with the largest and smallest of r, g, b already found (the
// colour operators find them on the bytes).
inline void rgbToHsvInRange(float r, float g, float b, float maxValue, float minValue, float& h,
                            float& s, float& v) {
    v = maxValue;
    s = maxValue == 0.0f ? 0.0f : (maxValue - minValue) / maxValue;
    if (s == 0.0f) {
        h = -1.0f; // grey: no hue
        return;
    }
    const float d = maxValue - minValue;
    h = 0.0f;
    if (r == maxValue) {
        h = (g - b) / d;
    } else if (g == maxValue) {
        h = 2.0f + (b - r) / d;
    } else if (b == maxValue) {
        h = 4.0f + (r - g) / d;
    }
    h = h * kDegreesPerSector;
    while (h < 0.0f) h += kDegreesPerTurn;
    while (h >= kDegreesPerTurn) h -= kDegreesPerTurn;
}

inline void hsvToRgb(float h, float s, float v, float& r, float& g, float& b) {
    // Safety net for hues no validated operation produces: folding an
    // infinite or enormous hue by steps of 360 would never end.
    if (!std::isfinite(h)) h = 0.0f;
    if (std::fabs(h) >= kHueFoldLimit) h = std::fmod(h, kDegreesPerTurn);
    while (h < 0.0f) h += kDegreesPerTurn;
    while (h >= kDegreesPerTurn) h -= kDegreesPerTurn;
    if (s == 0.0f) {
        r = g = b = v;
        return;
    }
    const float sectorPosition = h * (1.0f / kDegreesPerSector);
    const float sector = std::trunc(sectorPosition);
    const float f = sectorPosition - sector;
    const float p = (1.0f - s) * v;
    const float q = (1.0f - s * f) * v;
    const float t = (1.0f - s * (1.0f - f)) * v;
    // h just below 360 can round to sector 6, which leaves the outputs as they were.
    switch (static_cast<int>(sector)) {
    case 0:
        r = v, g = t, b = p;
        break;
    case 1:
        r = q, g = v, b = p;
        break;
    case 2:
        r = p, g = v, b = t;
        break;
    case 3:
        r = p, g = q, b = v;
        break;
    case 4:
        r = t, g = p, b = v;
        break;
    case 5:
        r = v, g = p, b = q;
        break;
    default:
        break;
    }
}

} // namespace texgen
