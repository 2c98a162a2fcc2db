#include "images/hwl_encoder.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "platform/open_file.h"

namespace hwl {
namespace {

constexpr double kInvSqrt2 = 0.7071067811865476; // bit pattern 0x3FE6A09E667F3BCD
constexpr double kLumaRed = 0.3;
constexpr double kLumaGreen = 0.59;
constexpr double kLumaBlue = 0.11;
constexpr double kUFromBlue = 0.493;
constexpr double kVFromRed = 0.877;
// The band scan starts from these bounds and replaces only on strictly
// smaller or larger values.
constexpr double kScanStart = 1e8;
constexpr size_t kMaxDimension = std::numeric_limits<uint16_t>::max();

// One analysis step on the region w x h (stride) from `source` into `out`:
// horizontal pass into `rows`, vertical pass into `out`.
void forwardStep(const double* source, double* out, int w, int h, int stride,
                 std::vector<double>& rows) {
    const int halfW = w / 2, halfH = h / 2;
    rows.resize(size_t(w) * h);
    for (int y = 0; y < h; ++y) {
        const double* s = source + static_cast<ptrdiff_t>(y) * stride;
        double* t = rows.data() + static_cast<ptrdiff_t>(y) * w;
        for (int i = 0; i < halfW; ++i) {
            t[i] = kInvSqrt2 * (s[2 * i] + s[2 * i + 1]);
            t[halfW + i] = kInvSqrt2 * (s[2 * i] - s[2 * i + 1]);
        }
    }
    for (int r = 0; r < halfH; ++r) {
        const double* first = rows.data() + static_cast<ptrdiff_t>(2 * r) * w;
        const double* second = first + w;
        double* sum = out + static_cast<ptrdiff_t>(r) * stride;
        double* difference = out + static_cast<ptrdiff_t>(halfH + r) * stride;
        for (int x = 0; x < w; ++x) {
            sum[x] = kInvSqrt2 * (first[x] + second[x]);
            difference[x] = kInvSqrt2 * (first[x] - second[x]);
        }
    }
}

// Visits each band's rectangles: fn(tableIndex, x0, x1, y0, y1). Table index
// l covers the details of step l, index levels + 1 the approximation.
template <typename Fn> void forEachBand(int width, int height, int levels, Fn fn) {
    for (int level = 0; level <= levels; ++level) {
        const int w = width >> level, h = height >> level;
        fn(level, w / 2, w, 0, h / 2);
        fn(level, 0, w, h / 2, h);
    }
    fn(levels + 1, 0, width >> (levels + 1), 0, height >> (levels + 1));
}

HwlError checkImage(const HwlEncodedImage& image) {
    const int planes = planeCount(static_cast<uint8_t>(image.bitsPerPixel));
    if (image.bitsPerPixel != kGreyBitsPerPixel && image.bitsPerPixel != kColourBitsPerPixel) {
        return hwlFailure(HwlStatus::InvalidArgument, "bits per pixel must be 8 or 24, not " +
                                                          std::to_string(image.bitsPerPixel));
    }
    if (image.levels < 0 || image.levels > kMaxLevels) {
        return hwlFailure(HwlStatus::InvalidArgument,
                          "level count must be 0 to 16, not " + std::to_string(image.levels));
    }
    if (image.width < 0 || image.height < 0 || size_t(image.width) > kMaxDimension ||
        size_t(image.height) > kMaxDimension) {
        return hwlFailure(HwlStatus::InvalidArgument, "width and height must be 0 to 65535");
    }
    if (!sizeFitsLevels(image.width, image.height, image.levels)) {
        return hwlFailure(HwlStatus::InvalidArgument, "size " + std::to_string(image.width) + "x" +
                                                          std::to_string(image.height) +
                                                          " is not a multiple of " +
                                                          std::to_string(1 << (image.levels + 1)));
    }
    const size_t count = size_t(image.width) * image.height;
    for (int p = 0; p < planes; ++p) {
        const int bits = image.valueBits[p];
        if (bits < 0 || bits > kMaxValueBits) {
            return hwlFailure(HwlStatus::InvalidArgument,
                              "plane " + std::to_string(p) + " value width must be 0 to 8");
        }
        if (count > 0 && (image.planes[p] == nullptr || image.tables[p] == nullptr)) {
            return hwlFailure(HwlStatus::InvalidArgument,
                              "plane " + std::to_string(p) + " has no data");
        }
        const int32_t largest = (1 << bits) - 1;
        for (size_t i = 0; i < count; ++i) {
            const int32_t c = image.planes[p][i];
            if (c > largest || c < -largest) {
                return hwlFailure(HwlStatus::InvalidArgument,
                                  "plane " + std::to_string(p) + " coefficient " +
                                      std::to_string(c) + " does not fit " + std::to_string(bits) +
                                      " bits");
            }
        }
    }
    return {};
}

// Packs one symbol per byte into four per byte, in place.
size_t packSymbols(uint8_t* symbols, uint64_t count) {
    const size_t bytes = symbolStreamBytes(count);
    for (size_t i = 0; i < bytes; ++i) {
        uint8_t packed = 0;
        for (uint64_t s = 0; s < 4 && 4 * i + s < count; ++s) {
            packed |= uint8_t((symbols[4 * i + s] & 3u) << (2 * s));
        }
        symbols[i] = packed;
    }
    return bytes;
}

// Packs one value per byte into b bits each, LSB first, in place: output
// byte i depends only on inputs at or after index (8 i) / b >= i.
size_t packValues(uint8_t* values, uint64_t count, int bits) {
    const size_t bytes = valueStreamBytes(count, bits);
    if (bits == kMaxValueBits) return bytes;
    const uint32_t mask = (1u << bits) - 1u;
    uint32_t accumulator = 0;
    int pending = 0;
    size_t out = 0;
    for (uint64_t i = 0; i < count; ++i) {
        accumulator |= (values[i] & mask) << pending;
        pending += bits;
        while (pending >= 8) {
            values[out++] = uint8_t(accumulator);
            accumulator >>= 8;
            pending -= 8;
        }
    }
    if (pending > 0) values[out++] = uint8_t(accumulator);
    return bytes;
}

void putHeader(std::vector<uint8_t>& bytes, const HwlHeader& header) {
    std::memcpy(bytes.data(), &header, kHeaderSize);
}

void append(std::vector<uint8_t>& bytes, const void* data, size_t count) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), p, p + count);
}

} // namespace

