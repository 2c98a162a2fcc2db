#include "images/hwl_rate.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "images/hwl_decoder.h"

namespace hwl {
namespace {

// Bits of a symbol and of a run (a run symbol, its high part and a value).
constexpr double kSymbolBits = 2.0;
constexpr double kRunSymbolBits = 4.0;

// Factors tried per band: the one that fits the band's largest magnitude,
// then finer ones that clip the largest few.
constexpr double kClipScales[] = {1.0, 0.8, 0.64, 0.51, 0.41, 0.33};
// Large bands compare the factors on a sample of about this many coefficients.
constexpr size_t kFactorSample = 8192;

// Coefficient indices of band `index` (0 .. levels: details of that step,
// levels + 1: the approximation), in array order.
void bandIndices(std::vector<uint32_t>& out, int width, int height, int levels, int index) {
    out.clear();
    if (index > levels) {
        for (int y = 0; y < height >> (levels + 1); ++y)
            for (int x = 0; x < width >> (levels + 1); ++x) out.push_back(uint32_t(y * width + x));
        return;
    }
    const int w = width >> index, h = height >> index;
    for (int y = 0; y < h; ++y)
        for (int x = y < h / 2 ? w / 2 : 0; x < w; ++x) out.push_back(uint32_t(y * width + x));
}

struct BandChoice {
    double factor = 0;
    double distortion = 0; // unweighted squared error
    double cost = 0;       // weighted error + lambda * bits saved against dropping
};

// The integer magnitude of `a` for `factor`, or 0 where keeping it is not
// worth `bitPrice`: the weighted error it removes must exceed it.
double keptMagnitude(double a, double zeroError, double factor, double step, double top,
                     double weight, double bitPrice, double& error) {
    const double q = std::fmin(std::nearbyint(a * factor), top);
    const double e = a - q * step;
    const bool kept = q > 0 && weight * (zeroError - e * e) > bitPrice;
    error = kept ? e * e : zeroError;
    return kept ? q : 0;
}

// Error and cost of one factor over every `stride`-th magnitude of a band.
BandChoice tryFactor(const std::vector<double>& magnitudes, const std::vector<double>& zeroError,
                     size_t stride, double factor, double top, double weight, double bitPrice) {
    const double step = 1.0 / factor;
    BandChoice choice{factor, 0, 0};
    size_t kept = 0;
    for (size_t i = 0; i < magnitudes.size(); i += stride) {
        double error = 0;
        kept += keptMagnitude(magnitudes[i], zeroError[i], factor, step, top, weight, bitPrice,
                              error) > 0;
        choice.distortion += error;
    }
    choice.cost = weight * choice.distortion + bitPrice * double(kept);
    return choice;
}

// Bits that `n` zeros in a row cost: runs where they are long enough (as
// the writer codes them), single zero symbols otherwise.
double zerosBits(uint64_t n, int valueBits) {
    const uint64_t threshold = uint64_t(valueBits + 4) / 2;
    const uint64_t longest = uint64_t(4) << valueBits;
    double bits = 0;
    while (n > 0) {
        const uint64_t further = std::min(n - 1, longest - 1);
        const bool run = further > threshold;
        bits += run ? kRunSymbolBits + valueBits : kSymbolBits;
        n -= run ? further + 1 : 1;
    }
    return bits;
}

// Drops, in array order, the kept coefficients whose error saving (`gain`)
// is not worth the bits they really cost between the zeros around them: a
// lone one among long runs costs its symbol and value and splits a run.
void dropCostly(int32_t* integers, const std::vector<double>& gain, size_t count, int valueBits,
                double lambda) {
    const double keptBits = kSymbolBits + valueBits;
    size_t previous = SIZE_MAX; // last kept, SIZE_MAX before the first
    size_t p = 0;
    while (p < count && integers[p] == 0) ++p;
    while (p < count) {
        size_t next = p + 1;
        while (next < count && integers[next] == 0) ++next;
        const uint64_t before = previous == SIZE_MAX ? p : p - previous - 1;
        const uint64_t after = next - p - 1;
        const double bits = zerosBits(before, valueBits) + keptBits + zerosBits(after, valueBits) -
                            zerosBits(before + after + 1, valueBits);
        if (gain[p] < lambda * bits) {
            integers[p] = 0;
        } else {
            previous = p;
        }
        p = next;
    }
}

// Error of writing detail `c` as zero where the decoder blends the pair
// towards its neighbours' low values. Blended, the two outputs miss by
// (0.2 (before - low) - c) and (0.2 (after - low) + c) over sqrt 2. The blend
// happens only where the neighbouring details are zero too and the coarser
// levels come out as the coefficients say, so the estimate lies half way
// between it and plain c^2 (on photographs, either end gives larger files).
double blendedZeroError(double c, double before, double low, double after) {
    const double even = 0.2 * (before - low) - c, odd = 0.2 * (after - low) + c;
    return 0.5 * (0.5 * (even * even + odd * odd) + c * c);
}

} // namespace

std::vector<double> zeroErrors(const double* plane, int width, int height, int levels) {
    const size_t count = size_t(width) * size_t(height);
    std::vector<double> errors(count);
    for (size_t i = 0; i < count; ++i) errors[i] = plane[i] * plane[i];
    // The approximation of each step, coarsest first, rebuilt by plain
    // synthesis from the coefficients (row stride `width`).
    std::vector<double> low(plane, plane + count), finer(count);
    for (int level = levels; level >= 0; --level) {
        const int w = width >> (level + 1), h = height >> (level + 1);
        auto at = [&](int y, int x) { return low[size_t(y) * width + x]; };
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                // Bottom-left: the vertical detail below low value (y, x).
                const size_t below = size_t(h + y) * width + x;
                if (y > 0 && y + 1 < h)
                    errors[below] =
                        blendedZeroError(plane[below], at(y - 1, x), at(y, x), at(y + 1, x));
                // Top-right: horizontal detail, blended along the row.
                const size_t right = size_t(y) * width + w + x;
                if (x > 0 && x + 1 < w)
                    errors[right] =
                        blendedZeroError(plane[right], at(y, x - 1), at(y, x), at(y, x + 1));
            }
        }
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const double a = at(y, x), tr = plane[size_t(y) * width + w + x];
                const double bl = plane[size_t(h + y) * width + x];
                const double br = plane[size_t(h + y) * width + w + x];
                finer[size_t(2 * y) * width + 2 * x] = 0.5 * (a + tr + bl + br);
                finer[size_t(2 * y) * width + 2 * x + 1] = 0.5 * (a - tr + bl - br);
                finer[size_t(2 * y + 1) * width + 2 * x] = 0.5 * (a + tr - bl - br);
                finer[size_t(2 * y + 1) * width + 2 * x + 1] = 0.5 * (a - tr - bl + br);
            }
        }
        for (int y = 0; y < 2 * h; ++y)
            std::copy_n(finer.begin() + ptrdiff_t(y) * width, 2 * w,
                        low.begin() + ptrdiff_t(y) * width);
    }
    return errors;
}

