// Distortions on small layers. Expected positions are worked out by hand;
// where a distortion samples between pixels, the cases put the source
// position on a whole pixel (to within rounding that the cosine weights
// absorb), which makes the expected value exact.
#include <cmath>
#include <numbers>

#include "texgen/layer_fixture.h"

namespace texgen {
namespace {

// Every pixel different, and its position readable from it; wrapped.
Px where(int32_t x, int32_t y) {
    x &= wrapMaskX;
    y &= wrapMaskY;
    return {x * 16 + 1, y * 16 + 2, (x * 7 + y * 3) & 255};
}

// Pixel (x, y) of layer 1 must be pixel (sx, sy) of `where`.
void expectFrom(std::initializer_list<std::array<int32_t, 4>> cases) {
    for (const auto& [x, y, sx, sy] : cases) EXPECT_EQ(px(1, x, y), where(sx, sy)) << x << "," << y;
}

// Layer 1 must read `where` shifted by (dx, dy).
void expectShifted(int32_t dx, int32_t dy) {
    expectLayer(1, [&](int32_t x, int32_t y) { return where(x + dx, y + dy); });
}

bool symmetricAboutBothCentreLines(int layer) {
    for (int32_t y = 0; y < layerHeight; ++y)
        for (int32_t x = 0; x < layerWidth; ++x)
            if (px(layer, x, y) != px(layer, layerWidth - 1 - x, y) ||
                px(layer, x, y) != px(layer, x, layerHeight - 1 - y))
                return false;
    return true;
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
    expectFrom({{0, 0, -32421, -215}, {1, 0, 1 - 21916, -9891}});
    noiseDistort(0, 1, 1, 15);
    expectFrom({{0, 0, -16211, -108}, {1, 0, 1 - 10958, -4946}});
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
    expectFrom({{2, 3, 5, 6}}); // max(2, 0, 3) = 3
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
    expectFrom({{10, 8, 8, 10},
                {8, 6, 10, 8},
                {8, 8, 8, 8},
                {0, 0, 0, 0},
                {15, 0, 15, 0},
                {0, 15, 0, 15},
                {15, 15, 15, 15},
                {0, 8, 0, 8},
                {8, 0, 8, 0}});

    // On the centre row the angle is 0: the right half reads column 8, the
    // left half column 0, at row depth / distance; the centre column repeats
    // its left neighbour.
    tunnelDistort(0, 1, 8.0f);
    expectFrom(
        {{9, 8, 8, 8}, {10, 8, 8, 4}, {12, 8, 8, 2}, {7, 8, 0, 8}, {4, 8, 0, 2}, {0, 8, 0, 1}});
    for (int32_t y = 0; y < 16; ++y) EXPECT_EQ(px(1, 8, y), px(1, 7, y)) << y;
    // On the diagonals the angle is +-pi/4, an eighth of the width (2
    // columns); depth 8 sqrt(2) makes the row 2 at distance 4 along each axis.
    tunnelDistort(0, 1, float(8 * std::numbers::sqrt2));
    expectFrom({{12, 12, 10, 2}, {12, 4, 6, 2}, {4, 4, 2, 2}, {4, 12, 14, 2}});

    ASSERT_TRUE(initLayers(16, 8).ok()); // one turn spans the height: here 8 columns
    fillLayer(0, where);
    logPolLayer(0, 1);
    expectFrom({{0, 0, 9, 4}, {2, 0, 8, 5}, {4, 0, 7, 4}, {6, 0, 8, 3}, {8, 0, 9, 4}});
}

TEST(Distortions, KaleidMirrorsOneQuadrantIntoAllFour) {
    Layers layers(8, 8);
    fillLayer(0, where);
    // Quadrants 3 and 4 (bottom) build on what dst held beside the copied
    // quadrant; in place that is src's own. Pixel (x0, y0) reads (x1, y1).
    const struct {
        int dst, quadrant, x0, y0, x1, y1;
        bool fromBusy;
    } cases[] = {
        {1, 1, 6, 5, 1, 2, false}, {1, 1, 3, 3, 3, 3, false}, {1, 2, 1, 2, 6, 2, false},
        {1, 2, 5, 6, 5, 1, false}, {1, 3, 5, 6, 5, 6, true},  {1, 3, 1, 1, 6, 6, true},
        {1, 4, 2, 5, 2, 5, true},  {1, 4, 6, 1, 1, 6, true},  {0, 4, 2, 5, 2, 5, false},
        {0, 4, 6, 1, 1, 6, false},
    };
    for (const auto& c : cases) {
        fillLayer(1, busy);
        kaleidLayer(0, c.dst, c.quadrant);
        EXPECT_TRUE(symmetricAboutBothCentreLines(c.dst)) << c.quadrant;
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

TEST(Distortions, InPlaceGivesTheSameAsBetweenTwoLayers) {
    Layers layers(16, 8);
    fillLayer(4, [](int32_t x, int32_t y) { return Px{x * 15, y * 30, 7}; });
    expectInPlaceSameAsBetweenLayers({
        {"sine", [](int s, int d) { sineDistort(s, d, 0.3f, 2.5f, 0.7f, -1.5f); }},
        {"twirl", [](int s, int d) { twirlLayer(s, d, 3.0f, 0.8f); }},
        {"map", [](int s, int d) { mapDistort(s, 4, d, 0.05f, -0.02f); }},
        {"noise", [](int s, int d) { noiseDistort(s, d, 5, 4); }},
        {"move", [](int s, int d) { moveDistort(s, d, 3, -5); }},
        {"kaleid1", [](int s, int d) { kaleidLayer(s, d, 1); }},
        {"kaleid2", [](int s, int d) { kaleidLayer(s, d, 2); }},
        {"tunnel", [](int s, int d) { tunnelDistort(s, d, 20.0f); }},
        {"sculpture", sculptureLayer},
        {"logPol", logPolLayer},
    });
}

} // namespace
} // namespace texgen
