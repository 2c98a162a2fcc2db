// Inverse Haar synthesis with the format's smoothing rule for zero details.
//
// Each step undoes one analysis step: a vertical pass (pairs of rows) into a
// temporary, then a horizontal pass (pairs of columns) back into the plane.
// The format defines the result with two full-size temporaries per step; one
// region-sized temporary gives the same doubles, since every output depends
// only on the pass's input.
//
// Pair rule for a line of n pairs (L_k, H_k) -> outputs o[2k], o[2k+1]:
//   boundary pairs (k = 0, k = n-1) and pairs with H_k != 0 are plain Haar:
//     o[2k] = g(L+H), o[2k+1] = g(L-H)
//   an interior pair with H_k == 0 blends towards its neighbour on a ramp:
//     even: g(0.8 L_k + 0.2 L_k-1) if H_k-1 == 0, L_k+1 != L_k and
//           (k == n-2 or L_k+2 != L_k+1), else g L_k
//     odd:  g(0.8 L_k + 0.2 L_k+1) if H_k+1 == 0, L_k-1 != L_k and
//           (k == 1 or L_k-2 != L_k-1), else g L_k
// The asymmetry (the even output looks ahead, the odd one behind) is part of
// the format; every comparison is exact.
#include <cstddef>

#include "images/hwl_decoder.h"

namespace hwl {
namespace {

constexpr double kInvSqrt2 = 0.7071067811865476; // bit pattern 0x3FE6A09E667F3BCD
constexpr double kBlendOwn = 0.8;
constexpr double kBlendNeighbour = 0.2;

// One interior pair; `first` is k == 1, `last` is k == n - 2.
inline void interiorPair(double lowBefore2, double lowBefore, double low, double lowAfter,
                         double lowAfter2, double highBefore, double high, double highAfter,
                         bool first, bool last, double& even, double& odd) {
    if (high != 0.0) {
        even = kInvSqrt2 * (low + high);
        odd = kInvSqrt2 * (low - high);
        return;
    }
    const bool blendEven = highBefore == 0.0 && lowAfter != low && (last || lowAfter2 != lowAfter);
    const bool blendOdd =
        highAfter == 0.0 && lowBefore != low && (first || lowBefore2 != lowBefore);
    even =
        blendEven ? kInvSqrt2 * (kBlendOwn * low + kBlendNeighbour * lowBefore) : kInvSqrt2 * low;
    odd = blendOdd ? kInvSqrt2 * (kBlendOwn * low + kBlendNeighbour * lowAfter) : kInvSqrt2 * low;
}

inline void boundaryPair(double low, double high, double& even, double& odd) {
    even = kInvSqrt2 * (low + high);
    odd = kInvSqrt2 * (low - high);
}

// Horizontal pass over one line: low[0..n), high[0..n) -> out[0..2n).
void synthesiseLine(const double* low, const double* high, double* out, int n) {
    boundaryPair(low[0], high[0], out[0], out[1]);
    for (int k = 1; k < n - 1; ++k) {
        const bool first = k == 1;
        const bool last = k == n - 2;
        const double before2 = first ? 0.0 : low[k - 2];
        const double after2 = last ? 0.0 : low[k + 2];
        interiorPair(before2, low[k - 1], low[k], low[k + 1], after2, high[k - 1], high[k],
                     high[k + 1], first, last, out[2 * k], out[2 * k + 1]);
    }
    if (n > 1) boundaryPair(low[n - 1], high[n - 1], out[2 * n - 2], out[2 * n - 1]);
}

// Vertical pass: rows k and hh + k of the region of `plane` give rows 2k and
// 2k + 1 of `out` (stride w). All columns of a row pair go together, so the
// inner loop runs along memory.
void synthesiseColumns(const double* plane, int stride, int w, int h, double* out) {
    const int n = h / 2;
    auto lowRow = [&](int k) { return plane + static_cast<ptrdiff_t>(k) * stride; };
    auto highRow = [&](int k) { return plane + static_cast<ptrdiff_t>(n + k) * stride; };
    for (int k = 0; k < n; ++k) {
        double* even = out + static_cast<ptrdiff_t>(2 * k) * w;
        double* odd = even + w;
        const double* low = lowRow(k);
        const double* high = highRow(k);
        if (k == 0 || k == n - 1) {
            for (int x = 0; x < w; ++x) boundaryPair(low[x], high[x], even[x], odd[x]);
            continue;
        }
        const bool first = k == 1;
        const bool last = k == n - 2;
        // Rows the flags make irrelevant still need a valid address.
        const double* lowBefore2 = first ? low : lowRow(k - 2);
        const double* lowAfter2 = last ? low : lowRow(k + 2);
        const double* lowBefore = lowRow(k - 1);
        const double* lowAfter = lowRow(k + 1);
        const double* highBefore = highRow(k - 1);
        const double* highAfter = highRow(k + 1);
        for (int x = 0; x < w; ++x) {
            interiorPair(lowBefore2[x], lowBefore[x], low[x], lowAfter[x], lowAfter2[x],
                         highBefore[x], high[x], highAfter[x], first, last, even[x], odd[x]);
        }
    }
}

// Undoes one step on the region w x h: plane (stride) -> temp -> destination.
void inverseStep(const double* source, double* destination, int w, int h, int stride,
                 double* temp) {
    synthesiseColumns(source, stride, w, h, temp);
    const int half = w / 2;
    for (int y = 0; y < h; ++y) {
        const double* row = temp + static_cast<ptrdiff_t>(y) * w;
        synthesiseLine(row, row + half, destination + static_cast<ptrdiff_t>(y) * stride, half);
    }
}

} // namespace

void inverseHaar(double* source, double* destination, int width, int height, int stride, int levels,
                 double* temp) {
    if (width < 2 || height < 2) return;
    // Coarsest step first; the coarser steps work in place in the source.
    for (int level = levels; level >= 1; --level) {
        inverseStep(source, source, width >> level, height >> level, stride, temp);
    }
    inverseStep(source, destination, width, height, stride, temp);
}

} // namespace hwl
