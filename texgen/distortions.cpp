// Distortion operators: each destination pixel is read from another position
// of the source, whole or through the cosine-weighted sampler. All but
// kaleidLayer read an unchanged copy of the source (either src copied into the
// scratch buffer first, or results gathered in the scratch buffer and copied
// to dst at the end), so source and destination may be the same layer.
//
// Values the operators keep in single precision are rounded to float where
// they are stored; the expressions leading to them run in double.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

#include "texgen/helpers.h"
#include "texgen/layers.h"
#include "texgen/operators.h"

namespace texgen {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int32_t kRandomMidpoint = 32767; // centre of nextRandom's 0..65535
constexpr int32_t kRandomBits = 16;
constexpr int32_t kQuadrantCount = 4;
constexpr float kDirectionScale = 40.58451f; // 127.5 / pi: a full turn spans 256 steps
constexpr double kDirectionOffset = 127.5;
constexpr uint8_t kDirectionUp = 196;   // gh is 0 and gv positive
constexpr uint8_t kDirectionDown = 64;  // gh is 0 and gv negative
constexpr uint8_t kDirectionFlat = 128; // no gradient at all

void storePixel(int layer, int32_t x, int32_t y, Rgb p) {
    uint8_t* out = pixelAt(layer, x, y);
    out[0] = p.r;
    out[1] = p.g;
    out[2] = p.b;
}

void copyPixel(int from, int32_t fx, int32_t fy, int to, int32_t tx, int32_t ty) {
    std::memcpy(pixelAt(to, tx, ty), pixelAt(from, fx, fy), kBytesPerPixel);
}

float toSingle(double v) {
    return static_cast<float>(v);
}

} // namespace

void sineDistort(int src, int dst, float rowFrequency, float horizontalAmplitude,
                 float columnFrequency, float verticalAmplitude) {
    copyLayer(src, kScratchLayer);
    LayerSampler sample(kScratchLayer);
    // The vertical offset depends only on the column.
    static double columnOffset[kMaxLayerSize];
    for (int32_t x = 0; x < layerWidth; ++x)
        columnOffset[x] = std::sin(double{columnFrequency} * x) * verticalAmplitude;
    for (int32_t y = 0; y < layerHeight; ++y) {
        const float ox = toSingle(std::sin(double{rowFrequency} * y) * horizontalAmplitude);
        for (int32_t x = 0; x < layerWidth; ++x) {
            const float sx = toSingle(x + double{ox});
            const float sy = toSingle(columnOffset[x] + y);
            storePixel(dst, x, y, sample(sx, sy));
        }
    }
}

void twirlLayer(int src, int dst, float strength, float radiusFactor) {
    copyLayer(src, kScratchLayer);
    LayerSampler sample(kScratchLayer);
    const int32_t hx = layerWidth / 2;
    const int32_t hy = layerHeight / 2;
    const float k =
        toSingle(1.0 / (double{radiusFactor} *
                        std::sqrt(2.0 * layerWidth * static_cast<double>(layerHeight))));
    // The angle depends on dx only through dx * dx, so within a row the
    // columns hx - n and hx + n share it: each is computed once per row.
    static double rowCos[kMaxLayerSize / 2 + 1];
    static double rowSin[kMaxLayerSize / 2 + 1];
    static bool rowInside[kMaxLayerSize / 2 + 1];
    for (int32_t y = 0; y < layerHeight; ++y) {
        const float dy = static_cast<float>(y - hy);
        for (int32_t n = 0; n <= hx; ++n) {
            const auto dx = static_cast<float>(n);
            const float d = static_cast<float>(hx) - fastSqrt(dx * dx + dy * dy);
            rowInside[n] = !(d <= 0.0f);
            if (!rowInside[n]) continue;
            const float a = toSingle(double{strength} * d * d * k);
            rowCos[n] = std::cos(double{a});
            rowSin[n] = std::sin(double{a});
        }
        for (int32_t x = 0; x < layerWidth; ++x) {
            const float dx = static_cast<float>(x - hx);
            const int32_t n = std::abs(x - hx);
            if (!rowInside[n]) { // outside the inscribed circle: unchanged
                copyPixel(kScratchLayer, x, y, dst, x, y);
                continue;
            }
            const double c = rowCos[n];
            const double s = rowSin[n];
            const float sx = toSingle(dx * c - dy * s + hx);
            const float sy = toSingle(dx * s + dy * c + hy);
            storePixel(dst, x, y, sample(sx, sy));
        }
    }
}

