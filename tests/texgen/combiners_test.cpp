// Combiners and colour operators on small layers: hand-worked channel values,
// rounding edges, and in-place use (dst equal to a source).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "texgen/helpers.h"
#include "texgen/layers.h"
#include "texgen/operators.h"

namespace texgen {
namespace {

constexpr uint32_t kMultiplier = 22695477;
constexpr uint32_t kScatterSeed = 45390954;

struct Pixel {
    int r, g, b;
    bool operator==(const Pixel&) const = default;
};

void PrintTo(const Pixel& p, std::ostream* os) {
    *os << "(" << p.r << ", " << p.g << ", " << p.b << ")";
}

Pixel at(int layer, int x, int y) {
    const uint8_t* p = pixelAt(layer, x, y);
    return {p[0], p[1], p[2]};
}

void put(int layer, int x, int y, Pixel c) {
    uint8_t* p = pixelAt(layer, x, y);
    p[0] = static_cast<uint8_t>(c.r);
    p[1] = static_cast<uint8_t>(c.g);
    p[2] = static_cast<uint8_t>(c.b);
}

void fill(int layer, Pixel c) {
    for (int y = 0; y < layerHeight; ++y)
        for (int x = 0; x < layerWidth; ++x) put(layer, x, y, c);
}

// Every byte value appears (the layers below hold at least 256 bytes).
void fillRamp(int layer, int salt) {
    for (int64_t n = 0; n < layerByteCount(); ++n)
        layerData[layer][n] = static_cast<uint8_t>(n * 7 + salt);
}

bool allPixels(int layer, Pixel expected) {
    for (int y = 0; y < layerHeight; ++y)
        for (int x = 0; x < layerWidth; ++x)
            if (at(layer, x, y) != expected) return false;
    return true;
}

bool sameLayer(int a, int b) {
    return std::memcmp(layerData[a], layerData[b], static_cast<size_t>(layerByteCount())) == 0;
}

class Combiners : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(initLayers(16, 16).ok()); }
    void TearDown() override { freeLayers(); }
};

using ColourOps = Combiners;

TEST_F(Combiners, AddLayersWeighsClampsAndRoundsToSingle) {
    fillRamp(0, 3);
    std::memcpy(layerData[1], layerData[0], static_cast<size_t>(layerByteCount()));
    addLayers(0, 0, 0, 0.5f, 0.5f); // a layer with itself, in place
    EXPECT_TRUE(sameLayer(0, 1));

    put(0, 0, 0, {100, 255, 0});
    put(1, 0, 0, {30, 255, 10});
    addLayers(0, 1, 2, 0.5f, 2.0f);
    EXPECT_EQ(at(2, 0, 0), (Pixel{110, 255, 20}));
    addLayers(0, 1, 2, -1.0f, 0.5f);
    EXPECT_EQ(at(2, 0, 0), (Pixel{0, 0, 5}));

    // 200 + 55 * 0.99999988 = 254.9999934, which rounds to 255 in single.
    put(0, 0, 0, {200, 200, 200});
    put(1, 0, 0, {55, 55, 55});
    addLayers(0, 1, 2, 1.0f, 0.99999988f);
    EXPECT_EQ(at(2, 0, 0), (Pixel{255, 255, 255}));
}

TEST_F(Combiners, MulLayersWithWhiteOrBlack) {
    fillRamp(0, 0);
    fill(1, {255, 255, 255});
    mulLayers(1, 0, 2, 1.0f, 1.0f);
    EXPECT_TRUE(sameLayer(0, 2));
    fill(1, {0, 0, 0});
    mulLayers(0, 1, 0, 1.0f, 1.0f);
    EXPECT_TRUE(allPixels(0, {0, 0, 0}));

    put(0, 0, 0, {100, 200, 255});
    put(1, 0, 0, {200, 200, 255});
    mulLayers(0, 1, 2, 1.0f, 2.0f);
    EXPECT_EQ(at(2, 0, 0), (Pixel{156, 255, 255})); // 100*200*2/255 = 156.9
}

TEST_F(Combiners, MinAndMaxPickPerChannelAndTiesGiveB) {
    put(0, 0, 0, {10, 200, 50});
    put(1, 0, 0, {100, 100, 50});
    minCombineLayers(0, 1, 2, 1.0f, 1.0f);
    EXPECT_EQ(at(2, 0, 0), (Pixel{10, 100, 50}));
    maxCombineLayers(0, 1, 2, 1.0f, 1.0f);
    EXPECT_EQ(at(2, 0, 0), (Pixel{100, 200, 50}));
    // Weighted comparison, unweighted result: A*3 = (30, 600, 150).
    minCombineLayers(0, 1, 2, 3.0f, 1.0f);
    EXPECT_EQ(at(2, 0, 0), (Pixel{10, 100, 50}));
    maxCombineLayers(0, 1, 2, 3.0f, 1.0f);
    EXPECT_EQ(at(2, 0, 0), (Pixel{100, 200, 50}));

    // Equal weighted values (10*2 = 20*1) give B in both.
    put(0, 0, 0, {10, 10, 10});
    put(1, 0, 0, {20, 20, 20});
    minCombineLayers(0, 1, 2, 2.0f, 1.0f);
    EXPECT_EQ(at(2, 0, 0), (Pixel{20, 20, 20}));
    maxCombineLayers(0, 1, 2, 2.0f, 1.0f);
    EXPECT_EQ(at(2, 0, 0), (Pixel{20, 20, 20}));
}

