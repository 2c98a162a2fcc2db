// Whole-image HWL encoding for tools: 8-bit pixels in, file bytes out.
//
// Runs the encoder's stages in their fixed order (transform, optional
// detail threshold, quantisation, writer), measures the result against the
// input, and searches the settings for a target quality or a target size.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "images/hwl_format.h"

namespace hwl {

// Defaults measured on photographs: about 2 bits per pixel at about 33 dB.
// Luma keeps the most precision; the colour-difference planes carry little
// detail the eye misses, so they get narrower values. The threshold removes
// the many small details that would otherwise each cost a symbol and a value.
constexpr int kDefaultLevels = 4;
constexpr int kDefaultLumaBits = 6;
constexpr int kDefaultChromaBits = 5;
constexpr double kDefaultThreshold = 8.0;

struct HwlEncodeSettings {
    int levels = kDefaultLevels;
    int valueBits[kMaxPlanes] = {kDefaultLumaBits, kDefaultChromaBits, kDefaultChromaBits};
    double threshold = kDefaultThreshold; // details of at most this magnitude become 0
    bool grey = false;                    // one 8-bit plane instead of a 24-bit colour file
};

// 8-bit pixels, row-major, row 0 first, not owned.
struct PixelView {
    const uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int channels = 0; // 1 grey, 2 grey + alpha, 3 R G B, 4 R G B A (alpha is not encoded)
};

// Largest level count that width x height fits (-1 when no count fits).
int largestFittingLevels(int width, int height);

// Checks the settings and the image against the format: sizes that fit
// 2^(levels+1) (the message names the nearest sizes that fit and the most
// levels this size allows), level count, value widths, threshold.
HwlError checkEncodeSettings(const HwlEncodeSettings& settings, int width, int height);

// Grey level the format's luma weights give: round(0.3 R + 0.59 G + 0.11 B).
std::vector<uint8_t> toGrey(const PixelView& image);

// The picture a file made with `grey` is compared against: the image
// itself, or its grey levels; always 1 (grey) or 3 (R G B) channels.
std::vector<uint8_t> referencePixels(const PixelView& image, bool grey);

// Encodes `image` as an HWL file into `bytes`. A grey file from a colour
// image takes its grey levels; a colour file from a grey image has R = G = B.
HwlError encodeHwl(std::vector<uint8_t>& bytes, const PixelView& image,
                   const HwlEncodeSettings& settings);

// The "_alpha" companion of a texture: a 24-bit file whose decoded blue
// channel is `mask` (one byte a pixel). The luma plane holds the mask and
// both colour-difference planes are exactly zero, so blue = luma. Uses the
// settings' level count, plane-0 value width and threshold.
HwlError encodeHwlMask(std::vector<uint8_t>& bytes, const uint8_t* mask, int width, int height,
                       const HwlEncodeSettings& settings);

// An image with alpha (2 or 4 channels): the file from its grey or colour
// channels, and the companion from its last channel.
HwlError encodeHwlWithAlpha(std::vector<uint8_t>& colourBytes, std::vector<uint8_t>& alphaBytes,
                            const PixelView& image, const HwlEncodeSettings& settings);

// Peak signal-to-noise ratio in dB of two byte arrays of `count` samples;
// infinity when they are equal.
double psnr(const uint8_t* a, const uint8_t* b, size_t count);

// Decodes `bytes` and compares the result with `reference` (1 channel for a
// grey file, 3 for a colour file, as referencePixels gives).
HwlError measurePsnr(double& db, const std::vector<uint8_t>& bytes,
                     const std::vector<uint8_t>& reference);

// Blue channel of a decoded 24-bit file, the alpha a companion carries.
HwlError decodeMask(std::vector<uint8_t>& mask, const std::vector<uint8_t>& bytes);

struct HwlEncodeOutcome {
    HwlEncodeSettings settings;
    std::vector<uint8_t> bytes;
    double psnr = 0;
};

// Called after each trial encoding of a search with (trials done, trials planned).
using SearchProgress = std::function<void(int done, int planned)>;

// What a search may change: the value widths and the threshold, unless the
// caller fixed them. The level count and grey/colour always come from `start`.
struct SearchFreedom {
    bool valueBits = true;
    bool threshold = true;
};

// The smallest file whose PSNR is at least `targetDb`. Fails when not even
// the finest settings reach it (the message gives the best PSNR reached).
HwlError searchForPsnr(HwlEncodeOutcome& outcome, const PixelView& image,
                       const HwlEncodeSettings& start, SearchFreedom freedom, double targetDb,
                       const SearchProgress& progress = {});

// The highest PSNR whose file takes at most `maxBytes`. Fails when not even
// the coarsest settings fit (the message gives the smallest size reached).
HwlError searchForSize(HwlEncodeOutcome& outcome, const PixelView& image,
                       const HwlEncodeSettings& start, SearchFreedom freedom, uint64_t maxBytes,
                       const SearchProgress& progress = {});

// "levels 4, bits 6,5,5, threshold 8" (one width for grey).
std::string describeSettings(const HwlEncodeSettings& settings);

} // namespace hwl
