// Generators on small layers, with expected pixels worked out by hand from
// the random sequence (state 1 draws 346, 32552, 10851, 22876, 43333, 60996,
// 43245, 54355, ...) and the operators' arithmetic.
#include <algorithm>

#include "texgen/layer_fixture.h"

namespace texgen {
namespace {

TEST(Generators, SubPlasmaBlendsTheSeededGrid) {
    Layers layers(8, 8);
    // Grid draws in row order: (0,0), (4,0), (0,4), (4,4); half-way points
    // weigh both ends 0.5 and truncate (94.5); the last cell wraps.
    subPlasma(0, 4, 1, 256, false);
    expectPixels(0, {{0, 0, 90, 90, 90},
                     {4, 0, 40, 40, 40},
                     {0, 4, 99, 99, 99},
                     {4, 4, 92, 92, 92},
                     {2, 0, 65, 65, 65},
                     {6, 0, 65, 65, 65},
                     {0, 2, 94, 94, 94},
                     {2, 2, 80, 80, 80}});
    EXPECT_EQ(randomSeed, stateAfter(1, 4));
    subPlasma(0, 4, 1, 256, true); // red, green, blue per grid point
    expectPixels(0, {{0, 0, 90, 40, 99}, {4, 0, 92, 69, 68}});
    EXPECT_EQ(randomSeed, stateAfter(1, 12));
    const int raw[8] = {90, 40, 99, 92, 69, 68, 237, 83};
    for (int levels : {256, 16}) { // levels - 1 is a mask
        subPlasma(0, 1, 1, levels, false);
        for (int x = 0; x < 8; ++x) EXPECT_EQ(px(0, x, 0), grey(raw[x] & (levels - 1))) << x;
    }
    subPlasma(0, 1 << 30, 1, 256, false); // one grid point for the whole layer
    for (uint8_t byte : bytesOf(0)) EXPECT_NEAR(byte, 90, 1);

    subPlasma(0, 4, 7, 256, true); // seed 0 continues the sequence
    const auto running = static_cast<int32_t>(randomSeed);
    subPlasma(1, 4, 0, 256, true);
    subPlasma(2, 4, running, 256, true);
    EXPECT_EQ(bytesOf(1), bytesOf(2));
    subPlasma(3, 4, 7, 256, true);
    EXPECT_EQ(bytesOf(0), bytesOf(3));
    EXPECT_NE(bytesOf(0), bytesOf(1));
}

TEST(Generators, SinePlasmaAndPerlinNoise) {
    Layers layers(8, 8);
    for (auto [scale, v] :
         {std::pair{256.0f, 127}, {512.0f, 254}, {1024.0f, 252}, {-256.0f, 129}}) {
        sinePlasma(0, 0.0f, 0.0f, scale); // the low byte of 508 and of -127
        expectLayer(0, grey(v));
    }
    const float quarterTurn = 1.57079637f; // a hair above pi/2: sin a hair below 1 and 0
    sinePlasma(0, quarterTurn, quarterTurn, 256.0f);
    expectPixels(0, {{0, 0, 127, 127, 127},
                     {1, 0, 190, 190, 190},
                     {1, 1, 253, 253, 253},
                     {2, 0, 126, 126, 126}});

    colorLayer(0, 9, 9, 9);
    perlinNoise(0, 4, 5, 256, 128, 1, true); // the first octave is black but draws
    expectLayer(0, grey(0));
    EXPECT_EQ(randomSeed, stateAfter(5, 12));
    perlinNoise(0, 4, 5, 1, 128, 6, false); // amplitude 1 * 128 / 256 is 0: no more octaves
    EXPECT_EQ(randomSeed, stateAfter(5, 4));
    ASSERT_TRUE(initLayers(16, 16).ok());
    perlinNoise(0, 4, 11, 512, 128, 3, true);
    // The same draws by hand: a black first octave, then steps 2 and 1 with
    // levels 512*128/256 = 256 and 128, added with saturation.
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

TEST(Generators, ParticleColourAndCheckerBoard) {
    Layers layers(8, 8);
    particle(0, 1.0f); // 255 - 180 * fastSqrt(distance^2); fastSqrt(2) = 1.5
    expectPixels(0, {{4, 4, 255, 255, 255},
                     {2, 4, 165, 165, 165},
                     {4, 2, 165, 165, 165},
                     {0, 4, 75, 75, 75},
                     {0, 0, 0, 0, 0}});
    particle(0, 0.5f);
    EXPECT_EQ(px(0, 0, 0), grey(120));
    particle(0, 0.0f);
    expectLayer(0, grey(255));
    colorLayer(0, 266, -1, 300);
    expectLayer(0, Px{10, 255, 44});
    // 8 / 3 = 2 whole cells and a partial one: rows must keep their phase.
    checkerBoardLayer(0, 3, 2, 1, 1, 1, 2, 2, 2);
    expectLayer(0, [](int32_t x, int32_t y) { return grey(1 + ((x / 3 + y / 2) % 2 == 0)); });
    ASSERT_TRUE(initLayers(256, 256).ok());
    checkerBoardLayer(0, 32, 32, 10, 20, 30, 200, 210, 220); // colour two first
    expectPixels(0, {{0, 0, 200, 210, 220},
                     {31, 31, 200, 210, 220},
                     {32, 0, 10, 20, 30},
                     {0, 32, 10, 20, 30},
                     {255, 255, 200, 210, 220}});
}

TEST(Generators, BlobsLayerFieldAndCountLimits) {
    Layers layers(8, 8);
    // Seed 1: position (2, 1) from draws 346 and 32552, strengths from the
    // low bytes 99, 92, 69: ((b / 255) + 0.1) * 150. The field falls to h =
    // 0.75 at (6, 1), rises again at h = 1.5 (6, 5) and is negative past 2.
    blobsLayer(0, 1, 1, true);
    expectPixels(0, {{2, 1, 73, 69, 55},
                     {3, 1, 65, 61, 49},
                     {6, 1, 3, 2, 2},
                     {6, 5, 6, 5, 4},
                     {7, 7, 0, 0, 0}});
    EXPECT_EQ(randomSeed, stateAfter(1, 5));
    blobsLayer(0, 1, 1, false);
    expectPixels(0, {{2, 1, 73, 73, 73}, {0, 0, 38, 38, 38}});
    blobsLayer(0, 33, 0, true);
    expectLayer(0, grey(0));
    EXPECT_EQ(randomSeed, 33u); // seeded, nothing drawn
    blobsLayer(1, 9, 16, true);
    const uint32_t after16 = randomSeed;
    blobsLayer(2, 9, 1000, true); // counts above 16 are clamped
    EXPECT_EQ(bytesOf(1), bytesOf(2));
    EXPECT_EQ(randomSeed, after16);
}

TEST(Generators, MandelBrotAndCellMachine) {
    Layers layers(16, 16);
    // c = (-2, -1.5) escapes at count 1; (-0.5, 0) is inside; -2 stays on the
    // boundary; the second window is outside before the first step.
    mandelBrot(0, -2.0f, 3.0f, -1.5f, 3.0f, 16.0f);
    expectPixels(0, {{0, 0, 1, 254, 254}, {8, 8, 255, 0, 0}, {0, 8, 255, 0, 0}});
    mandelBrot(0, -8.0f, 3.0f, -8.0f, 3.0f, 16.0f);
    expectPixels(0, {{0, 0, 0, 255, 255}});

    ASSERT_TRUE(initLayers(8, 8).ok());
    // Seed 1: only the first of the eight row-0 draws (346) is below 1024.
    cellMachine(0, 1, 0);
    expectLayer(0, [](int32_t x, int32_t y) { return grey(x == 0 && y == 0 ? 255 : 0); });
    EXPECT_EQ(randomSeed, stateAfter(1, 8));
    cellMachine(0, 1, 255);
    expectLayer(0, [](int32_t x, int32_t y) { return grey(y > 0 || x == 0 ? 255 : 0); });
    // Bit 1 (only the left neighbour alive) moves the cell right; bit 4 left.
    cellMachine(0, 1, 1 << 1);
    expectLayer(0, [](int32_t x, int32_t y) { return grey(x == y ? 255 : 0); });
    cellMachine(1, 1, 1 << 4);
    expectLayer(1, [](int32_t x, int32_t y) { return grey(x == ((8 - y) & 7) ? 255 : 0); });
}

} // namespace
} // namespace texgen
