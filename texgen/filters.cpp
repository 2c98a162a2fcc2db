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
constexpr uint32_t kByteRotationMask = 7; // a byte rotation repeats every 8 bits
constexpr int kBitsPerByte = 8;
constexpr float kTilableFullBlend = 0.75f; // scaled distance where the blend reaches 1/4 each
constexpr float kTilableQuarter = 0.25f;
constexpr float kTilableFlatScale = 75000.0f; // used when the blend ring has no width
constexpr double kOneThird = 1.0 / 3.0;

int32_t clampChannel(int32_t v) {
    return std::clamp(v, 0, kMaxChannel);
}

// The 3x3 filters work a row at a time on lines of per-column values: a
// column value combines the three rows at one byte position, and a filter
// then combines the column values left of, at and right of each byte. Every
// formula is integer arithmetic, so regrouping its terms this way gives the
// same result as summing the nine neighbours.
constexpr int kLinePadding = kBytesPerPixel; // one wrapped pixel before and after
constexpr int kLineLength = kMaxLayerSize * kBytesPerPixel + 2 * kLinePadding;
using Line = int32_t[kLineLength];

// The filters' work lines. Operators run one at a time and never allocate
// (layers.h), so these are shared statics.
Line workLines[3];

// A line of column(up, mid, down) for every byte of one row, with the last
// pixel copied before the first and the first after the last: line[i +
// kLinePadding] belongs to byte i, and +-kBytesPerPixel reaches the wrapped
// neighbours of the same channel.
template <typename Column>
void fillLine(Line& line, const uint8_t* up, const uint8_t* mid, const uint8_t* down,
              Column column) {
    const int32_t bytes = layerWidth * kBytesPerPixel;
    int32_t* body = line + kLinePadding;
    for (int32_t i = 0; i < bytes; ++i) body[i] = column(up[i], mid[i], down[i]);
    for (int c = 0; c < kLinePadding; ++c) {
        line[c] = body[bytes - kLinePadding + c];
        body[bytes + c] = body[c];
    }
}

// Copies src to the scratch buffer, then calls rowFilter(up, mid, down, out)
// for every row of dst, top to bottom, with the wrapped rows above and below.
template <typename RowFilter> void filterRows(int src, int dst, RowFilter rowFilter) {
    copyLayer(src, kScratchLayer);
    for (int32_t y = 0; y < layerHeight; ++y) {
        rowFilter(pixelAt(kScratchLayer, 0, (y - 1) & wrapMaskY), pixelAt(kScratchLayer, 0, y),
                  pixelAt(kScratchLayer, 0, (y + 1) & wrapMaskY), pixelAt(dst, 0, y));
    }
}

// out[i] := combine(left, centre, right) of one line for every byte of a row.
template <typename Combine> void combineLine(const Line& line, uint8_t* out, Combine combine) {
    const int32_t bytes = layerWidth * kBytesPerPixel;
    const int32_t* centre = line + kLinePadding;
    for (int32_t i = 0; i < bytes; ++i) {
        out[i] = static_cast<uint8_t>(
            combine(centre[i - kBytesPerPixel], centre[i], centre[i + kBytesPerPixel]));
    }
}

// A 3x3 filter that needs one line: out := combine over the columns' values.
template <typename Column, typename Combine>
void filterOneLine(int src, int dst, Column column, Combine combine) {
    Line& line = workLines[0];
    filterRows(src, dst,
               [&](const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint8_t* out) {
                   fillLine(line, up, mid, down, column);
                   combineLine(line, out, combine);
               });
}

// The small combinations of three values, as objects so that the filters
// inline them.
constexpr auto sum121 = [](int32_t a, int32_t b, int32_t c) { return a + 2 * b + c; };

constexpr auto min3 = [](int32_t a, int32_t b, int32_t c) { return std::min(std::min(a, b), c); };

constexpr auto max3 = [](int32_t a, int32_t b, int32_t c) { return std::max(std::max(a, b), c); };

constexpr auto median3 = [](int32_t a, int32_t b, int32_t c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
};

// min(intSqrt(n), 255), remembered between calls: the emboss gradient takes few
// distinct values below 2^16, and from 2^16 on the root is above 255.
uint8_t embossRoot(uint32_t n) {
    constexpr uint32_t kTabled = 1u << 16;
    if (n >= kTabled) return kMaxChannel;
    static uint16_t rootPlusOne[kTabled]; // 0: not known yet
    uint16_t& entry = rootPlusOne[n];
    if (entry == 0) entry = static_cast<uint16_t>(std::min<uint32_t>(intSqrt(n), kMaxChannel) + 1);
    return static_cast<uint8_t>(entry - 1);
}

} // namespace

