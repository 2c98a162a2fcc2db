// The operators on small layers, with expected pixels worked out by hand
// from their arithmetic, and in-place use (dst equal to a source).
#include <algorithm>
#include <cmath>
#include <numbers>

#include "texgen/layer_fixture.h"

namespace texgen {
namespace {

// Generators: random state 1 draws 346, 32552, 10851, 22876, 43333, 60996, ...
TEST(Generators, SubPlasmaBlendsTheSeededGrid) {
    Layers layers(8, 8);
    // Grid draws in row order: (0,0), (4,0), (0,4), (4,4); half-way points
    // weigh both ends 0.5 and truncate (94.5); the last cell wraps.
    subPlasma(0, 4, 1, 256, false);
    expectPixels(0, {0, 0, 90, 90, 90, 4, 0, 40, 40, 40, 0, 4, 99, 99, 99, 4, 4, 92, 92, 92,
                     2, 0, 65, 65, 65, 6, 0, 65, 65, 65, 0, 2, 94, 94, 94, 2, 2, 80, 80, 80});
    EXPECT_EQ(randomSeed, stateAfter(1, 4));
    subPlasma(0, 4, 1, 256, true); // red, green, blue per grid point
    expectPixels(0, {0, 0, 90, 40, 99, 4, 0, 92, 69, 68});
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
    expectPixels(
        0, {0, 0, 127, 127, 127, 1, 0, 190, 190, 190, 1, 1, 253, 253, 253, 2, 0, 126, 126, 126});
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
    expectPixels(0, {4,   4,   255, 255, 255, 2,  4,  165, 165, 165, 4, 2, 165,
                     165, 165, 0,   4,   75,  75, 75, 0,   0,   0,   0, 0});
    particle(0, 0.5f);
    EXPECT_EQ(px(0, 0, 0), grey(120));
    particle(0, 0.0f);
    expectLayer(0, grey(255));
    colorLayer(0, 266, -1, 300);
    expectLayer(0, Px{10, 255, 44});
    // 8 / 3 = 2 whole cells and a partial one: rows keep their phase; colour
    // two comes first.
    checkerBoardLayer(0, 3, 2, 1, 1, 1, 2, 2, 2);
    expectLayer(0, [](int32_t x, int32_t y) { return grey(1 + ((x / 3 + y / 2) % 2 == 0)); });
}

TEST(Generators, BlobsLayerFieldAndCountLimits) {
    Layers layers(8, 8);
    // Seed 1: position (2, 1) from draws 346 and 32552, strengths from the
    // low bytes 99, 92, 69: ((b / 255) + 0.1) * 150. The field falls to h =
    // 0.75 at (6, 1), rises again at h = 1.5 (6, 5) and is negative past 2.
    blobsLayer(0, 1, 1, true);
    expectPixels(0,
                 {2, 1, 73, 69, 55, 3, 1, 65, 61, 49, 6, 1, 3, 2, 2, 6, 5, 6, 5, 4, 7, 7, 0, 0, 0});
    EXPECT_EQ(randomSeed, stateAfter(1, 5));
    blobsLayer(0, 1, 1, false);
    expectPixels(0, {2, 1, 73, 73, 73, 0, 0, 38, 38, 38});
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
    expectPixels(0, {0, 0, 1, 254, 254, 8, 8, 255, 0, 0, 0, 8, 255, 0, 0});
    mandelBrot(0, -8.0f, 3.0f, -8.0f, 3.0f, 16.0f);
    expectPixels(0, {0, 0, 0, 255, 255});
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

constexpr uint32_t kScatterSeed = 45390954;

TEST(Combiners, ChannelValuesWeightsAndRounding) {
    Layers layers(16, 16);
    // 200 + 55 * 0.99999988 = 254.9999934 rounds to 255 in single. Min and
    // max compare weighted values, give unweighted ones, and B on a tie.
    // 150 * 2 = 300 (1 0010 1100) wraps; weighted values truncate.
    const std::tuple<void (*)(int, int, int, float, float), Px, Px, float, float, Px> cases[] = {
        {addLayers, {100, 255, 0}, {30, 255, 10}, 0.5f, 2.0f, {110, 255, 20}},
        {addLayers, {100, 255, 0}, {30, 255, 10}, -1.0f, 0.5f, {0, 0, 5}},
        {addLayers, grey(200), grey(55), 1.0f, 0.99999988f, grey(255)},
        {mulLayers, {100, 200, 255}, {200, 200, 255}, 1.0f, 2.0f, {156, 255, 255}},
        {minCombineLayers, {10, 200, 50}, {100, 100, 50}, 3.0f, 1.0f, {10, 100, 50}},
        {maxCombineLayers, {10, 200, 50}, {100, 100, 50}, 3.0f, 1.0f, {100, 200, 50}},
        {minCombineLayers, grey(10), grey(20), 2.0f, 1.0f, grey(20)},
        {maxCombineLayers, grey(10), grey(20), 2.0f, 1.0f, grey(20)},
        {xorLayers, grey(150), {0, 255, 3}, 2.0f, 1.0f, {44, 211, 47}},
        {orLayers, grey(150), {0, 255, 3}, 2.0f, 1.0f, {44, 255, 47}},
        {andLayers, grey(150), {0, 255, 3}, 2.0f, 1.9f, {0, 36, 4}}};
    for (const auto& [op, a, b, weightA, weightB, expected] : cases) {
        setPx(0, 0, 0, a);
        setPx(1, 0, 0, b);
        op(0, 1, 2, weightA, weightB);
        EXPECT_EQ(px(2, 0, 0), expected) << weightA << ", " << weightB;
    }
    fillRamp(0, 3);
    const std::vector<uint8_t> ramp = bytesOf(0);
    addLayers(0, 0, 0, 0.5f, 0.5f); // a layer with itself, in place
    EXPECT_EQ(bytesOf(0), ramp);
    fillLayer(1, grey(255));
    mulLayers(1, 0, 0, 1.0f, 1.0f);
    EXPECT_EQ(bytesOf(0), ramp);
    xorLayers(0, 0, 0, 1.0f, 1.0f);
    expectLayer(0, grey(0));
}

TEST(Combiners, RandCombineScattersFromAFixedSeed) {
    Layers layers(16, 16);
    fillRamp(0, 1);
    fillRamp(1, 2);
    randCombineLayers(0, 1, 2, 0.0f, 0.0f);
    expectLayer(2, grey(127));
    EXPECT_EQ(randomSeed, kScatterSeed);
    randCombineLayers(0, 1, 2, 0.3f, 0.2f);
    randCombineLayers(0, 1, 0, 0.3f, 0.2f); // in place
    EXPECT_EQ(bytesOf(0), bytesOf(2));
    ASSERT_TRUE(initLayers(8, 8).ok());
    fillLayer(0, Px{1, 2, 3});
    fillLayer(1, Px{4, 5, 6});
    // W*H * weight * 1.5 = 1 round each. From the fixed seed the draws are
    // 65104, 21703, 45752, 21131 (A) and 56457, 20955, 43175, 33066 (B).
    randCombineLayers(0, 1, 2, 1.0f / 96.0f, 1.0f / 96.0f);
    expectLayer(2, [](int32_t x, int32_t y) {
        if (x == 0 && (y == 7 || y == 2)) return Px{1, 2, 3};
        return (x == 3 && y == 4) || (x == 2 && y == 7) ? Px{4, 5, 6} : grey(127);
    });
    randCombineLayers(0, 1, 2, 2.5f / 96.0f,
                      0.0f); // 2.5 rounds to 2 rounds of 4 draws
    EXPECT_EQ(randomSeed, stateAfter(kScatterSeed, 8));
}

TEST(ColourOps, InvertRgbAndSine) {
    Layers layers(16, 16);
    fillRamp(0, 9);
    const std::vector<uint8_t> ramp = bytesOf(0);
    invertLayer(0, 0);
    for (size_t n = 0; n < ramp.size(); ++n) ASSERT_EQ(layerData[0][n], 255 - ramp[n]) << n;
    setPx(0, 0, 0, {0, 1, 255});
    invertLayer(0, 2);
    expectPixels(2, {0, 0, 255, 254, 0});
    setPx(0, 0, 0, {201, 100, 50});
    setPx(0, 1, 0, {10, 200, 50});
    scaleLayerRGB(0, 1, 0.5f, 2.0f, -1.0f);
    expectPixels(1, {0, 0, 100, 200, 0, 1, 0, 5, 255, 0});
    adjustLayerRGB(0, 0, 50, -150, 2147483647); // clamped, without overflow
    expectPixels(0, {0, 0, 251, 0, 255, 1, 0, 60, 50, 255});
    // (sin(s * f) + 1) * 127.5, truncated: sin 0 gives 127, sin just below 1
    // gives 254, sin -1 gives 0, sin(pi) a hair below 0 gives 127.
    setPx(0, 0, 0, {0, 1, 1});
    setPx(0, 1, 0, {1, 2, 255});
    sineLayerRGB(0, 1, 0.0f, 0.5f, 1.5f);
    expectPixels(1, {0, 0, 127, 254, 0});
    EXPECT_EQ(px(1, 1, 0)[1], 127);
}

TEST(ColourOps, EqualizeStretchAndHsv) {
    Layers layers(16, 16);
    fillLayer(0, Px{100, 0, 255});
    stretchRGB(0, 0);
    expectLayer(0, Px{100, 0, 255});
    equalizeRGB(0, 0);
    expectLayer(0, grey(255));
    // Red: a quarter 10, the rest 50; green: half 0, half 200: 63.75 and
    // 127.5 rounded. Stretching half 10 and half 15: 12.5 rounds to even.
    fillLayer(1, [](int32_t, int32_t y) { return Px{y < 4 ? 10 : 50, y < 8 ? 0 : 200, 7}; });
    equalizeRGB(1, 2);
    expectPixels(2, {0, 0, 64, 128, 255, 0, 15, 255, 255, 255});
    fillLayer(1, [](int32_t, int32_t y) { return Px{y < 8 ? 10 : 15, 3, 3}; });
    stretchRGB(1, 1);
    expectPixels(1, {0, 0, 12, 3, 3, 0, 15, 15, 3, 3});
    fillRamp(0, 11);
    scaleLayerHSV(0, 1, 1.0f, 1.0f, 1.0f); // loses at most one
    for (int64_t n = 0; n < layerByteCount(); ++n)
        ASSERT_NEAR(layerData[1][n] + 0.5, layerData[0][n], 0.5) << n;
    fillLayer(0, grey(100));
    setPx(0, 0, 0, {255, 0, 0});
    setPx(0, 2, 0, {200, 100, 50});
    adjustLayerHSV(0, 1, 120.0f, 0.0f, 0.0f); // grey stays grey at saturation 0
    expectPixels(1, {0, 0, 0, 255, 0, 1, 0, 100, 100, 100});
    adjustLayerHSV(0, 1, 0.0f, 1.0f,
                   0.0f); // grey's hue -1 becomes 359; saturation clamps
    expectPixels(1, {1, 0, 100, 0, 1, 0, 0, 255, 0, 0});
    scaleLayerHSV(0, 1, 1.0f, 1.0f, 2.0f); // value clamps, hue kept
    expectPixels(1, {2, 0, 255, 127, 63});
    scaleLayerHSV(0, 1, 1.0f, 0.0f, 1.0f);
    expectPixels(1, {2, 0, 200, 200, 200});
}

// Layer 0 `rest` but for pixel (cx, cy).
void onePixel(int32_t cx, int32_t cy, Px colour, Px rest = {}) {
    fillLayer(0, [&](int32_t x, int32_t y) { return x == cx && y == cy ? colour : rest; });
}

TEST(Filters, BlurWrapsAroundBothBordersOfANonSquareLayer) {
    Layers layers(8, 4);
    // The lit pixel on the last row is the row above row 0: its wrap must use
    // the height, not the width.
    onePixel(0, 3, {255, 16, 0});
    blurLayer(0, 1); // weights 4 (centre), 2 (orthogonal), 1 (diagonal), then >> 4
    expectLayer(1, [](int32_t x, int32_t y) {
        if ((x > 1 && x < 7) || y == 1) return Px{};
        const int weight = (x == 0 ? 2 : 1) * (y == 3 ? 2 : 1);
        return Px{255 * weight >> 4, 16 * weight >> 4, 0};
    });
}

TEST(Filters, SharpenEdgesAndEmbossWeighTheirNeighbours) {
    Layers layers(8, 8);
    onePixel(3, 3, {200, 0, 100}, {100, 0, 100});
    sharpenLayer(0, 1); // 500 - 50 - 100 = 350 clamped; 250 - (400 >> 3) - (500 >> 2); ...
    expectPixels(1, {3, 3, 255, 0, 100, 4, 3, 75, 0, 100, 4, 4, 88, 0, 100, 6, 6, 100, 0, 100});
    // Remainders of the two sums must not add up: 7 >> 3 and 3 >> 2 are both 0.
    onePixel(3, 3, grey(100));
    setPx(0, 2, 2, {7, 0, 0});
    setPx(0, 3, 2, {3, 0, 0});
    sharpenLayer(0, 1);
    EXPECT_EQ(px(1, 3, 3), grey(250));
    // A line seen by edgeH from above and below (2 * 40; 2 * 400 clamped),
    // not at all by edgeV; then upright at the left border, wrapping to x = 7.
    const Px line{10, 100, 0}, edge{80, 255, 0};
    fillLayer(0, [&](int32_t, int32_t y) { return y == 3 ? line : Px{}; });
    edgeHLayer(0, 1);
    expectLayer(1, [&](int32_t, int32_t y) { return y == 2 || y == 4 ? edge : Px{}; });
    edgeVLayer(0, 1);
    expectLayer(1, Px{});
    fillLayer(0, [&](int32_t x, int32_t) { return x == 0 ? line : Px{}; });
    edgeVLayer(0, 1);
    expectLayer(1, [&](int32_t x, int32_t) { return x == 7 || x == 1 ? edge : Px{}; });
    // At (2, 3) gx = 138, gy = 128: floor(sqrt(138^2 + 128^2)) = 188; at
    // (4, 4) gx = gy = 118: 166; flat: 181.
    onePixel(3, 3, {10, 0, 0});
    embossLayer(0, 1);
    expectPixels(1, {2, 3, 188, 181, 181, 4, 4, 166, 181, 181, 6, 6, 181, 181, 181});
}

TEST(Filters, MedianErodeAndDilate) {
    Layers layers(8, 8);
    onePixel(3, 3, grey(255));
    dilateLayer(0, 1);
    expectLayer(
        1, [](int32_t x, int32_t y) { return grey(x > 1 && x < 5 && y > 1 && y < 5 ? 255 : 0); });
    erodeLayer(0, 1);
    expectLayer(1, Px{});
    medianLayer(0, 1);
    expectLayer(1, Px{});
    // A 3x3 block holding 9..1 in scrambled order, per channel differently:
    // the fifth value; around (2, 2) only four values are non-zero.
    const int red[3][3] = {{9, 2, 7}, {4, 6, 1}, {3, 8, 5}};
    fillLayer(0, Px{});
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            setPx(0, 2 + i, 2 + j, {red[j][i] * 10, red[2 - j][i] * 20, 250 - red[j][2 - i]});
    medianLayer(0, 1);
    expectPixels(1, {3, 3, 50, 100, 245, 2, 2, 0, 0, 0});
}

TEST(Filters, WoodRotatesBytesAndMotionBlurWeighsTheRowTriangularly) {
    Layers layers(8, 4);
    setPx(0, 0, 0, {0x81, 0x40, 0x12});
    setPx(0, 1, 0, {0xFF, 0x00, 0x01});
    woodLayer(0, 1, 1);
    expectPixels(1, {0, 0, 0x03, 0x80, 0x24, 1, 0, 0xFF, 0x00, 0x02});
    woodLayer(0, 1, 7);
    expectPixels(1, {0, 0, 0xC0, 0x20, 0x09});
    for (int32_t identity : {0, 8}) {
        woodLayer(0, 1, identity);
        EXPECT_EQ(bytesOf(1), bytesOf(0)) << "rotation " << identity;
    }
    onePixel(0, 1, {255, 90, 9});
    motionBlur(0, 1, 0);
    EXPECT_EQ(bytesOf(1), bytesOf(0));
    // Reach 1: weights 1 2 1 over 4; reach 2: 1 2 3 2 1 over 9.
    const Px one[3] = {{127, 45, 4}, {63, 22, 2}, {}},
             two[3] = {{85, 30, 3}, {56, 20, 2}, {28, 10, 1}};
    for (const Px* expected : {one, two}) {
        motionBlur(0, 1, expected == one ? 1 : 2);
        expectLayer(1, [&](int32_t x, int32_t y) {
            const int distance = std::min(x, 8 - x);
            return y == 1 && distance < 3 ? expected[distance] : Px{};
        });
    }
}

TEST(Filters, MakeTilableBlendsTowardsTheMirrorAverage) {
    Layers layers(8, 8);
    fillLayer(0, [](int32_t x, int32_t y) {
        return Px{4 * x * x, 3 * y * y + 5, (x * 37 + y * 11) & 255};
    });
    fillLayer(1, grey(7));
    // r0 = 0: all but the centre written. Borders are the plain average of
    // the four mirror images; inside the pixel keeps 1 - m and its mirrors
    // share m = d^2 * 0.75 / 16 (d^2 = 1, 4, 8, 9, 13, 18 below).
    makeTilable(0, 1, 4);
    expectPixels(1, {4, 4, 7,   7,  7,   0, 4, 98, 42, 40,  3, 0, 50,  78, 168,
                     5, 4, 97,  52, 225, 4, 6, 60, 99, 202, 6, 6, 109, 86, 68,
                     7, 4, 140, 47, 43,  6, 7, 87, 92, 92,  7, 7, 98,  78, 40});
    makeTilable(0, 0, 0); // r0 = hx: no ring, full average outside the circle
    expectPixels(0, {0, 0, 98, 78, 40,  1, 1, 74, 60, 104, 4, 0, 64, 5,  148,
                     3, 3, 36, 32, 144, 0, 4, 0,  53, 44,  4, 4, 64, 53, 192});
}

// Where a distortion samples between pixels, the cases put the source on a
// whole pixel (to within rounding the cosine weights absorb): exact values.
// Every pixel different, and its position readable from it; wrapped.
Px where(int32_t x, int32_t y) {
    x &= wrapMaskX;
    y &= wrapMaskY;
    return {x * 16 + 1, y * 16 + 2, (x * 7 + y * 3) & 255};
}

// Pixels of layer 1 against pixels of `where`, four numbers each: x, y, sx, sy.
void expectFrom(std::initializer_list<int32_t> xy) {
    for (auto p = xy.begin(); p + 4 <= xy.end(); p += 4)
        EXPECT_EQ(px(1, p[0], p[1]), where(p[2], p[3])) << p[0] << "," << p[1];
}

// Layer 1 must read `where` shifted by (dx, dy).
void expectShifted(int32_t dx, int32_t dy) {
    expectLayer(1, [&](int32_t x, int32_t y) { return where(x + dx, y + dy); });
}

TEST(Distortions, MoveNoiseAndMapShiftWholePixelsWithWrapAround) {
    Layers layers(8, 4);
    fillLayer(0, where);
    moveDistort(0, 1, -16, 12);
    EXPECT_EQ(bytesOf(1), bytesOf(0));
    moveDistort(0, 1, -1, 2);
    expectShifted(-1, 2);
    moveDistort(0, 1, -2147483647, -2147483647); // 1 modulo 8 and 4
    expectShifted(1, 1);
    // State 1 draws 346, 32552, 10851, 22876: offsets -32421, -215, -21916,
    // -9891 before the shift; one bit less floors -32421 / 2 to -16211.
    noiseDistort(0, 1, 1, 16);
    expectFrom({0, 0, -32421, -215, 1, 0, 1 - 21916, -9891});
    noiseDistort(0, 1, 1, 15);
    expectFrom({0, 0, -16211, -108, 1, 0, 1 - 10958, -4946});
    noiseDistort(0, 1, 0, 0); // only zeros: (0 - 32767) >> 16 = -1
    expectShifted(-1, -1);
    noiseDistort(0, 1, 5, 3);
    randomSeed = 0xDEADBEEF; // the noise depends on its seed alone, two draws a pixel
    noiseDistort(0, 2, 5, 3);
    EXPECT_EQ(bytesOf(2), bytesOf(1));
    EXPECT_EQ(randomSeed, stateAfter(5, 64));
    fillLayer(1, Px{});
    mapDistort(0, 1, 2, 3.5f, -7.25f); // a black map moves nothing
    EXPECT_EQ(bytesOf(2), bytesOf(0));
    fillLayer(1, Px{0, 2, 1});        // the largest channel, 2, scaled by 0.5 and -1
    mapDistort(0, 1, 1, 0.5f, -1.0f); // the map may be dst: read before dst changes
    expectShifted(1, -2);
    fillLayer(1, [](int32_t x, int32_t y) { return Px{x % 3, 0, y}; });
    mapDistort(0, 1, 2, 1.0f, 1.0f);
    mapDistort(0, 1, 1, 1.0f, 1.0f);
    EXPECT_EQ(bytesOf(1), bytesOf(2));
    expectFrom({2, 3, 5, 6}); // max(2, 0, 3) = 3
}

TEST(Distortions, TileHalvesThePictureAndSineMovesRowsOrColumns) {
    Layers layers(8, 4);
    fillLayer(0, [](int32_t x, int32_t y) {
        return Px{10 * x + 1, 20 * y + 3, (x + y) % 2 * 255};
    });
    tileLayer(0, 1); // 2x2 blocks summed and shifted: (80x + 24) >> 2, (160y + 52) >> 2
    expectLayer(1, [](int32_t x, int32_t y) {
        return Px{20 * (x % 4) + 6, 40 * (y % 2) + 13, 127};
    });
    tileLayer(0, 0); // in place: the same
    EXPECT_EQ(bytesOf(0), bytesOf(1));
    fillLayer(0, busy);
    sineDistort(0, 1, 0.37f, 0.0f, 1.9f, 0.0f);
    EXPECT_EQ(bytesOf(1), bytesOf(0));
    const float quarterTurn = std::numbers::pi_v<float> / 2;
    fillLayer(0, where);
    // Row y moves by 2 sin(y pi / 2): 0, 2, (almost) 0, -2.
    sineDistort(0, 1, quarterTurn, 2.0f, 0.0f, 0.0f);
    expectLayer(1, [](int32_t x, int32_t y) {
        return where(x + (y == 1 ? 2 : y == 3 ? -2 : 0), y);
    });
    // Column x moves by sin(x pi / 2): 0, 1, (almost) 0, -1, ...
    sineDistort(0, 1, 0.0f, 0.0f, quarterTurn, 1.0f);
    expectLayer(1, [](int32_t x, int32_t y) { return where(x, y + (x % 2 ? 2 - x % 4 : 0)); });
}

TEST(Distortions, TwirlTunnelAndLogPolarFollowTheirGeometry) {
    Layers layers(16, 16);
    fillLayer(0, where);
    twirlLayer(0, 1, 0.0f, 1.0f);
    EXPECT_EQ(bytesOf(1), bytesOf(0));
    // Two pixels from the centre d = 8 - 2 = 6, and this strength makes the
    // angle a quarter turn: strength * 36 / sqrt(2 * 16 * 16) = pi / 2. The
    // centre and the corners stay.
    twirlLayer(0, 1, float(std::numbers::pi / 2 * std::sqrt(512.0) / 36), 1.0f);
    expectFrom({10, 8, 8, 10, 8, 6,  10, 8,  8,  8,  8, 8, 0, 0, 0, 0, 15, 0,
                15, 0, 0, 15, 0, 15, 15, 15, 15, 15, 0, 8, 0, 8, 8, 0, 8,  0});
    // On the centre row the angle is 0: the right half reads column 8, the
    // left half column 0, at row depth / distance; the centre column repeats
    // its left neighbour.
    tunnelDistort(0, 1, 8.0f);
    expectFrom({9, 8, 8, 8, 10, 8, 8, 4, 12, 8, 8, 2, 7, 8, 0, 8, 4, 8, 0, 2, 0, 8, 0, 1});
    for (int32_t y = 0; y < 16; ++y) EXPECT_EQ(px(1, 8, y), px(1, 7, y)) << y;
    // On the diagonals the angle is +-pi/4, an eighth of the width (2
    // columns); depth 8 sqrt(2) makes the row 2 at distance 4 along each axis.
    tunnelDistort(0, 1, float(8 * std::numbers::sqrt2));
    expectFrom({12, 12, 10, 2, 12, 4, 6, 2, 4, 4, 2, 2, 4, 12, 14, 2});
    ASSERT_TRUE(initLayers(16, 8).ok()); // one turn spans the height: here 8 columns
    fillLayer(0, where);
    logPolLayer(0, 1);
    expectFrom({0, 0, 9, 4, 2, 0, 8, 5, 4, 0, 7, 4, 6, 0, 8, 3, 8, 0, 9, 4});
}

TEST(Distortions, KaleidMirrorsOneQuadrantIntoAllFour) {
    Layers layers(8, 8);
    fillLayer(0, where);
    // Quadrants 3 and 4 (bottom) build on what dst held beside the copied
    // quadrant; in place that is src's own. Pixel (x0, y0) reads (x1, y1).
    const struct {
        int dst, quadrant, x0, y0, x1, y1;
        bool fromBusy;
    } cases[] = {{1, 1, 6, 5, 1, 2, false}, {1, 1, 3, 3, 3, 3, false}, {1, 2, 1, 2, 6, 2, false},
                 {1, 2, 5, 6, 5, 1, false}, {1, 3, 5, 6, 5, 6, true},  {1, 3, 1, 1, 6, 6, true},
                 {1, 4, 2, 5, 2, 5, true},  {1, 4, 6, 1, 1, 6, true},  {0, 4, 2, 5, 2, 5, false},
                 {0, 4, 6, 1, 1, 6, false}};
    for (const auto& c : cases) {
        fillLayer(1, busy);
        kaleidLayer(0, c.dst, c.quadrant);
        const int d = c.dst; // symmetric about both centre lines
        expectLayer(d, [d](int32_t x, int32_t y) { return px(d, 7 - x, y); });
        expectLayer(d, [d](int32_t x, int32_t y) { return px(d, x, 7 - y); });
        EXPECT_EQ(px(c.dst, c.x0, c.y0), c.fromBusy ? busy(c.x1, c.y1) : where(c.x1, c.y1))
            << c.quadrant << ": " << c.x0 << "," << c.y0;
    }
}

TEST(Distortions, SculptureCodesTheGradientDirectionAsAByte) {
    Layers layers(8, 8);
    fillLayer(0, grey(90));
    sculptureLayer(0, 1);
    expectLayer(1, grey(128));
    fillLayer(0, [](int32_t x, int32_t y) { return x == 3 && y == 3 ? Px{10, 0, 0} : Px{}; });
    sculptureLayer(0, 1);
    // All eight directions around the bright pixel: atan(+-1) * 127.5 / pi
    // is +-31.875, plus 127.5 where the horizontal gradient is positive; -31
    // wraps to 225.
    const int cases[][3] = {{4, 4, 159}, {2, 2, 31},  {4, 2, 95}, {2, 4, 225}, {4, 3, 127},
                            {2, 3, 0},   {3, 4, 196}, {3, 2, 64}, {3, 3, 128}, {6, 6, 128}};
    for (const auto& [x, y, v] : cases) EXPECT_EQ(px(1, x, y)[0], v) << x << "," << y;
}

// Running in place (dst = src) gives what running into another layer gives,
// and the source stays intact. Layer 4 is the map.
TEST(Operators, InPlaceGivesTheSameAsBetweenTwoLayersAndSourceStaysIntact) {
    Layers layers(16, 8);
    fillLayer(4, [](int32_t x, int32_t y) { return Px{x * 15, y * 30, 7}; });
    const std::pair<const char*, std::function<void(int, int)>> operators[] = {
        {"emboss", embossLayer},
        {"wood3", [](int s, int d) { woodLayer(s, d, 3); }},
        {"blur", blurLayer},
        {"sharpen", sharpenLayer},
        {"edgeH", edgeHLayer},
        {"edgeV", edgeVLayer},
        {"motionBlur2", [](int s, int d) { motionBlur(s, d, 2); }},
        {"makeTilable3", [](int s, int d) { makeTilable(s, d, 3); }},
        {"median", medianLayer},
        {"erode", erodeLayer},
        {"dilate", dilateLayer},
        {"sine", [](int s, int d) { sineDistort(s, d, 0.3f, 2.5f, 0.7f, -1.5f); }},
        {"twirl", [](int s, int d) { twirlLayer(s, d, 3.0f, 0.8f); }},
        {"map", [](int s, int d) { mapDistort(s, 4, d, 0.05f, -0.02f); }},
        {"noise", [](int s, int d) { noiseDistort(s, d, 5, 4); }},
        {"move", [](int s, int d) { moveDistort(s, d, 3, -5); }},
        {"kaleid1", [](int s, int d) { kaleidLayer(s, d, 1); }},
        {"kaleid2", [](int s, int d) { kaleidLayer(s, d, 2); }},
        {"tunnel", [](int s, int d) { tunnelDistort(s, d, 20.0f); }},
        {"sculpture", sculptureLayer},
        {"logPol", logPolLayer}};
    for (const auto& [name, run] : operators) {
        fillLayer(0, busy);
        fillLayer(1, busy); // some operators keep part of what dst held
        run(0, 1);
        fillLayer(2, busy);
        EXPECT_EQ(bytesOf(0), bytesOf(2)) << name << " changed its source";
        run(2, 2);
        EXPECT_EQ(bytesOf(2), bytesOf(1)) << name;
    }
}

} // namespace
} // namespace texgen
