#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "images/file_builder.h"
#include "images/hwl_decoder.h"
#include "images/hwl_encoder.h"
#include "images/reference_decoder.h"

using namespace hwl;

namespace {

constexpr double kG = 0.7071067811865476;

std::string writeTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = testing::TempDir() + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

// The smallest complete grey file: 2x2, L = 0, approximation 255 at factor
// 1.275, details zero.
FileBuilder greyTwoByTwo() {
    FileBuilder b;
    b.planes.push_back({{0.0, 1.275}, {2, 0, 0, 0}, {255}, 8});
    return b;
}

HwlError decodeBytes(const std::vector<uint8_t>& bytes, std::vector<uint8_t>& pixels,
                     HwlHeader& header) {
    return decodeHwlMemory(pixels, header, bytes.data(), bytes.size(), true, "test.hwl");
}

} // namespace

TEST(HwlDecoder, HandMadeGreyFileDecodesToGrey100) {
    const std::vector<uint8_t> bytes = greyTwoByTwo().build();
    ASSERT_EQ(bytes.size(), 54u);
    EXPECT_EQ(bytes[44], 0x66);
    EXPECT_EQ(bytes[51], 0x3F);
    std::vector<uint8_t> pixels;
    HwlHeader header{};
    const std::string path = writeTemp("grey2x2.hwl", bytes);
    ASSERT_TRUE(decodeHwl(pixels, header, path, true).ok());
    EXPECT_EQ(int(header.width), 2); // packed fields: compare copies
    EXPECT_EQ(int(header.height), 2);
    EXPECT_EQ(pixels, std::vector<uint8_t>(4, 100));

    // The magic is not checked, and a grey file's plane 1 and 2 fields are ignored.
    std::vector<uint8_t> odd = bytes;
    std::memcpy(odd.data(), "XYZ", 3);
    for (int i : {13, 14, 25, 26, 34, 35}) odd[i] = 0xEE;
    std::vector<uint8_t> again;
    ASSERT_TRUE(decodeBytes(odd, again, header).ok());
    EXPECT_EQ(again, pixels);
}

TEST(HwlDecoder, TwoByTwoIsPlainHaarSynthesis) {
    // Approximation A, details P (top-right), Q (bottom-left), D (bottom-right),
    // all factors 1: pixels 1/2 (A+P+Q+D), 1/2 (A-P+Q-D) / 1/2 (A+P-Q-D), 1/2 (A-P-Q+D).
    FileBuilder b;
    b.planes.push_back({{1.0, 1.0}, {2, 2, 3, 2}, {200, 40, 20, 6}, 8});
    std::vector<uint8_t> pixels;
    HwlHeader header{};
    ASSERT_TRUE(decodeBytes(b.build(), pixels, header).ok());
    const double A = 200, P = 40, Q = -20, D = 6;
    const double expected[4] = {(A + P + Q + D) / 2, (A - P + Q - D) / 2, (A + P - Q - D) / 2,
                                (A - P - Q + D) / 2};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(pixels[i], std::lround(expected[i])) << i;
}

TEST(HwlDecoder, SmoothingRuleBlendsRampsAndKeepsSteps) {
    // One line of four pairs, details zero, run through the horizontal pass
    // (a plane 8 wide, 2 high) and the vertical pass (2 wide, 8 high).
    auto line = [](std::vector<double> lows, bool vertical) {
        const int w = vertical ? 2 : 8, h = vertical ? 8 : 2;
        std::vector<double> plane(16, 0.0), temp(16);
        for (int k = 0; k < 4; ++k) plane[vertical ? k * w : k] = lows[k];
        inverseHaar(plane.data(), plane.data(), w, h, w, 0, temp.data());
        std::vector<double> out(8);
        for (int i = 0; i < 8; ++i) out[i] = plane[vertical ? i * w : i] / (kG * kG);
        return out;
    };
    for (bool vertical : {false, true}) {
        const std::vector<double> ramp = line({10, 20, 30, 40}, vertical);
        const double rampExpected[8] = {10, 10, 18, 22, 28, 32, 40, 40};
        const std::vector<double> step = line({10, 10, 30, 30}, vertical);
        const double stepExpected[8] = {10, 10, 10, 10, 30, 30, 30, 30};
        for (int i = 0; i < 8; ++i) {
            EXPECT_NEAR(ramp[i], rampExpected[i], 1e-9) << "vertical " << vertical << " " << i;
            EXPECT_NEAR(step[i], stepExpected[i], 1e-9) << "vertical " << vertical << " " << i;
        }
    }
}

