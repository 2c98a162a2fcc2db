// Combiners and colour operators on small layers: hand-worked channel values,
// rounding edges, and in-place use (dst equal to a source).
#include "texgen/layer_fixture.h"

namespace texgen {
namespace {

constexpr uint32_t kScatterSeed = 45390954;

using Combiner = void (*)(int, int, int, float, float);

// Pixel (0, 0) of layers 0 and 1 combined into layer 2.
Px combine(Combiner op, Px a, Px b, float weightA, float weightB) {
    setPx(0, 0, 0, a);
    setPx(1, 0, 0, b);
    op(0, 1, 2, weightA, weightB);
    return px(2, 0, 0);
}

TEST(Combiners, ChannelValuesWeightsAndRounding) {
    Layers layers(16, 16);
    const struct {
        Combiner op;
        Px a, b;
        float weightA, weightB;
        Px expected;
    } cases[] = {
        {addLayers, {100, 255, 0}, {30, 255, 10}, 0.5f, 2.0f, {110, 255, 20}},
        {addLayers, {100, 255, 0}, {30, 255, 10}, -1.0f, 0.5f, {0, 0, 5}},
        // 200 + 55 * 0.99999988 = 254.9999934, which rounds to 255 in single.
        {addLayers, grey(200), grey(55), 1.0f, 0.99999988f, grey(255)},
        {mulLayers, {100, 200, 255}, {200, 200, 255}, 1.0f, 2.0f, {156, 255, 255}},
        // Weighted comparison, unweighted result; ties give B.
        {minCombineLayers, {10, 200, 50}, {100, 100, 50}, 1.0f, 1.0f, {10, 100, 50}},
        {maxCombineLayers, {10, 200, 50}, {100, 100, 50}, 1.0f, 1.0f, {100, 200, 50}},
        {minCombineLayers, {10, 200, 50}, {100, 100, 50}, 3.0f, 1.0f, {10, 100, 50}},
        {maxCombineLayers, {10, 200, 50}, {100, 100, 50}, 3.0f, 1.0f, {100, 200, 50}},
        {minCombineLayers, grey(10), grey(20), 2.0f, 1.0f, grey(20)},
        {maxCombineLayers, grey(10), grey(20), 2.0f, 1.0f, grey(20)},
        // 150 * 2 = 300 (1 0010 1100) wraps; weighted values truncate.
        {xorLayers, grey(150), {0, 255, 3}, 2.0f, 1.0f, {44, 211, 47}},
        {orLayers, grey(150), {0, 255, 3}, 2.0f, 1.0f, {44, 255, 47}},
        {andLayers, grey(150), {0, 255, 3}, 2.0f, 1.0f, {0, 44, 0}},
        {andLayers, grey(150), {0, 255, 3}, 2.0f, 1.9f, {0, 36, 4}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(combine(c.op, c.a, c.b, c.weightA, c.weightB), c.expected)
            << &c - cases << ": " << c.weightA << ", " << c.weightB;

    fillRamp(0, 3);
    const std::vector<uint8_t> ramp = bytesOf(0);
    addLayers(0, 0, 0, 0.5f, 0.5f); // a layer with itself, in place
    EXPECT_EQ(bytesOf(0), ramp);
    fillLayer(1, grey(255));
    mulLayers(1, 0, 2, 1.0f, 1.0f);
    EXPECT_EQ(bytesOf(2), ramp);
    fillLayer(1, grey(0));
    mulLayers(0, 1, 0, 1.0f, 1.0f);
    expectLayer(0, grey(0));
    fillRamp(0, 5);
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
    randCombineLayers(0, 1, 3, 0.3f, 0.2f);
    EXPECT_EQ(bytesOf(2), bytesOf(3));
    randCombineLayers(0, 1, 0, 0.3f, 0.2f);
    EXPECT_EQ(bytesOf(0), bytesOf(2));

    ASSERT_TRUE(initLayers(8, 8).ok());
    fillLayer(0, Px{1, 2, 3});
    fillLayer(1, Px{4, 5, 6});
    // W*H * weight * 1.5 = 1 round each. From the fixed seed the draws are
    // 65104, 21703, 45752, 21131 (A) and 56457, 20955, 43175, 33066 (B).
    randCombineLayers(0, 1, 2, 1.0f / 96.0f, 1.0f / 96.0f);
    expectLayer(2, [](int32_t x, int32_t y) {
        if (x == 0 && (y == 7 || y == 2)) return Px{1, 2, 3};
        if ((x == 3 && y == 4) || (x == 2 && y == 7)) return Px{4, 5, 6};
        return grey(127);
    });
    // 64 * (w * 1.5) = 2.5 rounds to 2 rounds of 4 draws, not 3.
    randCombineLayers(0, 1, 2, 2.5f / 96.0f, 0.0f);
    EXPECT_EQ(randomSeed, stateAfter(kScatterSeed, 8));
}

TEST(ColourOps, InvertScaleAdjustAndSine) {
    Layers layers(16, 16);
    fillRamp(0, 9);
    const std::vector<uint8_t> ramp = bytesOf(0);
    invertLayer(0, 0);
    invertLayer(0, 0);
    EXPECT_EQ(bytesOf(0), ramp);
    setPx(0, 0, 0, {0, 1, 255});
    invertLayer(0, 2);
    EXPECT_EQ(px(2, 0, 0), (Px{255, 254, 0}));

    setPx(0, 0, 0, {201, 100, 50});
    setPx(0, 1, 0, {10, 200, 50});
    scaleLayerRGB(0, 1, 0.5f, 2.0f, -1.0f);
    EXPECT_EQ(px(1, 0, 0), (Px{100, 200, 0}));
    EXPECT_EQ(px(1, 1, 0), (Px{5, 255, 0}));
    setPx(0, 0, 0, {250, 5, 77});
    adjustLayerRGB(0, 1, 3, -3, 2147483647);
    EXPECT_EQ(px(1, 0, 0), (Px{253, 2, 255}));
    adjustLayerRGB(0, 0, 300, -300, 0);
    for (int x = 0; x < 16; ++x) EXPECT_TRUE(px(0, x, 3)[0] == 255 && px(0, x, 3)[1] == 0) << x;

    setPx(0, 0, 0, {0, 1, 1});
    setPx(0, 1, 0, {1, 2, 255});
    sineLayerRGB(0, 1, 0.0f, 0.5f, 1.5f);
    // (sin(s * f) + 1) * 127.5, truncated: sin 0 gives 127, sin just below 1
    // gives 254, sin -1 gives 0, sin(pi) a hair below 0 gives 127.
    EXPECT_EQ(px(1, 0, 0), (Px{127, 254, 0}));
    EXPECT_EQ(px(1, 1, 0)[0], 127);
    EXPECT_EQ(px(1, 1, 0)[1], 127);
}

TEST(ColourOps, EqualizeAndStretchRound) {
    Layers layers(16, 16);
    fillLayer(0, Px{100, 0, 255});
    stretchRGB(0, 0);
    expectLayer(0, Px{100, 0, 255});
    equalizeRGB(0, 0);
    expectLayer(0, grey(255));

    // Red: a quarter 10, three quarters 50; green: half 0, half 200.
    fillLayer(1, [](int32_t, int32_t y) { return Px{y < 4 ? 10 : 50, y < 8 ? 0 : 200, 7}; });
    equalizeRGB(1, 2);
    EXPECT_EQ(px(2, 0, 0), (Px{64, 128, 255})); // 63.75 and 127.5 rounded
    EXPECT_EQ(px(2, 0, 15), grey(255));

    // Half 10 and half 15: 10 + 2.5 = 12.5 rounds half to even.
    fillLayer(1, [](int32_t, int32_t y) { return Px{y < 8 ? 10 : 15, 3, 3}; });
    stretchRGB(1, 1);
    EXPECT_EQ(px(1, 0, 0), (Px{12, 3, 3}));
    EXPECT_EQ(px(1, 0, 15), (Px{15, 3, 3}));
}

TEST(ColourOps, HsvChangesAndIdentity) {
    Layers layers(16, 16);
    fillRamp(0, 11);
    scaleLayerHSV(0, 1, 1.0f, 1.0f, 1.0f); // loses at most one
    for (int64_t n = 0; n < layerByteCount(); ++n) {
        const int s = layerData[0][n], out = layerData[1][n];
        ASSERT_TRUE(out == s || out == s - 1) << n << ": " << s << " -> " << out;
    }
    fillLayer(0, grey(100));
    adjustLayerHSV(0, 0, 0.0f, 0.0f, 0.0f);
    expectLayer(0, grey(100));

    setPx(0, 0, 0, {255, 0, 0});
    setPx(0, 2, 0, {200, 100, 50});
    adjustLayerHSV(0, 1, 120.0f, 0.0f, 0.0f);
    EXPECT_EQ(px(1, 0, 0), (Px{0, 255, 0}));
    EXPECT_EQ(px(1, 1, 0), grey(100)); // grey stays grey at saturation 0
    // Grey has hue -1; with saturation it becomes hue 359.
    adjustLayerHSV(0, 1, 0.0f, 1.0f, 0.0f);
    EXPECT_EQ(px(1, 1, 0), (Px{100, 0, 1}));
    EXPECT_EQ(px(1, 0, 0), (Px{255, 0, 0})); // saturation clamps at 1
    scaleLayerHSV(0, 1, 1.0f, 1.0f, 2.0f);   // value clamps, hue kept
    EXPECT_EQ(px(1, 2, 0), (Px{255, 127, 63}));
    scaleLayerHSV(0, 1, 1.0f, 0.0f, 1.0f);
    EXPECT_EQ(px(1, 2, 0), grey(200));
}

} // namespace
} // namespace texgen
