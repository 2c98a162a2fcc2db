// HWL decode and encode speed on a 512 x 512 photograph-like picture, with
// libjpeg-turbo decoding the same picture as the yardstick. Items are
// pixels, so items_per_second reads as megapixels per second; bytes are the
// compressed file. The psnr_db and bpp counters show the quality of each
// file; JPEG runs at qualities 75 and 85 (the argument), which bracket the
// PSNR of the default HWL file.
#include <benchmark/benchmark.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "images/hwl_decoder.h"
#include "images/hwl_encode.h"

namespace {

constexpr int kSide = 512;
constexpr int kPixels = kSide * kSide;
constexpr uint32_t kNoiseSeed = 12345;
// Texture octaves: cells from 128 down to 2 pixels, each this much weaker
// than the one above, roughly the falling spectrum of real scenes.
constexpr int kLargestCell = 128;
constexpr double kOctaveDecay = 0.8;
constexpr double kGroundTexture = 90;
constexpr double kGroundTint = 45;

// Hash of a lattice point to 0..1.
double lattice(int x, int y, uint32_t seed) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return double(h ^ (h >> 16)) / 4294967295.0;
}

// Smoothly interpolated value noise with cells of `cell` pixels, -0.5 .. 0.5.
double valueNoise(double x, double y, int cell, uint32_t seed) {
    const double fx = x / cell, fy = y / cell;
    const int ix = int(std::floor(fx)), iy = int(std::floor(fy));
    const double tx = fx - ix, ty = fy - iy;
    const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    const double top = lattice(ix, iy, seed) * (1 - sx) + lattice(ix + 1, iy, seed) * sx;
    const double bottom = lattice(ix, iy + 1, seed) * (1 - sx) + lattice(ix + 1, iy + 1, seed) * sx;
    return top * (1 - sy) + bottom * sy - 0.5;
}

double fractal(double x, double y, uint32_t seed) {
    double sum = 0, amplitude = 1;
    for (int cell = kLargestCell; cell >= 2; cell /= 2, amplitude *= kOctaveDecay)
        sum += amplitude * valueNoise(x, y, cell, seed + uint32_t(cell));
    return sum;
}

// R, G, B interleaved: a sky gradient with clouds, textured ground below a
// ragged horizon, a sun disc and a building with lit windows (hard edges),
// and mild noise. Deterministic. Encoded with the defaults it behaves like
// a photograph: a little over 1 bit per pixel at about 32 dB.
std::vector<uint8_t> makePicture() {
    std::vector<uint8_t> rgb(size_t(kPixels) * 3);
    uint32_t state = kNoiseSeed;
    auto noise = [&state]() { // -2 .. 2
        state = state * 1664525u + 1013904223u;
        return int(state >> 29) % 5 - 2;
    };
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            const double u = x / double(kSide), v = y / double(kSide);
            const double horizon = 0.55 + 0.06 * std::sin(u * 9.0) + 0.08 * fractal(x, 0, 7);
            double r, g, b;
            if (v < horizon) {
                const double cloud = std::max(0.0, fractal(x * 0.5, y * 1.5, 3)) * 54;
                r = 90 + 120 * v + cloud;
                g = 140 + 80 * v + cloud;
                b = 230 - 40 * v + cloud * 0.3;
            } else {
                const double t = fractal(x, y, 11) * kGroundTexture;
                const double s = fractal(x, y, 29) * kGroundTint;
                r = 90 + 60 * (v - horizon) + t + s;
                g = 115 - 30 * (v - horizon) + t * 0.9;
                b = 55 + t * 0.6 - s * 0.5;
            }
            if (std::hypot(u - 0.75, v - 0.2) < 0.08) r = 250, g = 230, b = 170;
            if (u > 0.15 && u < 0.35 && v > 0.33 && v < 0.8) {
                const bool window = (x - 83) % 17 < 9 && (y - 171) % 23 < 12;
                r = window ? 220 : 45 + fractal(x, y, 5) * 20;
                g = window ? 200 : 40;
                b = window ? 120 : 50;
            }
            uint8_t* p = &rgb[(size_t(y) * kSide + x) * 3];
            p[0] = uint8_t(std::clamp(r + noise(), 0.0, 255.0));
            p[1] = uint8_t(std::clamp(g + noise(), 0.0, 255.0));
            p[2] = uint8_t(std::clamp(b + noise(), 0.0, 255.0));
        }
    }
    return rgb;
}

void writeFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
    std::fclose(file);
}

std::vector<uint8_t> readFile(const std::string& name) {
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) std::abort();
    std::vector<uint8_t> bytes;
    uint8_t buffer[1 << 16];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
    return bytes;
}

std::vector<uint8_t> compressJpeg(const std::vector<uint8_t>& rgb, int quality) {
    tjhandle handle = tjInitCompress();
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    if (tjCompress2(handle, rgb.data(), kSide, 0, kSide, TJPF_RGB, &bytes, &size, TJSAMP_420,
                    quality, TJFLAG_ACCURATEDCT) != 0)
        std::abort();
    std::vector<uint8_t> jpeg(bytes, bytes + size);
    tjFree(bytes);
    tjDestroy(handle);
    return jpeg;
}

