// Size at equal quality: for every PNG photograph in a folder and every
// target PSNR, the smallest HWL file the encoder's search finds against the
// smallest 4:2:0 JPEG (libjpeg-turbo, quality searched) reaching the same
// PSNR over the R, G, B samples. Prints one row per photograph and target,
// then the median size ratio per target and overall.
//
//   hwl_rd_bench DIR [DB ...]        (default targets 30 33 36)
//
// scripts/bench-photos.sh writes a suitable folder. A plain program: each
// encode is timed once, which is what a tool's user waits for.
#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/png_io.h"
#include "images/hwl_encode.h"

namespace {

constexpr int kMaxQuality = 100;

struct JpegTrial {
    unsigned long bytes = 0;
    double psnr = 0;
};

// Every quality from 1 to 100: bytes and PSNR of the decoded picture.
std::vector<JpegTrial> jpegTrials(const PngImage& image) {
    std::vector<JpegTrial> trials(kMaxQuality + 1);
    tjhandle compressor = tjInitCompress(), decompressor = tjInitDecompress();
    std::vector<uint8_t> decoded(image.pixels.size());
    for (int quality = 1; quality <= kMaxQuality; ++quality) {
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        if (tjCompress2(compressor, image.pixels.data(), image.width, 0, image.height, TJPF_RGB,
                        &jpeg, &size, TJSAMP_420, quality, 0) != 0 ||
            tjDecompress2(decompressor, jpeg, size, decoded.data(), image.width, 0, image.height,
                          TJPF_RGB, 0) != 0) {
            std::fprintf(stderr, "libjpeg-turbo: %s\n", tjGetErrorStr2(compressor));
            std::exit(1);
        }
        trials[quality] = {size, hwl::psnr(decoded.data(), image.pixels.data(), decoded.size())};
        tjFree(jpeg);
    }
    tjDestroy(compressor);
    tjDestroy(decompressor);
    return trials;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [DB ...]\n", argv[0]);
        return 2;
    }
    std::vector<double> targets;
    for (int i = 2; i < argc; ++i) targets.push_back(std::atof(argv[i]));
    if (targets.empty()) targets = {30, 33, 36};
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
        if (entry.path().extension() == ".png") files.push_back(entry.path());
    std::sort(files.begin(), files.end());

    std::map<double, std::vector<double>> ratios;
    std::vector<double> all;
    std::printf("%-20s %9s %5s %9s %4s %9s %6s %8s  %s\n", "photo", "size", "dB", "HWL", "q",
                "JPEG", "ratio", "ms", "settings");
    for (const auto& file : files) {
        PngImage png;
        if (PngError error = readPng(file.string(), png)) {
            std::fprintf(stderr, "%s\n", error.message.c_str());
            return 1;
        }
        if (png.channels != 3) {
            std::fprintf(stderr, "%s: not an RGB picture\n", file.c_str());
            return 1;
        }
        const std::vector<JpegTrial> jpeg = jpegTrials(png);
        const hwl::PixelView view{png.pixels.data(), png.width, png.height, png.channels};
        hwl::HwlEncodeSettings start;
        start.levels =
            std::clamp(hwl::largestFittingLevels(png.width, png.height), 0, hwl::kDefaultLevels);
        const std::string size = std::to_string(png.width) + "x" + std::to_string(png.height);
        for (double target : targets) {
            int quality = 0;
            for (int q = 1; q <= kMaxQuality; ++q)
                if (jpeg[q].psnr >= target && (!quality || jpeg[q].bytes < jpeg[quality].bytes))
                    quality = q;
            hwl::HwlEncodeOutcome outcome;
            const auto begin = std::chrono::steady_clock::now();
            const hwl::HwlError error = hwl::searchForPsnr(outcome, view, start, {}, target);
            const std::chrono::duration<double, std::milli> ms =
                std::chrono::steady_clock::now() - begin;
            if (error || !quality) {
                std::printf("%-20s %9s %5.1f  %s\n", file.stem().c_str(), size.c_str(), target,
                            error ? error.message.c_str() : "no JPEG quality reaches it");
                continue;
            }
            const double ratio = double(outcome.bytes.size()) / double(jpeg[quality].bytes);
            ratios[target].push_back(ratio);
            all.push_back(ratio);
            std::printf("%-20s %9s %5.1f %9zu %4d %9lu %6.3f %8.0f  %s\n", file.stem().c_str(),
                        size.c_str(), target, outcome.bytes.size(), quality, jpeg[quality].bytes,
                        ratio, ms.count(), hwl::describeSettings(outcome.settings).c_str());
            std::fflush(stdout);
        }
    }
    for (const auto& [target, list] : ratios)
        std::printf("median ratio at %.1f dB: %.3f (%zu photos)\n", target, median(list),
                    list.size());
    std::printf("median ratio overall: %.3f\n", median(all));
    return 0;
}