double planeErrorWeight(int plane, bool grey) {
    if (grey) return 1.0;
    double yuv[3] = {0, 0, 0};
    yuv[plane] = 1;
    yuvToRgb(&yuv[0], &yuv[1], &yuv[2], 1); // in place: R, G, B
    return yuv[0] * yuv[0] + yuv[1] * yuv[1] + yuv[2] * yuv[2];
}

void quantisePlaneRd(const double* plane, const double* zeroError, int32_t* integers, int width,
                     int height, int levels, int valueBits, double weight, double lambda,
                     double* table) {
    const double top = double((1 << valueBits) - 1);
    // A kept coefficient costs at least its value: where its neighbours are
    // kept too, a zero symbol would have cost as much as its own symbol.
    const double bitPrice = lambda * valueBits;
    std::vector<double> gain(size_t(width) * size_t(height), 0.0);
    std::vector<uint32_t> indices;
    std::vector<double> magnitudes, zeros;
    for (int index = 0; index <= levels + 1; ++index) {
        bandIndices(indices, width, height, levels, index);
        magnitudes.resize(indices.size());
        zeros.resize(indices.size());
        double largest = 0;
        const size_t stride = std::max<size_t>(1, indices.size() / kFactorSample);
        double dropped = 0; // every coefficient zero, table entry 0
        for (size_t i = 0; i < indices.size(); ++i) {
            magnitudes[i] = std::fabs(plane[indices[i]]);
            zeros[i] = zeroError[indices[i]];
            largest = std::fmax(largest, magnitudes[i]);
            if (i % stride == 0) dropped += zeros[i];
        }
        BandChoice best{0, dropped, weight * dropped};
        if (largest > 0 && top > 0) {
            for (double scale : kClipScales) {
                const BandChoice choice = tryFactor(magnitudes, zeros, stride,
                                                    top / (largest * scale), top, weight, bitPrice);
                if (choice.cost < best.cost) best = choice;
            }
        }
        table[index] = best.factor;
        const double step = best.factor > 0 ? 1.0 / best.factor : 0;
        for (size_t i = 0; i < indices.size(); ++i) {
            double error = 0;
            const double q = keptMagnitude(magnitudes[i], zeros[i], best.factor, step, top, weight,
                                           bitPrice, error);
            integers[indices[i]] = int32_t(plane[indices[i]] < 0 ? -q : q);
            if (q > 0) gain[indices[i]] = weight * (zeros[i] - error);
        }
    }
    dropCostly(integers, gain, gain.size(), valueBits, lambda);
}

} // namespace hwl
