#include "images/hwl_row_decoder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

#include "images/hwl_pixels.h"
#include "images/hwl_synthesis.h"
#include "platform/vector_clones.h"

namespace hwl {
namespace {

// Pair k of a step reads low rows k-2 .. k+2 and high rows k-1 .. k+1; a
// coarser stage delivers low rows two at a time, so up to six low rows are
// live. Rings of eight and four rows hold them.
constexpr int kLowRing = 8;
constexpr int kHighRing = 4;
constexpr int kRowsPerStage = kLowRing + kHighRing + 2; // + the vertical pass's two rows

// One inverse step of one plane. Its region is the top-left w x 2n of the
// plane; its band's coefficients are read straight from the integer plane.
// The next coarser step is the stage after it in its plane's array.
struct Stage {
    const int8_t* narrow = nullptr; // the plane, one of the two
    const int16_t* wide = nullptr;
    ptrdiff_t stride = 0;
    int w = 0;               // region width
    int n = 0;               // pairs: region height / 2
    bool coarsest = false;   // the approximation band sits in its low rows
    double approxFactor = 0; // the approximation band's factor
    double detailFactor = 0;
    double* low = nullptr;
    double* high = nullptr;
    double* vertical = nullptr;
    int nextLow = 0;
    int nextHigh = 0;
};

double* lowRow(Stage& s, int r) {
    return s.low + ptrdiff_t(r % kLowRing) * s.w;
}
double* highRow(Stage& s, int r) {
    return s.high + ptrdiff_t(r % kHighRing) * s.w;
}

// Function templates cannot take target clones with every compiler: one
// function per width.
VECTOR_CLONES void dequantiseSpan(const int8_t* in, double* out, int count, double factor) {
    for (int x = 0; x < count; ++x) out[x] = double(in[x]) * factor;
}

VECTOR_CLONES void dequantiseSpan(const int16_t* in, double* out, int count, double factor) {
    for (int x = 0; x < count; ++x) out[x] = double(in[x]) * factor;
}

// Columns x .. x + count of plane row y, times `factor`, into `out`.
void dequantise(const Stage& s, int y, int x, int count, double factor, double* out) {
    const ptrdiff_t at = y * s.stride + x;
    if (s.narrow)
        dequantiseSpan(s.narrow + at, out, count, factor);
    else
        dequantiseSpan(s.wide + at, out, count, factor);
}

void producePair(Stage* s, int k, double* even, double* odd);

// Brings in low row nextLow: from the coarser stage (two rows at once) on
// its left half, from this band's top-right quarter on its right half.
void loadLow(Stage* s) {
    const int r = s->nextLow;
    const int half = s->w / 2;
    if (s->coarsest) {
        dequantise(*s, r, 0, half, s->approxFactor, lowRow(*s, r));
        dequantise(*s, r, half, half, s->detailFactor, lowRow(*s, r) + half);
        s->nextLow += 1;
        return;
    }
    producePair(s + 1, r / 2, lowRow(*s, r), lowRow(*s, r + 1));
    dequantise(*s, r, half, half, s->detailFactor, lowRow(*s, r) + half);
    dequantise(*s, r + 1, half, half, s->detailFactor, lowRow(*s, r + 1) + half);
    s->nextLow += 2;
}

void loadHigh(Stage* s) {
    const int r = s->nextHigh++;
    dequantise(*s, s->n + r, 0, s->w, s->detailFactor, highRow(*s, r));
}

// Output rows 2k and 2k + 1 of this step (w doubles each). Pairs come in
// increasing order from where the stage was started.
void producePair(Stage* s, int k, double* even, double* odd) {
    while (s->nextLow <= std::min(k + 2, s->n - 1)) loadLow(s);
    while (s->nextHigh <= std::min(k + 1, s->n - 1)) loadHigh(s);
    Stage& t = *s;
    const PairRows rows = pairRowsAt(
        k, t.n, [&t](int r) { return lowRow(t, r); }, [&t](int r) { return highRow(t, r); });
    double* verticalOdd = t.vertical + t.w;
    synthesiseRowPair(rows, k, t.n, t.w, t.vertical, verticalOdd);
    const int half = t.w / 2;
    synthesiseLine(t.vertical, t.vertical + half, even, half);
    synthesiseLine(verticalOdd, verticalOdd + half, odd, half);
}

// Positions the stage (and its coarser ones) so that its next pair is
// `firstPair`: the rows loaded before it are the ones that pair reads.
void startStage(Stage* s, int firstPair) {
    s->nextLow = std::max(0, firstPair - 2);
    s->nextHigh = std::max(0, firstPair - 1);
    if (s->coarsest) return;
    s->nextLow &= ~1; // coarser rows come in pairs
    startStage(s + 1, s->nextLow / 2);
}

// Four pixels at a time in vector lanes: the same IEEE operations in the
// same order as bgrPixel, lane by lane, so the same bytes. Always inlined:
// no vector value crosses a call.
#pragma GCC diagnostic ignored "-Wpsabi"
typedef double Lanes __attribute__((vector_size(32)));
typedef int32_t LaneInts __attribute__((vector_size(16)));
constexpr int kLaneCount = 4;

__attribute__((always_inline)) inline Lanes lanesAt(const double* row) {
    Lanes v;
    std::memcpy(&v, row, sizeof v);
    return v;
}

// toByte on four lanes (the 0 .. 255 integer, not yet narrowed).
__attribute__((always_inline)) inline LaneInts lanesToBytes(Lanes x) {
    const Lanes zero = {0.0, 0.0, 0.0, 0.0};
    const Lanes top = {kMaxChannel, kMaxChannel, kMaxChannel, kMaxChannel};
    x = x > zero ? x : zero;
    x = x < top ? x : top;
    return __builtin_convertvector((x + kRoundingMagic) - kRoundingMagic, LaneInts);
}

// Pixels x .. x + 3 of a row. Pointers in, bytes out: no vector value
// crosses into the target clones below.
__attribute__((always_inline)) inline void bgrLanes(const double* y, const double* u,
                                                    const double* v, uint8_t* out) {
    const Lanes ly = lanesAt(y), lu = lanesAt(u), lv = lanesAt(v);
    const Lanes red = ly + kRedFromV * lv;
    const Lanes blue = ly + kBlueFromU * lu;
    const Lanes green = (ly - kLumaRed * red - kLumaBlue * blue) * kGreenScale;
    const LaneInts pixels = lanesToBytes(blue) | lanesToBytes(green) << 8 | lanesToBytes(red) << 16;
    std::memcpy(out, &pixels, sizeof pixels);
}

VECTOR_CLONES void bgrRow(const double* y, const double* u, const double* v, uint8_t* out,
                          int count) {
    int x = 0;
    for (; x + kLaneCount <= count; x += kLaneCount) bgrLanes(y + x, u + x, v + x, out + 4 * x);
    for (; x < count; ++x) {
        const uint32_t pixel = bgrPixel(y[x], u[x], v[x]);
        std::memcpy(out + 4 * x, &pixel, sizeof pixel);
    }
}

VECTOR_CLONES void greyRow(const double* y, uint8_t* out, int count) {
    for (int x = 0; x < count; ++x) out[x] = toByte(y[x]);
}

} // namespace

struct RowDecoderStages {
    Stage plane[kMaxPlanes][kMaxLevels + 1];
};

RowDecoder::RowDecoder() = default;
RowDecoder::~RowDecoder() = default;

void startRowDecoder(RowDecoder& decoder, const CoefficientPlanes& planes, int firstPair) {
    decoder.planes = planes;
    decoder.nextPair = firstPair;
    const int width = planes.width, levels = planes.levels;
    // Every stage's rows and two output rows per plane, in one block.
    size_t doubles = 0;
    for (int level = 0; level <= levels; ++level) doubles += size_t(width >> level) * kRowsPerStage;
    doubles = (doubles + 2 * size_t(width)) * planes.planeCount;
    decoder.rows.reset(new double[doubles]);
    decoder.stages.reset(new RowDecoderStages);
    double* cursor = decoder.rows.get();
    auto take = [&cursor](size_t count) {
        double* start = cursor;
        cursor += count;
        return start;
    };
    for (int p = 0; p < planes.planeCount; ++p) {
        for (int level = 0; level <= levels; ++level) {
            Stage& s = decoder.stages->plane[p][level];
            s = Stage{};
            s.narrow = planes.narrow[p];
            s.wide = planes.wide[p];
            s.stride = width;
            s.w = width >> level;
            s.n = (planes.height >> level) / 2;
            s.coarsest = level == levels;
            s.detailFactor = bandFactor(planes.tables[p][level]);
            s.approxFactor = bandFactor(planes.tables[p][levels + 1]);
            s.low = take(size_t(s.w) * kLowRing);
            s.high = take(size_t(s.w) * kHighRing);
            s.vertical = take(size_t(s.w) * 2);
        }
        startStage(decoder.stages->plane[p], firstPair);
        decoder.out[p][0] = take(width);
        decoder.out[p][1] = take(width);
    }
}

void decodeRowPairs(RowDecoder& decoder, int pairs, uint8_t* pixels) {
    const CoefficientPlanes& planes = decoder.planes;
    const int width = planes.width;
    const size_t rowBytes = size_t(width) * (planes.planeCount == 1 ? 1 : 4);
    for (int i = 0; i < pairs; ++i, ++decoder.nextPair) {
        for (int p = 0; p < planes.planeCount; ++p)
            producePair(decoder.stages->plane[p], decoder.nextPair, decoder.out[p][0],
                        decoder.out[p][1]);
        for (int half = 0; half < 2; ++half) {
            uint8_t* row = pixels + (2 * size_t(i) + half) * rowBytes;
            if (planes.planeCount == 1)
                greyRow(decoder.out[0][half], row, width);
            else
                bgrRow(decoder.out[0][half], decoder.out[1][half], decoder.out[2][half], row,
                       width);
        }
    }
}

} // namespace hwl
