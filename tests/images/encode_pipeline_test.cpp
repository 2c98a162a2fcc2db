#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "images/hwl_decoder.h"
#include "images/hwl_encode.h"
#include "images/hwl_encoder.h"

using namespace hwl;

namespace {

// Interleaved R, G, B: shading, a diagonal edge and a little noise.
std::vector<uint8_t> colourPicture(int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double shade = 110 + 70 * std::sin(x * 0.11) * std::cos(y * 0.05);
            const double edge = x > y ? 50 : -30;
            const double noise = int(rng() % 11) - 5;
            uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            p[0] = uint8_t(std::clamp(shade + edge + noise, 0.0, 255.0));
            p[1] = uint8_t(std::clamp(shade * 0.7 + noise, 0.0, 255.0));
            p[2] = uint8_t(std::clamp(230 - shade + edge * 0.4, 0.0, 255.0));
        }
    return rgb;
}

// Soft disc in the middle, hard-edged square off the block grid.
std::vector<uint8_t> maskPicture(int w, int h) {
    std::vector<uint8_t> mask(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double d = std::hypot(x - w / 2.0, y - h / 2.0);
            double a = std::clamp((w / 4.0 - d) * 32.0, 0.0, 255.0);
            if (x >= 5 && x < 19 && y >= 7 && y < 29) a = 255;
            mask[size_t(y) * w + x] = uint8_t(a);
        }
    return mask;
}

int maxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int most = 0;
    for (size_t i = 0; i < a.size(); ++i) most = std::max(most, std::abs(a[i] - b[i]));
    return most;
}

} // namespace

TEST(EncodePipeline, RunsTheEncoderStagesInTheirOrder) {
    const int w = 64, h = 32;
    const std::vector<uint8_t> rgb = colourPicture(w, h, 1);
    HwlEncodeSettings settings;
    settings.levels = 2;
    settings.threshold = 6;

    std::vector<double> r(w * h), g(w * h), b(w * h), yuv[3];
    for (int i = 0; i < w * h; ++i) r[i] = rgb[i * 3], g[i] = rgb[i * 3 + 1], b[i] = rgb[i * 3 + 2];
    for (auto& p : yuv) p.resize(w * h);
    forwardHaarColour(r.data(), g.data(), b.data(), yuv[0].data(), yuv[1].data(), yuv[2].data(), w,
                      h, w, settings.levels);
    std::vector<int32_t> integers[3];
    double tables[3][kMaxTableEntries] = {};
    HwlEncodedImage image;
    image.width = w;
    image.height = h;
    image.levels = settings.levels;
    for (int p = 0; p < 3; ++p) {
        thresholdDetails(yuv[p].data(), settings.threshold, w, h, settings.levels);
        integers[p].resize(w * h);
        quantisePlane(yuv[p].data(), integers[p].data(), w, h, settings.levels,
                      settings.valueBits[p], tables[p]);
        image.planes[p] = integers[p].data();
        image.tables[p] = tables[p];
        image.valueBits[p] = settings.valueBits[p];
    }
    std::vector<uint8_t> byHand, byPipeline;
    ASSERT_TRUE(writeHwlMemory(byHand, image).ok());
    ASSERT_TRUE(encodeHwl(byPipeline, {rgb.data(), w, h, 3}, settings).ok());
    EXPECT_EQ(byPipeline, byHand);
}

TEST(EncodePipeline, GreyAndColourConversions) {
    // Luma weights 0.3, 0.59, 0.11, rounded half to even: red 76.5 -> 76.
    const uint8_t rgb[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30};
    EXPECT_EQ(toGrey({rgb, 4, 1, 3}), (std::vector<uint8_t>{76, 150, 28, 18}));

    // A grey picture in a colour file decodes with three equal channels.
    const int w = 16, h = 16;
    std::vector<uint8_t> grey(w * h);
    for (int i = 0; i < w * h; ++i) grey[i] = uint8_t(i);
    HwlEncodeSettings settings;
    settings.levels = 1;
    settings.threshold = 0;
    settings.valueBits[0] = settings.valueBits[1] = settings.valueBits[2] = 8;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(encodeHwl(bytes, {grey.data(), w, h, 1}, settings).ok());
    EXPECT_EQ(bytes[7], kColourBitsPerPixel);
    double db = 0;
    ASSERT_TRUE(measurePsnr(db, bytes, referencePixels({grey.data(), w, h, 1}, false)).ok());
    EXPECT_GT(db, 45);

    settings.grey = true;
    settings.levels = 0;
    ASSERT_TRUE(encodeHwl(bytes, {rgb, 2, 2, 3}, settings).ok());
    EXPECT_EQ(bytes[7], kGreyBitsPerPixel);
}

TEST(EncodePipeline, PsnrValues) {
    const uint8_t a[] = {0, 10, 20, 30}, b[] = {255, 10, 20, 30};
    EXPECT_TRUE(std::isinf(psnr(a, a, 4)));
    EXPECT_NEAR(psnr(a, b, 4), 10 * std::log10(4.0), 1e-12); // MSE = 255^2 / 4
    EXPECT_NEAR(psnr(a, b, 1), 0.0, 1e-12);
}

