// Filters on small layers, with expected values worked out by hand from each
// filter's weights, shifts and wrap-around.
#include <algorithm>

#include "texgen/layer_fixture.h"

namespace texgen {
namespace {

// Layer 0 `rest` but for pixel (cx, cy).
void onePixel(int32_t cx, int32_t cy, Px colour, Px rest = {}) {
    fillLayer(0, [&](int32_t x, int32_t y) { return x == cx && y == cy ? colour : rest; });
}

TEST(Filters, BlurWrapsAroundBothBordersOfANonSquareLayer) {
    Layers layers(8, 4);
    onePixel(0, 0, {255, 16, 0});
    blurLayer(0, 1); // weights 4 (centre), 2 (orthogonal), 1 (diagonal), then >> 4
    expectLayer(1, [](int32_t x, int32_t y) {
        if ((x > 1 && x < 7) || y == 2) return Px{};
        const int weight = (x == 0 ? 2 : 1) * (y == 0 ? 2 : 1);
        return Px{255 * weight >> 4, 16 * weight >> 4, 0};
    });
}

TEST(Filters, SharpenEdgesAndEmbossWeighTheirNeighbours) {
    Layers layers(8, 8);
    onePixel(3, 3, {200, 0, 100}, {100, 0, 100});
    sharpenLayer(0, 1); // 500 - 50 - 100 = 350 clamped; 250 - (400 >> 3) - (500 >> 2); ...
    expectPixels(
        1, {{3, 3, 255, 0, 100}, {4, 3, 75, 0, 100}, {4, 4, 88, 0, 100}, {6, 6, 100, 0, 100}});
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
    expectPixels(1, {{2, 3, 188, 181, 181}, {4, 4, 166, 181, 181}, {6, 6, 181, 181, 181}});
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
    expectPixels(1, {{3, 3, 50, 100, 245}, {2, 2, 0, 0, 0}});
}

TEST(Filters, WoodRotatesBytesAndMotionBlurWeighsTheRowTriangularly) {
    Layers layers(8, 4);
    setPx(0, 0, 0, {0x81, 0x40, 0x12});
    setPx(0, 1, 0, {0xFF, 0x00, 0x01});
    woodLayer(0, 1, 1);
    expectPixels(1, {{0, 0, 0x03, 0x80, 0x24}, {1, 0, 0xFF, 0x00, 0x02}});
    woodLayer(0, 1, 4);
    expectPixels(1, {{0, 0, 0x18, 0x04, 0x21}});
    woodLayer(0, 1, 7);
    expectPixels(1, {{0, 0, 0xC0, 0x20, 0x09}});
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
    expectPixels(1, {{4, 4, 7, 7, 7},
                     {0, 4, 98, 42, 40},
                     {3, 0, 50, 78, 168},
                     {5, 4, 97, 52, 225},
                     {4, 6, 60, 99, 202},
                     {6, 6, 109, 86, 68},
                     {7, 4, 140, 47, 43},
                     {6, 7, 87, 92, 92},
                     {7, 7, 98, 78, 40}});
    makeTilable(0, 1, 2); // r0 = 2, m = (d^2 - 4) / 16
    expectPixels(1, {{6, 3, 138, 32, 242}, {1, 4, 33, 48, 90}});
    makeTilable(0, 0, 0); // r0 = hx: no ring, full average outside the circle
    expectPixels(0, {{0, 0, 98, 78, 40},
                     {1, 1, 74, 60, 104},
                     {4, 0, 64, 5, 148},
                     {3, 3, 36, 32, 144},
                     {0, 4, 0, 53, 44},
                     {4, 4, 64, 53, 192}});
}

TEST(Filters, InPlaceGivesTheSameAsBetweenTwoLayersAndSourceStaysIntact) {
    Layers layers(16, 8);
    expectInPlaceSameAsBetweenLayers({
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
    });
}

} // namespace
} // namespace texgen