void embossLayer(int src, int dst) {
    // gx: right column minus left column; gy: row below minus row above;
    // each plus the bias.
    Line& columnSum = workLines[0];
    Line& downMinusUp = workLines[1];
    filterRows(src, dst,
               [](const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint8_t* out) {
                   fillLine(columnSum, up, mid, down,
                            [](int32_t u, int32_t m, int32_t d) { return u + m + d; });
                   fillLine(downMinusUp, up, mid, down,
                            [](int32_t u, int32_t, int32_t d) { return d - u; });
                   const int32_t bytes = layerWidth * kBytesPerPixel;
                   const int32_t* sums = columnSum + kLinePadding;
                   const int32_t* diffs = downMinusUp + kLinePadding;
                   for (int32_t i = 0; i < bytes; ++i) {
                       const int32_t gx =
                           sums[i + kBytesPerPixel] - sums[i - kBytesPerPixel] + kEmbossBias;
                       const int32_t gy = diffs[i - kBytesPerPixel] + diffs[i] +
                                          diffs[i + kBytesPerPixel] + kEmbossBias;
                       out[i] = embossRoot(static_cast<uint32_t>(gx * gx + gy * gy));
                   }
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
    // Weights 1 2 1 down each column and across: they add up to 16.
    filterOneLine(src, dst, sum121,
                  [](int32_t l, int32_t c, int32_t r) { return sum121(l, c, r) >> 4; });
}

void sharpenLayer(int src, int dst) {
    // Diagonal neighbours come from the up+down line beside the pixel, the
    // orthogonal ones from the middle row beside it and up+down above it.
    Line& upPlusDown = workLines[0];
    Line& middle = workLines[1];
    filterRows(
        src, dst, [](const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint8_t* out) {
            fillLine(upPlusDown, up, mid, down,
                     [](int32_t u, int32_t, int32_t d) { return u + d; });
            fillLine(middle, up, mid, down, [](int32_t, int32_t m, int32_t) { return m; });
            const int32_t bytes = layerWidth * kBytesPerPixel;
            const int32_t* outer = upPlusDown + kLinePadding;
            const int32_t* row = middle + kLinePadding;
            for (int32_t i = 0; i < bytes; ++i) {
                const int32_t diagonal = outer[i - kBytesPerPixel] + outer[i + kBytesPerPixel];
                const int32_t orthogonal =
                    row[i - kBytesPerPixel] + row[i + kBytesPerPixel] + outer[i];
                out[i] = static_cast<uint8_t>(
                    clampChannel(((5 * row[i]) >> 1) - (diagonal >> 3) - (orthogonal >> 2)));
            }
        });
}

void edgeHLayer(int src, int dst) {
    // Row above minus row below, weighted 1 2 1 across.
    filterOneLine(
        src, dst, [](int32_t u, int32_t, int32_t d) { return u - d; },
        [](int32_t l, int32_t c, int32_t r) {
            return std::min(kMaxChannel, kEdgeGain * std::abs(sum121(l, c, r)));
        });
}

void edgeVLayer(int src, int dst) {
    // Left column minus right column, each weighted 1 2 1 down.
    filterOneLine(src, dst, sum121, [](int32_t l, int32_t, int32_t r) {
        return std::min(kMaxChannel, kEdgeGain * std::abs(l - r));
    });
}

void medianLayer(int src, int dst) {
    // With each column sorted, the median of the nine is the median of the
    // largest of the column minima, the median of the column medians and the
    // smallest of the column maxima.
    Line& lows = workLines[0];
    Line& middles = workLines[1];
    Line& highs = workLines[2];
    filterRows(src, dst,
               [](const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint8_t* out) {
                   fillLine(lows, up, mid, down, min3);
                   fillLine(middles, up, mid, down, median3);
                   fillLine(highs, up, mid, down, max3);
                   const int32_t bytes = layerWidth * kBytesPerPixel;
                   const int32_t* lo = lows + kLinePadding;
                   const int32_t* me = middles + kLinePadding;
                   const int32_t* hi = highs + kLinePadding;
                   constexpr int32_t k = kBytesPerPixel;
                   for (int32_t i = 0; i < bytes; ++i) {
                       out[i] = static_cast<uint8_t>(median3(max3(lo[i - k], lo[i], lo[i + k]),
                                                             median3(me[i - k], me[i], me[i + k]),
                                                             min3(hi[i - k], hi[i], hi[i + k])));
                   }
               });
}

void erodeLayer(int src, int dst) {
    filterOneLine(src, dst, min3, min3);
}

void dilateLayer(int src, int dst) {
    filterOneLine(src, dst, max3, max3);
}

void motionBlur(int src, int dst, int32_t reach) {
    // A negative reach is refused before the call; treat it as 0 here so the
    // divisor can never be zero.
    const int64_t n = std::max(reach, 0);
    const int64_t divisor = (n + 1) * (n + 1); // the sum of the triangular weights
    // The quotient is at most 255 and at least 1/divisor away from the next
    // integer, so the double division truncates to the integer quotient.
    const auto realDivisor = static_cast<double>(divisor);
    copyLayer(src, kScratchLayer);
    // The triangular sum slides along the row: moving right adds the pixels
    // right of the old centre and drops those from the left end to it, and
    // those two box sums slide by one pixel each. All sums are exact integers.
    const auto at = [](const uint8_t* row, int64_t x, int c) {
        return static_cast<int64_t>(row[(x & wrapMaskX) * kBytesPerPixel + c]);
    };
    for (int32_t y = 0; y < layerHeight; ++y) {
        const uint8_t* row = pixelAt(kScratchLayer, 0, y);
        uint8_t* out = pixelAt(dst, 0, y);
        for (int c = 0; c < kBytesPerPixel; ++c) {
            int64_t weighted = 0; // the triangular sum at x
            int64_t leftBox = 0;  // pixels x-n .. x
            int64_t rightBox = 0; // pixels x+1 .. x+n+1
            for (int64_t k = -n; k <= n; ++k)
                weighted += (n + 1 - (k < 0 ? -k : k)) * at(row, k, c);
            for (int64_t k = -n; k <= 0; ++k) leftBox += at(row, k, c);
            for (int64_t k = 1; k <= n + 1; ++k) rightBox += at(row, k, c);
            for (int64_t x = 0; x < layerWidth; ++x) {
                out[x * kBytesPerPixel + c] =
                    static_cast<uint8_t>(static_cast<double>(weighted) / realDivisor);
                weighted += rightBox - leftBox;
                leftBox += at(row, x + 1, c) - at(row, x - n, c);
                rightBox += at(row, x + n + 2, c) - at(row, x + 1, c);
            }
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