TEST(EncodePipeline, SettingsCheckNamesSizesThatFit) {
    HwlEncodeSettings settings; // 4 levels: multiples of 32
    HwlError error = checkEncodeSettings(settings, 100, 64);
    ASSERT_TRUE(error);
    EXPECT_NE(error.message.find("multiples of 32"), std::string::npos) << error.message;
    EXPECT_NE(error.message.find("nearest width 96 or 128, height 64"), std::string::npos)
        << error.message;
    EXPECT_NE(error.message.find("at most 1 levels"), std::string::npos) << error.message;

    error = checkEncodeSettings(settings, 33, 64);
    ASSERT_TRUE(error);
    EXPECT_NE(error.message.find("no level count fits odd sizes"), std::string::npos);

    EXPECT_EQ(largestFittingLevels(512, 512), 8);
    EXPECT_EQ(largestFittingLevels(48, 32), 3);
    EXPECT_EQ(largestFittingLevels(33, 32), -1);
    EXPECT_EQ(largestFittingLevels(0, 32), -1);
    EXPECT_EQ(largestFittingLevels(1 << 20, 1 << 20), kMaxLevels);

    EXPECT_TRUE(checkEncodeSettings(settings, 96, 64).ok());
    HwlEncodeSettings bad = settings;
    bad.valueBits[2] = 9;
    EXPECT_TRUE(checkEncodeSettings(bad, 96, 64));
    bad = settings;
    bad.threshold = std::nan("");
    EXPECT_TRUE(checkEncodeSettings(bad, 96, 64));
    bad = settings;
    bad.levels = 17;
    EXPECT_TRUE(checkEncodeSettings(bad, 96, 64));
    EXPECT_TRUE(checkEncodeSettings(settings, 65536 + 32, 64));
    EXPECT_TRUE(checkEncodeSettings(settings, 16384, 8192)); // more than the decoder reads
    EXPECT_TRUE(checkEncodeSettings(settings, 8192, 8192).ok());
}

TEST(EncodePipeline, MaskCompanionDecodesToTheMask) {
    const int w = 64, h = 64;
    const std::vector<uint8_t> mask = maskPicture(w, h);
    HwlEncodeOutcome alpha;
    ASSERT_TRUE(encodeHwlMask(alpha, mask.data(), w, h, 4).ok());
    EXPECT_EQ(alpha.bytes[7], kColourBitsPerPixel);
    EXPECT_LE(alpha.settings.levels, 4);

    std::vector<uint8_t> decoded;
    ASSERT_TRUE(decodeMask(decoded, alpha.bytes).ok());
    EXPECT_GE(alpha.psnr, kMaskGoodDb);
    EXPECT_EQ(alpha.psnr, psnr(decoded.data(), mask.data(), mask.size()));
    EXPECT_LE(maxDifference(decoded, mask), 8); // on a ramp of 32 levels a pixel

    // The colour-difference planes are exact zeros, so blue is the luma.
    HwlPlanes planes;
    ASSERT_TRUE(readHwlPlanesFromStream(alpha.bytes.data(), alpha.bytes.size(), planes).ok());
    for (int p = 1; p < 3; ++p) {
        for (int32_t c : planes.coefficients[p]) ASSERT_EQ(c, 0);
        for (int i = 0; i < alpha.settings.levels + 2; ++i) EXPECT_EQ(planes.tables[p][i], 0.0);
    }
}

TEST(EncodePipeline, MaskLevelsAvoidBlurringHardEdges) {
    // A hard square off the block grid: coarse levels with zero details get
    // smoothed by the decoder, so the chooser must fall back to fewer levels.
    const int w = 64, h = 64;
    std::vector<uint8_t> mask(w * h, 0);
    for (int y = 13; y < 45; ++y)
        for (int x = 11; x < 51; ++x) mask[y * w + x] = 255;
    HwlEncodeOutcome alpha;
    ASSERT_TRUE(encodeHwlMask(alpha, mask.data(), w, h, 4).ok());
    EXPECT_GE(alpha.psnr, kMaskGoodDb);
}

TEST(EncodePipeline, RgbaGivesImageAndCompanion) {
    const int w = 32, h = 32;
    const std::vector<uint8_t> rgb = colourPicture(w, h, 2);
    const std::vector<uint8_t> mask = maskPicture(w, h);
    std::vector<uint8_t> rgba(w * h * 4);
    for (int i = 0; i < w * h; ++i) {
        for (int c = 0; c < 3; ++c) rgba[i * 4 + c] = rgb[i * 3 + c];
        rgba[i * 4 + 3] = mask[i];
    }
    HwlEncodeOutcome image, alpha;
    ASSERT_TRUE(encodeHwlWithAlpha(image, alpha, {rgba.data(), w, h, 4}, {}).ok());
    std::vector<uint8_t> plain;
    ASSERT_TRUE(encodeHwl(plain, {rgb.data(), w, h, 3}, {}).ok());
    EXPECT_EQ(image.bytes, plain); // the alpha does not leak into the colour file
    std::vector<uint8_t> decoded;
    ASSERT_TRUE(decodeMask(decoded, alpha.bytes).ok());
    EXPECT_LE(maxDifference(decoded, mask), 8);

    HwlEncodeOutcome unused;
    EXPECT_TRUE(encodeHwlWithAlpha(unused, unused, {rgb.data(), w, h, 3}, {}));
}