void mapDistort(int src, int map, int dst, float xFactor, float yFactor) {
    LayerSampler sample(src);
    for (int32_t y = 0; y < layerHeight; ++y) {
        for (int32_t x = 0; x < layerWidth; ++x) {
            const uint8_t* m = pixelAt(map, x, y);
            const int32_t v = std::max({m[0], m[1], m[2]});
            const float sx = toSingle(x + static_cast<double>(v) * xFactor);
            const float sy = toSingle(y + static_cast<double>(v) * yFactor);
            storePixel(kScratchLayer, x, y, sample(sx, sy));
        }
    }
    copyLayer(kScratchLayer, dst);
}

void tileLayer(int src, int dst) {
    for (int32_t y = 0; y < layerHeight; ++y) {
        const int32_t y0 = (2 * y) & wrapMaskY; // even, so y0 + 1 stays inside
        for (int32_t x = 0; x < layerWidth; ++x) {
            const int32_t x0 = (2 * x) & wrapMaskX;
            const uint8_t* p00 = pixelAt(src, x0, y0);
            const uint8_t* p10 = pixelAt(src, x0 + 1, y0);
            const uint8_t* p01 = pixelAt(src, x0, y0 + 1);
            const uint8_t* p11 = pixelAt(src, x0 + 1, y0 + 1);
            uint8_t* out = pixelAt(kScratchLayer, x, y);
            for (int c = 0; c < kBytesPerPixel; ++c)
                out[c] = static_cast<uint8_t>((p00[c] + p10[c] + p01[c] + p11[c]) >> 2);
        }
    }
    copyLayer(kScratchLayer, dst);
}

void noiseDistort(int src, int dst, int32_t seed, int32_t bits) {
    // Bits outside 0..16 are refused before the call; clamping here keeps the
    // shift defined regardless.
    const int32_t shift = kRandomBits - std::clamp(bits, 0, kRandomBits);
    randomSeed = static_cast<uint32_t>(seed);
    for (int32_t y = 0; y < layerHeight; ++y) {
        for (int32_t x = 0; x < layerWidth; ++x) {
            const int32_t r1 = static_cast<int32_t>(nextRandom());
            const int32_t r2 = static_cast<int32_t>(nextRandom());
            const int32_t ox = (r1 - kRandomMidpoint) >> shift; // arithmetic: floors
            const int32_t oy = (r2 - kRandomMidpoint) >> shift;
            copyPixel(src, (x + ox) & wrapMaskX, (y + oy) & wrapMaskY, kScratchLayer, x, y);
        }
    }
    copyLayer(kScratchLayer, dst);
}

void moveDistort(int src, int dst, int32_t xShift, int32_t yShift) {
    // Masking the shifts first gives the same wrapped position without overflow.
    const int32_t mx = xShift & wrapMaskX;
    const int32_t my = yShift & wrapMaskY;
    for (int32_t y = 0; y < layerHeight; ++y)
        for (int32_t x = 0; x < layerWidth; ++x)
            copyPixel(src, (x + mx) & wrapMaskX, (y + my) & wrapMaskY, kScratchLayer, x, y);
    copyLayer(kScratchLayer, dst);
}

namespace {

// One step of the kaleidoscope ring, applied inside `layer`; each copies one
// quadrant onto the next one clockwise, mirrored.
void mirrorStep(int layer, int32_t step) {
    const int32_t halfW = layerWidth / 2;
    const int32_t halfH = layerHeight / 2;
    const size_t halfRow = static_cast<size_t>(halfW) * kBytesPerPixel;
    switch (step) {
    case 0: // top-left into top-right, mirrored left-right
        for (int32_t y = 0; y < halfH; ++y)
            for (int32_t i = 0; i < halfW; ++i)
                copyPixel(layer, i, y, layer, layerWidth - 1 - i, y);
        break;
    case 1: // top-right into bottom-right, mirrored top-bottom
        for (int32_t y = 0; y < halfH; ++y)
            std::memcpy(pixelAt(layer, halfW, layerHeight - 1 - y), pixelAt(layer, halfW, y),
                        halfRow);
        break;
    case 2: // bottom-right into bottom-left, mirrored left-right
        for (int32_t y = halfH; y < layerHeight; ++y)
            for (int32_t i = 0; i < halfW; ++i)
                copyPixel(layer, layerWidth - 1 - i, y, layer, i, y);
        break;
    case 3: // bottom-left into top-left, mirrored top-bottom
        for (int32_t y = 0; y < halfH; ++y)
            std::memcpy(pixelAt(layer, 0, y), pixelAt(layer, 0, layerHeight - 1 - y), halfRow);
        break;
    default:
        break;
    }
}

} // namespace

