#include "images/hwl_decoder.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

namespace hwl {

static_assert(std::endian::native == std::endian::little,
              "the file's little-endian fields are read directly into memory");

namespace {

// Inverse colour constants as the format fixes them (not exact reciprocals).
constexpr double kRedFromV = 1.140251;
constexpr double kBlueFromU = 2.028398;
constexpr double kGreenScale = 1.694915;
constexpr double kLumaRed = 0.3;
constexpr double kLumaBlue = 0.11;
constexpr double kMaxChannel = 255.0;
// Adding and subtracting 1.5 * 2^52 rounds a double below 2^51 to an integer,
// halves to even, in the default rounding mode, without a library call.
constexpr double kRoundingMagic = 6755399441055744.0;
constexpr size_t kMaxNameLength = 255;

std::string label(const std::string& name) {
    return name.empty() ? std::string("HWL data") : name.substr(0, kMaxNameLength);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

HwlError openForReading(const std::string& fileName, File& file) {
    file.reset(std::fopen(fileName.substr(0, kMaxNameLength).c_str(), "rb"));
    if (file) return {};
    const int cause = errno;
    if (cause == ENOENT)
        return hwlFailure(HwlStatus::FileNotFound, label(fileName) + ": file not found");
    return hwlFailure(HwlStatus::FileNotFound,
                      label(fileName) + ": cannot open: " + std::strerror(cause));
}

HwlError readExactly(std::FILE* file, void* into, size_t count, const std::string& fileName,
                     const char* what) {
    const size_t got = std::fread(into, 1, count, file);
    if (got == count) return {};
    return hwlFailure(HwlStatus::ReadError,
                      label(fileName) + ": file ends early: " + std::to_string(got) + " of " +
                          std::to_string(count) + " bytes of " + what);
}

// Header checks shared by every path that goes beyond the header.
HwlError checkDecodable(const HwlHeader& header, const std::string& name) {
    if (HwlError error = validateHeader(header)) {
        return hwlFailure(error.status, label(name) + ": " + error.message);
    }
    const uint64_t pixels = uint64_t(header.width) * header.height;
    if (pixels > kMaxPixelCount) {
        return hwlFailure(HwlStatus::InvalidFile,
                          label(name) + ": image of " + std::to_string(header.width) + "x" +
                              std::to_string(header.height) +
                              " pixels is larger than the decoder accepts (" +
                              std::to_string(kMaxPixelCount) + " pixels)");
    }
    return {};
}

// Where each plane's tables and streams sit inside the file's bytes.
struct PlaneLayout {
    const uint8_t* symbols;
    const uint8_t* values;
    uint64_t valueBytes;
};

HwlError locatePlanes(const HwlHeader& header, const uint8_t* data, size_t size,
                      const std::string& name, double tables[][kMaxTableEntries],
                      PlaneLayout* layout) {
    const uint64_t needed = impliedFileSize(header);
    if (size < needed) {
        return hwlFailure(HwlStatus::ReadError,
                          label(name) + ": file ends early: " + std::to_string(size) +
                              " bytes, header implies " + std::to_string(needed));
    }
    const int planes = planeCount(header.bitsPerPixel);
    const size_t tableBytes = (header.levels + 2u) * sizeof(double);
    const uint8_t* cursor = data + kHeaderSize;
    for (int p = 0; p < planes; ++p) {
        std::memcpy(tables[p], cursor, tableBytes);
        cursor += tableBytes;
    }
    for (int p = 0; p < planes; ++p) {
        layout[p].symbols = cursor;
        cursor += symbolStreamBytes(header.symbolCount[p]);
        layout[p].values = cursor;
        layout[p].valueBytes = valueStreamBytes(header.valueCount[p], header.valueBits[p]);
        cursor += layout[p].valueBytes;
    }
    return {};
}

template <typename Out>
HwlError expandPlane(const HwlHeader& header, int p, const PlaneLayout& layout, Out* plane,
                     const std::string& name) {
    const uint64_t count = uint64_t(header.width) * header.height;
    PackedSymbolReader symbols{layout.symbols, symbolStreamBytes(header.symbolCount[p])};
    PackedValueReader values{layout.values, layout.valueBytes, header.valueBits[p]};
    const ExpandResult result = walkSymbols(plane, count, symbols, header.symbolCount[p], values,
                                            header.valueCount[p], header.valueBits[p]);
    if (result.coefficients == count && result.symbolsUsed == header.symbolCount[p] &&
        result.valuesUsed == header.valueCount[p]) {
        return {};
    }
    std::string why;
    if (result.coefficients < count)
        why = "streams end after " + std::to_string(result.coefficients) + " of " +
              std::to_string(count) + " coefficients";
    else if (result.coefficients > count)
        why = "a zero run passes the end of the plane";
    else if (result.symbolsUsed != header.symbolCount[p])
        why = std::to_string(header.symbolCount[p] - result.symbolsUsed) + " symbols left over";
    else
        why = std::to_string(header.valueCount[p] - result.valuesUsed) + " values left over";
    return hwlFailure(HwlStatus::InvalidFile,
                      label(name) + ": plane " + std::to_string(p) + ": " + why);
}

// Visits each band's rectangles: fn(tableIndex, x0, x1, y0, y1).
template <typename Fn> void forEachBand(int width, int height, int levels, Fn fn) {
    for (int level = 0; level <= levels; ++level) {
        const int w = width >> level, h = height >> level;
        fn(level, w / 2, w, 0, h / 2); // top-right
        fn(level, 0, w, h / 2, h);     // bottom half
    }
    fn(levels + 1, 0, width >> (levels + 1), 0, height >> (levels + 1));
}

double bandFactor(double entry) {
    return entry == 0.0 ? 0.0 : 1.0 / entry;
}

void dequantiseInPlace(double* plane, int width, int height, int levels, const double* table) {
    forEachBand(width, height, levels, [&](int index, int x0, int x1, int y0, int y1) {
        const double f = bandFactor(table[index]);
        for (int y = y0; y < y1; ++y) {
            double* row = plane + static_cast<ptrdiff_t>(y) * width;
            for (int x = x0; x < x1; ++x) row[x] = row[x] * f;
        }
    });
}

// Clamp, then round half to even; NaN fails both tests and gives 0.
// Written without branches so the pixel loops vectorise.
inline uint8_t toByte(double x) {
    x = x > 0.0 ? x : 0.0;
    x = x < kMaxChannel ? x : kMaxChannel;
    return static_cast<uint8_t>(static_cast<int32_t>((x + kRoundingMagic) - kRoundingMagic));
}

// Y, U, V -> R, G, B in the format's order (G from the unrounded R and B).
struct Rgb {
    double r, g, b;
};
inline Rgb yuvPixel(double y, double u, double v) {
    const double red = y + kRedFromV * v;
    const double blue = y + kBlueFromU * u;
    const double green = (y - kLumaRed * red - kLumaBlue * blue) * kGreenScale;
    return {red, green, blue};
}

// Runs job(worker, index) for index 0 .. jobs-1 on up to `workers` threads,
// the calling thread included. Falls back to fewer threads (down to just
// the caller) when the system will not start more.
template <typename Job> void runParallel(int workers, int jobs, Job job) {
    std::atomic<int> nextJob{0};
    auto drain = [&](int worker) {
        for (int i = nextJob++; i < jobs; i = nextJob++) job(worker, i);
    };
    std::vector<std::thread> threads;
    for (int w = 1; w < workers; ++w) {
        try {
            threads.emplace_back(drain, w);
        } catch (const std::system_error&) {
            break;
        }
    }
    drain(0);
    for (std::thread& t : threads) t.join();
}

// Worth a thread: below this many pixels starting one costs more than it saves.
constexpr size_t kThreadedPixelCount = size_t(1) << 16;
constexpr int kConversionBlocks = 16;

HwlError decodePlanes(const HwlHeader& header, const uint8_t* data, size_t size, uint8_t* pixels,
                      const std::string& name) {
    const int planes = planeCount(header.bitsPerPixel);
    double tables[kMaxPlanes][kMaxTableEntries] = {};
    PlaneLayout layout[kMaxPlanes] = {};
    if (HwlError error = locatePlanes(header, data, size, name, tables, layout)) return error;

    const int width = header.width, height = header.height;
    const size_t count = size_t(width) * height;
    if (count == 0) return {};
    // The three planes of a colour file are independent until the colour
    // conversion, so they decode on separate threads where cores allow.
    const int cores = std::max(1, int(std::thread::hardware_concurrency()));
    const int workers = count >= kThreadedPixelCount ? std::min(planes, cores) : 1;
    // Planes, then one synthesis temporary per worker. Every coefficient is
    // written by the symbol walk: no need to clear.
    std::unique_ptr<double[]> work(new double[count * (planes + workers)]);
    HwlError errors[kMaxPlanes];
    runParallel(workers, planes, [&](int worker, int p) {
        double* plane = work.get() + count * p;
        double* temp = work.get() + count * (planes + worker);
        errors[p] = expandPlane(header, p, layout[p], plane, name);
        if (errors[p]) return;
        dequantiseInPlace(plane, width, height, header.levels, tables[p]);
        inverseHaar(plane, plane, width, height, width, header.levels, temp);
    });
    for (int p = 0; p < planes; ++p) {
        if (errors[p]) return errors[p];
    }
    if (planes == 1) {
        planeToGrey(work.get(), pixels, count);
        return {};
    }
    const double* y = work.get();
    const double* u = y + count;
    const double* v = u + count;
    const size_t block = (count + kConversionBlocks - 1) / kConversionBlocks;
    runParallel(workers, kConversionBlocks, [&](int, int b) {
        const size_t end = std::min(count, (b + 1) * block);
        for (size_t i = b * block; i < end; ++i) {
            const Rgb c = yuvPixel(y[i], u[i], v[i]);
            pixels[4 * i + 0] = toByte(c.b);
            pixels[4 * i + 1] = toByte(c.g);
            pixels[4 * i + 2] = toByte(c.r);
            pixels[4 * i + 3] = 0;
        }
    });
    return {};
}

} // namespace

uint8_t channelToByte(double x) {
    return toByte(x);
}

void planeToGrey(const double* plane, uint8_t* pixels, size_t count) {
    for (size_t i = 0; i < count; ++i) pixels[i] = toByte(plane[i]);
}

void planesToBgr(const double* r, const double* g, const double* b, uint8_t* pixels, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        pixels[4 * i + 0] = toByte(b[i]);
        pixels[4 * i + 1] = toByte(g[i]);
        pixels[4 * i + 2] = toByte(r[i]);
        pixels[4 * i + 3] = 0;
    }
}

void yuvToRgb(double* y, double* u, double* v, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const Rgb c = yuvPixel(y[i], u[i], v[i]);
        y[i] = c.r;
        u[i] = c.g;
        v[i] = c.b;
    }
}

