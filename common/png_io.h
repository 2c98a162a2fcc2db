// PNG files in and out through libpng, 8 bits per channel.
//
// Reading accepts every PNG colour type and depth: palettes and grey levels
// below 8 bits are expanded, transparency chunks become an alpha channel and
// 16-bit samples are scaled to 8 bits. Pixels are row-major, row 0 first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PngImage {
    int width = 0;
    int height = 0;
    int channels = 0;            // 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA
    std::vector<uint8_t> pixels; // width * height * channels bytes
};

// Empty message on success; otherwise one line naming the file and the cause.
struct PngError {
    std::string message;

    bool ok() const { return message.empty(); }
    explicit operator bool() const { return !ok(); } // true when there is an error
};

// Largest image we read (8192 x 8192 pixels, any shape, sides up to 32768):
// a few bytes of header may claim gigabytes, which we refuse before allocating.
constexpr uint32_t kMaxPngSide = 32768;
constexpr uint64_t kMaxPngPixels = uint64_t(1) << 26;

PngError readPng(const std::string& fileName, PngImage& image);

// Writes `image` as an 8-bit PNG of its channel count. On failure the
// partly written file is removed.
PngError writePng(const std::string& fileName, const PngImage& image);
