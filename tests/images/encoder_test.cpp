#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "images/hwl_decoder.h"
#include "images/hwl_encoder.h"
#include "images/reference_decoder.h"

using namespace hwl;

namespace {

struct Symbolised {
    std::vector<uint8_t> symbols, values;
};

Symbolised symbolise(const std::vector<int32_t>& plane, int bits) {
    Symbolised s;
    s.symbols.resize(plane.size());
    s.values.resize(plane.size());
    uint64_t symbolCount = 0, valueCount = 0;
    symboliseCoefficients(plane.data(), s.symbols.data(), symbolCount, s.values.data(), valueCount,
                          int(plane.size()), 1, bits);
    s.symbols.resize(symbolCount);
    s.values.resize(valueCount);
    return s;
}

// A photograph-like test picture: smooth shading, an edge, fine texture.
void testPicture(int w, int h, std::vector<double>& r, std::vector<double>& g,
                 std::vector<double>& b, uint32_t seed) {
    std::mt19937 rng(seed);
    r.resize(w * h);
    g.resize(w * h);
    b.resize(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int i = y * w + x;
            const double shade = 120 + 80 * std::sin(x * 0.09) * std::cos(y * 0.07);
            const double edge = x + y > (w + h) / 2 ? 60 : -40;
            r[i] = std::clamp(shade + edge + int(rng() % 9) - 4, 0.0, 255.0);
            g[i] = std::clamp(shade * 0.8 + int(rng() % 9) - 4, 0.0, 255.0);
            b[i] = std::clamp(255 - shade + edge * 0.5, 0.0, 255.0);
        }
}

struct Encoded {
    std::vector<int32_t> planes[3];
    double tables[3][18] = {};
    std::vector<uint8_t> bytes;
};

Encoded encodeColour(int w, int h, int levels, const int bits[3], double threshold, uint32_t seed) {
    std::vector<double> r, g, b;
    testPicture(w, h, r, g, b, seed);
    std::vector<double> yuv[3];
    for (auto& p : yuv) p.resize(w * h);
    forwardHaarColour(r.data(), g.data(), b.data(), yuv[0].data(), yuv[1].data(), yuv[2].data(), w,
                      h, w, levels);
    Encoded e;
    HwlEncodedImage image;
    image.width = w;
    image.height = h;
    image.levels = levels;
    for (int p = 0; p < 3; ++p) {
        if (threshold > 0) thresholdDetails(yuv[p].data(), threshold, w, h, levels);
        e.planes[p].resize(w * h);
        quantisePlane(yuv[p].data(), e.planes[p].data(), w, h, levels, bits[p], e.tables[p]);
        image.planes[p] = e.planes[p].data();
        image.tables[p] = e.tables[p];
        image.valueBits[p] = bits[p];
    }
    EXPECT_TRUE(writeHwlMemory(e.bytes, image).ok());
    return e;
}

} // namespace

TEST(HwlEncoder, TwoByTwoAnalysisAndRoundTrip) {
    const double p = 10, q = 70, r = 130, s = 250;
    const double in[4] = {p, q, r, s};
    double out[4];
    forwardHaar(in, out, 2, 2, 2, 0);
    EXPECT_DOUBLE_EQ(out[0], (p + q + r + s) / 2);
    EXPECT_DOUBLE_EQ(out[1], (p - q + r - s) / 2);
    EXPECT_DOUBLE_EQ(out[2], (p + q - r - s) / 2);
    EXPECT_DOUBLE_EQ(out[3], (p - q - r + s) / 2);
    double temp[4];
    inverseHaar(out, out, 2, 2, 2, 0, temp);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(out[i], in[i], 1e-12);
}

TEST(HwlEncoder, QuantiserMapsLargestMagnitudeToTopValue) {
    // A 2x2 plane, L = 0: detail band {10, -20, 0}, approximation {50}.
    const double plane[4] = {50, 10, -20, 0};
    int32_t q[4];
    double table[2];
    quantisePlane(plane, q, 2, 2, 0, 8, table);
    EXPECT_EQ(table[0], 12.75);
    EXPECT_EQ(q[1], 128); // 127.5 rounds to even
    EXPECT_EQ(q[2], -255);
    EXPECT_EQ(q[3], 0);
    EXPECT_EQ(table[1], 255.0 / 50);
    EXPECT_EQ(q[0], 255);

    const double zeros[4] = {0, 0, 0, 0};
    quantisePlane(zeros, q, 2, 2, 0, 5, table);
    EXPECT_EQ(table[0], 0.0);
    EXPECT_EQ(table[1], 0.0);
    EXPECT_EQ(countZeros(q, 2, 2), 4u);
}