ExpandResult expandSymbols(int32_t* plane, const uint8_t* symbols, uint64_t symbolCount,
                           const uint8_t* values, uint64_t valueCount, int width, int height,
                           int valueBits) {
    UnpackedReader symbolReader{symbols};
    UnpackedReader valueReader{values};
    return walkSymbols(plane, uint64_t(width) * height, symbolReader, symbolCount, valueReader,
                       valueCount, valueBits);
}

void dequantisePlane(const int32_t* plane, double* real, int width, int height, int levels,
                     const double* table) {
    forEachBand(width, height, levels, [&](int index, int x0, int x1, int y0, int y1) {
        const double f = bandFactor(table[index]);
        for (int y = y0; y < y1; ++y) {
            const ptrdiff_t row = static_cast<ptrdiff_t>(y) * width;
            for (int x = x0; x < x1; ++x) real[row + x] = plane[row + x] * f;
        }
    });
}

HwlError readHwlHeader(const std::string& fileName, HwlHeader& header) {
    File file;
    if (HwlError error = openForReading(fileName, file)) return error;
    return readExactly(file.get(), &header, kHeaderSize, fileName, "header");
}

HwlError readHwlPlanesFromStream(const uint8_t* data, size_t size, HwlPlanes& planes,
                                 const std::string& name) {
    if (size < size_t(kHeaderSize)) {
        return hwlFailure(HwlStatus::ReadError, label(name) + ": file ends early: " +
                                                    std::to_string(size) + " of 36 header bytes");
    }
    std::memcpy(&planes.header, data, kHeaderSize);
    const HwlHeader& header = planes.header;
    if (HwlError error = checkDecodable(header, name)) return error;
    planes.planeCount = planeCount(header.bitsPerPixel);
    PlaneLayout layout[kMaxPlanes] = {};
    if (HwlError error = locatePlanes(header, data, size, name, planes.tables, layout))
        return error;
    for (int p = 0; p < planes.planeCount; ++p) {
        planes.coefficients[p].assign(size_t(header.width) * header.height, 0);
        if (HwlError error = expandPlane(header, p, layout[p], planes.coefficients[p].data(), name))
            return error;
    }
    return {};
}

