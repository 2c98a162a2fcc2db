// The encoder's stages to the bit, round trips against the plain reference
// decoder, and the whole-image pipeline: masks, searches, settings.
#include <filesystem>
#include <tuple>

#include "images/file_builder.h"
#include "images/hwl_decoder.h"
#include "images/hwl_encode.h"
#include "images/hwl_encoder.h"
#include "images/reference_decoder.h"

using namespace hwl;

namespace {

// Soft disc in the middle, hard-edged square off the block grid: coarse
// levels with zero details would blur its edges.
std::vector<uint8_t> mask(int w, int h) {
    std::vector<uint8_t> alpha(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double a =
                std::clamp((w / 4.0 - std::hypot(x - w / 2.0, y - h / 2.0)) * 32, 0.0, 255.0);
            alpha[size_t(y) * w + x] = x >= 5 && x < 19 && y >= 7 && y < 29 ? 255 : uint8_t(a);
        }
    return alpha;
}

// No pixel further than 8 from the mask: a step of a ramp of 32 levels.
void expectCloseTo(const std::vector<uint8_t>& decoded, const std::vector<uint8_t>& mask) {
    for (size_t i = 0; i < mask.size(); ++i) ASSERT_NEAR(decoded[i], mask[i], 8) << i;
}

std::vector<uint8_t> symbols(const std::vector<int32_t>& plane, int bits,
                             std::vector<uint8_t>* values = nullptr) {
    std::vector<uint8_t> s(plane.size()), v(plane.size());
    uint64_t symbolCount = 0, valueCount = 0;
    symboliseCoefficients(plane.data(), s.data(), symbolCount, v.data(), valueCount,
                          int(plane.size()), 1, bits);
    if (values) *values = {v.begin(), v.begin() + valueCount};
    return {s.begin(), s.begin() + symbolCount};
}

} // namespace

TEST(HwlEncoder, QuantiserAndZeroRunsToTheBit) {
    // 4 x 2 at level 0: approximation {127.5, 1.25}, detail band {10, -20, 0,
    // 0, 0, 0}. The largest magnitude maps to the top value; halves round to
    // even: 127.5 up to 128, 2.5 down to 2.
    const double plane[8] = {127.5, 1.25, 10, -20, 0, 0, 0, 0}, zeros[4] = {};
    int32_t q[8];
    double table[2];
    quantisePlane(plane, q, 4, 2, 0, 8, table);
    EXPECT_EQ((std::vector<double>{table[0], table[1]}), (std::vector<double>{12.75, 2.0}));
    EXPECT_EQ((std::vector<int32_t>(q, q + 8)),
              (std::vector<int32_t>{255, 2, 128, -255, 0, 0, 0, 0}));
    quantisePlane(zeros, q, 2, 2, 0, 5, table);
    EXPECT_EQ((std::vector<double>{table[0], table[1]}), (std::vector<double>{0, 0}));
    EXPECT_EQ(countZeros(q, 2, 2), 4u);

    // With b = 8 runs start above 6 further zeros; the longest run is 1024;
    // the plane's last coefficient is never part of a run.
    std::vector<int32_t> eight(8, 0), longest(1030, 0);
    eight.push_back(1);
    longest.back() = -3;
    std::vector<uint8_t> values;
    EXPECT_EQ(symbols({eight.begin() + 1, eight.end()}, 8),
              (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 2}));
    EXPECT_EQ(symbols(eight, 8, &values), (std::vector<uint8_t>{1, 0, 2}));
    EXPECT_EQ(values, (std::vector<uint8_t>{7, 1}));
    const std::vector<uint8_t> run = symbols(longest, 8, &values);
    EXPECT_EQ((std::vector<int>{run[0], run[1], values[0]}), (std::vector<int>{1, 3, 255}));
    EXPECT_EQ(symbols(std::vector<int32_t>(20, 0), 8), (std::vector<uint8_t>{1, 0, 0}));
    // An odd width rounds the threshold down: with b = 5 runs start above 4.
    std::vector<int32_t> six(6, 0);
    six.push_back(-1);
    EXPECT_EQ(symbols({six.begin() + 1, six.end()}, 5), (std::vector<uint8_t>{0, 0, 0, 0, 0, 3}));
    EXPECT_EQ(symbols(six, 5, &values), (std::vector<uint8_t>{1, 0, 3}));
    EXPECT_EQ(values, (std::vector<uint8_t>{5, 1}));
}