TEST(HwlEncoder, ZeroRunsFollowTheThreshold) {
    // With b = 8 runs start above 6 further zeros; the longest run is 1024.
    std::vector<int32_t> plane(8, 0);
    plane.push_back(1);
    Symbolised seven = symbolise(std::vector<int32_t>(plane.begin() + 1, plane.end()), 8);
    EXPECT_EQ(seven.symbols, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 2}));

    Symbolised eight = symbolise(plane, 8);
    EXPECT_EQ(eight.symbols, (std::vector<uint8_t>{1, 0, 2}));
    EXPECT_EQ(eight.values, (std::vector<uint8_t>{7, 1}));

    std::vector<int32_t> long_(1030, 0);
    long_.back() = -3;
    Symbolised longest = symbolise(long_, 8);
    ASSERT_GE(longest.symbols.size(), 2u);
    EXPECT_EQ(longest.symbols[0], 1);
    EXPECT_EQ(longest.symbols[1], 3);
    EXPECT_EQ(longest.values[0], 255);

    // The plane's last coefficient is never part of a run.
    Symbolised tail = symbolise(std::vector<int32_t>(20, 0), 8);
    EXPECT_EQ(tail.symbols.back(), 0);
    EXPECT_EQ(tail.symbols.size(), 3u); // a run of 19 zeros, then the last alone
}

TEST(HwlEncoder, ThresholdSparesApproximationAndZeroThresholdChangesNothing) {
    double plane[16];
    for (int i = 0; i < 16; ++i) plane[i] = 0.5;
    EXPECT_EQ(thresholdDetails(plane, 0.0, 4, 4, 0), 0u);
    EXPECT_EQ(thresholdDetails(plane, 0.5, 4, 4, 0), 12u);
    EXPECT_EQ(plane[0], 0.5);
    EXPECT_EQ(plane[1], 0.5);
    EXPECT_EQ(plane[4], 0.5);
    EXPECT_EQ(plane[5], 0.5);
    EXPECT_EQ(plane[2], 0.0);
}

TEST(HwlEncoder, ColourHeaderHoldsAllThreePlanes) {
    const int bits[3] = {8, 5, 4};
    const Encoded e = encodeColour(32, 16, 2, bits, 0.0, 1);
    HwlHeader header{};
    std::memcpy(&header, e.bytes.data(), kHeaderSize);
    EXPECT_EQ(std::string(header.magic, 3), "HWL");
    EXPECT_EQ(header.bitsPerPixel, 24);
    for (int p = 0; p < 3; ++p) {
        EXPECT_GT(uint32_t(header.symbolCount[p]), 0u);
        EXPECT_EQ(header.valueBits[p], bits[p]);
    }
    EXPECT_EQ(impliedFileSize(header), e.bytes.size());
}

TEST(HwlEncoder, FileAndStreamWritersGiveTheSameBytes) {
    const int bits[3] = {7, 5, 5};
    const Encoded e = encodeColour(16, 16, 1, bits, 0.0, 2);
    HwlEncodedImage image;
    image.width = image.height = 16;
    image.levels = 1;
    for (int p = 0; p < 3; ++p) {
        image.planes[p] = e.planes[p].data();
        image.tables[p] = e.tables[p];
        image.valueBits[p] = bits[p];
    }
    const std::string path = testing::TempDir() + "writer.hwl";
    ASSERT_TRUE(writeHwlFile(path, image).ok());
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::vector<uint8_t> fromFile(e.bytes.size() + 1);
    EXPECT_EQ(std::fread(fromFile.data(), 1, fromFile.size(), f), e.bytes.size());
    std::fclose(f);
    fromFile.resize(e.bytes.size());
    EXPECT_EQ(fromFile, e.bytes);

    image.valueBits[1] = 3; // coefficients of up to 31 do not fit 3 bits
    EXPECT_EQ(writeHwlFile(path, image).status, HwlStatus::InvalidArgument);
    image.valueBits[1] = 5;
    image.levels = 4; // 16 is not a multiple of 32
    EXPECT_EQ(writeHwlFile(path, image).status, HwlStatus::InvalidArgument);
    EXPECT_EQ(writeHwlFile("/nonexistent-dir/x.hwl", HwlEncodedImage{}).status,
              HwlStatus::WriteError);
}

