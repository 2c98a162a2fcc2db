// HWL image format: constants, the 36-byte header and the error value that
// every codec operation returns.
//
// File layout (all integers little-endian, no padding):
//   header (36 bytes)
//   quantisation tables: per plane (levels + 2) doubles, all planes first
//   per plane: symbol stream (2-bit symbols, 4 per byte, first in bits 0-1)
//              value stream (b-bit magnitudes, LSB first, may straddle bytes)
// A grey file has one plane (8 bits per pixel), a colour file three (24):
// Y, U and V. Coefficients are orthonormal Haar wavelet coefficients in the
// in-place pyramid layout, quantised band by band; table entry l (0..L) is
// the detail band of step l, entry L + 1 the final approximation.
// Symbols: 0 one zero; 1 a run of s*2^b + v + 1 zeros (next symbol s,
// one value v); 2 +v; 3 -v.
#pragma once

#include <cstdint>
#include <string>

namespace hwl {

constexpr int kHeaderSize = 36;
constexpr int kMaxLevels = 16; // tables hold at most 18 doubles
constexpr int kMaxTableEntries = kMaxLevels + 2;
constexpr int kMaxValueBits = 8;
constexpr int kGreyBitsPerPixel = 8;
constexpr int kColourBitsPerPixel = 24;
constexpr int kMaxPlanes = 3;

// Symbols of the coefficient stream.
constexpr uint8_t kSymbolZero = 0;
constexpr uint8_t kSymbolRun = 1;
constexpr uint8_t kSymbolPositive = 2;
constexpr uint8_t kSymbolNegative = 3;

// The header exactly as stored in the file; read straight into this record.
#pragma pack(push, 1)
struct HwlHeader {
    char magic[3];
    uint16_t width;
    uint16_t height;
    uint8_t bitsPerPixel;
    uint8_t levels;
    uint32_t symbolCount[kMaxPlanes];
    uint32_t valueCount[kMaxPlanes];
    uint8_t valueBits[kMaxPlanes];
};
#pragma pack(pop)
static_assert(sizeof(HwlHeader) == kHeaderSize, "HwlHeader must match the file's 36 bytes");

enum class HwlStatus {
    Ok,
    FileNotFound,   // the file could not be opened
    ReadError,      // the file ended early or could not be read
    WriteError,     // the file could not be created or written
    InvalidFile,    // the contents break the format's constraints
    InvalidArgument // a caller passed parameters the format cannot hold
};

// Result of a codec operation: Ok, or a cause with a message that names the
// file (when there is one) and what is wrong.
struct HwlError {
    HwlStatus status = HwlStatus::Ok;
    std::string message;

    bool ok() const { return status == HwlStatus::Ok; }
    explicit operator bool() const { return !ok(); } // true when there is an error
};

HwlError hwlFailure(HwlStatus status, std::string message);

// The factor a band's integers are multiplied by: 1 / entry, or 0 for an
// entry of exactly 0 (the whole band is zero).
inline double bandFactor(double entry) {
    return entry == 0.0 ? 0.0 : 1.0 / entry;
}

// Number of planes for a bits-per-pixel value: 1, 3, or 0 when unknown.
int planeCount(uint8_t bitsPerPixel);

// "data/grass.hwl" -> "data/grass_alpha.hwl" (or NAME + "_alpha" without extension).
std::string alphaCompanionName(const std::string& fileName);

// Checks the header's structural constraints (sizes divisible by 2^(L+1),
// L <= 16, value widths <= 8, counts that fit the pixel count). It does not
// check stream lengths against a file size; the reader does that.
HwlError validateHeader(const HwlHeader& header);

// Bytes of a packed symbol stream of n symbols and a value stream of m values of b bits.
uint64_t symbolStreamBytes(uint64_t symbolCount);
uint64_t valueStreamBytes(uint64_t valueCount, int valueBits);

// Exact file size the header implies (header, tables, all streams).
uint64_t impliedFileSize(const HwlHeader& header);

} // namespace hwl