// Magnitudes one below, at and one above the threshold of 3; the 2 x 2
// approximation keeps its 3s; zeros already there are not counted.
TEST(HwlEncoder, ThresholdZeroesDetailsUpToItsValueOutsideTheApproximation) {
    std::vector<double> plane = {3,  -3,  3,   -2.5, //
                                 3,  3,   0,   3.5,  //
                                 -3, 2.5, 3.5, -3.5, //
                                 0,  3,   -3,  1};
    EXPECT_EQ(thresholdDetails(plane.data(), 3.0, 4, 4, 0), 7u);
    EXPECT_EQ(plane, (std::vector<double>{3, -3, 0, 0, 3, 3, 0, 3.5, 0, 0, 3.5, -3.5, 0, 0, 0, 0}));
}

TEST(HwlEncoder, WritersAgreeAndRefuseWhatDoesNotFit) {
    const std::vector<uint8_t> rgb = picture(16, 16, 2);
    std::vector<double> c[6] = {};
    std::vector<int32_t> q[3];
    double tables[3][kMaxTableEntries];
    for (int i = 0; i < 256 * 3; ++i) c[i % 3].push_back(rgb[i]);
    for (int p = 3; p < 6; ++p) c[p].resize(256);
    forwardHaarColour(c[0].data(), c[1].data(), c[2].data(), c[3].data(), c[4].data(), c[5].data(),
                      16, 16, 16, 1);
    HwlEncodedImage image{16, 16, kColourBitsPerPixel, 1, {}, {}, {7, 5, 5}};
    for (int p = 0; p < 3; ++p) {
        q[p].resize(256);
        thresholdDetails(c[p + 3].data(), 6, 16, 16, 1);
        quantisePlane(c[p + 3].data(), q[p].data(), 16, 16, 1, image.valueBits[p], tables[p]);
        image.planes[p] = q[p].data();
        image.tables[p] = tables[p];
    }
    // The pipeline runs the same stages in the same order.
    std::vector<uint8_t> bytes, byPipeline;
    ASSERT_TRUE(writeHwlMemory(bytes, image).ok());
    ASSERT_TRUE(encodeHwl(byPipeline, {rgb.data(), 16, 16, 3}, {1, {7, 5, 5}, 6.0, false}).ok());
    EXPECT_EQ(byPipeline, bytes);
    const std::string path = testing::TempDir() + "writer.hwl";
    ASSERT_TRUE(writeHwlFile(path, image).ok());
    EXPECT_EQ(std::filesystem::file_size(path), bytes.size());
    image.valueBits[1] = 3; // coefficients of up to 31 do not fit 3 bits
    EXPECT_EQ(writeHwlFile(path, image).status, HwlStatus::InvalidArgument);
    EXPECT_EQ(writeHwlFile("/nonexistent-dir/x.hwl", HwlEncodedImage{}).status,
              HwlStatus::WriteError);
}

// A colour 4 x 4 file to the byte, against the tests' own packer: plane 0 is
// all 1s, planes 1 and 2 all zeros (a run of 15 and the last zero alone),
// so the later planes' last symbol bytes are partly filled and must be
// padded with zero bits, not with what the buffer held.
TEST(HwlEncoder, WriterBytesAndValueBoundsToTheBit) {
    const std::vector<int32_t> ones(16, 1), nothing(16, 0);
    const double table[2] = {0.5, 0.25};
    HwlEncodedImage image{4, 4, kColourBitsPerPixel, 0, {}, {table, table, table}, {8, 8, 3}};
    image.planes[0] = ones.data();
    image.planes[1] = image.planes[2] = nothing.data();
    FileBuilder expected{4, 4, kColourBitsPerPixel, 0, {}};
    expected.planes = {{{0.5, 0.25}, std::vector<uint8_t>(16, 2), std::vector<uint32_t>(16, 1), 8},
                       {{0.5, 0.25}, {1, 0, 0}, {14}, 8},
                       {{0.5, 0.25}, {1, 1, 0}, {6}, 3}};
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(writeHwlMemory(bytes, image).ok());
    EXPECT_EQ(bytes, expected.build());

    // Coefficients lie within +-(2^b - 1); widths go up to 8.
    const int32_t fits[4] = {7, -7, 0, 0}, over[4] = {8, 0, 0, 0}, under[4] = {-8, 0, 0, 0};
    HwlEncodedImage grey{2, 2, kGreyBitsPerPixel, 0, {fits}, {table}, {3}};
    EXPECT_TRUE(writeHwlMemory(bytes, grey).ok());
    for (const int32_t* plane : {over, under}) {
        grey.planes[0] = plane;
        EXPECT_EQ(writeHwlMemory(bytes, grey).status, HwlStatus::InvalidArgument) << plane[0];
    }
    grey.planes[0] = fits;
    grey.valueBits[0] = 9;
    EXPECT_EQ(writeHwlMemory(bytes, grey).status, HwlStatus::InvalidArgument);
}