// Reads the header, then exactly the bytes it implies: a file never makes us
// read or allocate more than its own consistent size.
static HwlError readWholeFile(const std::string& fileName, HwlHeader& header,
                              std::vector<uint8_t>& bytes, bool& headerOnly) {
    File file;
    if (HwlError error = openForReading(fileName, file)) return error;
    if (HwlError error = readExactly(file.get(), &header, kHeaderSize, fileName, "header"))
        return error;
    headerOnly = planeCount(header.bitsPerPixel) == 0;
    if (headerOnly) return {};
    if (HwlError error = checkDecodable(header, fileName)) return error;
    const uint64_t size = impliedFileSize(header);
    bytes.resize(size);
    std::memcpy(bytes.data(), &header, kHeaderSize);
    return readExactly(file.get(), bytes.data() + kHeaderSize, size - kHeaderSize, fileName,
                       "tables and streams");
}

HwlError readHwlPlanes(const std::string& fileName, HwlPlanes& planes) {
    std::vector<uint8_t> bytes;
    bool headerOnly = false;
    if (HwlError error = readWholeFile(fileName, planes.header, bytes, headerOnly)) return error;
    if (headerOnly) {
        return hwlFailure(HwlStatus::InvalidFile, label(fileName) +
                                                      ": unsupported bits per pixel " +
                                                      std::to_string(planes.header.bitsPerPixel));
    }
    return readHwlPlanesFromStream(bytes.data(), bytes.size(), planes, fileName);
}