TEST_F(Combiners, BitwiseCombinersWrapWithoutClamping) {
    fillRamp(0, 5);
    xorLayers(0, 0, 0, 1.0f, 1.0f);
    EXPECT_TRUE(allPixels(0, {0, 0, 0}));

    put(0, 0, 0, {150, 150, 150});
    put(1, 0, 0, {0, 255, 3});
    // 150 * 2 = 300 (binary 1 0010 1100) against 0, 255 and 3.
    xorLayers(0, 1, 2, 2.0f, 1.0f);
    EXPECT_EQ(at(2, 0, 0), (Pixel{44, 211, 47}));
    orLayers(0, 1, 2, 2.0f, 1.0f);
    EXPECT_EQ(at(2, 0, 0), (Pixel{44, 255, 47}));
    andLayers(0, 1, 2, 2.0f, 1.0f);
    EXPECT_EQ(at(2, 0, 0), (Pixel{0, 44, 0}));
    andLayers(0, 1, 2, 2.0f, 1.9f); // weighted values truncate: 484.5 and 5.7
    EXPECT_EQ(at(2, 0, 0), (Pixel{0, 36, 4}));
}

TEST_F(Combiners, RandCombineWithZeroWeightsIsMidGrey) {
    fillRamp(0, 1);
    fillRamp(1, 2);
    randCombineLayers(0, 1, 0, 0.0f, 0.0f);
    EXPECT_TRUE(allPixels(0, {127, 127, 127}));
    EXPECT_EQ(randomSeed, kScatterSeed);
}

TEST_F(Combiners, RandCombineCopiesToTheDrawnPositions) {
    ASSERT_TRUE(initLayers(8, 8).ok());
    fill(0, {1, 2, 3});
    fill(1, {4, 5, 6});
    // W*H * weight * 1.5 = 1 round each. From the fixed seed the draws are
    // 65104, 21703, 45752, 21131 (A) and 56457, 20955, 43175, 33066 (B).
    randCombineLayers(0, 1, 2, 1.0f / 96.0f, 1.0f / 96.0f);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            Pixel expected{127, 127, 127};
            if ((x == 0 && y == 7) || (x == 0 && y == 2)) expected = {1, 2, 3};
            if ((x == 3 && y == 4) || (x == 2 && y == 7)) expected = {4, 5, 6};
            EXPECT_EQ(at(2, x, y), expected) << x << "," << y;
        }
    }
}

TEST_F(Combiners, RandCombineRoundsCountsHalfToEven) {
    ASSERT_TRUE(initLayers(8, 8).ok());
    // 64 * (w * 1.5) = 2.5 rounds to 2 rounds of 4 draws, not 3.
    randCombineLayers(0, 1, 2, 2.5f / 96.0f, 0.0f);
    uint32_t expected = kScatterSeed;
    for (int i = 0; i < 8; ++i) expected *= kMultiplier;
    EXPECT_EQ(randomSeed, expected);
}

TEST_F(Combiners, RandCombineInPlaceMatchesAndRepeats) {
    fillRamp(0, 1);
    fillRamp(1, 100);
    randCombineLayers(0, 1, 2, 0.3f, 0.2f);
    randCombineLayers(0, 1, 3, 0.3f, 0.2f);
    EXPECT_TRUE(sameLayer(2, 3));
    randCombineLayers(0, 1, 0, 0.3f, 0.2f);
    EXPECT_TRUE(sameLayer(0, 2));
}

TEST_F(ColourOps, InvertTwiceRestores) {
    fillRamp(0, 9);
    std::memcpy(layerData[1], layerData[0], static_cast<size_t>(layerByteCount()));
    put(0, 0, 0, {0, 1, 255});
    invertLayer(0, 2);
    EXPECT_EQ(at(2, 0, 0), (Pixel{255, 254, 0}));
    put(0, 0, 0, at(1, 0, 0));
    invertLayer(0, 0);
    invertLayer(0, 0);
    EXPECT_TRUE(sameLayer(0, 1));
}