// Pictures at many settings decode to the reference's bytes (smooth areas
// exercise the smoothing rule; 256 x 256 the threaded path).
TEST(HwlEncoder, RoundTripsMatchReferenceAcrossSettings) {
    const std::tuple<int, int, HwlEncodeSettings> settings[] = {
        {64, 64, {0, {8, 8, 8}, 0.0, false}},   {64, 32, {3, {8, 6, 6}, 0.0, false}},
        {128, 64, {4, {7, 4, 4}, 2.0, false}},  {32, 128, {2, {6, 3, 3}, 8.0, false}},
        {64, 64, {5, {8, 0, 0}, 1.0, false}},   {256, 128, {6, {5, 5, 5}, 4.0, false}},
        {256, 256, {4, {8, 5, 5}, 2.0, false}}, {32, 32, {3, {8, 8, 8}, 0.0, true}},
    };
    uint32_t seed = 10;
    for (const auto& [w, h, s] : settings) {
        std::vector<uint8_t> bytes, expected, actual;
        const std::vector<uint8_t> rgb = picture(w, h, seed++);
        ASSERT_TRUE(encodeHwl(bytes, {rgb.data(), w, h, 3}, s).ok()) << w << "x" << h;
        ASSERT_TRUE(reference::decode(bytes, expected));
        HwlHeader header{};
        ASSERT_TRUE(decodeHwlMemory(actual, header, bytes.data(), bytes.size(), true).ok());
        ASSERT_EQ(actual, expected) << w << "x" << h << " L" << s.levels;
        double db = 0; // close to the input at full widths
        ASSERT_TRUE(measurePsnr(db, bytes, referencePixels({rgb.data(), w, h, 3}, s.grey)).ok());
        EXPECT_TRUE(s.levels > 0 || db > 35.0) << db;
    }
}

TEST(EncodePipeline, GreyPsnrAndSettings) {
    // Luma weights 0.3, 0.59, 0.11, rounded half to even: red 76.5 -> 76,
    // blue 50 gives 5.5 -> 6.
    const uint8_t rgb[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30, 0, 0, 50};
    EXPECT_EQ(toGrey({rgb, 5, 1, 3}), (std::vector<uint8_t>{76, 150, 28, 18, 6}));
    const uint8_t a[] = {0, 10, 20, 30}, b[] = {255, 10, 20, 30};
    EXPECT_NEAR(psnr(a, b, 4), 10 * std::log10(4.0), 1e-12); // MSE = 255^2 / 4

    HwlEncodeSettings settings; // 4 levels: multiples of 32
    const std::string message = checkEncodeSettings(settings, 100, 64).message;
    for (const char* part :
         {"multiples of 32", "nearest width 96 or 128, height 64", "at most 1 levels"})
        EXPECT_NE(message.find(part), std::string::npos) << message;
    for (auto [w, h, levels] : {std::tuple{512, 512, 8}, {48, 32, 3}, {33, 32, -1}, {0, 32, -1}})
        EXPECT_EQ(largestFittingLevels(w, h), levels) << w << "x" << h;
    EXPECT_TRUE(checkEncodeSettings(settings, 96, 64).ok());
    EXPECT_TRUE(checkEncodeSettings(settings, 8192, 8192).ok());
    EXPECT_TRUE(checkEncodeSettings(settings, 8192, 8192 + 32)); // more than the decoder reads
    EXPECT_TRUE(checkEncodeSettings(settings, 65536, 64));       // wider than the header holds
    for (HwlEncodeSettings bad : {HwlEncodeSettings{4, {6, 5, 9}, 16, false},
                                  HwlEncodeSettings{4, {6, 5, 5}, std::nan(""), false},
                                  HwlEncodeSettings{17, {6, 5, 5}, 16, false}})
        EXPECT_TRUE(checkEncodeSettings(bad, 96, 64));
}

