// Filter operators: each destination pixel from a neighbourhood of the
// source. All but woodLayer read a scratch copy of the source, so source and
// destination may be the same layer. Neighbourhoods wrap at the borders.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "texgen/helpers.h"
#include "texgen/layers.h"
#include "texgen/operators.h"

namespace texgen {

namespace {

constexpr int32_t kMaxChannel = 255;
constexpr int32_t kEmbossBias = 128;      // added to each gradient so flat areas come out grey
constexpr int32_t kEdgeGain = 2;          // edge filters double the gradient
constexpr int kMedianRank = 4;            // index of the median among nine sorted values
constexpr uint32_t kByteRotationMask = 7; // a byte rotation repeats every 8 bits
constexpr int kBitsPerByte = 8;
constexpr float kTilableFullBlend = 0.75f; // scaled distance where the blend reaches 1/4 each
constexpr float kTilableQuarter = 0.25f;
constexpr float kTilableFlatScale = 75000.0f; // used when the blend ring has no width
constexpr double kOneThird = 1.0 / 3.0;

int32_t clampChannel(int32_t v) {
    return std::clamp(v, 0, kMaxChannel);
}

// The wrapped 3x3 neighbourhood of one channel, n(dx, dy) as in the formulas.
struct Window {
    int32_t v[3][3];
    int32_t n(int dx, int dy) const { return v[dy + 1][dx + 1]; }
    int32_t centre() const { return v[1][1]; }
};

// Copies src to the scratch buffer, then writes kernel(window) for every pixel
// and channel of dst, rows top to bottom.
template <typename Kernel> void filter3x3(int src, int dst, Kernel kernel) {
    copyLayer(src, kScratchLayer);
    for (int32_t y = 0; y < layerHeight; ++y) {
        const int32_t rows[3] = {(y - 1) & wrapMaskY, y, (y + 1) & wrapMaskY};
        for (int32_t x = 0; x < layerWidth; ++x) {
            const int32_t cols[3] = {(x - 1) & wrapMaskX, x, (x + 1) & wrapMaskX};
            const uint8_t* around[3][3];
            for (int j = 0; j < 3; ++j)
                for (int i = 0; i < 3; ++i) around[j][i] = pixelAt(kScratchLayer, cols[i], rows[j]);
            uint8_t* out = pixelAt(dst, x, y);
            for (int c = 0; c < kBytesPerPixel; ++c) {
                Window w;
                for (int j = 0; j < 3; ++j)
                    for (int i = 0; i < 3; ++i) w.v[j][i] = around[j][i][c];
                out[c] = static_cast<uint8_t>(kernel(w));
            }
        }
    }
}

// Row above minus row below, weighted 1 2 1.
int32_t verticalGradient(const Window& w) {
    return w.n(-1, -1) + 2 * w.n(0, -1) + w.n(1, -1) - w.n(-1, 1) - 2 * w.n(0, 1) - w.n(1, 1);
}

// Left column minus right column, weighted 1 2 1.
int32_t horizontalGradient(const Window& w) {
    return w.n(-1, -1) + 2 * w.n(-1, 0) + w.n(-1, 1) - w.n(1, -1) - 2 * w.n(1, 0) - w.n(1, 1);
}

} // namespace

void embossLayer(int src, int dst) {
    filter3x3(src, dst, [](const Window& w) {
        const int32_t gx = w.n(1, 1) + w.n(1, 0) + w.n(1, -1) - w.n(-1, -1) - w.n(-1, 0) -
                           w.n(-1, 1) + kEmbossBias;
        const int32_t gy = w.n(1, 1) + w.n(0, 1) + w.n(-1, 1) - w.n(-1, -1) - w.n(0, -1) -
                           w.n(1, -1) + kEmbossBias;
        const uint32_t root = intSqrt(static_cast<uint32_t>(gx * gx + gy * gy));
        return static_cast<int32_t>(std::min<uint32_t>(root, kMaxChannel));
    });
}

void woodLayer(int src, int dst, int32_t rotation) {
    // Masking keeps every shift defined; for 0..8 it rotates exactly as asked
    // (8 and 0 both leave the byte unchanged).
    const uint32_t n = static_cast<uint32_t>(rotation) & kByteRotationMask;
    const uint8_t* in = layerData[src];
    uint8_t* out = layerData[dst];
    const int64_t bytes = layerByteCount();
    for (int64_t i = 0; i < bytes; ++i) {
        const uint32_t c = in[i];
        out[i] = static_cast<uint8_t>((c << n) | (c >> (kBitsPerByte - n)));
    }
}

void blurLayer(int src, int dst) {
    filter3x3(src, dst, [](const Window& w) {
        const int32_t sum = w.n(-1, -1) + 2 * w.n(0, -1) + w.n(1, -1) + 2 * w.n(-1, 0) +
                            4 * w.centre() + 2 * w.n(1, 0) + w.n(-1, 1) + 2 * w.n(0, 1) + w.n(1, 1);
        return sum >> 4; // the weights add up to 16
    });
}

void sharpenLayer(int src, int dst) {
    filter3x3(src, dst, [](const Window& w) {
        const int32_t diagonal = w.n(-1, -1) + w.n(-1, 1) + w.n(1, -1) + w.n(1, 1);
        const int32_t orthogonal = w.n(-1, 0) + w.n(1, 0) + w.n(0, -1) + w.n(0, 1);
        return clampChannel(((5 * w.centre()) >> 1) - (diagonal >> 3) - (orthogonal >> 2));
    });
}

void edgeHLayer(int src, int dst) {
    filter3x3(src, dst, [](const Window& w) {
        return std::min(kMaxChannel, kEdgeGain * std::abs(verticalGradient(w)));
    });
}

void edgeVLayer(int src, int dst) {
    filter3x3(src, dst, [](const Window& w) {
        return std::min(kMaxChannel, kEdgeGain * std::abs(horizontalGradient(w)));
    });
}

void medianLayer(int src, int dst) {
    filter3x3(src, dst, [](const Window& w) {
        int32_t values[9];
        std::copy(&w.v[0][0], &w.v[0][0] + 9, values);
        std::nth_element(values, values + kMedianRank, values + 9);
        return values[kMedianRank];
    });
}

void erodeLayer(int src, int dst) {
    filter3x3(src, dst,
              [](const Window& w) { return *std::min_element(&w.v[0][0], &w.v[0][0] + 9); });
}

void dilateLayer(int src, int dst) {
    filter3x3(src, dst,
              [](const Window& w) { return *std::max_element(&w.v[0][0], &w.v[0][0] + 9); });
}

void motionBlur(int src, int dst, int32_t reach) {
    // A negative reach is refused before the call; treat it as 0 here so the
    // divisor can never be zero.
    const int64_t n = std::max(reach, 0);
    const int64_t divisor = (n + 1) * (n + 1); // the sum of the triangular weights
    copyLayer(src, kScratchLayer);
    for (int32_t y = 0; y < layerHeight; ++y) {
        for (int32_t x = 0; x < layerWidth; ++x) {
            int64_t sum[kBytesPerPixel] = {};
            for (int64_t k = -n; k <= n; ++k) {
                const int64_t weight = n + 1 - (k < 0 ? -k : k);
                const uint8_t* p =
                    pixelAt(kScratchLayer, static_cast<int32_t>((x + k) & wrapMaskX), y);
                for (int c = 0; c < kBytesPerPixel; ++c) sum[c] += weight * p[c];
            }
            uint8_t* out = pixelAt(dst, x, y);
            for (int c = 0; c < kBytesPerPixel; ++c)
                out[c] = static_cast<uint8_t>(sum[c] / divisor);
        }
    }
}

void makeTilable(int src, int dst, int32_t radius) {
    copyLayer(src, kScratchLayer);
    const int32_t hx = layerWidth / 2;
    const int32_t hy = layerHeight / 2;
    // Wide integers: only validated radii matter, but none may overflow.
    const int64_t r0 = static_cast<int64_t>(hx) - radius;
    const int64_t r0sq = r0 * r0;
    const float den = static_cast<float>(static_cast<int64_t>(hx) * hy - r0sq);
    const float e = den == 0.0f ? kTilableFlatScale : kTilableFullBlend / den;

    for (int32_t y = 0; y < layerHeight; ++y) {
        const int64_t dy = y - hy;
        const int32_t my = layerHeight - 1 - y;
        for (int32_t x = 0; x < layerWidth; ++x) {
            const int64_t dx = x - hx;
            float m = static_cast<float>(dy * dy + dx * dx - r0sq);
            if (m <= 0.0f) continue; // inside the untouched circle: dst keeps its pixel
            m = m * e;
            float a = kTilableQuarter;
            float b = kTilableQuarter;
            if (m <= kTilableFullBlend) {
                a = 1.0f - m;
                b = static_cast<float>(static_cast<double>(m) * kOneThird);
            }
            const int32_t mx = layerWidth - 1 - x;
            const uint8_t* self = pixelAt(kScratchLayer, x, y);
            const uint8_t* mirrorX = pixelAt(kScratchLayer, mx, y);
            const uint8_t* mirrorXY = pixelAt(kScratchLayer, mx, my);
            const uint8_t* mirrorY = pixelAt(kScratchLayer, x, my);
            uint8_t* out = pixelAt(dst, x, y);
            for (int c = 0; c < kBytesPerPixel; ++c) {
                const int32_t mirrors = mirrorX[c] + mirrorXY[c] + mirrorY[c];
                // Both products are exact in double, so only the truncation rounds.
                const double value =
                    static_cast<double>(a) * self[c] + static_cast<double>(b) * mirrors;
                out[c] = static_cast<uint8_t>(std::clamp(value, 0.0, double{kMaxChannel}));
            }
        }
    }
}

} // namespace texgen
