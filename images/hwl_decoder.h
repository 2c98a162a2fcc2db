// HWL decoder: file -> grey bytes (8-bit files) or blue, green, red, 0
// pixels (24-bit files), row-major, row 0 first.
//
// Stages: header; symbol and value streams to integer coefficients;
// dequantisation; multi-level inverse Haar with a smoothing rule for zero
// details; colour conversion; clamp and round half to even to bytes.
// The output is bit for bit the one the format defines, for every valid file;
// invalid files (truncated, inconsistent sizes or streams, too large) give an
// error value and never touch memory outside their buffers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "images/hwl_format.h"
#include "images/hwl_streams.h"

namespace hwl {

// Largest image the decoder accepts: 8192 x 8192 pixels. A header may claim
// 65535 x 65535 in a few bytes of runs; refusing it keeps a hostile file from
// making us allocate tens of gigabytes.
constexpr uint64_t kMaxPixelCount = uint64_t(1) << 26;

// Decodes the file `fileName`. Fills `header`; when `allocate` is true,
// resizes `pixels` to W*H (8-bit) or 4*W*H (24-bit) bytes, otherwise the
// caller must have sized it. For a bits-per-pixel value other than 8 or 24
// only the header is read, `pixels` is left as it was and the result is Ok:
// the caller looks at the header and decides.
HwlError decodeHwl(std::vector<uint8_t>& pixels, HwlHeader& header, const std::string& fileName,
                   bool allocate);

// The same from a file already in memory; `name` only labels error messages.
HwlError decodeHwlMemory(std::vector<uint8_t>& pixels, HwlHeader& header, const uint8_t* data,
                         size_t size, bool allocate, const std::string& name = "");

// Receives decoded rows firstRow .. firstRow + rowCount - 1, back to back in
// the layout decodeHwl gives. Bands of rows are decoded on several threads
// at once, so the sink is called concurrently for different rows, in no
// particular order; the pixels are valid only during the call.
using RowSink = std::function<void(int firstRow, int rowCount, const uint8_t* pixels)>;

// Decodes file bytes in memory a few rows at a time, never holding the
// whole image: for writing a large picture out without a buffer of its size.
// Bits per pixel other than 8 or 24: only the header is read, as above.
HwlError decodeHwlRows(HwlHeader& header, const uint8_t* data, size_t size, const RowSink& sink,
                       const std::string& name = "");

// Reads exactly the first 36 bytes of the file into `header`.
HwlError readHwlHeader(const std::string& fileName, HwlHeader& header);

// Integer coefficients and quantisation tables of the planes of a file.
struct HwlPlanes {
    HwlHeader header{};
    int planeCount = 0;
    std::vector<int32_t> coefficients[kMaxPlanes]; // W*H each
    double tables[kMaxPlanes][kMaxTableEntries] = {};
};

// Reads and expands every plane of the file (stages up to expandSymbols).
HwlError readHwlPlanes(const std::string& fileName, HwlPlanes& planes);
// The same from bytes in memory positioned at the header.
HwlError readHwlPlanesFromStream(const uint8_t* data, size_t size, HwlPlanes& planes,
                                 const std::string& name = "");

// Walks unpacked symbols (one per byte) and values (one per element) into
// `plane` (width*height). Stops when the plane is full or the streams run
// out; a run that passes the end of the plane is cut there. Coefficients the
// streams never reach are left as they were.
ExpandResult expandSymbols(int32_t* plane, const uint8_t* symbols, uint64_t symbolCount,
                           const uint8_t* values, uint64_t valueCount, int width, int height,
                           int valueBits);

// Integer plane -> real plane, band by band: coefficient * (1 / table[band]),
// or 0 for a table entry of exactly 0.
void dequantisePlane(const int32_t* plane, double* real, int width, int height, int levels,
                     const double* table);

// Undoes levels + 1 Haar analysis steps. `source` holds the real
// coefficients with row stride `stride`; the coarser steps are undone in
// place in `source`, the finest step writes `destination` (may equal
// `source`). `temp` must hold width*height doubles.
void inverseHaar(double* source, double* destination, int width, int height, int stride, int levels,
                 double* temp);

// Y, U, V (reconstructed) -> R, G, B in place: planes[0..2] become R, G, B.
void yuvToRgb(double* y, double* u, double* v, size_t count);

// Channel value -> byte: <= 0 gives 0, >= 255 gives 255, otherwise rounded
// half to even. NaN gives 0.
uint8_t channelToByte(double x);

void planeToGrey(const double* plane, uint8_t* pixels, size_t count);
void planesToBgr(const double* r, const double* g, const double* b, uint8_t* pixels, size_t count);

} // namespace hwl
