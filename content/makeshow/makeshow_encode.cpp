#include "content/makeshow/makeshow_encode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "content/makeshow/makeshow_hash.h"
#include "images/hwl_decoder.h"

namespace {

// Chosen by looking at the pictures on the stage (see the README's table):
// below these the figures' outlines ring and the letters' edges go soft.
constexpr double kCutOutDb = 35.0;
constexpr double kOwnBlueDb = 38.0;
constexpr double kOpaqueDb = 33.0;
// An opaque picture this smooth (mean difference between neighbouring grey
// levels) shows the codec's errors as blocks at once, long before its PSNR
// drops, and a higher target costs it little: the loading picture, a soft
// glow stretched over the whole window, needs about 44 dB to look clean.
constexpr double kSmoothGradient = 1.0;
constexpr double kSmoothDb = 44.0;
// More levels than this never made a picture of ours smaller.
constexpr int kMaxSearchLevels = 5;
// A draft's fixed settings: the plain stages (no rate-distortion pass) at
// half the default detail threshold. Every picture of ours gets about 40 dB,
// above all the targets, in twice to three times the bytes of the search's
// file; see bench/rebuild_bench.cpp for the time.
constexpr int kDraftLevels = 4;
constexpr int kDraftLumaBits = 6;
constexpr int kDraftChromaBits = 5;
constexpr double kDraftThreshold = 8.0;

constexpr int kRgbChannels = 3;
constexpr int kRgbaChannels = 4;
constexpr int kDecodedChannels = 4; // blue, green, red, 0
constexpr double kPeak = 255.0;
constexpr double kBitsPerByte = 8.0;
constexpr double kBytesPerKiB = 1024.0;

// A cut-out's colour search aims at the whole picture, then corrects by
// what the visible pixels actually reached; this many corrections, and a
// visible PSNR this close above the target ends them.
constexpr int kCutOutRounds = 3;
constexpr double kCutOutCloseDb = 0.3;
// Keeps the whole-picture target finite for a cut-out that shows (almost) nothing.
constexpr double kMinVisibleFraction = 1e-6;

// The decoded picture as R, G, B.
std::string decodeRgb(const std::vector<uint8_t>& bytes, std::vector<uint8_t>& rgb) {
    std::vector<uint8_t> pixels;
    hwl::HwlHeader header{};
    if (hwl::HwlError error =
            hwl::decodeHwlMemory(pixels, header, bytes.data(), bytes.size(), true))
        return error.message;
    const size_t count = size_t(header.width) * header.height;
    rgb.resize(count * kRgbChannels);
    for (size_t i = 0; i < count; ++i) {
        rgb[i * kRgbChannels + 0] = pixels[i * kDecodedChannels + 2];
        rgb[i * kRgbChannels + 1] = pixels[i * kDecodedChannels + 1];
        rgb[i * kRgbChannels + 2] = pixels[i * kDecodedChannels + 0];
    }
    return "";
}

// PSNR of the colour of the pixels a cut-out shows (alpha above zero).
std::string visiblePsnr(const std::vector<uint8_t>& bytes, const picture::Picture& rgba,
                        double& db) {
    std::vector<uint8_t> rgb;
    if (std::string error = decodeRgb(bytes, rgb); !error.empty()) return error;
    const size_t count = size_t(rgba.width) * rgba.height;
    uint64_t squared = 0, samples = 0;
    for (size_t i = 0; i < count; ++i) {
        if (rgba.pixels[i * kRgbaChannels + 3] == 0) continue;
        for (int c = 0; c < kRgbChannels; ++c) {
            const int d = int(rgb[i * kRgbChannels + c]) - int(rgba.pixels[i * kRgbaChannels + c]);
            squared += uint64_t(d * d);
        }
        samples += kRgbChannels;
    }
    db = squared == 0 ? std::numeric_limits<double>::infinity()
                      : 10.0 * std::log10(kPeak * kPeak * double(samples) / double(squared));
    return "";
}

// Mean absolute difference between the grey levels of neighbouring pixels.
double meanGradient(const hwl::PixelView& view) {
    const std::vector<uint8_t> grey = hwl::toGrey(view);
    uint64_t sum = 0, pairs = 0;
    for (int y = 0; y < view.height; ++y) {
        for (int x = 0; x < view.width; ++x) {
            const int here = grey[size_t(y) * view.width + x];
            if (x + 1 < view.width) {
                sum += uint64_t(std::abs(grey[size_t(y) * view.width + x + 1] - here));
                ++pairs;
            }
            if (y + 1 < view.height) {
                sum += uint64_t(std::abs(grey[size_t(y + 1) * view.width + x] - here));
                ++pairs;
            }
        }
    }
    return pairs == 0 ? 0.0 : double(sum) / double(pairs);
}

double visibleFraction(const picture::Picture& rgba) {
    const size_t count = size_t(rgba.width) * rgba.height;
    size_t visible = 0;
    for (size_t i = 0; i < count; ++i) visible += rgba.pixels[i * kRgbaChannels + 3] != 0;
    return count == 0 ? 0.0 : double(visible) / double(count);
}

hwl::HwlEncodeSettings searchStart(int width, int height, int maxLevels) {
    hwl::HwlEncodeSettings start;
    start.levels = std::min(maxLevels, hwl::largestFittingLevels(width, height));
    return start;
}

// The smallest file reaching `targetDb` on the whole picture, each level
// count from 0 to start.levels searched on its own: the codec's search picks
// the level count first with the start's value widths, which for thin
// outlines can settle on 0 levels at twice the size. Where no settings reach
// the target, the best PSNR any settings give.
hwl::HwlError smallestOverLevels(hwl::HwlEncodeOutcome& outcome, const hwl::PixelView& view,
                                 const hwl::HwlEncodeSettings& start, double targetDb) {
    bool found = false;
    for (int levels = 0; levels <= start.levels; ++levels) {
        hwl::HwlEncodeSettings atLevels = start;
        atLevels.levels = levels;
        hwl::SearchFreedom freedom;
        freedom.levels = false;
        hwl::HwlEncodeOutcome trial;
        if (hwl::searchForPsnr(trial, view, atLevels, freedom, targetDb)) continue;
        if (!found || trial.bytes.size() < outcome.bytes.size()) outcome = std::move(trial);
        found = true;
    }
    if (found) return {};
    return hwl::searchForSize(outcome, view, start, {}, std::numeric_limits<uint64_t>::max());
}

// The same at one level count only.
hwl::HwlError smallestAtLevels(hwl::HwlEncodeOutcome& outcome, const hwl::PixelView& view,
                               const hwl::HwlEncodeSettings& start, double targetDb) {
    hwl::SearchFreedom freedom;
    freedom.levels = false;
    if (!hwl::searchForPsnr(outcome, view, start, freedom, targetDb)) return {};
    return hwl::searchForSize(outcome, view, start, freedom, std::numeric_limits<uint64_t>::max());
}

// A cut-out's colour: only the visible pixels count. The clear part (its
// colour spread smoothly outward) costs next to nothing, so the target on the
// whole picture is raised by what the clear part adds to it; the level count
// found for that is kept while the whole target is corrected by what the
// visible pixels actually reach.
std::string encodeCutOutColour(const picture::Picture& rgba, const hwl::PixelView& view,
                               const hwl::HwlEncodeSettings& start, double targetDb,
                               EncodedFile& file) {
    const double fraction = visibleFraction(rgba);
    double wholeDb = targetDb - 10.0 * std::log10(std::max(fraction, kMinVisibleFraction));
    hwl::HwlEncodeOutcome best;
    double bestDb = 0;
    bool found = false;
    hwl::HwlEncodeSettings atLevels = start;
    for (int round = 0; round < kCutOutRounds; ++round) {
        hwl::HwlEncodeOutcome outcome;
        if (hwl::HwlError error = round == 0 ? smallestOverLevels(outcome, view, start, wholeDb)
                                             : smallestAtLevels(outcome, view, atLevels, wholeDb))
            return error.message;
        atLevels.levels = outcome.settings.levels;
        double db = 0;
        if (std::string error = visiblePsnr(outcome.bytes, rgba, db); !error.empty()) return error;
        const bool reached = db >= targetDb;
        if (reached && (!found || outcome.bytes.size() < best.bytes.size())) {
            best = outcome;
            bestDb = db;
            found = true;
        } else if (!found && round == kCutOutRounds - 1) {
            best = outcome; // the closest we came
            bestDb = db;
            found = true;
        }
        if (std::isinf(db) || (reached && db - targetDb < kCutOutCloseDb)) break;
        wholeDb += targetDb - db;
    }
    file.bytes = std::move(best.bytes);
    file.settings = best.settings;
    file.psnr = bestDb;
    file.measuredOn = "visible";
    return "";
}

std::string encodeMask(const picture::Picture& rgba, int maxLevels, EncodedFile& file) {
    const hwl::PixelView view{rgba.pixels.data(), rgba.width, rgba.height, kRgbaChannels};
    const std::vector<uint8_t> mask = hwl::alphaChannel(view);
    hwl::HwlEncodeOutcome outcome;
    if (hwl::HwlError error =
            hwl::encodeHwlMask(outcome, mask.data(), rgba.width, rgba.height, maxLevels))
        return error.message;
    file.bytes = std::move(outcome.bytes);
    file.settings = outcome.settings;
    file.psnr = outcome.psnr;
    file.measuredOn = "mask";
    return "";
}

// A draft of the colour file: one encoding with fixed settings.
std::string encodeDraftColour(const hwl::PixelView& view, const hwl::HwlEncodeSettings& start,
                              EncodedFile& file) {
    hwl::HwlEncodeSettings settings = start;
    settings.levels = std::min(start.levels, kDraftLevels);
    settings.valueBits[0] = kDraftLumaBits;
    settings.valueBits[1] = settings.valueBits[2] = kDraftChromaBits;
    settings.threshold = kDraftThreshold;
    settings.lambda = 0;
    if (hwl::HwlError error = hwl::encodeHwl(file.bytes, view, settings)) return error.message;
    if (hwl::HwlError error =
            hwl::measurePsnr(file.psnr, file.bytes, hwl::referencePixels(view, false)))
        return error.message;
    file.settings = settings;
    file.measuredOn = "rgb";
    return "";
}

} // namespace

