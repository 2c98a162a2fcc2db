// Generators on small layers, with expected pixels worked out by hand from
// the random sequence (state 1 draws 346, 32552, 10851, 22876, 43333, 60996,
// 43245, 54355, ...) and the operators' arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "texgen/helpers.h"
#include "texgen/layers.h"
#include "texgen/operators.h"

namespace texgen {
namespace {

constexpr uint32_t kMultiplier = 22695477;

uint32_t stateAfter(uint32_t seed, int draws) {
    for (int i = 0; i < draws; ++i) seed *= kMultiplier;
    return seed;
}

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

Pixel grey(int v) {
    return {v, v, v};
}

bool sameLayer(int a, int b) {
    return std::memcmp(layerData[a], layerData[b], static_cast<size_t>(layerByteCount())) == 0;
}

bool allPixels(int layer, Pixel expected) {
    for (int y = 0; y < layerHeight; ++y)
        for (int x = 0; x < layerWidth; ++x)
            if (at(layer, x, y) != expected) return false;
    return true;
}

class Generators : public ::testing::Test {
  protected:
    void SetUp() override { resize(8, 8); }
    void TearDown() override { freeLayers(); }
    void resize(int w, int h) { ASSERT_TRUE(initLayers(w, h).ok()); }
};

TEST_F(Generators, SubPlasmaBlendsTheSeededGrid) {
    subPlasma(0, 4, 1, 256, false);
    // Grid draws in row order: (0,0), (4,0), (0,4), (4,4).
    EXPECT_EQ(at(0, 0, 0), grey(90));
    EXPECT_EQ(at(0, 4, 0), grey(40));
    EXPECT_EQ(at(0, 0, 4), grey(99));
    EXPECT_EQ(at(0, 4, 4), grey(92));
    // Half-way points weigh both ends 0.5 and truncate.
    EXPECT_EQ(at(0, 2, 0), grey(65));
    EXPECT_EQ(at(0, 6, 0), grey(65)); // the last cell wraps to the first column
    EXPECT_EQ(at(0, 0, 2), grey(94)); // 94.5
    EXPECT_EQ(at(0, 2, 2), grey(80)); // (90 + 40 + 99 + 92) / 4
    EXPECT_EQ(randomSeed, stateAfter(1, 4));
}

TEST_F(Generators, SubPlasmaDrawsRedGreenBluePerGridPoint) {
    subPlasma(0, 4, 1, 256, true);
    EXPECT_EQ(at(0, 0, 0), (Pixel{90, 40, 99}));
    EXPECT_EQ(at(0, 4, 0), (Pixel{92, 69, 68}));
    EXPECT_EQ(randomSeed, stateAfter(1, 12));
}

TEST_F(Generators, SubPlasmaStepOneWritesMaskedDraws) {
    subPlasma(0, 1, 1, 256, false);
    const int raw[8] = {90, 40, 99, 92, 69, 68, 237, 83};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(at(0, x, 0), grey(raw[x])) << x;
    subPlasma(0, 1, 1, 16, false); // levels - 1 is a mask
    for (int x = 0; x < 8; ++x) EXPECT_EQ(at(0, x, 0), grey(raw[x] & 15)) << x;
}

TEST_F(Generators, SubPlasmaSeedZeroContinuesTheSequence) {
    subPlasma(0, 4, 7, 256, true);
    const auto running = static_cast<int32_t>(randomSeed);
    subPlasma(1, 4, 0, 256, true);
    subPlasma(2, 4, running, 256, true);
    EXPECT_TRUE(sameLayer(1, 2));
    subPlasma(3, 4, 7, 256, true);
    EXPECT_TRUE(sameLayer(0, 3));
    EXPECT_FALSE(sameLayer(0, 1));
}

TEST_F(Generators, SubPlasmaStepBeyondTheLayerFinishes) {
    // One grid point covers the whole layer; every pixel blends it with itself.
    subPlasma(0, 1 << 30, 1, 256, false);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_NEAR(at(0, x, y).r, 90, 1);
}

TEST_F(Generators, SinePlasmaScalesAndWrapsTheGrey) {
    sinePlasma(0, 0.0f, 0.0f, 256.0f);
    EXPECT_TRUE(allPixels(0, grey(127)));
    sinePlasma(0, 0.0f, 0.0f, 512.0f);
    EXPECT_TRUE(allPixels(0, grey(254)));
    sinePlasma(0, 0.0f, 0.0f, 1024.0f);
    EXPECT_TRUE(allPixels(0, grey(508 & 255)));
    sinePlasma(0, 0.0f, 0.0f, -256.0f);
    EXPECT_TRUE(allPixels(0, grey(129))); // low byte of -127
}

TEST_F(Generators, SinePlasmaTruncatesJustBelowTheCrest) {
    const float quarterTurn = 1.57079637f; // a hair above pi/2
    sinePlasma(0, quarterTurn, quarterTurn, 256.0f);
    EXPECT_EQ(at(0, 0, 0), grey(127));
    EXPECT_EQ(at(0, 1, 0), grey(190)); // 127 + 63.5 * sin, sin a hair below 1
    EXPECT_EQ(at(0, 1, 1), grey(253));
    EXPECT_EQ(at(0, 2, 0), grey(126)); // sin a hair below 0
}

TEST_F(Generators, PerlinNoiseWithOneOctaveIsBlackButDraws) {
    colorLayer(0, 9, 9, 9);
    perlinNoise(0, 4, 5, 256, 128, 1, true);
    EXPECT_TRUE(allPixels(0, grey(0)));
    EXPECT_EQ(randomSeed, stateAfter(5, 12));
    // Amplitude 1 * persistence 128 / 256 is 0: no further octave draws.
    perlinNoise(0, 4, 5, 1, 128, 6, false);
    EXPECT_TRUE(allPixels(0, grey(0)));
    EXPECT_EQ(randomSeed, stateAfter(5, 4));
}

TEST_F(Generators, PerlinNoiseSumsHalvedOctaves) {
    resize(16, 16);
    perlinNoise(0, 4, 11, 512, 128, 3, true);
    // The same draws by hand: a black first octave, then steps 2 and 1 with
    // levels 512*128/256 = 256 and 256*128/256 = 128, added with saturation.
    subPlasma(1, 4, 11, 1, true);
    subPlasma(2, 2, 0, 256, true);
    subPlasma(3, 1, 0, 128, true);
    int saturated = 0;
    for (int64_t n = 0; n < layerByteCount(); ++n) {
        const int sum = layerData[2][n] + layerData[3][n];
        saturated += sum > 255;
        ASSERT_EQ(layerData[0][n], std::min(255, sum)) << n;
    }
    EXPECT_GT(saturated, 0);
}

TEST_F(Generators, ParticleFallsOffWithFastSqrtDistance) {
    particle(0, 1.0f);
    EXPECT_EQ(at(0, 4, 4), grey(255));
    EXPECT_EQ(at(0, 2, 4), grey(165)); // distance 0.5: 255 - 90
    EXPECT_EQ(at(0, 4, 2), grey(165));
    EXPECT_EQ(at(0, 0, 4), grey(75)); // distance 1: 255 - 180
    EXPECT_EQ(at(0, 0, 0), grey(0));  // fastSqrt(2) = 1.5: below 0
    particle(0, 0.5f);
    EXPECT_EQ(at(0, 0, 0), grey(120)); // 255 - 1.5 * 90
    particle(0, 0.0f);
    EXPECT_TRUE(allPixels(0, grey(255)));
}

TEST_F(Generators, ColorLayerKeepsTheLowBytes) {
    colorLayer(0, 266, -1, 300);
    EXPECT_TRUE(allPixels(0, (Pixel{10, 255, 44})));
}

TEST_F(Generators, CheckerBoardStartsWithColourTwo) {
    resize(256, 256);
    checkerBoardLayer(0, 32, 32, 10, 20, 30, 200, 210, 220);
    const Pixel one{10, 20, 30}, two{200, 210, 220};
    EXPECT_EQ(at(0, 0, 0), two);
    EXPECT_EQ(at(0, 31, 31), two);
    EXPECT_EQ(at(0, 32, 0), one);
    EXPECT_EQ(at(0, 0, 32), one);
    EXPECT_EQ(at(0, 32, 32), two);
    EXPECT_EQ(at(0, 255, 255), two);
}

TEST_F(Generators, CheckerBoardWithPartialCellsSwapsAtRowEnd) {
    // 8 / 3 = 2 whole cells (even) and a partial one: rows must keep their phase.
    checkerBoardLayer(0, 3, 2, 1, 1, 1, 2, 2, 2);
    const int expected[3][8] = {
        {2, 2, 2, 1, 1, 1, 2, 2}, {2, 2, 2, 1, 1, 1, 2, 2}, {1, 1, 1, 2, 2, 2, 1, 1}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(at(0, x, y), grey(expected[y][x])) << x << "," << y;
}

TEST_F(Generators, BlobsLayerEvaluatesTheFieldOfOneBlob) {
    // Seed 1: position (2, 1) from draws 346 and 32552, strengths from the
    // low bytes 99, 92, 69: ((b / 255) + 0.1) * 150.
    blobsLayer(0, 1, 1, true);
    EXPECT_EQ(at(0, 2, 1), (Pixel{73, 69, 55}));
    EXPECT_EQ(at(0, 3, 1), (Pixel{65, 61, 49}));
    EXPECT_EQ(at(0, 6, 1), (Pixel{3, 2, 2})); // h = 0.75
    EXPECT_EQ(at(0, 6, 5), (Pixel{6, 5, 4})); // h = 1.5: the field rises again
    EXPECT_EQ(at(0, 7, 7), (Pixel{0, 0, 0})); // h > 2: negative
    EXPECT_EQ(randomSeed, stateAfter(1, 5));
    blobsLayer(0, 1, 1, false);
    EXPECT_EQ(at(0, 2, 1), grey(73));
    EXPECT_EQ(at(0, 0, 0), grey(38));
}

TEST_F(Generators, BlobsLayerCountLimits) {
    colorLayer(0, 50, 50, 50);
    blobsLayer(0, 33, 0, true);
    EXPECT_TRUE(allPixels(0, grey(0)));
    EXPECT_EQ(randomSeed, 33u); // seeded, nothing drawn

    blobsLayer(1, 9, 16, true);
    const uint32_t after16 = randomSeed;
    blobsLayer(2, 9, 1000, true);
    EXPECT_TRUE(sameLayer(1, 2));
    EXPECT_EQ(randomSeed, after16);
}

TEST_F(Generators, MandelBrotEscapeCounts) {
    resize(16, 16);
    mandelBrot(0, -2.0f, 3.0f, -1.5f, 3.0f, 16.0f);
    // c = (-2, -1.5): |z1|^2 = 6.25, z2 = (-0.25, 4.5) escapes: count 1.
    EXPECT_EQ(at(0, 0, 0), (Pixel{1, 254, 254}));
    EXPECT_EQ(at(0, 8, 8), (Pixel{255, 0, 0})); // c = (-0.5, 0), inside
    EXPECT_EQ(at(0, 0, 8), (Pixel{255, 0, 0})); // c = -2 stays on the boundary
    mandelBrot(0, -8.0f, 3.0f, -8.0f, 3.0f, 16.0f);
    EXPECT_EQ(at(0, 0, 0), (Pixel{0, 255, 255})); // outside before the first step
}

TEST_F(Generators, CellMachineRulesAndNeighbourOrder) {
    // Seed 1: only the first of the eight row-0 draws (346) is below 1024.
    cellMachine(0, 1, 0);
    EXPECT_EQ(at(0, 0, 0), grey(255));
    for (int x = 1; x < 8; ++x) EXPECT_EQ(at(0, x, 0), grey(0)) << x;
    for (int y = 1; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(at(0, x, y), grey(0)) << x << "," << y;
    EXPECT_EQ(randomSeed, stateAfter(1, 8));

    cellMachine(0, 1, 255);
    for (int y = 1; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(at(0, x, y), grey(255)) << x << "," << y;

    // Bit 1 (only the left neighbour alive) moves the cell right; bit 4
    // (only the right one) moves it left.
    cellMachine(0, 1, 1 << 1);
    cellMachine(1, 1, 1 << 4);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(at(0, x, y), grey(x == y ? 255 : 0)) << x << "," << y;
            EXPECT_EQ(at(1, x, y), grey(x == ((8 - y) & 7) ? 255 : 0)) << x << "," << y;
        }
    }
}

} // namespace
} // namespace texgen