TEST(HwlDecoder, NonZeroDetailMakesPlainPairAndStopsNeighbourBlends) {
    // Pairs 10, 20, 30, 40, 50 with a detail at pair 2: pair 1's odd output
    // and pair 3's even output lose their blend.
    std::vector<double> plane(20, 0.0), temp(20);
    const double lows[5] = {10, 20, 30, 40, 50};
    for (int k = 0; k < 5; ++k) plane[k] = lows[k];
    plane[5 + 2] = 4; // H_2
    inverseHaar(plane.data(), plane.data(), 10, 2, 10, 0, temp.data());
    std::vector<double> out(10);
    for (int i = 0; i < 10; ++i) out[i] = plane[i] / (kG * kG);
    EXPECT_NEAR(out[2], 18, 1e-9); // pair 1 even still blends backwards
    EXPECT_NEAR(out[3], 20, 1e-9); // pair 1 odd: its right neighbour has a detail
    EXPECT_NEAR(out[4], 34, 1e-9); // pair 2 plain: 30 + 4
    EXPECT_NEAR(out[5], 26, 1e-9);
    EXPECT_NEAR(out[6], 40, 1e-9); // pair 3 even: its left neighbour has a detail
    EXPECT_NEAR(out[7], 42, 1e-9); // pair 3 odd blends towards 50
}

TEST(HwlDecoder, ChannelRoundingIsHalfToEvenAndClamped) {
    const double in[] = {-0.4, 0.5, 1.5, 2.5, 254.5, 255, 300, std::nan("")};
    const uint8_t out[] = {0, 0, 2, 2, 254, 255, 255, 0};
    for (size_t i = 0; i < std::size(in); ++i) EXPECT_EQ(channelToByte(in[i]), out[i]) << in[i];
}

TEST(HwlDecoder, GreyColourPixelDecodesToEqualChannels) {
    // Y = 100, U = V = 0: green is 100 * 0.59 * 1.694915 = 99.99998..., so 100.
    double y = 100, u = 0, v = 0;
    yuvToRgb(&y, &u, &v, 1);
    uint8_t bgr[4];
    planesToBgr(&y, &u, &v, bgr, 1);
    EXPECT_EQ(bgr[0], 100);
    EXPECT_EQ(bgr[1], 100);
    EXPECT_EQ(bgr[2], 100);
    EXPECT_EQ(bgr[3], 0);
    EXPECT_LT(u, 100.0);
}

TEST(HwlDecoder, StreamPackingEdgeCases) {
    // 7-bit values straddle bytes; a symbol count not a multiple of four;
    // width 0 makes every value 0 and a run s + 1 zeros.
    FileBuilder seven;
    seven.width = 4;
    seven.height = 2;
    seven.planes.push_back({{1, 1}, {2, 2, 3, 0, 0, 0, 0, 0}, {100, 127, 1}, 7});
    HwlPlanes planes;
    const std::vector<uint8_t> bytes = seven.build();
    ASSERT_TRUE(readHwlPlanesFromStream(bytes.data(), bytes.size(), planes).ok());
    EXPECT_EQ(planes.coefficients[0][0], 100);
    EXPECT_EQ(planes.coefficients[0][1], 127);
    EXPECT_EQ(planes.coefficients[0][2], -1);

    FileBuilder zeroBits;
    zeroBits.width = 4;
    zeroBits.height = 2;
    zeroBits.planes.push_back(
        {{1, 1}, {2, 1, 2, 0, 0, 0, 0}, {0, 0}, 0}); // +0, a run of 3, 4 zeros
    const std::vector<uint8_t> zb = zeroBits.build();
    ASSERT_TRUE(readHwlPlanesFromStream(zb.data(), zb.size(), planes).ok()) << zb.size();
    EXPECT_EQ(std::vector<int32_t>(planes.coefficients[0].begin(), planes.coefficients[0].end()),
              std::vector<int32_t>(8, 0));
}

