// HWL encoder stages. There is no single "encode" call: a tool runs
//   colour: forwardHaarColour, [thresholdDetails per plane], quantisePlanes,
//           writeHwlFile / writeHwlStream with 24 bits per pixel
//   grey:   forwardHaar, [thresholdDetails], quantisePlane, a writer with 8
// and chooses the level count L, the value widths and the threshold.
// W and H must be multiples of 2^(L+1), L <= 16 and widths <= 8; the
// writers check this and refuse anything the decoder could not read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "images/hwl_format.h"

namespace hwl {

// True when width x height fits L + 1 halvings (multiples of 2^(L+1)).
bool sizeFitsLevels(int width, int height, int levels);

// L + 1 analysis steps on the region w x h of a plane with row stride
// `stride`, finest first. `source` is left unchanged; `destination` may not
// alias it. Each step: horizontal pass then vertical pass, sums in the low
// half, differences (first minus second sample) in the high half, times
// 1/sqrt(2).
void forwardHaar(const double* source, double* destination, int width, int height, int stride,
                 int levels);

// R, G, B (0..255) -> Y, U, V, then forwardHaar of each into y, u, v.
void forwardHaarColour(const double* r, const double* g, const double* b, double* y, double* u,
                       double* v, int width, int height, int stride, int levels);

// Zeroes every non-zero detail coefficient whose magnitude is at most
// `threshold`; the approximation band is never touched. Returns the count.
uint64_t thresholdDetails(double* plane, double threshold, int width, int height, int levels);

// Band-wise quantisation: each band's largest magnitude maps to 2^b - 1,
// rounded half to even. Writes table[0 .. levels + 1].
void quantisePlane(const double* plane, int32_t* integers, int width, int height, int levels,
                   int valueBits, double* table);

uint64_t countZeros(const int32_t* plane, int width, int height);

// Number of further zeros after the zero at `p` that a run may cover: at
// most 2^(b+2) - 1, never including the plane's last coefficient.
uint32_t zeroRunLength(const int32_t* plane, uint64_t p, uint64_t count, int valueBits);

// Integer plane -> one symbol per byte and one value per byte (low 8 bits).
// `symbols` and `values` must hold width*height bytes each.
void symboliseCoefficients(const int32_t* plane, uint8_t* symbols, uint64_t& symbolCount,
                           uint8_t* values, uint64_t& valueCount, int width, int height,
                           int valueBits);

// What the writers need: the integer planes, their tables and value widths.
struct HwlEncodedImage {
    int width = 0;
    int height = 0;
    int bitsPerPixel = kColourBitsPerPixel; // 8 or 24
    int levels = 0;
    const int32_t* planes[kMaxPlanes] = {};
    const double* tables[kMaxPlanes] = {};
    int valueBits[kMaxPlanes] = {};
};

// Writes the whole file (creates or truncates it).
HwlError writeHwlFile(const std::string& fileName, const HwlEncodedImage& image);
// Writes the same bytes at the stream's current position; for colour images
// the stream must be at its start, since the header is rewritten at the end.
HwlError writeHwlStream(std::FILE* stream, const HwlEncodedImage& image);
// Convenience for tools and tests: the file's bytes in memory.
HwlError writeHwlMemory(std::vector<uint8_t>& bytes, const HwlEncodedImage& image);

} // namespace hwl
