// Rate-distortion quantisation: the error weights and zero errors it ranks
// details by, and the choices it makes with them.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "images/hwl_decoder.h"
#include "images/hwl_encoder.h"
#include "images/hwl_rate.h"

using namespace hwl;

// A unit error of one plane, through the decoder's own colour conversion.
TEST(HwlRate, PlaneWeightsFollowTheDecodersColourConversion) {
    for (int p = 0; p < 3; ++p) {
        double yuv[3] = {0, 0, 0};
        yuv[p] = 1;
        yuvToRgb(&yuv[0], &yuv[1], &yuv[2], 1);
        EXPECT_NEAR(planeErrorWeight(p, false), yuv[0] * yuv[0] + yuv[1] * yuv[1] + yuv[2] * yuv[2],
                    1e-12)
            << p;
    }
    EXPECT_EQ(planeErrorWeight(0, true), 1.0);
}

// On a ramp the decoder's blend of zero details recovers most of them: the
// estimate lies half way between the plain squares and what the decoder
// really loses when the finest details are dropped (the coarser level is
// kept, so it decodes exactly).
TEST(HwlRate, ZeroErrorsLieHalfWayToTheDecodersBlend) {
    constexpr int kW = 32, kH = 16;
    std::vector<double> ramp(kW * kH), coefficients(kW * kH), decoded(kW * kH), temp(kW * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) ramp[y * kW + x] = 10 + 3 * x + 5 * y;
    forwardHaar(ramp.data(), coefficients.data(), kW, kH, kW, 1);
    const std::vector<double> errors = zeroErrors(coefficients.data(), kW, kH, 1);
    double estimated = 0, plain = 0;
    std::vector<double> dropped = coefficients;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const size_t i = size_t(y) * kW + x;
            if (x < kW / 4 && y < kH / 4) { // the approximation is never blended
                EXPECT_EQ(errors[i], coefficients[i] * coefficients[i]) << x << "," << y;
            }
            if (x < kW / 2 && y < kH / 2) continue;
            estimated += errors[i];
            plain += coefficients[i] * coefficients[i];
            dropped[i] = 0;
        }
    inverseHaar(dropped.data(), decoded.data(), kW, kH, kW, 1, temp.data());
    double real = 0;
    for (size_t i = 0; i < ramp.size(); ++i)
        real += (decoded[i] - ramp[i]) * (decoded[i] - ramp[i]);
    EXPECT_LT(real, plain / 2);
    EXPECT_NEAR(estimated, (real + plain) / 2, 1e-6 * plain);
}

// One 256 x 2 plane at level 0: the approximation (1000s) is row 0's left
// half, the detail band the rest. Details of 10 with alternating signs fill most of row
// 1, a lone 10 sits in row 0 among zeros, an outlier of 100 ends row 1.
TEST(HwlRate, KeepsDetailsByWorthClipsOutliersAndDropsBands) {
    constexpr int kW = 256, kBits = 3, kLone = 200, kOutlier = 2 * kW - 1;
    std::vector<double> plane(2 * kW, 0.0);
    for (int x = 0; x < kW / 2; ++x) plane[x] = 1000;
    for (int x = 0; x < 200; ++x) plane[kW + x] = x % 2 ? -10 : 10;
    plane[kLone] = 10;
    plane[kOutlier] = 100;
    std::vector<double> squares(plane.size());
    for (size_t i = 0; i < plane.size(); ++i) squares[i] = plane[i] * plane[i];
    std::vector<int32_t> q(plane.size());
    double table[2];

    // At weight 4 keeping a 10 is worth about 390: at lambda 40 the 3 bits of
    // its value among kept neighbours are worth it (120), splitting runs of
    // zeros is not (12 bits, 480).
    quantisePlaneRd(plane.data(), squares.data(), q.data(), kW, 2, 0, kBits, 4.0, 40.0, table);
    EXPECT_EQ(q[kLone], 0);
    EXPECT_EQ(q[kW], 1);
    EXPECT_EQ(q[kW + 1], -1);
    // Clipping the outlier to 7 buys a finer step for all the others.
    EXPECT_EQ(q[kOutlier], 7);
    EXPECT_GT(table[0], 7.0 / 100);
    EXPECT_NEAR(table[1], 7.0 / 1000, 1e-12);

    // Dearer bits drop the whole detail band; the approximation stays.
    quantisePlaneRd(plane.data(), squares.data(), q.data(), kW, 2, 0, kBits, 4.0, 20000.0, table);
    EXPECT_EQ(table[0], 0.0);
    EXPECT_EQ(table[1], 7.0 / 1000);
    EXPECT_EQ(countZeros(q.data(), kW, 2), uint64_t(2 * kW - kW / 2));
}

// A lone detail pays for the run it splits, counted as the writer codes
// zeros: with b = 1 a run covers 4 to 8 zeros. An 8 x 2 plane, all zero but
// a detail of 1 at index 4 whose zero error is its whole gain: the 4 zeros
// before it cost a run (5 bits), it costs 3, the 11 after it a run and three
// single zeros (11), against two runs of 8 (10) without it: 9 bits.
TEST(HwlRate, ALoneDetailIsKeptExactlyWhenItPaysForTheRunItSplits) {
    constexpr int kW = 8, kBits = 1, kAt = 4;
    constexpr double kWorth = 9, kLambda = 1, kWeight = 1;
    for (const double gain : {kWorth, kWorth - 0.5}) {
        std::vector<double> plane(2 * kW, 0.0), zeroError(2 * kW, 0.0);
        plane[kAt] = 1;
        zeroError[kAt] = gain;
        std::vector<int32_t> q(plane.size());
        double table[2];
        quantisePlaneRd(plane.data(), zeroError.data(), q.data(), kW, 2, 0, kBits, kWeight, kLambda,
                        table);
        EXPECT_EQ(q[kAt], gain >= kWorth ? 1 : 0) << gain;
    }
}
