#include "images/hwl_decoder.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include <sys/stat.h>

#include "images/hwl_pixels.h"
#include "images/hwl_row_decoder.h"
#include "platform/open_file.h"
#include "platform/zeroed_memory.h"

namespace hwl {

static_assert(std::endian::native == std::endian::little,
              "the file's little-endian fields are read directly into memory");

namespace {

constexpr size_t kMaxNameLength = 255;

std::string label(const std::string& name) {
    return name.empty() ? std::string("HWL data") : name.substr(0, kMaxNameLength);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

HwlError openForReading(const std::string& fileName, File& file) {
    file.reset(openFile(fileName.substr(0, kMaxNameLength), "rb"));
    if (file) return {};
    const int cause = errno;
    if (cause == ENOENT)
        return hwlFailure(HwlStatus::FileNotFound, label(fileName) + ": file not found");
    return hwlFailure(HwlStatus::FileNotFound,
                      label(fileName) + ": cannot open: " + std::strerror(cause));
}

// A file shorter than its header says, in whole-file bytes.
HwlError endsEarly(const std::string& name, uint64_t size, uint64_t needed) {
    return hwlFailure(HwlStatus::ReadError,
                      label(name) + ": file ends early: " + std::to_string(size) + " of the " +
                          std::to_string(needed) + " bytes its header implies");
}

// A file too short to hold even the header.
HwlError headerEndsEarly(const std::string& name, size_t size) {
    return hwlFailure(HwlStatus::ReadError,
                      label(name) + ": file ends early: " + std::to_string(size) + " of " +
                          std::to_string(kHeaderSize) + " header bytes");
}

HwlError readHeaderBytes(std::FILE* file, HwlHeader& header, const std::string& fileName) {
    const size_t got = std::fread(&header, 1, kHeaderSize, file);
    if (got == size_t(kHeaderSize)) return {};
    return headerEndsEarly(fileName, got);
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
    // A run takes two symbols for at most 4 x 2^b zeros, so a few bytes of
    // streams cannot fill a huge picture: such a header is refused before
    // anything of the picture's size is allocated.
    for (int p = 0; p < planeCount(header.bitsPerPixel); ++p) {
        const uint64_t symbols = header.symbolCount[p];
        const uint64_t reach = symbols / 2 * (uint64_t(4) << header.valueBits[p]) + symbols % 2;
        if (reach < pixels) {
            return hwlFailure(HwlStatus::InvalidFile, label(name) + ": plane " + std::to_string(p) +
                                                          ": " + std::to_string(symbols) +
                                                          " symbols reach at most " +
                                                          std::to_string(reach) + " of the " +
                                                          std::to_string(pixels) + " coefficients");
        }
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
    if (size < needed) return endsEarly(name, size, needed);
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

// `plane` must hold count zeros.
template <typename Out>
HwlError expandPlane(const HwlHeader& header, int p, const PlaneLayout& layout, Out* plane,
                     const std::string& name) {
    const uint64_t count = uint64_t(header.width) * header.height;
    const ExpandResult result =
        walkPackedIntoZeros(plane, count, layout.symbols, header.symbolCount[p], layout.values,
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
// Row bands the reconstruction is cut into when threaded: more bands than
// workers even out their loads; each band costs a few rows of warm-up.
constexpr int kRowBands = 8;
// Row pairs a sink receives at a time: enough to make each call worth it,
// few enough that a band's pixels stay in cache.
constexpr int kSinkPairs = 16;
// Values of at most this many bits fit the byte-sized coefficient planes.
constexpr int kNarrowValueBits = 7;

// Where decoded rows go: straight into one buffer of the whole image, or
// through a sink a few rows at a time.
struct RowTarget {
    uint8_t* pixels = nullptr;
    const RowSink* sink = nullptr;
};

// Symbol walk of every plane into integer planes of `Coef`, then the rows.
// The walk of a plane is one sequential pass over its streams, so planes go
// to separate threads; the rows then go in bands, each with its own decoder.
template <typename Coef>
HwlError decodeWith(const HwlHeader& header, const PlaneLayout* layout,
                    const double (*tables)[kMaxTableEntries], int workers, RowTarget target,
                    const std::string& name) {
    const int planes = planeCount(header.bitsPerPixel);
    const size_t count = size_t(header.width) * header.height;
    // Zeroed: the walk skips over runs.
    ZeroedBuffer storage = allocateZeroed(count * planes * sizeof(Coef));
    Coef* coefficients = reinterpret_cast<Coef*>(storage.get());
    HwlError errors[kMaxPlanes];
    runParallel(workers, planes, [&](int, int p) {
        errors[p] = expandPlane(header, p, layout[p], coefficients + count * p, name);
    });
    for (int p = 0; p < planes; ++p) {
        if (errors[p]) return errors[p];
    }
    CoefficientPlanes view;
    view.width = header.width;
    view.height = header.height;
    view.levels = header.levels;
    view.planeCount = planes;
    view.tables = tables;
    for (int p = 0; p < planes; ++p) {
        if constexpr (sizeof(Coef) == 1)
            view.narrow[p] = coefficients + count * p;
        else
            view.wide[p] = coefficients + count * p;
    }
    const size_t pairBytes = 2 * size_t(header.width) * (planes == 1 ? 1 : 4);
    const int pairs = header.height / 2;
    const int bands = workers > 1 ? std::min(kRowBands, pairs) : 1;
    runParallel(workers, bands, [&](int, int band) {
        const int first = int(int64_t(pairs) * band / bands);
        const int end = int(int64_t(pairs) * (band + 1) / bands);
        RowDecoder decoder;
        startRowDecoder(decoder, view, first);
        if (target.pixels) {
            decodeRowPairs(decoder, end - first, target.pixels + first * pairBytes);
            return;
        }
        std::unique_ptr<uint8_t[]> rows(new uint8_t[kSinkPairs * pairBytes]);
        for (int k = first; k < end; k += kSinkPairs) {
            const int chunk = std::min(kSinkPairs, end - k);
            decodeRowPairs(decoder, chunk, rows.get());
            (*target.sink)(2 * k, 2 * chunk, rows.get());
        }
    });
    return {};
}

HwlError decodePlanes(const HwlHeader& header, const uint8_t* data, size_t size, RowTarget target,
                      const std::string& name) {
    const int planes = planeCount(header.bitsPerPixel);
    double tables[kMaxPlanes][kMaxTableEntries] = {};
    PlaneLayout layout[kMaxPlanes] = {};
    if (HwlError error = locatePlanes(header, data, size, name, tables, layout)) return error;
    const size_t count = size_t(header.width) * header.height;
    if (count == 0) return {};
    const int cores = std::max(1, int(std::thread::hardware_concurrency()));
    const int workers = count >= kThreadedPixelCount ? cores : 1;
    int widest = 0;
    for (int p = 0; p < planes; ++p) widest = std::max(widest, int(header.valueBits[p]));
    if (widest <= kNarrowValueBits)
        return decodeWith<int8_t>(header, layout, tables, workers, target, name);
    return decodeWith<int16_t>(header, layout, tables, workers, target, name);
}

// Header of in-memory file bytes, checked as far as decoding needs.
HwlError readMemoryHeader(HwlHeader& header, const uint8_t* data, size_t size,
                          const std::string& name) {
    if (size < size_t(kHeaderSize)) return headerEndsEarly(name, size);
    std::memcpy(&header, data, kHeaderSize);
    if (planeCount(header.bitsPerPixel) == 0) return {}; // the caller looks at the header
    if (HwlError error = checkDecodable(header, name)) return error;
    // Before the pixel buffer is sized for what the header claims.
    if (size < impliedFileSize(header)) return endsEarly(name, size, impliedFileSize(header));
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
    return readHeaderBytes(file.get(), header, fileName);
}

HwlError readHwlPlanesFromStream(const uint8_t* data, size_t size, HwlPlanes& planes,
                                 const std::string& name) {
    if (size < size_t(kHeaderSize)) return headerEndsEarly(name, size);
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
    if (HwlError error = readHeaderBytes(file.get(), header, fileName)) return error;
    headerOnly = planeCount(header.bitsPerPixel) == 0;
    if (headerOnly) return {};
    if (HwlError error = checkDecodable(header, fileName)) return error;
    const uint64_t size = impliedFileSize(header);
    struct stat status {};
    if (fstat(fileno(file.get()), &status) == 0 && S_ISREG(status.st_mode) &&
        uint64_t(status.st_size) < size) {
        return endsEarly(fileName, uint64_t(status.st_size), size);
    }
    bytes.resize(size);
    std::memcpy(bytes.data(), &header, kHeaderSize);
    const size_t got = std::fread(bytes.data() + kHeaderSize, 1, size - kHeaderSize, file.get());
    if (got != size - kHeaderSize) return endsEarly(fileName, kHeaderSize + got, size);
    return {};
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
    if (HwlError error = readMemoryHeader(header, data, size, name)) return error;
    const int planes = planeCount(header.bitsPerPixel);
    if (planes == 0) return {};
    const size_t bytesPerPixel = planes == 1 ? 1 : 4;
    const size_t needed = size_t(header.width) * header.height * bytesPerPixel;
    if (allocate) {
        pixels.resize(needed);
    } else if (pixels.size() < needed) {
        return hwlFailure(HwlStatus::InvalidArgument,
                          label(name) + ": pixel buffer holds " + std::to_string(pixels.size()) +
                              " bytes, the image needs " + std::to_string(needed));
    }
    return decodePlanes(header, data, size, RowTarget{pixels.data(), nullptr}, name);
}

HwlError decodeHwlRows(HwlHeader& header, const uint8_t* data, size_t size, const RowSink& sink,
                       const std::string& name) {
    if (HwlError error = readMemoryHeader(header, data, size, name)) return error;
    if (planeCount(header.bitsPerPixel) == 0) return {};
    return decodePlanes(header, data, size, RowTarget{nullptr, &sink}, name);
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
