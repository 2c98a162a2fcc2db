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
#include <cstdint>
#include <cstring>

#include "images/hwl_decoder.h"
#include "images/hwl_synthesis.h"
#include "platform/vector_clones.h"

namespace hwl {
namespace {

constexpr double kInvSqrt2 = 0.7071067811865476; // bit pattern 0x3FE6A09E667F3BCD
constexpr double kBlendOwn = 0.8;
constexpr double kBlendNeighbour = 0.2;

// One interior pair; `first` is k == 1, `last` is k == n - 2. Every
// candidate is computed and then selected, without branches, so the loops
// over whole rows vectorise; the selected doubles are the same either way.
inline void interiorPair(double lowBefore2, double lowBefore, double low, double lowAfter,
                         double lowAfter2, double highBefore, double high, double highAfter,
                         bool first, bool last, double& even, double& odd) {
    const double plainEven = kInvSqrt2 * (low + high);
    const double plainOdd = kInvSqrt2 * (low - high);
    const double flat = kInvSqrt2 * low;
    const double towardsBefore = kInvSqrt2 * (kBlendOwn * low + kBlendNeighbour * lowBefore);
    const double towardsAfter = kInvSqrt2 * (kBlendOwn * low + kBlendNeighbour * lowAfter);
    const bool blendEven =
        (highBefore == 0.0) & (lowAfter != low) & (last | (lowAfter2 != lowAfter));
    const bool blendOdd =
        (highAfter == 0.0) & (lowBefore != low) & (first | (lowBefore2 != lowBefore));
    const bool plain = high != 0.0;
    even = plain ? plainEven : (blendEven ? towardsBefore : flat);
    odd = plain ? plainOdd : (blendOdd ? towardsAfter : flat);
}

inline void boundaryPair(double low, double high, double& even, double& odd) {
    even = kInvSqrt2 * (low + high);
    odd = kInvSqrt2 * (low - high);
}

// Four doubles processed as one; GCC and Clang lower this to whatever
// vector width the target has (two SSE2 registers on baseline x86-64).
// Lane-wise arithmetic and selection give exactly the scalar doubles.
// The lane helpers are always inlined, so no vector value crosses a call and
// the ABI note GCC gives for 32-byte vectors without AVX does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"
typedef double Lanes __attribute__((vector_size(32)));
typedef int64_t LaneMask __attribute__((vector_size(32)));
constexpr int kLaneCount = 4;

__attribute__((always_inline)) inline Lanes lanesAt(const double* row, int x) {
    Lanes v;
    std::memcpy(&v, row + x, sizeof v);
    return v;
}

// The interior pair rule on columns x .. x + 3, the same selections as
// interiorPair. Always inlined: vector values never cross a call.
__attribute__((always_inline)) inline void interiorLanes(const PairRows& r, int x,
                                                         const LaneMask& first,
                                                         const LaneMask& last, Lanes& even,
                                                         Lanes& odd) {
    const Lanes zero = {};
    const Lanes low = lanesAt(r.low, x), high = lanesAt(r.high, x);
    const Lanes lowBefore = lanesAt(r.lowBefore, x), lowAfter = lanesAt(r.lowAfter, x);
    const Lanes plainEven = kInvSqrt2 * (low + high);
    const Lanes plainOdd = kInvSqrt2 * (low - high);
    const Lanes flat = kInvSqrt2 * low;
    const Lanes towardsBefore = kInvSqrt2 * (kBlendOwn * low + kBlendNeighbour * lowBefore);
    const Lanes towardsAfter = kInvSqrt2 * (kBlendOwn * low + kBlendNeighbour * lowAfter);
    const LaneMask blendEven = (lanesAt(r.highBefore, x) == zero) & (lowAfter != low) &
                               (last | (lanesAt(r.lowAfter2, x) != lowAfter));
    const LaneMask blendOdd = (lanesAt(r.highAfter, x) == zero) & (lowBefore != low) &
                              (first | (lanesAt(r.lowBefore2, x) != lowBefore));
    const LaneMask plain = high != zero;
    even = plain ? plainEven : (blendEven ? towardsBefore : flat);
    odd = plain ? plainOdd : (blendOdd ? towardsAfter : flat);
}

} // namespace

// Pairs 2 .. n-3 go four at a time; their neighbours are plain loads at
// k - 2 .. k + 2, and the outputs are interleaved even, odd.
VECTOR_CLONES void synthesiseLine(const double* low, const double* high, double* out, int n) {
    boundaryPair(low[0], high[0], out[0], out[1]);
    if (n == 1) return;
    auto scalarPair = [&](int k) {
        const bool first = k == 1;
        const bool last = k == n - 2;
        interiorPair(first ? 0.0 : low[k - 2], low[k - 1], low[k], low[k + 1],
                     last ? 0.0 : low[k + 2], high[k - 1], high[k], high[k + 1], first, last,
                     out[2 * k], out[2 * k + 1]);
    };
    int k = 1;
    if (k < n - 1) scalarPair(k++);
    const LaneMask none = {};
    [[maybe_unused]] const LaneMask evenFirst = {0, 4, 1, 5};
    [[maybe_unused]] const LaneMask evenSecond = {2, 6, 3, 7};
    for (; k + kLaneCount <= n - 2; k += kLaneCount) {
        const PairRows rows = {low - 2, low - 1, low, low + 1, low + 2, high - 1, high, high + 1};
        Lanes e, o;
        interiorLanes(rows, k, none, none, e, o);
#if defined(__clang__)
        const Lanes a = __builtin_shufflevector(e, o, 0, 4, 1, 5);
        const Lanes b = __builtin_shufflevector(e, o, 2, 6, 3, 7);
#else
        const Lanes a = __builtin_shuffle(e, o, evenFirst);
        const Lanes b = __builtin_shuffle(e, o, evenSecond);
#endif
        std::memcpy(out + 2 * k, &a, sizeof a);
        std::memcpy(out + 2 * k + kLaneCount, &b, sizeof b);
    }
    for (; k < n - 1; ++k) scalarPair(k);
    boundaryPair(low[n - 1], high[n - 1], out[2 * n - 2], out[2 * n - 1]);
}

// All columns of a row pair go together, so the inner loop runs along memory.
VECTOR_CLONES void synthesiseRowPair(const PairRows& rows, int k, int n, int w, double* even,
                                     double* odd) {
    const double* low = rows.low;
    const double* high = rows.high;
    if (k == 0 || k == n - 1) {
        for (int x = 0; x < w; ++x) boundaryPair(low[x], high[x], even[x], odd[x]);
        return;
    }
    const bool first = k == 1;
    const bool last = k == n - 2;
    const LaneMask firstMask = LaneMask{} - int64_t(first);
    const LaneMask lastMask = LaneMask{} - int64_t(last);
    int x = 0;
    for (; x + kLaneCount <= w; x += kLaneCount) {
        Lanes e, o;
        interiorLanes(rows, x, firstMask, lastMask, e, o);
        std::memcpy(even + x, &e, sizeof e);
        std::memcpy(odd + x, &o, sizeof o);
    }
    for (; x < w; ++x) {
        interiorPair(rows.lowBefore2[x], rows.lowBefore[x], low[x], rows.lowAfter[x],
                     rows.lowAfter2[x], rows.highBefore[x], high[x], rows.highAfter[x], first, last,
                     even[x], odd[x]);
    }
}

namespace {

// Vertical pass over a region: rows k and hh + k of `plane` (stride) give
// rows 2k and 2k + 1 of `out` (stride w).
void synthesiseColumns(const double* plane, int stride, int w, int h, double* out) {
    const int n = h / 2;
    auto lowRow = [&](int k) { return plane + static_cast<ptrdiff_t>(k) * stride; };
    auto highRow = [&](int k) { return plane + static_cast<ptrdiff_t>(n + k) * stride; };
    for (int k = 0; k < n; ++k) {
        double* even = out + static_cast<ptrdiff_t>(2 * k) * w;
        synthesiseRowPair(pairRowsAt(k, n, lowRow, highRow), k, n, w, even, even + w);
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