void kaleidLayer(int src, int dst, int32_t quadrant) {
    const int32_t q = quadrant - 1;
    if (q < 0 || q >= kQuadrantCount) return; // refused before the call
    const int32_t halfW = layerWidth / 2;
    const int32_t halfH = layerHeight / 2;
    const int32_t left = (q % 2) * halfW;
    const int32_t top = (q / 2) * halfH;
    if (src != dst) {
        for (int32_t y = top; y < top + halfH; ++y)
            std::memcpy(pixelAt(dst, left, y), pixelAt(src, left, y),
                        static_cast<size_t>(halfW) * kBytesPerPixel);
    }
    // For the bottom quadrants the first step overwrites the copied quadrant
    // with what dst held beside it: that is how this operator is defined.
    for (int32_t i = 0; i < 3; ++i) mirrorStep(dst, (q + i) % kQuadrantCount);
}

void tunnelDistort(int src, int dst, float depth) {
    copyLayer(src, kScratchLayer);
    LayerSampler sample(kScratchLayer);
    const int32_t hx = layerWidth / 2;
    const int32_t hy = layerHeight / 2;
    const float k = toSingle(layerWidth / (kPi * 2));
    for (int32_t y = 0; y < layerHeight; ++y) {
        const float dy = static_cast<float>(y - hy);
        Rgb previous{0, 0, 0};
        for (int32_t x = 0; x < layerWidth; ++x) {
            const float dx = static_cast<float>(x - hx);
            // The centre column has no angle: it repeats its left neighbour
            // (x = hx is never the first column).
            if (dx != 0.0f) {
                const double inv = 1.0 / dx;
                const float a = toSingle(std::atan(dy * inv));
                const double ka = double{k} * a;
                const float u = toSingle(inv > 0.0 ? ka + hx : ka);
                const float v = toSingle(std::fabs(std::cos(double{a}) * depth * inv));
                previous = sample(u, v);
            }
            storePixel(dst, x, y, previous);
        }
    }
}

void sculptureLayer(int src, int dst) {
    copyLayer(src, kScratchLayer);
    for (int32_t y = 0; y < layerHeight; ++y) {
        const int32_t up = (y - 1) & wrapMaskY;
        const int32_t down = (y + 1) & wrapMaskY;
        for (int32_t x = 0; x < layerWidth; ++x) {
            const int32_t left = (x - 1) & wrapMaskX;
            const int32_t right = (x + 1) & wrapMaskX;
            const uint8_t* nw = pixelAt(kScratchLayer, left, up);
            const uint8_t* n = pixelAt(kScratchLayer, x, up);
            const uint8_t* ne = pixelAt(kScratchLayer, right, up);
            const uint8_t* w = pixelAt(kScratchLayer, left, y);
            const uint8_t* e = pixelAt(kScratchLayer, right, y);
            const uint8_t* sw = pixelAt(kScratchLayer, left, down);
            const uint8_t* s = pixelAt(kScratchLayer, x, down);
            const uint8_t* se = pixelAt(kScratchLayer, right, down);
            uint8_t* out = pixelAt(dst, x, y);
            for (int c = 0; c < kBytesPerPixel; ++c) {
                const int32_t gv = nw[c] + 2 * n[c] + ne[c] - sw[c] - 2 * s[c] - se[c];
                const int32_t gh = nw[c] + 2 * w[c] + sw[c] - ne[c] - 2 * e[c] - se[c];
                if (gh == 0) {
                    out[c] = gv > 0 ? kDirectionUp : gv < 0 ? kDirectionDown : kDirectionFlat;
                    continue;
                }
                const float a = toSingle(std::atan(static_cast<double>(gv) / gh));
                double value = double{a} * kDirectionScale;
                if (gh > 0) value += kDirectionOffset;
                // Negative directions wrap into the upper half of the byte.
                out[c] = static_cast<uint8_t>(static_cast<int32_t>(value));
            }
        }
    }
}

void logPolLayer(int src, int dst) {
    const int32_t hx = layerWidth / 2;
    const int32_t hy = layerHeight / 2;
    const float k = toSingle(2 * kPi / layerHeight);
    LayerSampler sample(src);
    // The angle, and so its cosine and sine, depends only on the column.
    static double cosine[kMaxLayerSize];
    static double sine[kMaxLayerSize];
    for (int32_t x = 0; x < layerWidth; ++x) {
        const float t = toSingle(double{k} * x);
        cosine[x] = std::cos(double{t});
        sine[x] = std::sin(double{t});
    }
    for (int32_t y = 0; y < layerHeight; ++y) {
        const float r = toSingle(std::exp(double{k} * y));
        for (int32_t x = 0; x < layerWidth; ++x) {
            const float sx = toSingle(r * cosine[x] + hx);
            const float sy = toSingle(r * sine[x] + hy);
            storePixel(kScratchLayer, x, y, sample(sx, sy));
        }
    }
    copyLayer(kScratchLayer, dst);
}

} // namespace texgen