double jpegPsnr(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& rgb) {
    std::vector<uint8_t> decoded(rgb.size());
    tjhandle handle = tjInitDecompress();
    if (tjDecompress2(handle, jpeg.data(), jpeg.size(), decoded.data(), kSide, 0, kSide, TJPF_RGB,
                      0) != 0)
        std::abort();
    tjDestroy(handle);
    return hwl::psnr(decoded.data(), rgb.data(), rgb.size());
}

// One compressed picture, in memory and in a temporary file.
struct Compressed {
    std::vector<uint8_t> bytes;
    double psnr = 0;
    std::string file;
};

// Everything the benchmarks share, made once. The JPEG qualities bracket
// the PSNR of the default HWL file.
struct Fixture {
    std::vector<uint8_t> rgb = makePicture();
    Compressed hwl;
    Compressed jpeg[2];
    static constexpr int kJpegQualities[2] = {75, 85};

    Fixture() {
        const hwl::PixelView view{rgb.data(), kSide, kSide, 3};
        if (hwl::encodeHwl(hwl.bytes, view, {}) || hwl::measurePsnr(hwl.psnr, hwl.bytes, rgb))
            std::abort();
        const auto stem =
            std::filesystem::temp_directory_path() / ("hwl_bench_" + std::to_string(::getpid()));
        hwl.file = stem.string() + ".hwl";
        writeFile(hwl.file, hwl.bytes);
        for (int i = 0; i < 2; ++i) {
            jpeg[i].bytes = compressJpeg(rgb, kJpegQualities[i]);
            jpeg[i].psnr = jpegPsnr(jpeg[i].bytes, rgb);
            jpeg[i].file = stem.string() + "_q" + std::to_string(kJpegQualities[i]) + ".jpg";
            writeFile(jpeg[i].file, jpeg[i].bytes);
        }
    }
    ~Fixture() {
        std::remove(hwl.file.c_str());
        for (const Compressed& j : jpeg) std::remove(j.file.c_str());
    }

    const Compressed& jpegOfQuality(int quality) const {
        return jpeg[quality == kJpegQualities[0] ? 0 : 1];
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void report(benchmark::State& state, const Compressed& picture) {
    state.SetItemsProcessed(int64_t(state.iterations()) * kPixels);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(picture.bytes.size()));
    state.counters["psnr_db"] = picture.psnr;
    state.counters["bpp"] = double(picture.bytes.size()) * 8.0 / kPixels;
}

void BM_HwlDecodeFile(benchmark::State& state) {
    Fixture& f = fixture();
    std::vector<uint8_t> pixels;
    hwl::HwlHeader header{};
    for (auto _ : state) {
        if (hwl::decodeHwl(pixels, header, f.hwl.file, true)) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(pixels.data());
    }
    report(state, f.hwl);
}

void BM_HwlDecodeMemory(benchmark::State& state) {
    Fixture& f = fixture();
    std::vector<uint8_t> pixels;
    hwl::HwlHeader header{};
    for (auto _ : state) {
        if (hwl::decodeHwlMemory(pixels, header, f.hwl.bytes.data(), f.hwl.bytes.size(), true))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(pixels.data());
    }
    report(state, f.hwl);
}

void BM_HwlEncode(benchmark::State& state) {
    Fixture& f = fixture();
    const hwl::PixelView view{f.rgb.data(), kSide, kSide, 3};
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        if (hwl::encodeHwl(bytes, view, {})) state.SkipWithError("encode failed");
        benchmark::DoNotOptimize(bytes.data());
    }
    report(state, f.hwl);
}

// The JPEG decodes into the same 4-byte blue, green, red layout the HWL
// decoder gives.
void decodeJpeg(benchmark::State& state, tjhandle handle, const std::vector<uint8_t>& jpeg,
                std::vector<uint8_t>& pixels) {
    if (tjDecompress2(handle, jpeg.data(), jpeg.size(), pixels.data(), kSide, 0, kSide, TJPF_BGRX,
                      0) != 0)
        state.SkipWithError("JPEG decode failed");
}

void BM_JpegDecodeFile(benchmark::State& state) {
    const Compressed& jpeg = fixture().jpegOfQuality(int(state.range(0)));
    tjhandle handle = tjInitDecompress();
    std::vector<uint8_t> pixels(size_t(kPixels) * 4);
    for (auto _ : state) {
        decodeJpeg(state, handle, readFile(jpeg.file), pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
    tjDestroy(handle);
    report(state, jpeg);
}

void BM_JpegDecodeMemory(benchmark::State& state) {
    const Compressed& jpeg = fixture().jpegOfQuality(int(state.range(0)));
    tjhandle handle = tjInitDecompress();
    std::vector<uint8_t> pixels(size_t(kPixels) * 4);
    for (auto _ : state) {
        decodeJpeg(state, handle, jpeg.bytes, pixels);
        benchmark::DoNotOptimize(pixels.data());
    }
    tjDestroy(handle);
    report(state, jpeg);
}

void BM_JpegEncode(benchmark::State& state) {
    Fixture& f = fixture();
    const int quality = int(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(compressJpeg(f.rgb, quality).data());
    report(state, f.jpegOfQuality(quality));
}

} // namespace

// Wall-clock time: the HWL decoder may use more than one thread.
BENCHMARK(BM_HwlDecodeFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HwlDecodeMemory)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JpegDecodeFile)->Arg(75)->Arg(85)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JpegDecodeMemory)->Arg(75)->Arg(85)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HwlEncode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JpegEncode)->Arg(75)->Arg(85)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
