#include "texgen/helpers.h"

#include <bit>
#include <cmath>

#include "texgen/layers.h"

namespace texgen {

uint32_t randomSeed = 0;

namespace {

constexpr uint32_t kRandomMultiplier = 22695477; // 0x015A4E35, no additive constant
constexpr int kRandomShift = 16;                 // draws are the high half of the state
constexpr int32_t kOneBits = 0x3F800000;         // bit pattern of 1.0f

} // namespace

uint32_t nextRandom() {
    randomSeed *= kRandomMultiplier;
    return randomSeed >> kRandomShift;
}

// The product of two floats is exact in double, so only cos and the final
// rounding to single decide the value.
float cosineWeight(float t) {
    const double angle = static_cast<double>(t) * static_cast<double>(kPiSingle);
    return static_cast<float>((1.0 - std::cos(angle)) * 0.5);
}

BlendWeights blendWeights(float fx, float fy) {
    // Each weight is one single-precision rounding of the exact product.
    const double gx = 1.0 - static_cast<double>(fx);
    const double gy = 1.0 - static_cast<double>(fy);
    return BlendWeights{static_cast<float>(gx * gy),
                        static_cast<float>(static_cast<double>(fx) * gy),
                        static_cast<float>(gx * static_cast<double>(fy)),
                        static_cast<float>(static_cast<double>(fx) * static_cast<double>(fy))};
}

uint8_t blendChannelExtended(uint8_t c00, uint8_t c10, uint8_t c01, uint8_t c11,
                             const BlendWeights& w) {
    const long double sum =
        static_cast<long double>(c00) * w.w00 + static_cast<long double>(c10) * w.w10 +
        static_cast<long double>(c01) * w.w01 + static_cast<long double>(c11) * w.w11;
    constexpr long double kLimit = 2147483648.0L;
    if (!(sum > -kLimit && sum < kLimit)) return 0;
    return static_cast<uint8_t>(static_cast<int32_t>(sum) & 0xFF);
}

Rgb cosineBlend(Rgb p00, Rgb p10, Rgb p01, Rgb p11, float tx, float ty) {
    return blendPrepared(prepareWeights(blendWeights(cosineWeight(tx), cosineWeight(ty))), p00, p10,
                         p01, p11);
}

namespace {

// The 2x2 block of `layer` at (ix, iy), wrapped, blended with weights w.
Rgb blendAt(int layer, int32_t ix, int32_t iy, const BlendWeights& w) {
    // Unsigned addition: ix + 1 must not overflow for the INT32_MAX corner.
    const int32_t x0 = ix & wrapMaskX;
    const int32_t x1 = static_cast<int32_t>(static_cast<uint32_t>(ix) + 1u) & wrapMaskX;
    const int32_t y0 = iy & wrapMaskY;
    const int32_t y1 = static_cast<int32_t>(static_cast<uint32_t>(iy) + 1u) & wrapMaskY;
    const auto pixel = [layer](int32_t px, int32_t py) {
        const uint8_t* p = pixelAt(layer, px, py);
        return Rgb{p[0], p[1], p[2]};
    };
    return blendPrepared(prepareWeights(w), pixel(x0, y0), pixel(x1, y0), pixel(x0, y1),
                         pixel(x1, y1));
}

} // namespace

LayerSampler::LayerSampler(int layer) : layer_(layer) {
    // Every slot starts as a correct entry: the weight of fraction +0.
    const float zeroWeight = cosineWeight(0.0f);
    for (int i = 0; i < (1 << kCacheBits); ++i) {
        keys_[i] = 0;
        weights_[i] = zeroWeight;
    }
}

float LayerSampler::weight(float t) {
    const auto bits = std::bit_cast<uint32_t>(t);
    const uint32_t slot = (bits * 0x9E3779B1u) >> (32 - kCacheBits);
    if (keys_[slot] != bits) {
        keys_[slot] = bits;
        weights_[slot] = cosineWeight(t);
    }
    return weights_[slot];
}

Rgb LayerSampler::operator()(float x, float y) {
    const int32_t ix = truncToInt32(x);
    const int32_t iy = truncToInt32(y);
    const float tx = x - static_cast<float>(ix);
    const float ty = y - static_cast<float>(iy);
    return blendAt(layer_, ix, iy, blendWeights(weight(tx), weight(ty)));
}

Rgb sampleLayer(int layer, float x, float y) {
    const int32_t ix = truncToInt32(x);
    const int32_t iy = truncToInt32(y);
    const float tx = x - static_cast<float>(ix);
    const float ty = y - static_cast<float>(iy);
    return blendAt(layer, ix, iy, blendWeights(cosineWeight(tx), cosineWeight(ty)));
}

uint32_t intSqrt(uint32_t n) {
    if (n == 0) return 0;
    uint32_t estimate = n;
    uint32_t previous = 0;
    for (;;) {
        // The sum is taken in 64 bits so that n near 2^32 cannot wrap to a
        // zero estimate; below 2^31, where callers stay, nothing changes.
        const uint64_t sum = static_cast<uint64_t>(n / estimate) + estimate;
        const auto next = static_cast<uint32_t>(sum / 2);
        if (previous - next <= 1u) return next; // settled, or stepping between r and r+1
        previous = next;
        estimate = next;
    }
}

float fastSqrt(float v) {
    // Halving the exponent about 1.0: subtract the bias pattern, shift
    // arithmetically, add it back. Done on unsigned words so that no signed
    // overflow can occur for any input.
    const auto bits = std::bit_cast<int32_t>(v);
    const auto offset = static_cast<int32_t>(static_cast<uint32_t>(bits) - kOneBits);
    const auto halved = static_cast<uint32_t>(offset >> 1) + static_cast<uint32_t>(kOneBits);
    return std::bit_cast<float>(halved);
}

void rgbToHsv(float r, float g, float b, float& h, float& s, float& v) {
    rgbToHsvInRange(r, g, b, std::fmax(r, std::fmax(g, b)), std::fmin(r, std::fmin(g, b)), h, s, v);
}

} // namespace texgen
