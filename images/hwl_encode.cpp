#include "images/hwl_encode.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "images/hwl_decoder.h"
#include "images/hwl_encoder.h"
#include "images/hwl_rate.h"

namespace hwl {

namespace {

constexpr double kLumaRed = 0.3;
constexpr double kLumaGreen = 0.59;
constexpr double kLumaBlue = 0.11;
constexpr double kPeak = 255.0;

// Thresholds a search tries lie in [0, kMaxSearchThreshold]; beyond it
// nearly every detail of an 8-bit picture is gone.
constexpr double kMaxSearchThreshold = 128.0;
// Bisection steps on the threshold: 128 / 2^9 = 0.25 resolution.
constexpr int kThresholdSteps = 9;
// Luma widths a search tries; the colour-difference planes get the same
// width or one bit less (measured on photographs, wider gaps always cost
// more for the same PSNR).
constexpr int kSearchMinBits = 3;
constexpr int kMaxChromaGap = 1;

// The coefficient planes of one image, transformed once and reused by every
// trial of a search (only the threshold and the quantiser change).
struct Transformed {
    int width = 0;
    int height = 0;
    int levels = 0;
    int planeCount = 0;
    std::vector<double> planes[kMaxPlanes];
    std::vector<double> zeroErrors[kMaxPlanes]; // for rate-distortion trials only
};

std::string sizeText(int width, int height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

// "704 or 768": the multiples of `block` on either side of `size`.
std::string nearestMultiples(int size, int block) {
    const int below = size / block * block;
    if (below == size) return std::to_string(size);
    if (below == 0) return std::to_string(block);
    return std::to_string(below) + " or " + std::to_string(below + block);
}

uint8_t greyOf(const uint8_t* pixel) {
    const double y = kLumaRed * pixel[0] + kLumaGreen * pixel[1] + kLumaBlue * pixel[2];
    return channelToByte(y);
}

// `forRd`: also the zero errors that rate-distortion trials need.
Transformed transformImage(const PixelView& image, const HwlEncodeSettings& settings,
                           bool forRd = false) {
    Transformed t;
    t.width = image.width;
    t.height = image.height;
    t.levels = settings.levels;
    t.planeCount = settings.grey ? 1 : 3;
    const size_t count = size_t(image.width) * size_t(image.height);
    const std::vector<uint8_t> reference = referencePixels(image, settings.grey);
    const int channels = t.planeCount;
    std::vector<double> input[kMaxPlanes];
    for (int c = 0; c < channels; ++c) {
        input[c].resize(count);
        for (size_t i = 0; i < count; ++i) input[c][i] = reference[i * channels + c];
        t.planes[c].resize(count);
    }
    if (settings.grey) {
        forwardHaar(input[0].data(), t.planes[0].data(), t.width, t.height, t.width, t.levels);
    } else {
        forwardHaarColour(input[0].data(), input[1].data(), input[2].data(), t.planes[0].data(),
                          t.planes[1].data(), t.planes[2].data(), t.width, t.height, t.width,
                          t.levels);
    }
    for (int p = 0; forRd && p < t.planeCount; ++p)
        t.zeroErrors[p] = zeroErrors(t.planes[p].data(), t.width, t.height, t.levels);
    return t;
}

// The integer planes and tables of one trial.
struct Quantised {
    std::vector<int32_t> integers[kMaxPlanes];
    double tables[kMaxPlanes][kMaxTableEntries] = {};
};

void quantiseTransformed(Quantised& q, const Transformed& t, const HwlEncodeSettings& settings) {
    const size_t count = size_t(t.width) * size_t(t.height);
    std::vector<double> coefficients;
    for (int p = 0; p < t.planeCount; ++p) {
        q.integers[p].resize(count);
        if (settings.lambda > 0) {
            quantisePlaneRd(t.planes[p].data(), t.zeroErrors[p].data(), q.integers[p].data(),
                            t.width, t.height, t.levels, settings.valueBits[p],
                            planeErrorWeight(p, t.planeCount == 1), settings.lambda, q.tables[p]);
            continue;
        }
        coefficients = t.planes[p];
        if (settings.threshold > 0)
            thresholdDetails(coefficients.data(), settings.threshold, t.width, t.height, t.levels);
        quantisePlane(coefficients.data(), q.integers[p].data(), t.width, t.height, t.levels,
                      settings.valueBits[p], q.tables[p]);
    }
}

HwlError writeQuantised(std::vector<uint8_t>& bytes, const Quantised& q, const Transformed& t,
                        const int valueBits[kMaxPlanes]) {
    HwlEncodedImage encoded;
    encoded.width = t.width;
    encoded.height = t.height;
    encoded.levels = t.levels;
    encoded.bitsPerPixel = t.planeCount == 1 ? kGreyBitsPerPixel : kColourBitsPerPixel;
    for (int p = 0; p < t.planeCount; ++p) {
        encoded.planes[p] = q.integers[p].data();
        encoded.tables[p] = q.tables[p];
        encoded.valueBits[p] = valueBits[p];
    }
    return writeHwlMemory(bytes, encoded);
}

HwlError encodeTransformed(std::vector<uint8_t>& bytes, const Transformed& t,
                           const HwlEncodeSettings& settings) {
    Quantised q;
    quantiseTransformed(q, t, settings);
    return writeQuantised(bytes, q, t, settings.valueBits);
}

// Counts the trials of a search: encode, decode, measure.
struct Trial {
    const std::vector<uint8_t>& reference;
    const SearchProgress& progress;
    int done = 0;
    int planned = 0;

    HwlError run(HwlEncodeOutcome& outcome, const Transformed& transformed,
                 const HwlEncodeSettings& settings) {
        outcome.settings = settings;
        HwlError error = encodeTransformed(outcome.bytes, transformed, settings);
        if (!error) error = measurePsnr(outcome.psnr, outcome.bytes, reference);
        ++done;
        if (progress) progress(done, std::max(done, planned));
        return error;
    }
};

// Width sets a search tries, finest first; only the start's when they are fixed.
std::vector<HwlEncodeSettings> widthCandidates(const HwlEncodeSettings& start, bool free) {
    if (!free) return {start};
    std::vector<HwlEncodeSettings> candidates;
    const int planes = start.grey ? 1 : kMaxPlanes;
    for (int luma = kMaxValueBits; luma >= kSearchMinBits; --luma) {
        for (int gap = 0; gap <= (planes == 1 ? 0 : kMaxChromaGap); ++gap) {
            HwlEncodeSettings s = start;
            s.valueBits[0] = luma;
            s.valueBits[1] = s.valueBits[2] = luma - gap;
            candidates.push_back(s);
        }
    }
    return candidates;
}

// Searches the threshold for the boundary of `accept`, which holds at low
// thresholds and fails at high ones (or the other way round when
// `acceptHigh`). Leaves in `best` the accepted trial closest to the
// boundary; returns false when no threshold is accepted.
template <typename Accept>
bool bisectThreshold(Trial& trial, const Transformed& transformed, const HwlEncodeSettings& widths,
                     bool acceptHigh, const Accept& accept, HwlEncodeOutcome& best,
                     HwlError& error) {
    HwlEncodeSettings s = widths;
    HwlEncodeOutcome outcome;
    double good = acceptHigh ? kMaxSearchThreshold : 0.0;
    double bad = acceptHigh ? 0.0 : kMaxSearchThreshold;
    s.threshold = good;
    if ((error = trial.run(outcome, transformed, s))) return false;
    if (!accept(outcome)) return false;
    best = outcome;
    s.threshold = bad;
    if ((error = trial.run(outcome, transformed, s))) return false;
    if (accept(outcome)) {
        best = outcome;
        return true;
    }
    for (int step = 0; step < kThresholdSteps; ++step) {
        s.threshold = (good + bad) / 2;
        if ((error = trial.run(outcome, transformed, s))) return false;
        if (accept(outcome)) {
            good = s.threshold;
            best = outcome;
        } else {
            bad = s.threshold;
        }
    }
    return true;
}

std::string dbText(double db) {
    if (std::isinf(db)) return "inf";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", db);
    return text;
}

// Shared driver of both searches. `better` ranks two accepted outcomes.
// The level count matters little for photographs but a lot for hard-edged
// graphics, where the decoder's smoothing of zero details at coarse levels
// blurs steps; it is chosen first with the start's widths, then the widths
// and the threshold are searched at that level count.
template <typename Accept, typename Better>
HwlError search(HwlEncodeOutcome& outcome, const PixelView& image, const HwlEncodeSettings& start,
                SearchFreedom freedom, bool acceptHigh, const Accept& accept, const Better& better,
                const SearchProgress& progress, bool& found) {
    found = false;
    if (HwlError error = checkEncodeSettings(start, image.width, image.height)) return error;
    const std::vector<uint8_t> reference = referencePixels(image, start.grey);
    const std::vector<HwlEncodeSettings> candidates = widthCandidates(start, freedom.valueBits);
    const int perCandidate = freedom.threshold ? kThresholdSteps + 2 : 1;
    const int levelCount = freedom.levels ? start.levels + 1 : 1;
    Trial trial{reference, progress, 0,
                (levelCount > 1 ? levelCount : 0) * perCandidate +
                    int(candidates.size()) * perCandidate};

    // Tries one set of widths at one level count; keeps the best accepted.
    auto tryWidths = [&](const Transformed& transformed, HwlEncodeSettings widths,
                         HwlEncodeOutcome& kept, bool& any) -> HwlError {
        widths.levels = transformed.levels;
        HwlEncodeOutcome best;
        HwlError error;
        bool accepted = false;
        if (freedom.threshold) {
            accepted = bisectThreshold(trial, transformed, widths, acceptHigh, accept, best, error);
        } else {
            error = trial.run(best, transformed, widths);
            accepted = !error && accept(best);
        }
        if (accepted && (!any || better(best, kept))) {
            kept = std::move(best);
            any = true;
        }
        return error;
    };

    std::vector<int> levels;
    for (int l = start.levels - levelCount + 1; l <= start.levels; ++l) levels.push_back(l);
    if (levels.size() > 1) {
        HwlEncodeOutcome kept;
        bool any = false;
        for (int l : levels) {
            HwlEncodeSettings atLevel = start;
            atLevel.levels = l;
            if (HwlError error = tryWidths(transformImage(image, atLevel), start, kept, any))
                return error;
        }
        // When no level count meets the goal with the start's widths, every
        // one is searched with every width.
        if (any)
            levels = {kept.settings.levels};
        else
            trial.planned += int(levels.size() - 1) * int(candidates.size()) * perCandidate;
    }
    for (int l : levels) {
        HwlEncodeSettings atLevel = start;
        atLevel.levels = l;
        const Transformed transformed = transformImage(image, atLevel);
        for (const HwlEncodeSettings& widths : candidates)
            if (HwlError error = tryWidths(transformed, widths, outcome, found)) return error;
    }
    return {};
}

// Rate-distortion search. The exchange rate lambda is settled first for the
// start's level count and widths, by secant steps on its logarithm until the
// goal is met closely. Other level counts and widths (one bit away, while a
// step helps) are then compared by one trial each at that lambda: their
// size and PSNR, moved along the picture's own size-quality slope to the
// goal, rank them. The best is settled last.
constexpr double kMinLog2Lambda = -8.0; // keeps nearly every detail the widths allow
constexpr double kMaxLog2Lambda = 24.0; // drops nearly every detail
// Where photographs reach 33.7 dB, and the lambda a size goal starts from.
constexpr double kStartLog2Lambda = 6.6;
constexpr double kStartDb = 33.7;
// Slopes before the picture has shown its own: dB per doubling of lambda,
// and dB per unit of the logarithm of the size (photographs at 30 to 36 dB).
constexpr double kDbPerDoubling = -1.7;
constexpr double kDbPerLogSize = 6.0;
constexpr double kMaxStepDoublings = 4.0;
constexpr double kMaxSlackDb = 20.0;
// An exact file (infinite PSNR) scores as if it had this PSNR.
constexpr double kExactDb = 100.0;
// A goal met with less than this to spare ends the settling, which aims at
// half of it; at most this many trials settle one set of settings.
constexpr double kCloseDb = 0.04;
constexpr int kSettleTrials = 7;
// Neighbours tried at the settled lambda, at most.
constexpr int kMaxProbes = 20;

struct RdSearch {
    Trial& trial;
    double targetDb = 0;   // a PSNR goal, or ...
    uint64_t maxBytes = 0; // ... a size goal when targetDb is 0
    double bestDb = -std::numeric_limits<double>::infinity();
    uint64_t smallest = std::numeric_limits<uint64_t>::max();
    double dbPerLogSize = kDbPerLogSize;

    bool meets(const HwlEncodeOutcome& o) const {
        return targetDb > 0 ? o.psnr >= targetDb : o.bytes.size() <= maxBytes;
    }
    // How far `o` lies on the good side of the goal, in dB.
    double slackDb(const HwlEncodeOutcome& o) const {
        const double slack =
            targetDb > 0 ? o.psnr - targetDb
                         : std::log(double(maxBytes) / double(o.bytes.size())) * dbPerLogSize;
        return std::clamp(slack, -kMaxSlackDb, kMaxSlackDb);
    }
    // Lower is better: the size at equal PSNR, or the PSNR at equal size,
    // along the picture's slope.
    double score(const HwlEncodeOutcome& o) const {
        return std::log(double(o.bytes.size())) - std::min(o.psnr, kExactDb) / dbPerLogSize;
    }
    bool better(const HwlEncodeOutcome& a, const HwlEncodeOutcome& b) const {
        if (targetDb > 0)
            return a.bytes.size() < b.bytes.size() ||
                   (a.bytes.size() == b.bytes.size() && a.psnr > b.psnr);
        return a.psnr > b.psnr || (a.psnr == b.psnr && a.bytes.size() < b.bytes.size());
    }

    HwlError run(const Transformed& t, const HwlEncodeSettings& s, HwlEncodeOutcome& o) {
        HwlError error = trial.run(o, t, s);
        bestDb = std::max(bestDb, o.psnr);
        smallest = std::min<uint64_t>(smallest, o.bytes.size());
        return error;
    }

    // Steps lambda from s.lambda until the goal is met closely; keeps in
    // `best` the best trial that meets it. Returns whether one did.
    bool settle(const Transformed& t, HwlEncodeSettings s, HwlEncodeOutcome& best,
                HwlError& error) {
        bool found = false;
        // Slack falls as lambda grows for a PSNR goal and rises for a size goal.
        const double sign = targetDb > 0 ? 1.0 : -1.0;
        double slope = sign * kDbPerDoubling, lastLog = 0, lastSlack = 0, lastLogSize = 0,
               lastDb = 0;
        for (int i = 0; i < kSettleTrials; ++i) {
            HwlEncodeOutcome o;
            if ((error = run(t, s, o))) return false;
            const double log2Lambda = std::log2(s.lambda), slack = slackDb(o);
            const double logSize = std::log(double(o.bytes.size()));
            if (i > 0 && log2Lambda != lastLog) {
                const double measured = (slack - lastSlack) / (log2Lambda - lastLog);
                if (measured * sign < 0) slope = measured;
                if (std::isfinite(o.psnr) && std::isfinite(lastDb) && logSize != lastLogSize &&
                    (o.psnr - lastDb) / (logSize - lastLogSize) > 0)
                    dbPerLogSize = (o.psnr - lastDb) / (logSize - lastLogSize);
            }
            lastLog = log2Lambda;
            lastSlack = slack;
            lastLogSize = logSize;
            lastDb = o.psnr;
            const bool met = meets(o);
            if (met && (!found || better(o, best))) {
                best = std::move(o);
                found = true;
            }
            if (met && slack < kCloseDb) break;
            double next = log2Lambda + std::clamp((kCloseDb / 2 - slack) / slope,
                                                  -kMaxStepDoublings, kMaxStepDoublings);
            next = std::clamp(next, kMinLog2Lambda, kMaxLog2Lambda);
            if (next == log2Lambda) break; // at an end of the range
            s.lambda = std::exp2(next);
        }
        return found;
    }
};

// Value widths one bit away from `s`: luma, both colour planes.
std::vector<HwlEncodeSettings> widthNeighbours(const HwlEncodeSettings& s) {
    std::vector<HwlEncodeSettings> out;
    for (int d : {-1, 1}) {
        for (bool luma : {true, false}) {
            if (!luma && s.grey) continue;
            HwlEncodeSettings n = s;
            for (int p = luma ? 0 : 1; p < (luma ? 1 : kMaxPlanes); ++p) n.valueBits[p] += d;
            bool fits = true;
            for (int p = 0; p < (s.grey ? 1 : kMaxPlanes); ++p)
                fits = fits && n.valueBits[p] >= 0 && n.valueBits[p] <= kMaxValueBits;
            if (fits) out.push_back(n);
        }
    }
    return out;
}

HwlError rdSearch(HwlEncodeOutcome& outcome, const PixelView& image, const HwlEncodeSettings& start,
                  SearchFreedom freedom, RdSearch& rd, bool& found) {
    found = false;
    if (HwlError error = checkEncodeSettings(start, image.width, image.height)) return error;
    HwlError error;
    std::vector<Transformed> transforms(size_t(start.levels) + 1);
    // At most two transforms are held: the best file's and the one asked for.
    auto transformAt = [&](int levels) -> const Transformed& {
        Transformed& t = transforms[size_t(levels)];
        if (t.planeCount == 0) {
            for (size_t l = 0; l < transforms.size(); ++l)
                if (!(found && int(l) == outcome.settings.levels)) transforms[l] = {};
            HwlEncodeSettings s = start;
            s.levels = levels;
            t = transformImage(image, s, true);
        }
        return t;
    };
    // Settles the start, or failing that the widest widths, at the level
    // counts allowed from the most down, until one meets the goal.
    HwlEncodeSettings s = start;
    s.lambda = std::exp2(kStartLog2Lambda +
                         (rd.targetDb > 0 ? (rd.targetDb - kStartDb) / kDbPerDoubling : 0.0));
    const int lowest = freedom.levels ? 0 : start.levels;
    for (int pass = 0; pass < (freedom.valueBits ? 2 : 1) && !found && !error; ++pass) {
        if (pass == 1)
            for (int& bits : s.valueBits) bits = kMaxValueBits;
        for (int l = start.levels; l >= lowest && !found && !error; --l) {
            s.levels = l;
            found = rd.settle(transformAt(l), s, outcome, error);
        }
    }
    if (error || !found) return error;

    // One trial per neighbour at the settled lambda; moves while one scores better.
    HwlEncodeSettings current = outcome.settings;
    HwlEncodeOutcome probe;
    double currentScore = rd.score(outcome);
    std::vector<HwlEncodeSettings> tried{current};
    auto seen = [&](const HwlEncodeSettings& n) {
        for (const HwlEncodeSettings& t : tried)
            if (t.levels == n.levels &&
                std::equal(n.valueBits, n.valueBits + kMaxPlanes, t.valueBits))
                return true;
        return false;
    };
    int probes = 0;
    HwlEncodeSettings previous = current;
    for (bool moved = true; moved && !error && probes < kMaxProbes;) {
        moved = false;
        std::vector<HwlEncodeSettings> neighbours;
        // A step that helped is tried again first.
        HwlEncodeSettings ahead = current;
        ahead.levels += current.levels - previous.levels;
        bool fits = ahead.levels >= 0 && !seen(ahead);
        for (int p = 0; p < kMaxPlanes; ++p) {
            ahead.valueBits[p] += current.valueBits[p] - previous.valueBits[p];
            fits = fits && ahead.valueBits[p] >= 0 && ahead.valueBits[p] <= kMaxValueBits;
        }
        if (fits) neighbours.push_back(ahead);
        if (freedom.levels && current.levels > 0) {
            neighbours.push_back(current);
            --neighbours.back().levels;
        }
        if (freedom.valueBits)
            for (const HwlEncodeSettings& n : widthNeighbours(current)) neighbours.push_back(n);
        for (const HwlEncodeSettings& n : neighbours) {
            if (seen(n) || probes++ == kMaxProbes) continue;
            tried.push_back(n);
            if ((error = rd.run(transformAt(n.levels), n, probe))) return error;
            if (rd.score(probe) < currentScore) {
                previous = current;
                current = n;
                currentScore = rd.score(probe);
                moved = true;
                break;
            }
        }
    }
    if (current.levels == outcome.settings.levels &&
        std::equal(current.valueBits, current.valueBits + kMaxPlanes, outcome.settings.valueBits))
        return error;
    HwlEncodeOutcome settled;
    if (rd.settle(transformAt(current.levels), current, settled, error) &&
        rd.better(settled, outcome))
        outcome = std::move(settled);
    return error;
}

} // namespace

int largestFittingLevels(int width, int height) {
    int levels = -1;
    while (levels < kMaxLevels && width > 0 && height > 0 &&
           sizeFitsLevels(width, height, levels + 1))
        ++levels;
    return levels;
}

HwlError checkEncodeSettings(const HwlEncodeSettings& settings, int width, int height) {
    if (settings.levels < 0 || settings.levels > kMaxLevels)
        return hwlFailure(HwlStatus::InvalidArgument,
                          "level count " + std::to_string(settings.levels) + " is outside 0 to 16");
    const int planes = settings.grey ? 1 : kMaxPlanes;
    for (int p = 0; p < planes; ++p) {
        if (settings.valueBits[p] < 0 || settings.valueBits[p] > kMaxValueBits)
            return hwlFailure(HwlStatus::InvalidArgument,
                              "value width " + std::to_string(settings.valueBits[p]) +
                                  " is outside 0 to 8");
    }
    if (!(settings.threshold >= 0) || std::isinf(settings.threshold))
        return hwlFailure(HwlStatus::InvalidArgument, "threshold must be a finite number >= 0");
    if (!(settings.lambda >= 0) || std::isinf(settings.lambda))
        return hwlFailure(HwlStatus::InvalidArgument, "lambda must be a finite number >= 0");
    if (width <= 0 || height <= 0 || width > UINT16_MAX || height > UINT16_MAX)
        return hwlFailure(HwlStatus::InvalidArgument,
                          "image size " + sizeText(width, height) + " is outside 1 to 65535");
    if (uint64_t(width) * uint64_t(height) > kMaxPixelCount)
        return hwlFailure(HwlStatus::InvalidArgument,
                          "image size " + sizeText(width, height) +
                              " is more than the decoder reads (8192 x 8192 pixels)");
    if (!sizeFitsLevels(width, height, settings.levels)) {
        const int block = 1 << (settings.levels + 1);
        std::string message = "image size " + sizeText(width, height) + " does not fit " +
                              std::to_string(settings.levels) + " levels: width and height " +
                              "must be multiples of " + std::to_string(block) + " (nearest width " +
                              nearestMultiples(width, block) + ", height " +
                              nearestMultiples(height, block) + ")";
        const int most = largestFittingLevels(width, height);
        message += most < 0 ? "; no level count fits odd sizes: crop or pad the picture to one "
                              "of the nearest sizes"
                            : "; this size allows at most " + std::to_string(most) +
                                  " levels: give --levels " + std::to_string(most) +
                                  " or fewer, or crop or pad the picture to one of the nearest "
                                  "sizes";
        return hwlFailure(HwlStatus::InvalidArgument, message);
    }
    return {};
}

std::vector<uint8_t> toGrey(const PixelView& image) {
    const size_t count = size_t(image.width) * size_t(image.height);
    std::vector<uint8_t> grey(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* pixel = image.data + i * image.channels;
        grey[i] = image.channels >= 3 ? greyOf(pixel) : pixel[0];
    }
    return grey;
}

std::vector<uint8_t> referencePixels(const PixelView& image, bool grey) {
    if (grey) return toGrey(image);
    const size_t count = size_t(image.width) * size_t(image.height);
    std::vector<uint8_t> rgb(count * 3);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* pixel = image.data + i * image.channels;
        for (int c = 0; c < 3; ++c) rgb[i * 3 + c] = image.channels >= 3 ? pixel[c] : pixel[0];
    }
    return rgb;
}

HwlError encodeHwl(std::vector<uint8_t>& bytes, const PixelView& image,
                   const HwlEncodeSettings& settings) {
    if (!image.data || image.channels < 1 || image.channels > 4)
        return hwlFailure(HwlStatus::InvalidArgument, "pixels must have 1 to 4 channels");
    if (HwlError error = checkEncodeSettings(settings, image.width, image.height)) return error;
    return encodeTransformed(bytes, transformImage(image, settings, settings.lambda > 0), settings);
}

double psnr(const uint8_t* a, const uint8_t* b, size_t count) {
    if (count == 0) return std::numeric_limits<double>::infinity();
    uint64_t squared = 0;
    for (size_t i = 0; i < count; ++i) {
        const int64_t d = int64_t(a[i]) - int64_t(b[i]);
        squared += uint64_t(d * d);
    }
    if (squared == 0) return std::numeric_limits<double>::infinity();
    const double mse = double(squared) / double(count);
    return 10.0 * std::log10(kPeak * kPeak / mse);
}

HwlError measurePsnr(double& db, const std::vector<uint8_t>& bytes,
                     const std::vector<uint8_t>& reference) {
    std::vector<uint8_t> pixels;
    HwlHeader header{};
    if (HwlError error = decodeHwlMemory(pixels, header, bytes.data(), bytes.size(), true))
        return error;
    const size_t count = size_t(header.width) * header.height;
    const int channels = planeCount(header.bitsPerPixel) == 1 ? 1 : 3;
    if (planeCount(header.bitsPerPixel) == 0 || reference.size() != count * channels)
        return hwlFailure(HwlStatus::InvalidArgument, "reference does not match the file");
    if (channels == 1) {
        db = psnr(pixels.data(), reference.data(), count);
        return {};
    }
    // Decoded pixels are blue, green, red, 0; the reference is R, G, B.
    std::vector<uint8_t> rgb(count * 3);
    for (size_t i = 0; i < count; ++i) {
        rgb[i * 3 + 0] = pixels[i * 4 + 2];
        rgb[i * 3 + 1] = pixels[i * 4 + 1];
        rgb[i * 3 + 2] = pixels[i * 4 + 0];
    }
    db = psnr(rgb.data(), reference.data(), rgb.size());
    return {};
}

HwlError decodeMask(std::vector<uint8_t>& mask, const std::vector<uint8_t>& bytes,
                    const std::string& name) {
    std::vector<uint8_t> pixels;
    HwlHeader header{};
    if (HwlError error = decodeHwlMemory(pixels, header, bytes.data(), bytes.size(), true, name))
        return error;
    if (header.bitsPerPixel != kColourBitsPerPixel)
        return hwlFailure(HwlStatus::InvalidFile, (name.empty() ? "" : name + ": ") +
                                                      "an alpha companion must be a 24-bit file");
    const size_t count = size_t(header.width) * header.height;
    mask.resize(count);
    for (size_t i = 0; i < count; ++i) mask[i] = pixels[i * 4];
    return {};
}

HwlError encodeHwlMask(HwlEncodeOutcome& outcome, const uint8_t* mask, int width, int height,
                       int maxLevels) {
    HwlEncodeSettings s;
    s.valueBits[0] = s.valueBits[1] = s.valueBits[2] = kMaxValueBits;
    s.threshold = kMaskThreshold;
    s.levels = std::min(maxLevels, largestFittingLevels(width, height));
    if (HwlError error = checkEncodeSettings(s, width, height)) return error;
    // The mask goes straight into the luma plane. Converting R = G = B = alpha
    // would give U and V of rounding size instead of exact zeros, and the
    // quantiser would spend full-width values on that noise.
    const size_t count = size_t(width) * size_t(height);
    const std::vector<double> luma(mask, mask + count);
    const std::vector<uint8_t> reference(mask, mask + count);
    std::vector<HwlEncodeOutcome> trials;
    for (int levels = 0; levels <= s.levels; ++levels) {
        Transformed t;
        t.width = width;
        t.height = height;
        t.levels = levels;
        t.planeCount = kMaxPlanes;
        t.planes[0].resize(count);
        forwardHaar(luma.data(), t.planes[0].data(), width, height, width, levels);
        t.planes[1].assign(count, 0.0);
        t.planes[2].assign(count, 0.0);
        HwlEncodeOutcome trial;
        trial.settings = s;
        trial.settings.levels = levels;
        if (HwlError error = encodeTransformed(trial.bytes, t, s)) return error;
        std::vector<uint8_t> decoded;
        if (HwlError error = decodeMask(decoded, trial.bytes)) return error;
        trial.psnr = psnr(decoded.data(), reference.data(), count);
        trials.push_back(std::move(trial));
    }
    double bestDb = -std::numeric_limits<double>::infinity();
    for (const HwlEncodeOutcome& trial : trials) bestDb = std::max(bestDb, trial.psnr);
    const double enough = std::min(bestDb - kMaskLevelToleranceDb, kMaskGoodDb);
    size_t chosen = trials.size();
    for (size_t i = 0; i < trials.size(); ++i) {
        const bool closeEnough = trials[i].psnr >= enough;
        if (closeEnough &&
            (chosen == trials.size() || trials[i].bytes.size() < trials[chosen].bytes.size()))
            chosen = i;
    }
    outcome = std::move(trials[chosen]);
    return {};
}

std::vector<uint8_t> alphaChannel(const PixelView& image) {
    const size_t count = size_t(image.width) * size_t(image.height);
    std::vector<uint8_t> alpha(count);
    for (size_t i = 0; i < count; ++i)
        alpha[i] = image.data[i * image.channels + image.channels - 1];
    return alpha;
}

HwlError encodeHwlWithAlpha(HwlEncodeOutcome& image, HwlEncodeOutcome& alpha,
                            const PixelView& pixels, const HwlEncodeSettings& settings) {
    if (pixels.channels != 2 && pixels.channels != 4)
        return hwlFailure(HwlStatus::InvalidArgument, "pixels have no alpha channel");
    image.settings = settings;
    if (HwlError error = encodeHwl(image.bytes, pixels, settings)) return error;
    if (HwlError error =
            measurePsnr(image.psnr, image.bytes, referencePixels(pixels, settings.grey)))
        return error;
    const std::vector<uint8_t> mask = alphaChannel(pixels);
    return encodeHwlMask(alpha, mask.data(), pixels.width, pixels.height, settings.levels);
}

HwlError searchForPsnr(HwlEncodeOutcome& outcome, const PixelView& image,
                       const HwlEncodeSettings& start, SearchFreedom freedom, double targetDb,
                       const SearchProgress& progress) {
    double bestDb = -std::numeric_limits<double>::infinity();
    auto accept = [&](const HwlEncodeOutcome& o) {
        bestDb = std::max(bestDb, o.psnr);
        return o.psnr >= targetDb;
    };
    auto smaller = [](const HwlEncodeOutcome& a, const HwlEncodeOutcome& b) {
        return a.bytes.size() < b.bytes.size() ||
               (a.bytes.size() == b.bytes.size() && a.psnr > b.psnr);
    };
    bool found = false;
    if (freedom.threshold) {
        const std::vector<uint8_t> reference = referencePixels(image, start.grey);
        Trial trial{reference, progress, 0, 0};
        RdSearch rd{trial, targetDb, 0};
        if (HwlError error = rdSearch(outcome, image, start, freedom, rd, found)) return error;
        bestDb = rd.bestDb;
    } else if (HwlError error = search(outcome, image, start, freedom, false, accept, smaller,
                                       progress, found)) {
        return error;
    }
    if (!found)
        return hwlFailure(HwlStatus::InvalidArgument, "no settings reach " + dbText(targetDb) +
                                                          " dB; the best reached " +
                                                          dbText(bestDb) + " dB");
    return {};
}

HwlError searchForSize(HwlEncodeOutcome& outcome, const PixelView& image,
                       const HwlEncodeSettings& start, SearchFreedom freedom, uint64_t maxBytes,
                       const SearchProgress& progress) {
    uint64_t smallest = std::numeric_limits<uint64_t>::max();
    auto accept = [&](const HwlEncodeOutcome& o) {
        smallest = std::min<uint64_t>(smallest, o.bytes.size());
        return o.bytes.size() <= maxBytes;
    };
    auto sharper = [](const HwlEncodeOutcome& a, const HwlEncodeOutcome& b) {
        return a.psnr > b.psnr || (a.psnr == b.psnr && a.bytes.size() < b.bytes.size());
    };
    bool found = false;
    if (freedom.threshold) {
        const std::vector<uint8_t> reference = referencePixels(image, start.grey);
        Trial trial{reference, progress, 0, 0};
        RdSearch rd{trial, 0, maxBytes};
        if (HwlError error = rdSearch(outcome, image, start, freedom, rd, found)) return error;
        smallest = rd.smallest;
    } else if (HwlError error =
                   search(outcome, image, start, freedom, true, accept, sharper, progress, found)) {
        return error;
    }
    if (!found)
        return hwlFailure(HwlStatus::InvalidArgument,
                          "no settings fit in " + std::to_string(maxBytes) +
                              " bytes; the smallest file takes " + std::to_string(smallest));
    return {};
}

std::string describeSettings(const HwlEncodeSettings& settings) {
    std::string bits = std::to_string(settings.valueBits[0]);
    if (!settings.grey)
        bits += "," + std::to_string(settings.valueBits[1]) + "," +
                std::to_string(settings.valueBits[2]);
    char zeroing[48];
    if (settings.lambda > 0)
        std::snprintf(zeroing, sizeof zeroing, "lambda %.4g", settings.lambda);
    else
        std::snprintf(zeroing, sizeof zeroing, "threshold %g", settings.threshold);
    return std::string(settings.grey ? "grey" : "colour") + ", levels " +
           std::to_string(settings.levels) + ", bits " + bits + ", " + zeroing;
}

} // namespace hwl
