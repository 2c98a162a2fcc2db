// The fast paths of the cosine blend against the blend written out as
// defined: weights from the cosine, an extended-precision sum truncated, and
// a grid filled cell by cell in order.
#include <cmath>
#include <random>

#include "texgen/layer_fixture.h"

namespace texgen {
namespace {

float referenceWeight(float t) {
    return static_cast<float>((1.0 - std::cos(static_cast<double>(t) * kPiSingle)) * 0.5);
}

Rgb referenceBlend(Rgb p00, Rgb p10, Rgb p01, Rgb p11, float tx, float ty) {
    const double fx = referenceWeight(tx), fy = referenceWeight(ty);
    const float w[4] = {static_cast<float>((1.0 - fx) * (1.0 - fy)),
                        static_cast<float>(fx * (1.0 - fy)), static_cast<float>((1.0 - fx) * fy),
                        static_cast<float>(fx * fy)};
    const auto channel = [&w](uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
        const long double sum =
            static_cast<long double>(a) * w[0] + static_cast<long double>(b) * w[1] +
            static_cast<long double>(c) * w[2] + static_cast<long double>(d) * w[3];
        return static_cast<uint8_t>(static_cast<int32_t>(sum) & 0xFF);
    };
    return Rgb{channel(p00.r, p10.r, p01.r, p11.r), channel(p00.g, p10.g, p01.g, p11.g),
               channel(p00.b, p10.b, p01.b, p11.b)};
}

// Fractions that make weights whole, tiny (below 2^-31) or arbitrary, and
// flat or varied blocks, whose sums land on or next to whole numbers.
TEST(Exactness, BlendMatchesTheExtendedSum) {
    std::mt19937 random(7);
    const float fractions[] = {0.0f, 0.5f, 0.25f, 1e-6f, 3e-5f, 0x1p-20f, 0.999999f, 1.0f / 3};
    const auto byte = [&random] { return static_cast<uint8_t>(random() % 4 ? random() : 255); };
    for (int n = 0; n < 200000; ++n) {
        const uint8_t flat = byte();
        Rgb p[4];
        for (Rgb& q : p) q = n % 3 ? Rgb{byte(), byte(), byte()} : Rgb{flat, flat, flat};
        const auto pick = [&] {
            return random() % 2 ? fractions[random() % 8]
                                : std::uniform_real_distribution<float>(0, 1)(random);
        };
        const float tx = pick(), ty = pick();
        const Rgb got = cosineBlend(p[0], p[1], p[2], p[3], tx, ty);
        const Rgb want = referenceBlend(p[0], p[1], p[2], p[3], tx, ty);
        ASSERT_EQ((Px{got.r, got.g, got.b}), (Px{want.r, want.g, want.b})) << tx << " " << ty;
    }
}

// Steps that tile the layer, overlap where the last cell wraps, or exceed a
// side; one or three channels.
TEST(Exactness, SubPlasmaMatchesTheGridFilledCellByCell) {
    for (auto [width, height, step] :
         {std::tuple{8, 8, 4}, {16, 8, 3}, {8, 16, 5}, {16, 4, 8}, {4, 8, 12}, {8, 8, 8}}) {
        for (bool colour : {false, true}) {
            Layers layers(width, height);
            subPlasma(0, step, 99, 256, colour);
            randomSeed = 99;
            for (int32_t y = 0; y < height; y += step)
                for (int32_t x = 0; x < width; x += step) {
                    const auto r = static_cast<int>(nextRandom() & 255);
                    const int g = colour ? static_cast<int>(nextRandom() & 255) : r;
                    setPx(1, x, y, {r, g, colour ? static_cast<int>(nextRandom() & 255) : r});
                }
            const float inv = 1.0f / static_cast<float>(step);
            const auto fraction = [inv](int32_t i) {
                return static_cast<float>(static_cast<double>(i) * inv);
            };
            const auto at = [](int32_t x, int32_t y) {
                const uint8_t* p = pixelAt(1, x & wrapMaskX, y & wrapMaskY);
                return Rgb{p[0], p[1], p[2]};
            };
            for (int32_t y = 0; y < height; y += step)
                for (int32_t x = 0; x < width; x += step) {
                    const Rgb c[4] = {at(x, y), at(x + step, y), at(x, y + step),
                                      at(x + step, y + step)};
                    for (int32_t j = 0; j < step; ++j)
                        for (int32_t i = 0; i < step; ++i) {
                            const Rgb v =
                                referenceBlend(c[0], c[1], c[2], c[3], fraction(i), fraction(j));
                            setPx(1, (x + i) & wrapMaskX, (y + j) & wrapMaskY, {v.r, v.g, v.b});
                        }
                }
            EXPECT_EQ(bytesOf(0), bytesOf(1)) << width << "x" << height << " step " << step;
        }
    }
}

} // namespace
} // namespace texgen
