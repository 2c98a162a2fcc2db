// The shared random generator and numeric helpers, to the bit.
#include <gtest/gtest.h>

#include <cmath>

#include "texgen/helpers.h"
#include "texgen/layers.h"

using namespace texgen;

namespace {

bool sameRgb(Rgb a, Rgb b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

void setPixel(int layer, int x, int y, Rgb colour) {
    uint8_t* p = pixelAt(layer, x, y);
    p[0] = colour.r;
    p[1] = colour.g;
    p[2] = colour.b;
}

} // namespace

TEST(HelpersRandom, SequenceFromStateOneAndZero) {
    randomSeed = 1;
    EXPECT_EQ(nextRandom(), 346u);
    EXPECT_EQ(nextRandom(), 32552u);
    EXPECT_EQ(nextRandom(), 10851u);
    randomSeed = 0;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(nextRandom(), 0u);
    // The state wraps modulo 2^32 and draws are its high half.
    randomSeed = 0xFFFFFFFFu;
    EXPECT_EQ(nextRandom(), (0xFFFFFFFFu * 22695477u) >> 16);
}

TEST(HelpersCosineBlend, ZeroFractionsAndTruncation) {
    const Rgb p00{10, 20, 30}, p10{255, 0, 7}, p01{1, 2, 3}, p11{200, 100, 50};
    EXPECT_TRUE(sameRgb(cosineBlend(p00, p10, p01, p11, 0.0f, 0.0f), p00));
    // A half step weights both neighbours 0.5: 255 * 0.5 = 127.5 truncates to 127.
    const Rgb half =
        cosineBlend(Rgb{0, 0, 0}, Rgb{255, 255, 255}, Rgb{0, 0, 0}, Rgb{255, 255, 255}, 0.5f, 0.0f);
    EXPECT_TRUE(sameRgb(half, Rgb{127, 127, 127}));
    // Cosine is even: a negative fraction weights like its absolute value.
    EXPECT_TRUE(sameRgb(cosineBlend(p00, p10, p01, p11, -0.3f, -0.7f),
                        cosineBlend(p00, p10, p01, p11, 0.3f, 0.7f)));
    // The nearly-full step lands on p11 after truncation of the weighted sum.
    const Rgb corner = cosineBlend(p00, p10, p01, p11, 0.999f, 0.999f);
    EXPECT_NEAR(corner.r, 200, 1);
    EXPECT_LE(corner.r, 200);
}

TEST(HelpersSampleLayer, ExactPositionsAndWrapAround) {
    ASSERT_TRUE(initLayers(8, 4).ok());
    setPixel(1, 0, 0, Rgb{1, 2, 3});
    setPixel(1, 7, 0, Rgb{200, 150, 100});
    setPixel(1, 3, 2, Rgb{9, 8, 7});
    setPixel(1, 1, 0, Rgb{50, 60, 70});
    EXPECT_TRUE(sameRgb(sampleLayer(1, 3.0f, 2.0f), Rgb{9, 8, 7}));
    EXPECT_TRUE(sameRgb(sampleLayer(1, -1.0f, 0.0f), Rgb{200, 150, 100})); // x = W-1
    EXPECT_TRUE(sameRgb(sampleLayer(1, 8.0f, 4.0f), Rgb{1, 2, 3}));        // both wrap to 0
    // -0.25 truncates to 0 and blends pixel 0 with pixel 1, like +0.25 does.
    EXPECT_TRUE(sameRgb(sampleLayer(1, -0.25f, 0.0f), sampleLayer(1, 0.25f, 0.0f)));
    // Coordinates beyond the integer range stay inside the layer.
    sampleLayer(1, 3.0e9f, -3.0e9f);
    sampleLayer(1, NAN, INFINITY);
    freeLayers();
}

TEST(HelpersIntSqrt, NewtonResultsIncludingItsRoundingUp) {
    EXPECT_EQ(intSqrt(0), 0u);
    EXPECT_EQ(intSqrt(1), 1u);
    EXPECT_EQ(intSqrt(3), 1u);
    EXPECT_EQ(intSqrt(4), 2u);
    EXPECT_EQ(intSqrt(8), 3u);       // the iteration stops one above the floor here
    EXPECT_EQ(intSqrt(32768), 181u); // flat emboss: gx = gy = 128
    EXPECT_EQ(intSqrt(2147483647u), 46340u);
    EXPECT_EQ(intSqrt(0xFFFFFFFFu), 65535u); // no wrap to a zero divisor
}

TEST(HelpersFastSqrt, ExactOnPowersOfFourApproximateElsewhere) {
    EXPECT_EQ(fastSqrt(1.0f), 1.0f);
    EXPECT_EQ(fastSqrt(4.0f), 2.0f);
    EXPECT_EQ(fastSqrt(16.0f), 4.0f);
    EXPECT_EQ(fastSqrt(0.25f), 0.5f);
    EXPECT_EQ(fastSqrt(2.0f), 1.5f); // halved exponent, mantissa shifted into it
    EXPECT_NEAR(fastSqrt(10.0f), std::sqrt(10.0f), 0.1f);
}

TEST(HelpersHsv, ConversionsBothWays) {
    float h, s, v;
    rgbToHsv(100, 100, 100, h, s, v);
    EXPECT_EQ(h, -1.0f);
    EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(v, 100.0f);
    float r = -5, g = -5, b = -5;
    hsvToRgb(h, s, v, r, g, b);
    EXPECT_EQ(r, 100.0f);
    EXPECT_EQ(g, 100.0f);
    EXPECT_EQ(b, 100.0f);

    rgbToHsv(0, 0, 255, h, s, v);
    EXPECT_EQ(h, 240.0f);
    rgbToHsv(255, 0, 128, h, s, v); // negative sector folded up by 360
    EXPECT_FLOAT_EQ(h, 360.0f - 128.0f / 255.0f * 60.0f);
    EXPECT_EQ(s, 1.0f);

    hsvToRgb(390, 1, 255, r, g, b);
    EXPECT_EQ(r, 255.0f);
    EXPECT_EQ(g, 127.5f);
    EXPECT_EQ(b, 0.0f);
    float r2, g2, b2;
    hsvToRgb(30, 1, 255, r2, g2, b2);
    EXPECT_EQ(r, r2);
    EXPECT_EQ(g, g2);
    EXPECT_EQ(b, b2);

    // Just below 360 the sector rounds to 6, which leaves the outputs alone.
    r = g = b = -7.0f;
    hsvToRgb(359.99997f, 1, 255, r, g, b);
    EXPECT_EQ(r, -7.0f);
    EXPECT_EQ(b, -7.0f);
    // Absurd hues fold without looping for ever.
    hsvToRgb(INFINITY, 1, 255, r, g, b);
    hsvToRgb(-1.0e30f, 1, 255, r, g, b);
}