TEST(EncodePipeline, MasksDecodeToTheMaskAndAvoidBlurringHardEdges) {
    const std::vector<uint8_t> alpha = mask(64, 64);
    HwlEncodeOutcome outcome;
    ASSERT_TRUE(encodeHwlMask(outcome, alpha.data(), 64, 64, 4).ok());
    std::vector<uint8_t> decoded;
    ASSERT_TRUE(decodeMask(decoded, outcome.bytes).ok());
    EXPECT_GE(outcome.psnr, kMaskGoodDb);
    expectCloseTo(decoded, alpha);
    // RGBA gives the colour file (the alpha does not leak into it) and the mask.
    const std::vector<uint8_t> rgb = picture(32, 32, 2), small = mask(32, 32);
    std::vector<uint8_t> rgba(32 * 32 * 4), plain;
    for (int i = 0; i < 32 * 32; ++i) {
        std::copy(&rgb[3 * i], &rgb[3 * i + 3], &rgba[4 * i]);
        rgba[i * 4 + 3] = small[i];
    }
    HwlEncodeOutcome image;
    ASSERT_TRUE(encodeHwlWithAlpha(image, outcome, {rgba.data(), 32, 32, 4}, {}).ok());
    ASSERT_TRUE(encodeHwl(plain, {rgb.data(), 32, 32, 3}, {}).ok());
    EXPECT_EQ(image.bytes, plain);
    ASSERT_TRUE(decodeMask(decoded, outcome.bytes).ok());
    expectCloseTo(decoded, small);
}

// Both searches: rate-distortion (the threshold free) and over the widths and
// levels at the start's threshold.
TEST(EncodePipeline, SearchesMeetTheirTargetsWithTheSmallestFile) {
    const std::vector<uint8_t> rgb = picture(64, 64, 3);
    const PixelView view{rgb.data(), 64, 64, 3};
    size_t bytesAt33[2] = {};
    for (const SearchFreedom freedom : {SearchFreedom{}, SearchFreedom{true, true, false}}) {
        const bool rd = freedom.threshold;
        HwlEncodeOutcome low, high;
        ASSERT_TRUE(searchForPsnr(low, view, {}, freedom, 33.0).ok());
        ASSERT_TRUE(searchForPsnr(high, view, {}, freedom, 38.0).ok());
        EXPECT_GE(low.psnr, 33.0);
        EXPECT_GE(high.psnr, 38.0);
        EXPECT_LT(low.bytes.size(), high.bytes.size());
        bytesAt33[rd] = low.bytes.size();
        std::vector<uint8_t> again; // the reported settings reproduce the reported file
        ASSERT_TRUE(encodeHwl(again, view, high.settings).ok());
        EXPECT_EQ(again, high.bytes);
        EXPECT_NE(searchForPsnr(low, view, {}, freedom, 99.0).message.find("the best reached"),
                  std::string::npos);

        ASSERT_TRUE(searchForSize(low, view, {}, freedom, 1500).ok());
        ASSERT_TRUE(searchForSize(high, view, {}, freedom, 4000).ok());
        EXPECT_LE(low.bytes.size(), 1500u);
        EXPECT_LE(high.bytes.size(), 4000u);
        EXPECT_GT(high.psnr, low.psnr);
        EXPECT_NE(
            searchForSize(low, view, {}, freedom, 100).message.find("the smallest file takes"),
            std::string::npos);
    }
    EXPECT_LT(bytesAt33[1], bytesAt33[0] * 0.85); // details kept by their worth pay
    HwlEncodeOutcome fixed;                       // and other widths and levels than the start's
    ASSERT_TRUE(searchForPsnr(fixed, view, {}, {false, false, true}, 33.0).ok());
    EXPECT_LT(bytesAt33[1], fixed.bytes.size());
    // A staircase of flat colours: at coarse levels the decoder's smoothing
    // of zero details turns the stairs into ramps, so the search lowers them.
    std::vector<uint8_t> stairs(64 * 32 * 3, 40);
    for (int i = 0; i < 64 * 32; ++i) {
        const int step = (i / 64 / 8 + i % 64 / 16) % 4;
        stairs[i * 3] = uint8_t(step * 80);
        stairs[i * 3 + 1] = uint8_t(255 - step * 60);
    }
    HwlEncodeOutcome high;
    ASSERT_TRUE(searchForPsnr(high, {stairs.data(), 64, 32, 3}, {}, {}, 40.0).ok());
    EXPECT_LE(high.settings.levels, 1);
    EXPECT_GE(high.psnr, 40.0);
    EXPECT_TRUE(searchForPsnr(high, {stairs.data(), 64, 32, 3}, {}, {false, true, true}, 40.0));
}