bool sizeFitsLevels(int width, int height, int levels) {
    if (levels < 0 || levels > kMaxLevels) return false;
    const int block = 1 << (levels + 1);
    return width % block == 0 && height % block == 0;
}

void forwardHaar(const double* source, double* destination, int width, int height, int stride,
                 int levels) {
    std::vector<double> rows;
    int w = width, h = height;
    const double* from = source;
    for (int level = 0; level <= levels && w >= 2 && h >= 2; ++level) {
        forwardStep(from, destination, w, h, stride, rows);
        from = destination; // the coarser steps work in place on the approximation
        w /= 2;
        h /= 2;
    }
}

void forwardHaarColour(const double* r, const double* g, const double* b, double* y, double* u,
                       double* v, int width, int height, int stride, int levels) {
    std::vector<double> luma(size_t(width) * height), blueDiff(luma.size()), redDiff(luma.size());
    for (int row = 0; row < height; ++row) {
        for (int x = 0; x < width; ++x) {
            const size_t i = size_t(row) * stride + x;
            const size_t o = size_t(row) * width + x;
            const double yy = kLumaRed * r[i] + kLumaGreen * g[i] + kLumaBlue * b[i];
            luma[o] = yy;
            blueDiff[o] = (b[i] - yy) * kUFromBlue;
            redDiff[o] = (r[i] - yy) * kVFromRed;
        }
    }
    // The transforms read the converted planes with their own stride.
    std::vector<double> out(luma.size());
    const double* inputs[3] = {luma.data(), blueDiff.data(), redDiff.data()};
    double* outputs[3] = {y, u, v};
    for (int p = 0; p < 3; ++p) {
        forwardHaar(inputs[p], out.data(), width, height, width, levels);
        for (int row = 0; row < height; ++row) {
            std::memcpy(outputs[p] + size_t(row) * stride, out.data() + size_t(row) * width,
                        size_t(width) * sizeof(double));
        }
    }
}

uint64_t thresholdDetails(double* plane, double threshold, int width, int height, int levels) {
    const int approxW = width >> (levels + 1), approxH = height >> (levels + 1);
    uint64_t changed = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (x < approxW && y < approxH) continue;
            double& c = plane[size_t(y) * width + x];
            if (c != 0.0 && std::fabs(c) <= threshold) {
                c = 0.0;
                ++changed;
            }
        }
    }
    return changed;
}

void quantisePlane(const double* plane, int32_t* integers, int width, int height, int levels,
                   int valueBits, double* table) {
    const double top = double((1 << valueBits) - 1);
    for (int index = 0; index <= levels + 1; ++index) {
        // A detail band is two rectangles sharing one factor: scan both first.
        auto visitBand = [&](auto fn) {
            forEachBand(width, height, levels, [&](int band, int x0, int x1, int y0, int y1) {
                if (band != index) return;
                for (int y = y0; y < y1; ++y) {
                    for (int x = x0; x < x1; ++x) fn(size_t(y) * width + x);
                }
            });
        };
        double smallest = kScanStart, largest = -kScanStart;
        visitBand([&](size_t i) {
            if (plane[i] < smallest) smallest = plane[i];
            if (plane[i] > largest) largest = plane[i];
        });
        double f = 0.0;
        if (!(smallest == 0.0 && largest == 0.0)) {
            f = std::fabs(largest) >= std::fabs(smallest) ? top / std::fabs(largest)
                                                          : top / std::fabs(smallest);
        }
        visitBand(
            [&](size_t i) { integers[i] = static_cast<int32_t>(std::nearbyint(plane[i] * f)); });
        table[index] = f;
    }
}

