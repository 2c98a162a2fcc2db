// Distortions on small layers. Expected positions are worked out by hand;
// where a distortion samples between pixels, the cases are chosen so that the
// source position lands on a whole pixel (to within rounding that the cosine
// weights absorb), which makes the expected value exact.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <vector>

#include "texgen/helpers.h"
#include "texgen/layer_fixture.h"
#include "texgen/layers.h"
#include "texgen/operators.h"

namespace texgen {
namespace {

// Every pixel different, and its position readable from it.
Px where(int32_t x, int32_t y) {
    return {x * 16 + 1, y * 16 + 2, (x * 7 + y * 3) & 255};
}

Px busy(int32_t x, int32_t y) {
    return {(x * 53 + y * 29) & 255, (x * x * 7 + y * 91) & 255, (x * y * 13 + 200) & 255};
}

// Source pixel (sx, sy) of `where`, wrapped.
Px from(int32_t sx, int32_t sy) {
    return where(sx & wrapMaskX, sy & wrapMaskY);
}

bool symmetricAboutBothCentreLines(int layer) {
    for (int32_t y = 0; y < layerHeight; ++y)
        for (int32_t x = 0; x < layerWidth; ++x)
            if (px(layer, x, y) != px(layer, layerWidth - 1 - x, y) ||
                px(layer, x, y) != px(layer, x, layerHeight - 1 - y))
                return false;
    return true;
}

TEST(Distortions, MoveShiftsWholePixelsWithWrapAround) {
    Layers layers(8, 4);
    fillLayer(0, where);
    for (auto [dx, dy] : {std::pair{0, 0}, {8, 4}, {-16, 12}}) {
        moveDistort(0, 1, dx, dy);
        EXPECT_EQ(bytesOf(1), bytesOf(0)) << dx << ", " << dy;
    }
    moveDistort(0, 1, 1, 0);
    EXPECT_EQ(px(1, 0, 2), where(1, 2));
    EXPECT_EQ(px(1, 7, 2), where(0, 2));
    moveDistort(0, 1, -1, 2);
    expectLayer(1, [](int32_t x, int32_t y) { return from(x - 1, y + 2); });
    // Extreme shifts wrap like any other: -(2^31 - 1) is 1 modulo 8 and 4.
    moveDistort(0, 1, -2147483647, -2147483647);
    expectLayer(1, [](int32_t x, int32_t y) { return from(x + 1, y + 1); });
}

TEST(Distortions, NoiseDrawsTwoNumbersPerPixelAndFloorsTheirOffsets) {
    Layers layers(8, 4);
    fillLayer(0, where);
    // State 1 draws 346, 32552, 10851, 22876: offsets -32421, -215, -21916,
    // -9891 before the shift.
    noiseDistort(0, 1, 1, 16);
    EXPECT_EQ(px(1, 0, 0), from(-32421, -215));
    EXPECT_EQ(px(1, 1, 0), from(1 - 21916, -9891));
    // One bit less: arithmetic shift floors -32421 / 2 to -16211, not -16210.
    noiseDistort(0, 1, 1, 15);
    EXPECT_EQ(px(1, 0, 0), from(-16211, -108));
    EXPECT_EQ(px(1, 1, 0), from(1 - 10958, -4946));
    // Seed 0 draws only zeros: (0 - 32767) >> 16 = -1, a shift by one pixel.
    noiseDistort(0, 1, 0, 0);
    expectLayer(1, [](int32_t x, int32_t y) { return from(x - 1, y - 1); });
}

TEST(Distortions, NoiseWithZeroBitsMovesByAtMostOnePixelBack) {
    Layers layers(16, 8);
    fillLayer(0, where);
    noiseDistort(0, 1, 12345, 0);
    int moved = 0;
    for (int32_t y = 0; y < layerHeight; ++y)
        for (int32_t x = 0; x < layerWidth; ++x) {
            const Px p = px(1, x, y);
            const bool okX = p[0] == where(x, 0)[0] || p[0] == from(x - 1, 0)[0];
            const bool okY = p[1] == where(0, y)[1] || p[1] == from(0, y - 1)[1];
            EXPECT_TRUE(okX && okY) << "at (" << x << ", " << y << ")";
            moved += p != where(x, y);
        }
    EXPECT_GT(moved, 0);
}

TEST(Distortions, NoiseDependsOnlyOnItsSeedAndConsumesTwoDrawsPerPixel) {
    Layers layers(8, 8);
    fillLayer(0, busy);
    randomSeed = 99;
    noiseDistort(0, 1, 777, 3);
    const uint32_t stateAfter = randomSeed;
    randomSeed = 0xDEADBEEF;
    noiseDistort(0, 2, 777, 3);
    EXPECT_EQ(bytesOf(2), bytesOf(1));

    randomSeed = 777;
    for (int i = 0; i < 2 * 8 * 8; ++i) nextRandom();
    EXPECT_EQ(stateAfter, randomSeed);

    noiseDistort(0, 2, 778, 3);
    EXPECT_NE(bytesOf(2), bytesOf(1));
}

TEST(Distortions, TileHalvesThePictureAndRepeatsIt) {
    Layers layers(2, 2);
    const Px a{255, 0, 10}, b{0, 100, 13};
    fillLayer(0, [&](int32_t x, int32_t y) { return (x + y) % 2 == 0 ? a : b; });
    tileLayer(0, 0);
    expectLayer(0, [](int32_t, int32_t) { return Px{127, 50, 11}; });
    freeLayers();

    ASSERT_TRUE(initLayers(8, 4).ok());
    fillLayer(0, [](int32_t x, int32_t y) {
        return Px{10 * x + 1, 20 * y + 3, (x + y) % 2 * 255};
    });
    tileLayer(0, 1);
    // 2x2 blocks summed and shifted: red (80x + 24) >> 2, green (160y + 52) >> 2.
    expectLayer(1, [](int32_t x, int32_t y) {
        return Px{20 * (x % 4) + 6, 40 * (y % 2) + 13, 127};
    });
}

TEST(Distortions, SineWithZeroAmplitudesCopiesAndWholeShiftsMoveRowsOrColumns) {
    Layers layers(8, 4);
    fillLayer(0, busy);
    sineDistort(0, 1, 0.37f, 0.0f, 1.9f, 0.0f);
    EXPECT_EQ(bytesOf(1), bytesOf(0));

    const float quarterTurn = std::numbers::pi_v<float> / 2;
    fillLayer(0, where);
    // Row y moves by 2 sin(y pi / 2): 0, 2, (almost) 0, -2.
    sineDistort(0, 1, quarterTurn, 2.0f, 0.0f, 0.0f);
    for (int32_t x = 0; x < layerWidth; ++x) {
        EXPECT_EQ(px(1, x, 0), from(x, 0));
        EXPECT_EQ(px(1, x, 1), from(x + 2, 1));
        EXPECT_EQ(px(1, x, 3), from(x - 2, 3));
    }
    // Column x moves by sin(x pi / 2): 0, 1, (almost) 0, -1, ...
    sineDistort(0, 1, 0.0f, 0.0f, quarterTurn, 1.0f);
    for (int32_t y = 0; y < layerHeight; ++y) {
        EXPECT_EQ(px(1, 0, y), from(0, y));
        EXPECT_EQ(px(1, 1, y), from(1, y + 1));
        EXPECT_EQ(px(1, 3, y), from(3, y - 1));
        EXPECT_EQ(px(1, 5, y), from(5, y + 1));
    }
}

TEST(Distortions, TwirlTurnsTowardsTheCentreAndLeavesTheCornersAlone) {
    Layers layers(16, 16);
    fillLayer(0, where);
    twirlLayer(0, 1, 0.0f, 1.0f);
    EXPECT_EQ(bytesOf(1), bytesOf(0));

    // Two pixels from the centre d = 8 - 2 = 6, and this strength makes the
    // angle a quarter turn: strength * 36 / sqrt(2 * 16 * 16) = pi / 2.
    const float strength = static_cast<float>(std::numbers::pi / 2 * std::sqrt(512.0) / 36);
    twirlLayer(0, 1, strength, 1.0f);
    EXPECT_EQ(px(1, 10, 8), where(8, 10)); // right of the centre reads below it
    EXPECT_EQ(px(1, 8, 6), where(10, 8));  // above the centre reads right of it
    EXPECT_EQ(px(1, 8, 8), where(8, 8));
    for (auto [x, y] : {std::pair{0, 0}, {15, 0}, {0, 15}, {15, 15}, {0, 8}, {8, 0}})
        EXPECT_EQ(px(1, x, y), where(x, y)) << x << ", " << y;
}

TEST(Distortions, MapMovesEachPixelByTheLargestChannelOfTheMap) {
    Layers layers(8, 4);
    fillLayer(0, where);
    fillLayer(1, [](int32_t, int32_t) { return Px{}; });
    mapDistort(0, 1, 2, 3.5f, -7.25f);
    EXPECT_EQ(bytesOf(2), bytesOf(0));

    fillLayer(1, [](int32_t, int32_t) { return Px{0, 2, 1}; }); // v = 2
    mapDistort(0, 1, 2, 0.5f, -1.0f);
    expectLayer(2, [](int32_t x, int32_t y) { return from(x + 1, y - 2); });

    // The map may be the destination itself: it is read before dst changes.
    fillLayer(1, [](int32_t x, int32_t y) { return Px{x % 3, 0, y}; });
    mapDistort(0, 1, 2, 1.0f, 1.0f);
    mapDistort(0, 1, 1, 1.0f, 1.0f);
    EXPECT_EQ(bytesOf(1), bytesOf(2));
    EXPECT_EQ(px(1, 2, 3), from(5, 6)); // v = max(2, 0, 3) = 3
}

TEST(Distortions, KaleidMirrorsTheTopQuadrantsIntoAllFour) {
    Layers layers(8, 8);
    fillLayer(0, [](int32_t x, int32_t y) { return x < 4 && y < 4 ? Px{255, 0, 0} : Px{}; });
    kaleidLayer(0, 1, 1);
    expectLayer(1, [](int32_t, int32_t) { return Px{255, 0, 0}; });

    fillLayer(0, where);
    kaleidLayer(0, 1, 1);
    EXPECT_TRUE(symmetricAboutBothCentreLines(1));
    EXPECT_EQ(px(1, 6, 5), where(1, 2));
    EXPECT_EQ(px(1, 3, 3), where(3, 3));

    kaleidLayer(0, 1, 2);
    EXPECT_TRUE(symmetricAboutBothCentreLines(1));
    EXPECT_EQ(px(1, 1, 2), where(6, 2));
    EXPECT_EQ(px(1, 5, 6), where(5, 1));
}

TEST(Distortions, KaleidOfABottomQuadrantBuildsOnWhatDstHeldBesideIt) {
    Layers layers(8, 8);
    fillLayer(0, where);
    fillLayer(1, busy);
    // Quadrant 3 (bottom-left): the first step mirrors dst's bottom-right over
    // the copied quadrant, so src plays no part.
    kaleidLayer(0, 1, 3);
    EXPECT_TRUE(symmetricAboutBothCentreLines(1));
    EXPECT_EQ(px(1, 5, 6), busy(5, 6));
    EXPECT_EQ(px(1, 1, 1), busy(6, 6));

    fillLayer(1, busy);
    kaleidLayer(0, 1, 4); // built from dst's bottom-left
    EXPECT_TRUE(symmetricAboutBothCentreLines(1));
    EXPECT_EQ(px(1, 2, 5), busy(2, 5));
    EXPECT_EQ(px(1, 6, 1), busy(1, 6));

    // In place the neighbouring quadrant is src's own.
    kaleidLayer(0, 0, 4);
    EXPECT_TRUE(symmetricAboutBothCentreLines(0));
    EXPECT_EQ(px(0, 2, 5), where(2, 5));
    EXPECT_EQ(px(0, 6, 1), where(1, 6));
}

TEST(Distortions, TunnelMapsAngleToColumnsAndInverseDistanceToRows) {
    Layers layers(16, 16);
    fillLayer(0, where);
    tunnelDistort(0, 1, 8.0f);
    // On the centre row the angle is 0: the right half reads column hx = 8,
    // the left half column 0, at row depth / distance.
    EXPECT_EQ(px(1, 9, 8), where(8, 8));
    EXPECT_EQ(px(1, 10, 8), where(8, 4));
    EXPECT_EQ(px(1, 12, 8), where(8, 2));
    EXPECT_EQ(px(1, 7, 8), where(0, 8));
    EXPECT_EQ(px(1, 4, 8), where(0, 2));
    EXPECT_EQ(px(1, 0, 8), where(0, 1));
    for (int32_t y = 0; y < layerHeight; ++y)
        EXPECT_EQ(px(1, 8, y), px(1, 7, y))
            << "centre column repeats its left neighbour, row " << y;

    // On the diagonals the angle is +-pi/4, an eighth of the width (2
    // columns); depth 8 sqrt(2) makes the row 2 at distance 4 along each axis.
    tunnelDistort(0, 1, static_cast<float>(8 * std::numbers::sqrt2));
    EXPECT_EQ(px(1, 12, 12), where(10, 2));
    EXPECT_EQ(px(1, 12, 4), where(6, 2));
    EXPECT_EQ(px(1, 4, 4), where(2, 2));
    EXPECT_EQ(px(1, 4, 12), where(14, 2));
}

TEST(Distortions, SculptureCodesTheGradientDirectionAsAByte) {
    Layers layers(8, 8);
    fillLayer(0, [](int32_t, int32_t) { return Px{90, 90, 90}; });
    sculptureLayer(0, 1);
    expectLayer(1, [](int32_t, int32_t) { return Px{128, 128, 128}; });

    fillLayer(0, [](int32_t x, int32_t y) { return x == 3 && y == 3 ? Px{10, 0, 0} : Px{}; });
    sculptureLayer(0, 1);
    // Around the bright pixel, all eight directions: atan(+-1) * 127.5 / pi is
    // +-31.875, plus 127.5 where the horizontal gradient is positive.
    EXPECT_EQ(px(1, 4, 4)[0], 159); // gv = gh = 10
    EXPECT_EQ(px(1, 2, 2)[0], 31);  // gv = gh = -10
    EXPECT_EQ(px(1, 4, 2)[0], 95);  // gv = -10, gh = 10
    EXPECT_EQ(px(1, 2, 4)[0], 225); // gv = 10, gh = -10: -31 wraps
    EXPECT_EQ(px(1, 4, 3)[0], 127); // gh = 20, gv = 0
    EXPECT_EQ(px(1, 2, 3)[0], 0);   // gh = -20, gv = 0
    EXPECT_EQ(px(1, 3, 4)[0], 196); // gh = 0, gv = 20
    EXPECT_EQ(px(1, 3, 2)[0], 64);  // gh = 0, gv = -20
    EXPECT_EQ(px(1, 3, 3), (Px{128, 128, 128}));
    EXPECT_EQ(px(1, 6, 6), (Px{128, 128, 128}));
}

TEST(Distortions, LogPolarRowZeroCirclesTheCentreAtRadiusOne) {
    Layers layers(16, 8); // one turn spans the height: here 8 columns
    fillLayer(0, where);
    logPolLayer(0, 1);
    EXPECT_EQ(px(1, 0, 0), where(9, 4));
    EXPECT_EQ(px(1, 2, 0), where(8, 5));
    EXPECT_EQ(px(1, 4, 0), where(7, 4));
    EXPECT_EQ(px(1, 6, 0), where(8, 3));
    EXPECT_EQ(px(1, 8, 0), where(9, 4));
}

struct NamedDistortion {
    const char* name;
    std::function<void(int, int)> run;
};

TEST(Distortions, InPlaceGivesTheSameAsBetweenTwoLayers) {
    const NamedDistortion distortions[] = {
        {"sine", [](int s, int d) { sineDistort(s, d, 0.3f, 2.5f, 0.7f, -1.5f); }},
        {"twirl", [](int s, int d) { twirlLayer(s, d, 3.0f, 0.8f); }},
        {"map", [](int s, int d) { mapDistort(s, 4, d, 0.05f, -0.02f); }},
        {"tile", tileLayer},
        {"noise", [](int s, int d) { noiseDistort(s, d, 5, 4); }},
        {"move", [](int s, int d) { moveDistort(s, d, 3, -5); }},
        {"kaleid1", [](int s, int d) { kaleidLayer(s, d, 1); }},
        {"kaleid2", [](int s, int d) { kaleidLayer(s, d, 2); }},
        {"tunnel", [](int s, int d) { tunnelDistort(s, d, 20.0f); }},
        {"sculpture", sculptureLayer},
        {"logPol", logPolLayer},
    };
    Layers layers(16, 8);
    fillLayer(4, [](int32_t x, int32_t y) { return Px{x * 15, y * 30, 7}; });
    for (const NamedDistortion& d : distortions) {
        fillLayer(0, busy);
        fillLayer(1, where);
        const std::vector<uint8_t> source = bytesOf(0);
        d.run(0, 1);
        EXPECT_EQ(bytesOf(0), source) << d.name << " changed its source";
        fillLayer(2, busy);
        d.run(2, 2);
        EXPECT_EQ(bytesOf(2), bytesOf(1)) << d.name;
    }
}

} // namespace
} // namespace texgen