EncodeTargets defaultEncodeTargets() {
    return EncodeTargets{kCutOutDb,       kOwnBlueDb, kOpaqueDb,
                         kSmoothGradient, kSmoothDb,  kMaxSearchLevels};
}

void hashEncodeTargets(ContentHash& hash, const EncodeTargets& targets) {
    hash.addNumber(targets.cutOutDb);
    hash.addNumber(targets.ownBlueDb);
    hash.addNumber(targets.opaqueDb);
    hash.addNumber(targets.smoothGradient);
    hash.addNumber(targets.smoothDb);
    hash.addNumber(int64_t(targets.maxLevels));
}

std::string encodePicture(const picture::ManifestEntry& entry, const picture::Picture& picture,
                          const EncodeTargets& targets, std::vector<EncodedFile>& files,
                          bool draft) {
    files.clear();
    const bool companion = entry.alpha == picture::AlphaKind::Companion;
    const int channels = companion ? kRgbaChannels : kRgbChannels;
    const std::string name = "data/" + entry.name + ".hwl";
    if (picture.channels != channels ||
        picture.pixels.size() != size_t(picture.width) * picture.height * channels)
        return name + ": the rendered picture has " + std::to_string(picture.channels) +
               " channels, not " + std::to_string(channels);
    const hwl::PixelView view{picture.pixels.data(), picture.width, picture.height, channels};
    const hwl::HwlEncodeSettings start =
        searchStart(picture.width, picture.height, targets.maxLevels);

    EncodedFile colour;
    colour.path = name;
    colour.width = picture.width;
    colour.height = picture.height;
    std::string error;
    if (draft) {
        error = encodeDraftColour(view, start, colour);
    } else if (companion) {
        error = encodeCutOutColour(picture, view, start, targets.cutOutDb, colour);
    } else {
        double target = targets.opaqueDb;
        if (entry.alpha == picture::AlphaKind::OwnBlue)
            target = targets.ownBlueDb;
        else if (meanGradient(view) < targets.smoothGradient)
            target = targets.smoothDb;
        hwl::HwlEncodeOutcome outcome;
        if (hwl::HwlError failure = smallestOverLevels(outcome, view, start, target)) {
            error = failure.message;
        } else {
            colour.bytes = std::move(outcome.bytes);
            colour.settings = outcome.settings;
            colour.psnr = outcome.psnr;
            colour.measuredOn = "rgb";
        }
    }
    if (!error.empty()) return name + ": " + error;
    files.push_back(std::move(colour));
    if (!companion) return "";

    EncodedFile mask;
    mask.path = hwl::alphaCompanionName(name);
    mask.width = picture.width;
    mask.height = picture.height;
    if (std::string failure = encodeMask(picture, start.levels, mask); !failure.empty())
        return mask.path + ": " + failure;
    files.push_back(std::move(mask));
    return "";
}

std::string describeEncodedFile(const EncodedFile& file) {
    const double bpp =
        double(file.bytes.size()) * kBitsPerByte / (double(file.width) * file.height);
    char db[32];
    if (std::isinf(file.psnr))
        std::snprintf(db, sizeof db, "exact");
    else
        std::snprintf(db, sizeof db, "%.2f dB", file.psnr);
    char line[256];
    std::snprintf(line, sizeof line, "%-24s %4d x %-4d %7.1f KiB %5.2f bpp %9s %-7s  %s",
                  file.path.c_str(), file.width, file.height,
                  double(file.bytes.size()) / kBytesPerKiB, bpp, db, file.measuredOn,
                  hwl::describeSettings(file.settings).c_str());
    return line;
}