uint64_t countZeros(const int32_t* plane, int width, int height) {
    uint64_t zeros = 0;
    const size_t count = size_t(width) * height;
    for (size_t i = 0; i < count; ++i) zeros += plane[i] == 0;
    return zeros;
}

uint32_t zeroRunLength(const int32_t* plane, uint64_t p, uint64_t count, int valueBits) {
    const uint64_t limit = uint64_t(1) << (valueBits + 2);
    uint64_t n = 1;
    while (p + n + 1 < count && plane[p + n] == 0 && n < limit) ++n;
    return static_cast<uint32_t>(n - 1);
}

void symboliseCoefficients(const int32_t* plane, uint8_t* symbols, uint64_t& symbolCount,
                           uint8_t* values, uint64_t& valueCount, int width, int height,
                           int valueBits) {
    const uint64_t count = uint64_t(width) * height;
    const uint32_t runThreshold = uint32_t(valueBits + 4) / 2;
    const uint32_t lowMask = (1u << valueBits) - 1u;
    symbolCount = 0;
    valueCount = 0;
    for (uint64_t p = 0; p < count; ++p) {
        const int32_t c = plane[p];
        if (c > 0) {
            symbols[symbolCount++] = kSymbolPositive;
            values[valueCount++] = uint8_t(c);
        } else if (c < 0) {
            symbols[symbolCount++] = kSymbolNegative;
            values[valueCount++] = uint8_t(-c);
        } else {
            const uint32_t run = zeroRunLength(plane, p, count, valueBits);
            if (run > runThreshold) {
                symbols[symbolCount++] = kSymbolRun;
                symbols[symbolCount++] = uint8_t(run >> valueBits);
                values[valueCount++] = uint8_t(run & lowMask);
                p += run;
            } else {
                symbols[symbolCount++] = kSymbolZero;
            }
        }
    }
}

HwlError writeHwlMemory(std::vector<uint8_t>& bytes, const HwlEncodedImage& image) {
    if (HwlError error = checkImage(image)) return error;
    const int planes = planeCount(static_cast<uint8_t>(image.bitsPerPixel));
    HwlHeader header{};
    std::memcpy(header.magic, "HWL", 3);
    header.width = static_cast<uint16_t>(image.width);
    header.height = static_cast<uint16_t>(image.height);
    header.bitsPerPixel = static_cast<uint8_t>(image.bitsPerPixel);
    header.levels = static_cast<uint8_t>(image.levels);

    bytes.assign(kHeaderSize, 0);
    const size_t tableBytes = (image.levels + 2u) * sizeof(double);
    static const double kNoTable[kMaxTableEntries] = {};
    for (int p = 0; p < planes; ++p) {
        append(bytes, image.tables[p] ? image.tables[p] : kNoTable, tableBytes);
    }
    const size_t count = size_t(image.width) * image.height;
    std::vector<uint8_t> symbols(count), values(count);
    for (int p = 0; p < planes; ++p) {
        uint64_t symbolCount = 0, valueCount = 0;
        if (count > 0) {
            symboliseCoefficients(image.planes[p], symbols.data(), symbolCount, values.data(),
                                  valueCount, image.width, image.height, image.valueBits[p]);
        }
        header.symbolCount[p] = static_cast<uint32_t>(symbolCount);
        header.valueCount[p] = static_cast<uint32_t>(valueCount);
        header.valueBits[p] = static_cast<uint8_t>(image.valueBits[p]);
        append(bytes, symbols.data(), packSymbols(symbols.data(), symbolCount));
        append(bytes, values.data(), packValues(values.data(), valueCount, image.valueBits[p]));
    }
    putHeader(bytes, header);
    return {};
}

HwlError writeHwlStream(std::FILE* stream, const HwlEncodedImage& image) {
    // The file is assembled in memory and written once: the same bytes as
    // writing the header, the planes and the header again, and it works on
    // streams that cannot seek back.
    std::vector<uint8_t> bytes;
    if (HwlError error = writeHwlMemory(bytes, image)) return error;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size() ||
        std::fflush(stream) != 0) {
        return hwlFailure(HwlStatus::WriteError,
                          std::string("cannot write HWL data: ") + std::strerror(errno));
    }
    return {};
}

HwlError writeHwlFile(const std::string& fileName, const HwlEncodedImage& image) {
    std::vector<uint8_t> bytes;
    if (HwlError error = writeHwlMemory(bytes, image)) return error;
    std::FILE* file = openFile(fileName, "wb");
    if (!file) {
        return hwlFailure(HwlStatus::WriteError,
                          fileName + ": cannot create: " + std::strerror(errno));
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        return hwlFailure(HwlStatus::WriteError,
                          fileName + ": cannot write: " + std::strerror(errno));
    }
    return {};
}

} // namespace hwl
