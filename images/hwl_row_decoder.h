// The decoder's fast path after the symbol walk: integer coefficients to
// pixels, a pair of output rows at a time.
//
// Each inverse Haar step is a stage that hands its parent the next pair of
// rows on request: it keeps a few dequantised rows of its own band in small
// rings, asks the next coarser stage for the low rows it needs, and runs the
// vertical then the horizontal pass on just those rows. The finest stage's
// rows of all planes go straight through the colour conversion to bytes. So
// nothing of plane size is ever held in doubles, every row is touched while
// it is in cache, and the result is the whole-plane transform's, double for
// double (the same kernels run on the same inputs).
#pragma once

#include <cstdint>
#include <memory>

#include "images/hwl_format.h"

namespace hwl {

// The integer coefficients of a file's planes (W*H each, row-major) as the
// symbol walk left them, in bytes when every value width is at most 7 bits
// and in 16-bit integers otherwise.
struct CoefficientPlanes {
    int width = 0;
    int height = 0;
    int levels = 0;
    int planeCount = 0;
    const int8_t* narrow[kMaxPlanes] = {};
    const int16_t* wide[kMaxPlanes] = {};
    const double (*tables)[kMaxTableEntries] = nullptr;
};

struct RowDecoderStages;

// One thread's walk down a range of output rows. Start it at a pair of
// rows, then ask for the following pairs in order; another decoder started
// elsewhere in the same image may run beside it on another thread.
struct RowDecoder {
    CoefficientPlanes planes;
    int nextPair = 0; // rows 2 * nextPair and 2 * nextPair + 1 come next
    std::unique_ptr<double[]> rows;
    std::unique_ptr<RowDecoderStages> stages;
    double* out[kMaxPlanes][2] = {};

    RowDecoder();
    ~RowDecoder();
};

// Sets the decoder up (its buffers are a few rows per step and plane) so
// that its next pair is `firstPair`. The planes must outlive it.
void startRowDecoder(RowDecoder& decoder, const CoefficientPlanes& planes, int firstPair);

// The next `pairs` pairs of output rows into `pixels`, back to back: grey
// bytes for one plane, blue, green, red, 0 for three.
void decodeRowPairs(RowDecoder& decoder, int pairs, uint8_t* pixels);

} // namespace hwl
