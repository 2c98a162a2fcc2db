// Filters on small layers, with expected values worked out by hand from each
// filter's weights, shifts and wrap-around.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "texgen/layer_fixture.h"
#include "texgen/layers.h"
#include "texgen/operators.h"

namespace texgen {
namespace {

// A busy picture with every channel value in play, so that no filter can pass
// by accident.
Px busy(int32_t x, int32_t y) {
    return {(x * 53 + y * 29) & 255, (x * x * 7 + y * 91) & 255, (x * y * 13 + 200) & 255};
}

TEST(Filters, UniformLayerKeepsOrLosesItsColourAsEachFilterDefines) {
    Layers layers(8, 8);
    const Px colour{37, 200, 91};
    struct Case {
        std::function<void(int, int)> run;
        Px expected;
    };
    const Case cases[] = {
        {blurLayer, colour},
        {sharpenLayer, colour},
        {medianLayer, colour},
        {erodeLayer, colour},
        {dilateLayer, colour},
        {[](int s, int d) { motionBlur(s, d, 3); }, colour},
        {edgeHLayer, {0, 0, 0}},
        {edgeVLayer, {0, 0, 0}},
        {embossLayer, {181, 181, 181}}, // floor(sqrt(128^2 + 128^2))
    };
    for (const Case& c : cases) {
        fillLayer(0, [&](int32_t, int32_t) { return colour; });
        fillLayer(1, [](int32_t, int32_t) { return Px{1, 2, 3}; });
        c.run(0, 1);
        expectLayer(1, [&](int32_t, int32_t) { return c.expected; });
    }
}

TEST(Filters, SingleWhitePixelGrowsUnderDilateAndVanishesUnderErodeAndMedian) {
    Layers layers(8, 8);
    const Px white{255, 255, 255}, black{0, 0, 0};
    fillLayer(0, [&](int32_t x, int32_t y) { return x == 3 && y == 3 ? white : black; });

    dilateLayer(0, 1);
    expectLayer(1, [&](int32_t x, int32_t y) {
        return x >= 2 && x <= 4 && y >= 2 && y <= 4 ? white : black;
    });
    erodeLayer(0, 1);
    expectLayer(1, [&](int32_t, int32_t) { return black; });
    medianLayer(0, 1);
    expectLayer(1, [&](int32_t, int32_t) { return black; });
}

TEST(Filters, MedianPicksTheFifthOfNineDistinctValues) {
    Layers layers(8, 8);
    // A 3x3 block holding 9..1 in scrambled order, per channel differently.
    const int red[3][3] = {{9, 2, 7}, {4, 6, 1}, {3, 8, 5}};
    fillLayer(0, [](int32_t, int32_t) { return Px{0, 0, 0}; });
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            setPx(0, 2 + i, 2 + j, {red[j][i] * 10, red[2 - j][i] * 20, 250 - red[j][2 - i]});
    medianLayer(0, 1);
    EXPECT_EQ(px(1, 3, 3), (Px{50, 100, 245}));
    // Around (2, 2) only four of the nine values are non-zero, so the fifth
    // largest is 0 in every channel.
    EXPECT_EQ(px(1, 2, 2), (Px{0, 0, 0}));
}

TEST(Filters, BlurWrapsAroundBothBordersOfANonSquareLayer) {
    Layers layers(8, 4);
    fillLayer(0, [](int32_t x, int32_t y) { return x == 0 && y == 0 ? Px{255, 16, 0} : Px{}; });
    blurLayer(0, 1);
    // Weights 4 (centre), 2 (orthogonal), 1 (diagonal), then >> 4.
    expectLayer(1, [](int32_t x, int32_t y) {
        const bool nearX = x == 0 || x == 1 || x == 7;
        const bool nearY = y == 0 || y == 1 || y == 3;
        if (!nearX || !nearY) return Px{};
        const int weight = (x == 0 ? 2 : 1) * (y == 0 ? 2 : 1);
        return Px{255 * weight >> 4, 16 * weight >> 4, 0};
    });
}

TEST(Filters, SharpenShiftsEachSumSeparatelyAndClamps) {
    Layers layers(8, 8);
    fillLayer(0, [](int32_t x, int32_t y) {
        return x == 3 && y == 3 ? Px{200, 0, 100} : Px{100, 0, 100};
    });
    sharpenLayer(0, 1);
    EXPECT_EQ(px(1, 3, 3), (Px{255, 0, 100})); // 500 - 50 - 100 = 350, clamped
    EXPECT_EQ(px(1, 4, 3), (Px{75, 0, 100}));  // 250 - (400 >> 3) - (500 >> 2)
    EXPECT_EQ(px(1, 4, 4), (Px{88, 0, 100}));  // 250 - (500 >> 3) - (400 >> 2)
    EXPECT_EQ(px(1, 6, 6), (Px{100, 0, 100}));

    // Remainders of the two sums must not add up: 7 >> 3 and 3 >> 2 are both 0.
    fillLayer(0, [](int32_t, int32_t) { return Px{}; });
    setPx(0, 3, 3, {100, 100, 100});
    setPx(0, 2, 2, {7, 0, 0});
    setPx(0, 3, 2, {3, 0, 0});
    sharpenLayer(0, 1);
    EXPECT_EQ(px(1, 3, 3), (Px{250, 250, 250}));
}

TEST(Filters, EdgeFiltersSeeOnlyTheirOwnDirectionOnBothSides) {
    Layers layers(8, 8);
    // A horizontal line: edgeH sees it from above and below, edgeV not at all.
    fillLayer(0, [](int32_t, int32_t y) { return y == 3 ? Px{10, 100, 0} : Px{}; });
    edgeHLayer(0, 1);
    expectLayer(1, [](int32_t, int32_t y) {
        return y == 2 || y == 4 ? Px{80, 255, 0} : Px{}; // 2 * 40; 2 * 400 clamped
    });
    edgeVLayer(0, 1);
    expectLayer(1, [](int32_t, int32_t) { return Px{}; });

    // The same line turned upright at the left border, wrapping to x = 7.
    fillLayer(0, [](int32_t x, int32_t) { return x == 0 ? Px{10, 100, 0} : Px{}; });
    edgeVLayer(0, 1);
    expectLayer(1, [](int32_t x, int32_t) { return x == 7 || x == 1 ? Px{80, 255, 0} : Px{}; });
    edgeHLayer(0, 1);
    expectLayer(1, [](int32_t, int32_t) { return Px{}; });
}

TEST(Filters, EmbossAddsTheBiasToEachGradientBeforeSquaring) {
    Layers layers(8, 8);
    fillLayer(0, [](int32_t x, int32_t y) { return x == 3 && y == 3 ? Px{10, 0, 0} : Px{}; });
    embossLayer(0, 1);
    // At (2, 3) the pixel is the right neighbour: gx = 138, gy = 128, and
    // floor(sqrt(138^2 + 128^2)) = 188. At (4, 4) it is the upper-left one:
    // gx = gy = 118, floor(sqrt(2 * 118^2)) = 166.
    EXPECT_EQ(px(1, 2, 3), (Px{188, 181, 181}));
    EXPECT_EQ(px(1, 4, 4), (Px{166, 181, 181}));
    EXPECT_EQ(px(1, 6, 6), (Px{181, 181, 181}));
}

TEST(Filters, WoodRotatesEachByteLeft) {
    Layers layers(2, 2);
    setPx(0, 0, 0, {0x81, 0x40, 0x12});
    setPx(0, 1, 0, {0xFF, 0x00, 0x01});
    woodLayer(0, 1, 1);
    EXPECT_EQ(px(1, 0, 0), (Px{0x03, 0x80, 0x24}));
    EXPECT_EQ(px(1, 1, 0), (Px{0xFF, 0x00, 0x02}));
    woodLayer(0, 1, 4);
    EXPECT_EQ(px(1, 0, 0), (Px{0x18, 0x04, 0x21}));
    woodLayer(0, 1, 7);
    EXPECT_EQ(px(1, 0, 0), (Px{0xC0, 0x20, 0x09}));
    for (int32_t identity : {0, 8}) {
        woodLayer(0, 1, identity);
        EXPECT_EQ(bytesOf(1), bytesOf(0)) << "rotation " << identity;
    }
}

TEST(Filters, MotionBlurUsesTriangularWeightsAlongTheRowOnly) {
    Layers layers(8, 4);
    fillLayer(0, [](int32_t x, int32_t y) { return x == 0 && y == 1 ? Px{255, 90, 9} : Px{}; });
    motionBlur(0, 1, 0);
    EXPECT_EQ(bytesOf(1), bytesOf(0));

    motionBlur(0, 1, 1); // weights 1 2 1, divided by 4
    expectLayer(1, [](int32_t x, int32_t y) {
        if (y != 1) return Px{};
        if (x == 0) return Px{127, 45, 4};
        if (x == 1 || x == 7) return Px{63, 22, 2};
        return Px{};
    });

    motionBlur(0, 1, 2); // weights 1 2 3 2 1, divided by 9
    expectLayer(1, [](int32_t x, int32_t y) {
        if (y != 1) return Px{};
        if (x == 0) return Px{85, 30, 3};
        if (x == 1 || x == 7) return Px{56, 20, 2};
        if (x == 2 || x == 6) return Px{28, 10, 1};
        return Px{};
    });
}

// Source for makeTilable: no two mirror images alike.
Px tilableSource(int32_t x, int32_t y) {
    return {4 * x * x, 3 * y * y + 5, (x * 37 + y * 11) & 255};
}

TEST(Filters, MakeTilableBlendsTowardsTheMirrorAverage) {
    Layers layers(8, 8);
    fillLayer(0, tilableSource);
    fillLayer(1, [](int32_t, int32_t) { return Px{7, 7, 7}; });
    makeTilable(0, 1, 4);                  // r0 = 0: every pixel but the centre is written
    EXPECT_EQ(px(1, 4, 4), (Px{7, 7, 7})); // not written: dst keeps its own pixel
    // Left and top borders sit at distance hx: the plain average of all four
    // mirror images, truncated.
    EXPECT_EQ(px(1, 0, 4), (Px{98, 42, 40}));
    EXPECT_EQ(px(1, 3, 0), (Px{50, 78, 168}));
    // Inside the ring the pixel keeps weight 1 - m and its mirrors share m:
    // m = d^2 * 0.75 / 16, exact binary fractions here.
    EXPECT_EQ(px(1, 5, 4), (Px{97, 52, 225})); // d^2 = 1
    EXPECT_EQ(px(1, 4, 6), (Px{60, 99, 202})); // d^2 = 4
    EXPECT_EQ(px(1, 6, 6), (Px{109, 86, 68})); // d^2 = 8
    EXPECT_EQ(px(1, 7, 4), (Px{140, 47, 43})); // d^2 = 9: not the border average
    EXPECT_EQ(px(1, 6, 7), (Px{87, 92, 92}));  // d^2 = 13: m = 0.609375, still blending
    EXPECT_EQ(px(1, 7, 7), (Px{98, 78, 40}));  // d^2 = 18: beyond 0.75
}

TEST(Filters, MakeTilableWithRadiusZeroOnlyTouchesPixelsOutsideTheCircle) {
    Layers layers(8, 8);
    fillLayer(0, tilableSource);
    makeTilable(0, 0, 0); // r0 = hx: the ring has no width, full average outside it
    EXPECT_EQ(px(0, 0, 0), (Px{98, 78, 40}));
    EXPECT_EQ(px(0, 1, 1), (Px{74, 60, 104}));
    for (auto [x, y] : {std::pair{4, 0}, {3, 3}, {0, 4}, {4, 4}})
        EXPECT_EQ(px(0, x, y), tilableSource(x, y)) << x << ", " << y;
}

TEST(Filters, MakeTilableWithAnInnerCircleUsesThirdsOfTheBlend) {
    Layers layers(8, 8);
    fillLayer(0, tilableSource);
    makeTilable(0, 1, 2); // r0 = 2, m = (d^2 - 4) / 16
    EXPECT_EQ(px(1, 6, 3), (Px{138, 32, 242}));
    EXPECT_EQ(px(1, 1, 4), (Px{33, 48, 90}));
}

TEST(Filters, InPlaceGivesTheSameAsBetweenTwoLayersAndSourceStaysIntact) {
    const std::pair<const char*, std::function<void(int, int)>> filters[] = {
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
    };
    Layers layers(16, 8);
    for (const auto& [name, run] : filters) {
        fillLayer(0, busy);
        fillLayer(1, busy); // makeTilable leaves the inner circle as dst held it
        const std::vector<uint8_t> source = bytesOf(0);
        run(0, 1);
        EXPECT_EQ(bytesOf(0), source) << name << " changed its source";
        fillLayer(2, busy);
        run(2, 2);
        EXPECT_EQ(bytesOf(2), bytesOf(1)) << name;
    }
}

} // namespace
} // namespace texgen