// Real pictures at many settings: the decoder matches the plain reference
// byte for byte (smooth areas exercise the smoothing rule), and fine
// settings reconstruct the picture closely.
TEST(HwlEncoder, RoundTripsMatchReferenceAcrossSettings) {
    struct Setting {
        int w, h, levels, bits[3];
        double threshold;
    } settings[] = {
        {64, 64, 0, {8, 8, 8}, 0.0},   {64, 32, 3, {8, 6, 6}, 0.0}, {128, 64, 4, {7, 4, 4}, 2.0},
        {32, 128, 2, {6, 3, 3}, 8.0},  {64, 64, 5, {8, 0, 0}, 1.0}, {256, 128, 6, {5, 5, 5}, 4.0},
        {256, 256, 4, {8, 5, 5}, 2.0},
    };
    uint32_t seed = 10;
    for (const Setting& s : settings) {
        const Encoded e = encodeColour(s.w, s.h, s.levels, s.bits, s.threshold, seed++);
        std::vector<uint8_t> expected, actual;
        ASSERT_TRUE(reference::decode(e.bytes, expected));
        HwlHeader header{};
        ASSERT_TRUE(decodeHwlMemory(actual, header, e.bytes.data(), e.bytes.size(), true).ok());
        ASSERT_EQ(actual, expected) << s.w << "x" << s.h << " L" << s.levels;
    }
    // Full widths without threshold: close to the input.
    const int fine[3] = {8, 8, 8};
    const Encoded e = encodeColour(64, 64, 2, fine, 0.0, 77);
    std::vector<uint8_t> pixels;
    HwlHeader header{};
    ASSERT_TRUE(decodeHwlMemory(pixels, header, e.bytes.data(), e.bytes.size(), true).ok());
    std::vector<double> r, g, b;
    testPicture(64, 64, r, g, b, 77);
    double squared = 0;
    for (int i = 0; i < 64 * 64; ++i) {
        squared += std::pow(pixels[4 * i + 2] - r[i], 2) + std::pow(pixels[4 * i + 1] - g[i], 2) +
                   std::pow(pixels[4 * i] - b[i], 2);
    }
    const double psnr = 10 * std::log10(255.0 * 255.0 / (squared / (3 * 64 * 64)));
    EXPECT_GT(psnr, 35.0);
}

TEST(HwlEncoder, GreyRoundTrip) {
    const int w = 32, h = 32, levels = 3;
    std::vector<double> grey(w * h), coefficients(w * h);
    for (int i = 0; i < w * h; ++i) grey[i] = (i % w) * 7 + (i / w);
    forwardHaar(grey.data(), coefficients.data(), w, h, w, levels);
    std::vector<int32_t> q(w * h);
    double table[18];
    quantisePlane(coefficients.data(), q.data(), w, h, levels, 8, table);
    HwlEncodedImage image;
    image.width = w;
    image.height = h;
    image.bitsPerPixel = 8;
    image.levels = levels;
    image.planes[0] = q.data();
    image.tables[0] = table;
    image.valueBits[0] = 8;
    std::vector<uint8_t> bytes, pixels, expected;
    ASSERT_TRUE(writeHwlMemory(bytes, image).ok());
    HwlHeader header{};
    ASSERT_TRUE(decodeHwlMemory(pixels, header, bytes.data(), bytes.size(), true).ok());
    ASSERT_TRUE(reference::decode(bytes, expected));
    EXPECT_EQ(pixels, expected);
    ASSERT_EQ(pixels.size(), size_t(w * h));
    for (int i = 0; i < w * h; ++i) EXPECT_NEAR(pixels[i], grey[i], 3) << i;
}
