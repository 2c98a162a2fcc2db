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

// Defaults measured on six photographs (448 x 288 to 864 x 576): 1.5 to
// 2.4 bits per pixel, 32.2 to 33.9 dB, 1.8 bits per pixel and 33.2 dB on
// average. Every coefficient that is not zero costs a symbol and a value, so
// the detail threshold is the main lever; luma keeps one bit more than the
// colour-difference planes. Levels barely matter between 3 and 5.
constexpr int kDefaultLevels = 4;
constexpr int kDefaultLumaBits = 6;
constexpr int kDefaultChromaBits = 5;
constexpr double kDefaultThreshold = 16.0;
// The tool's encoding without a target: rate-distortion quantisation at this
// exchange rate gives photographs 0.2 dB less than the default threshold in
// about 10 % fewer bytes (about 7 % fewer at equal PSNR).
constexpr double kDefaultLambda = 96.0;

struct HwlEncodeSettings {
    int levels = kDefaultLevels;
    int valueBits[kMaxPlanes] = {kDefaultLumaBits, kDefaultChromaBits, kDefaultChromaBits};
    double threshold = kDefaultThreshold; // details of at most this magnitude become 0
    bool grey = false;                    // one 8-bit plane instead of a 24-bit colour file
    // Above 0: each band gets its own factor and a detail is kept only where
    // the squared error it removes is worth its bits at this many per bit
    // (the threshold is then unused); 0: the plain stages.
    double lambda = 0;
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

struct HwlEncodeOutcome {
    HwlEncodeSettings settings;
    std::vector<uint8_t> bytes;
    double psnr = 0;
};

// Peak signal-to-noise ratio in dB of two byte arrays of `count` samples;
// infinity when they are equal.
double psnr(const uint8_t* a, const uint8_t* b, size_t count);

// Decodes `bytes` and compares the result with `reference` (1 channel for a
// grey file, 3 for a colour file, as referencePixels gives).
HwlError measurePsnr(double& db, const std::vector<uint8_t>& bytes,
                     const std::vector<uint8_t>& reference);

// Blue channel of a decoded 24-bit file, the alpha a companion carries.
// `name` labels error messages.
HwlError decodeMask(std::vector<uint8_t>& mask, const std::vector<uint8_t>& bytes,
                    const std::string& name = "");

// Mask files keep 8-bit values and drop only details below this: the
// alpha stays within about half a level of the mask.
constexpr double kMaskThreshold = 4.0;
// A level count whose mask PSNR is this close to the best one, or at least
// kMaskGoodDb (alpha within a level of the mask), may be chosen for a
// smaller file.
constexpr double kMaskLevelToleranceDb = 1.0;
constexpr double kMaskGoodDb = 50.0;

// The "_alpha" companion of a texture: a 24-bit file whose decoded blue
// channel is `mask` (one byte a pixel). The luma plane holds the mask and
// both colour-difference planes are exactly zero, so blue = luma.
// The decoder smooths across zero details at coarse levels, which blurs
// hard mask edges, so the level count is chosen per mask: of the counts
// from 0 to `maxLevels` that the size fits, the smallest file among those
// good enough by the rule above.
HwlError encodeHwlMask(HwlEncodeOutcome& outcome, const uint8_t* mask, int width, int height,
                       int maxLevels);

// The last channel of an image with alpha (2 or 4 channels).
std::vector<uint8_t> alphaChannel(const PixelView& image);

// An image with alpha: the file from its grey or colour channels with
// `settings`, and its companion from the alpha channel.
HwlError encodeHwlWithAlpha(HwlEncodeOutcome& image, HwlEncodeOutcome& alpha,
                            const PixelView& pixels, const HwlEncodeSettings& settings);

// Called after each trial encoding of a search with (trials done, trials planned).
using SearchProgress = std::function<void(int done, int planned)>;

// What a search may change, unless the caller fixed it: the level count
// (from start.levels down to 0), the value widths and the threshold.
// Grey or colour always comes from `start`.
struct SearchFreedom {
    bool levels = true;
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

// "colour, levels 4, bits 6,5,5, threshold 8" (one width for grey; lambda
// in place of the threshold where it is used).
std::string describeSettings(const HwlEncodeSettings& settings);

} // namespace hwl