TEST_F(ColourOps, RgbScaleAndAdjustClamp) {
    put(0, 0, 0, {201, 100, 50});
    put(0, 1, 0, {10, 200, 50});
    scaleLayerRGB(0, 1, 0.5f, 2.0f, -1.0f);
    EXPECT_EQ(at(1, 0, 0), (Pixel{100, 200, 0}));
    EXPECT_EQ(at(1, 1, 0), (Pixel{5, 255, 0}));

    fillRamp(0, 0);
    adjustLayerRGB(0, 0, 300, -300, 0);
    for (int x = 0; x < 16; ++x) EXPECT_EQ(at(0, x, 3).r, 255);
    for (int x = 0; x < 16; ++x) EXPECT_EQ(at(0, x, 3).g, 0);
    put(0, 0, 0, {250, 5, 77});
    adjustLayerRGB(0, 1, 3, -3, 2147483647);
    EXPECT_EQ(at(1, 0, 0), (Pixel{253, 2, 255}));
}

TEST_F(ColourOps, SineLayerRgb) {
    put(0, 0, 0, {0, 1, 1});
    put(0, 1, 0, {1, 2, 255});
    sineLayerRGB(0, 1, 0.0f, 0.5f, 1.5f);
    // (sin(s * f) + 1) * 127.5, truncated: sin 0 gives 127, sin just below 1
    // gives 254, sin -1 gives 0.
    EXPECT_EQ(at(1, 0, 0), (Pixel{127, 254, 0}));
    EXPECT_EQ(at(1, 1, 0).r, 127);
    EXPECT_EQ(at(1, 1, 0).g, 127); // sin(pi) a hair below 0
}

TEST_F(ColourOps, EqualizeMapsTheHighestValueTo255) {
    fill(0, {100, 0, 255});
    equalizeRGB(0, 0);
    EXPECT_TRUE(allPixels(0, {255, 255, 255}));

    // Red: a quarter 10, three quarters 50; green: half 0, half 200.
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) put(1, x, y, {y < 4 ? 10 : 50, y < 8 ? 0 : 200, 7});
    }
    equalizeRGB(1, 2);
    EXPECT_EQ(at(2, 0, 0), (Pixel{64, 128, 255})); // 63.75 and 127.5 rounded
    EXPECT_EQ(at(2, 0, 15), (Pixel{255, 255, 255}));
}

TEST_F(ColourOps, StretchEqualizesWithinTheOccupiedRange) {
    fill(0, {100, 0, 255});
    stretchRGB(0, 0);
    EXPECT_TRUE(allPixels(0, {100, 0, 255}));

    // Half 10 and half 15: 10 + 2.5 = 12.5 rounds half to even.
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) put(1, x, y, {y < 8 ? 10 : 15, 3, 3});
    stretchRGB(1, 1);
    EXPECT_EQ(at(1, 0, 0), (Pixel{12, 3, 3}));
    EXPECT_EQ(at(1, 0, 15), (Pixel{15, 3, 3}));
}

TEST_F(ColourOps, HsvIdentityLosesAtMostOne) {
    fillRamp(0, 11);
    scaleLayerHSV(0, 1, 1.0f, 1.0f, 1.0f);
    for (int64_t n = 0; n < layerByteCount(); ++n) {
        const int s = layerData[0][n], out = layerData[1][n];
        ASSERT_TRUE(out == s || out == s - 1) << n << ": " << s << " -> " << out;
    }
    fill(0, {100, 100, 100});
    adjustLayerHSV(0, 0, 0.0f, 0.0f, 0.0f);
    EXPECT_TRUE(allPixels(0, {100, 100, 100}));
}

TEST_F(ColourOps, HsvChanges) {
    put(0, 0, 0, {255, 0, 0});
    put(0, 1, 0, {100, 100, 100});
    put(0, 2, 0, {200, 100, 50});
    adjustLayerHSV(0, 1, 120.0f, 0.0f, 0.0f);
    EXPECT_EQ(at(1, 0, 0), (Pixel{0, 255, 0}));
    EXPECT_EQ(at(1, 1, 0), (Pixel{100, 100, 100})); // grey stays grey at saturation 0
    // Grey has hue -1; with saturation it becomes hue 359.
    adjustLayerHSV(0, 1, 0.0f, 1.0f, 0.0f);
    EXPECT_EQ(at(1, 1, 0), (Pixel{100, 0, 1}));
    EXPECT_EQ(at(1, 0, 0), (Pixel{255, 0, 0})); // saturation clamps at 1
    // Value scaled past 255 clamps: (200, 100, 50) * 2 keeps its hue.
    scaleLayerHSV(0, 1, 1.0f, 1.0f, 2.0f);
    EXPECT_EQ(at(1, 2, 0), (Pixel{255, 127, 63}));
    scaleLayerHSV(0, 1, 1.0f, 0.0f, 1.0f);
    EXPECT_EQ(at(1, 2, 0), (Pixel{200, 200, 200}));
}

} // namespace
} // namespace texgen