TEST(EncodePipeline, SearchForPsnrMeetsTheTargetWithTheSmallestFile) {
    const int w = 64, h = 64;
    const std::vector<uint8_t> rgb = colourPicture(w, h, 3);
    const PixelView view{rgb.data(), w, h, 3};
    int calls = 0, lastPlanned = 0;
    auto progress = [&](int done, int planned) {
        EXPECT_EQ(done, calls + 1);
        EXPECT_LE(done, planned);
        ++calls;
        lastPlanned = planned;
    };
    HwlEncodeOutcome low, high;
    ASSERT_TRUE(searchForPsnr(low, view, {}, {}, 30.0, progress).ok());
    EXPECT_GT(calls, 1);
    EXPECT_LE(calls, lastPlanned); // planned counts every bisection step; some end early
    ASSERT_TRUE(searchForPsnr(high, view, {}, {}, 38.0).ok());
    EXPECT_GE(low.psnr, 30.0);
    EXPECT_GE(high.psnr, 38.0);
    EXPECT_LT(low.bytes.size(), high.bytes.size());

    // The reported settings reproduce the reported file.
    std::vector<uint8_t> again;
    ASSERT_TRUE(encodeHwl(again, view, high.settings).ok());
    EXPECT_EQ(again, high.bytes);

    // Fixed widths stay as given; only the threshold moves.
    HwlEncodeSettings start;
    start.valueBits[0] = 7;
    start.valueBits[1] = start.valueBits[2] = 4;
    HwlEncodeOutcome fixed;
    ASSERT_TRUE(searchForPsnr(fixed, view, start, {true, false, true}, 30.0).ok());
    EXPECT_EQ(fixed.settings.valueBits[0], 7);
    EXPECT_EQ(fixed.settings.valueBits[2], 4);

    HwlError error = searchForPsnr(fixed, view, {}, {}, 99.0);
    ASSERT_TRUE(error);
    EXPECT_NE(error.message.find("the best reached"), std::string::npos) << error.message;
}

TEST(EncodePipeline, SearchForSizeFitsTheBudget) {
    const int w = 64, h = 64;
    const std::vector<uint8_t> rgb = colourPicture(w, h, 4);
    const PixelView view{rgb.data(), w, h, 3};
    HwlEncodeOutcome small, large;
    ASSERT_TRUE(searchForSize(small, view, {}, {}, 1500).ok());
    ASSERT_TRUE(searchForSize(large, view, {}, {}, 4000).ok());
    EXPECT_LE(small.bytes.size(), 1500u);
    EXPECT_LE(large.bytes.size(), 4000u);
    EXPECT_GT(large.psnr, small.psnr);

    HwlError error = searchForSize(small, view, {}, {}, 100);
    ASSERT_TRUE(error);
    EXPECT_NE(error.message.find("the smallest file takes"), std::string::npos) << error.message;

    // A grey search keeps a grey file.
    HwlEncodeSettings grey;
    grey.grey = true;
    ASSERT_TRUE(searchForSize(small, view, grey, {}, 1500).ok());
    EXPECT_EQ(small.bytes[7], kGreyBitsPerPixel);
}

TEST(EncodePipeline, SearchLowersLevelsForHardEdgedGraphics) {
    // A staircase of flat colours: at coarse levels the decoder's smoothing
    // of zero details turns the stairs into ramps, so only few levels reach
    // a high PSNR.
    const int w = 64, h = 32;
    std::vector<uint8_t> rgb(w * h * 3);
    for (int i = 0; i < w * h; ++i) {
        const int step = (i / w / 8 + i % w / 16) % 4;
        rgb[i * 3] = uint8_t(step * 80);
        rgb[i * 3 + 1] = uint8_t(255 - step * 60);
        rgb[i * 3 + 2] = 40;
    }
    const PixelView view{rgb.data(), w, h, 3};
    HwlEncodeOutcome outcome;
    ASSERT_TRUE(searchForPsnr(outcome, view, {}, {}, 40.0).ok());
    EXPECT_LE(outcome.settings.levels, 1);
    EXPECT_GE(outcome.psnr, 40.0);

    HwlError error = searchForPsnr(outcome, view, {}, {false, true, true}, 40.0);
    EXPECT_TRUE(error) << "4 levels should not reach 40 dB on stairs";
}