HwlError decodeHwlMemory(std::vector<uint8_t>& pixels, HwlHeader& header, const uint8_t* data,
                         size_t size, bool allocate, const std::string& name) {
    if (size < size_t(kHeaderSize)) {
        return hwlFailure(HwlStatus::ReadError, label(name) + ": file ends early: " +
                                                    std::to_string(size) + " of 36 header bytes");
    }
    std::memcpy(&header, data, kHeaderSize);
    const int planes = planeCount(header.bitsPerPixel);
    if (planes == 0) return {}; // the caller looks at the header and decides
    if (HwlError error = checkDecodable(header, name)) return error;
    const size_t bytesPerPixel = planes == 1 ? 1 : 4;
    const size_t needed = size_t(header.width) * header.height * bytesPerPixel;
    if (allocate) {
        pixels.resize(needed);
    } else if (pixels.size() < needed) {
        return hwlFailure(HwlStatus::InvalidArgument,
                          label(name) + ": pixel buffer holds " + std::to_string(pixels.size()) +
                              " bytes, the image needs " + std::to_string(needed));
    }
    return decodePlanes(header, data, size, pixels.data(), name);
}

HwlError decodeHwl(std::vector<uint8_t>& pixels, HwlHeader& header, const std::string& fileName,
                   bool allocate) {
    std::vector<uint8_t> bytes;
    bool headerOnly = false;
    if (HwlError error = readWholeFile(fileName, header, bytes, headerOnly)) return error;
    if (headerOnly) return {};
    return decodeHwlMemory(pixels, header, bytes.data(), bytes.size(), allocate, fileName);
}

} // namespace hwl