TEST(HwlDecoder, ExpandSymbolsCutsRunAtPlaneEnd) {
    // A run of ten zeros starting two coefficients before the end writes two.
    std::vector<int32_t> plane(4, 7);
    const uint8_t symbols[] = {2, 2, 1, 0};
    const uint8_t values[] = {5, 6, 9};
    const ExpandResult r = expandSymbols(plane.data(), symbols, 4, values, 3, 2, 2, 8);
    EXPECT_EQ(plane, (std::vector<int32_t>{5, 6, 0, 0}));
    EXPECT_EQ(r.coefficients, 12u); // the run counted in full: the stream overshoots
}

TEST(HwlDecoder, ZeroTableEntryZeroesItsBand) {
    FileBuilder b;
    b.planes.push_back({{0.0, 1.0}, {2, 2, 2, 2}, {200, 50, 50, 50}, 8});
    std::vector<uint8_t> pixels;
    HwlHeader header{};
    ASSERT_TRUE(decodeBytes(b.build(), pixels, header).ok());
    EXPECT_EQ(pixels, std::vector<uint8_t>(4, 100));
}

TEST(HwlDecoder, UnknownDepthLeavesBufferUntouched) {
    FileBuilder b = greyTwoByTwo();
    b.bitsPerPixel = 16;
    std::vector<uint8_t> pixels = {1, 2, 3};
    HwlHeader header{};
    const std::string path = writeTemp("depth16.hwl", b.build());
    EXPECT_TRUE(decodeHwl(pixels, header, path, true).ok());
    EXPECT_EQ(header.bitsPerPixel, 16);
    EXPECT_EQ(pixels, (std::vector<uint8_t>{1, 2, 3}));
}

// Random streams with every symbol pattern the format allows (runs of any
// length, odd value widths, odd tables) decode to the same bytes as the
// plain reference decoder.
TEST(HwlDecoder, MatchesReferenceOnRandomFiles) {
    std::mt19937 rng(1234);
    for (int trial = 0; trial < 300; ++trial) {
        FileBuilder b;
        b.levels = int(rng() % 4);
        const int block = 1 << (b.levels + 1);
        b.width = block * int(1 + rng() % (trial < 250 ? 4 : 12));
        b.height = block * int(1 + rng() % (trial < 250 ? 4 : 12));
        b.bitsPerPixel = rng() % 2 ? 24 : 8;
        const int planes = b.bitsPerPixel == 8 ? 1 : 3;
        const int count = b.width * b.height;
        for (int p = 0; p < planes; ++p) {
            PlaneStreams s;
            s.bits = int(rng() % 9);
            for (int i = 0; i < b.levels + 2; ++i) {
                const int kind = int(rng() % 6);
                s.table.push_back(kind == 0   ? 0.0
                                  : kind == 1 ? -0.37
                                              : 0.05 + (rng() % 1000) / 97.0);
            }
            const uint32_t top = (1u << s.bits) - 1;
            int j = 0;
            while (j < count) {
                const int kind = int(rng() % 10);
                const int left = count - j;
                if (kind < 3 && left > 1) { // a run that fits
                    const uint32_t most = std::min<uint32_t>(4u << s.bits, uint32_t(left));
                    const uint32_t zeros = 1 + rng() % most;
                    const uint32_t r = zeros - 1;
                    s.symbols.push_back(1);
                    s.symbols.push_back(uint8_t(r >> s.bits));
                    s.values.push_back(r & top);
                    j += int(zeros);
                } else if (kind < 5) {
                    s.symbols.push_back(0);
                    ++j;
                } else {
                    s.symbols.push_back(rng() % 2 ? 2 : 3);
                    s.values.push_back(rng() & top);
                    ++j;
                }
            }
            b.planes.push_back(s);
        }
        const std::vector<uint8_t> bytes = b.build();
        std::vector<uint8_t> expected, actual;
        ASSERT_TRUE(reference::decode(bytes, expected));
        HwlHeader header{};
        const HwlError error = decodeBytes(bytes, actual, header);
        ASSERT_TRUE(error.ok()) << error.message;
        ASSERT_EQ(actual, expected) << "trial " << trial;
    }
}
