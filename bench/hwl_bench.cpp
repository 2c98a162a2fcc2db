// HWL decode and encode speed on photograph-like pictures of 512 x 512 and
// 2048 x 2048, with libjpeg-turbo on the same picture as the yardstick.
// Items are pixels, so items_per_second reads as megapixels per second;
// bytes are the compressed file. The psnr_db and bpp counters show the
// quality of each file; JPEG runs at qualities 75 and 85 (the first
// argument), which bracket the PSNR of the default HWL file. The HWL decoder
// uses every core, libjpeg-turbo one. Whole-process decoding and peak memory
// are measured by decode_process.sh, bytes at equal PSNR on real photographs
// by hwl_rd_bench.
#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "images/hwl_decoder.h"
#include "images/hwl_encode.h"

namespace {

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
std::vector<uint8_t> makePicture(int side) {
    std::vector<uint8_t> rgb(size_t(side) * side * 3);
    uint32_t state = kNoiseSeed;
    auto noise = [&state]() { // -2 .. 2
        state = state * 1664525u + 1013904223u;
        return int(state >> 29) % 5 - 2;
    };
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const double u = x / double(side), v = y / double(side);
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
            uint8_t* p = &rgb[(size_t(y) * side + x) * 3];
            p[0] = uint8_t(std::clamp(r + noise(), 0.0, 255.0));
            p[1] = uint8_t(std::clamp(g + noise(), 0.0, 255.0));
            p[2] = uint8_t(std::clamp(b + noise(), 0.0, 255.0));
        }
    }
    return rgb;
}

std::vector<uint8_t> compressJpeg(const std::vector<uint8_t>& rgb, int side, int quality) {
    tjhandle handle = tjInitCompress();
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    if (tjCompress2(handle, rgb.data(), side, 0, side, TJPF_RGB, &bytes, &size, TJSAMP_420, quality,
                    TJFLAG_ACCURATEDCT) != 0)
        std::abort();
    std::vector<uint8_t> jpeg(bytes, bytes + size);
    tjFree(bytes);
    tjDestroy(handle);
    return jpeg;
}

double jpegPsnr(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& rgb, int side) {
    std::vector<uint8_t> decoded(rgb.size());
    tjhandle handle = tjInitDecompress();
    if (tjDecompress2(handle, jpeg.data(), jpeg.size(), decoded.data(), side, 0, side, TJPF_RGB,
                      0) != 0)
        std::abort();
    tjDestroy(handle);
    return hwl::psnr(decoded.data(), rgb.data(), rgb.size());
}

struct Compressed {
    std::vector<uint8_t> bytes;
    double psnr = 0;
};

// Everything the benchmarks of one size share, made once. The JPEG
// qualities bracket the PSNR of the default HWL file.
struct Fixture {
    static constexpr int kJpegQualities[2] = {75, 85};
    int side;
    std::vector<uint8_t> rgb;
    Compressed hwl;
    Compressed jpeg[2];

    explicit Fixture(int pictureSide) : side(pictureSide), rgb(makePicture(pictureSide)) {
        const hwl::PixelView view{rgb.data(), side, side, 3};
        if (hwl::encodeHwl(hwl.bytes, view, {}) || hwl::measurePsnr(hwl.psnr, hwl.bytes, rgb))
            std::abort();
        for (int i = 0; i < 2; ++i) {
            jpeg[i].bytes = compressJpeg(rgb, side, kJpegQualities[i]);
            jpeg[i].psnr = jpegPsnr(jpeg[i].bytes, rgb, side);
        }
    }

    const Compressed& jpegOfQuality(int quality) const {
        return jpeg[quality == kJpegQualities[0] ? 0 : 1];
    }
};

Fixture& fixture(int side) {
    static std::map<int, std::unique_ptr<Fixture>> fixtures;
    std::unique_ptr<Fixture>& f = fixtures[side];
    if (!f) f = std::make_unique<Fixture>(side);
    return *f;
}

void report(benchmark::State& state, const Compressed& picture, int side) {
    const int64_t pixels = int64_t(side) * side;
    state.SetItemsProcessed(int64_t(state.iterations()) * pixels);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(picture.bytes.size()));
    state.counters["psnr_db"] = picture.psnr;
    state.counters["bpp"] = double(picture.bytes.size()) * 8.0 / double(pixels);
}

// Argument: the picture's side.
void BM_HwlDecodeMemory(benchmark::State& state) {
    Fixture& f = fixture(int(state.range(0)));
    std::vector<uint8_t> pixels;
    hwl::HwlHeader header{};
    for (auto _ : state) {
        if (hwl::decodeHwlMemory(pixels, header, f.hwl.bytes.data(), f.hwl.bytes.size(), true))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(pixels.data());
    }
    report(state, f.hwl, f.side);
}

void BM_HwlEncode(benchmark::State& state) {
    Fixture& f = fixture(int(state.range(0)));
    const hwl::PixelView view{f.rgb.data(), f.side, f.side, 3};
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        if (hwl::encodeHwl(bytes, view, {})) state.SkipWithError("encode failed");
        benchmark::DoNotOptimize(bytes.data());
    }
    report(state, f.hwl, f.side);
}

// Arguments: JPEG quality, the picture's side. The JPEG decodes into the
// same 4-byte blue, green, red layout the HWL decoder gives.
void BM_JpegDecodeMemory(benchmark::State& state) {
    Fixture& f = fixture(int(state.range(1)));
    const Compressed& jpeg = f.jpegOfQuality(int(state.range(0)));
    tjhandle handle = tjInitDecompress();
    std::vector<uint8_t> pixels(size_t(f.side) * f.side * 4);
    for (auto _ : state) {
        if (tjDecompress2(handle, jpeg.bytes.data(), jpeg.bytes.size(), pixels.data(), f.side, 0,
                          f.side, TJPF_BGRX, 0) != 0)
            state.SkipWithError("JPEG decode failed");
        benchmark::DoNotOptimize(pixels.data());
    }
    tjDestroy(handle);
    report(state, jpeg, f.side);
}

void BM_JpegEncode(benchmark::State& state) {
    Fixture& f = fixture(int(state.range(1)));
    const int quality = int(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(compressJpeg(f.rgb, f.side, quality).data());
    report(state, f.jpegOfQuality(quality), f.side);
}

} // namespace

// Wall-clock time: the HWL decoder may use more than one thread.
BENCHMARK(BM_HwlDecodeMemory)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JpegDecodeMemory)
    ->ArgsProduct({{75, 85}, {512, 2048}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_HwlEncode)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JpegEncode)
    ->ArgsProduct({{75, 85}, {512, 2048}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
