// The decoder against hand-made files and the plain reference decoder, and
// files that break the format: each gives an error naming the file, never a
// crash or a read outside a buffer (the sanitizer build runs these too).
#include <mutex>

#include "images/file_builder.h"
#include "images/hwl_decoder.h"
#include "images/hwl_encode.h"
#include "images/hwl_row_decoder.h"
#include "images/reference_decoder.h"

using namespace hwl;

namespace {

HwlError decode(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* pixels = nullptr) {
    std::vector<uint8_t> own;
    HwlHeader header{};
    return decodeHwlMemory(pixels ? *pixels : own, header, bytes.data(), bytes.size(), true,
                           "bad.hwl");
}

FileBuilder grey2x2(PlaneStreams plane) {
    FileBuilder b;
    b.planes.push_back(plane);
    return b;
}

// A small real image at L = 2 with odd value widths.
std::vector<uint8_t> colourFile() {
    const std::vector<uint8_t> rgb = picture(16, 8, 1);
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(encodeHwl(bytes, {rgb.data(), 16, 8, 3}, {2, {7, 5, 3}, 0.0, false}).ok());
    return bytes;
}

} // namespace

TEST(HwlDecoder, HandMadeFilesAndChannelsDecodeToHandComputedValues) {
    // Approximation 255 at factor 1.275 is 200: pixels 100. Details P, Q, D,
    // factors 1: pixels (A+P+Q+D)/2, (A-P+Q-D)/2, (A+P-Q-D)/2, (A-P-Q+D)/2.
    // A zero table entry zeroes its band.
    const std::pair<FileBuilder, std::vector<uint8_t>> files[] = {
        {grey2x2({{0.0, 1.275}, {2, 0, 0, 0}, {255}, 8}), {100, 100, 100, 100}},
        {grey2x2({{1.0, 1.0}, {2, 2, 3, 2}, {200, 40, 20, 6}, 8}), {113, 67, 127, 93}},
        {grey2x2({{0.0, 1.0}, {2, 2, 2, 2}, {200, 50, 50, 50}, 8}), {100, 100, 100, 100}},
    };
    for (const auto& [builder, expected] : files) {
        std::vector<uint8_t> pixels;
        ASSERT_TRUE(decode(builder.build(), &pixels).ok());
        EXPECT_EQ(pixels, expected);
    }
    std::vector<uint8_t> bytes = files[0].first.build(), pixels;
    // The magic is not checked, and a grey file's plane 1 and 2 fields are ignored.
    std::memcpy(bytes.data(), "XYZ", 3);
    for (int i : {13, 14, 25, 26, 34, 35}) bytes[i] = 0xEE;
    HwlHeader header{};
    ASSERT_TRUE(decodeHwl(pixels, header, writeTemp("grey2x2.hwl", bytes), true).ok());
    EXPECT_EQ(pixels, std::vector<uint8_t>(4, 100));
    bytes[7] = 16; // an unknown depth leaves the buffer alone
    pixels = {1, 2, 3};
    EXPECT_TRUE(decodeHwl(pixels, header, writeTemp("depth16.hwl", bytes), true).ok());
    EXPECT_EQ(header.bitsPerPixel, 16);
    EXPECT_EQ(pixels, (std::vector<uint8_t>{1, 2, 3}));
    const double in[] = {-0.4, 0.5, 1.5, 2.5, 254.5, 255, 300, std::nan("")};
    const uint8_t out[] = {0, 0, 2, 2, 254, 255, 255, 0}; // half to even, clamped
    for (size_t i = 0; i < std::size(in); ++i) EXPECT_EQ(channelToByte(in[i]), out[i]) << in[i];
}

// Random streams with every symbol pattern the format allows (runs of any
// length, odd value widths, odd tables) decode to the reference's bytes;
// ramps of zero details exercise the smoothing rule.
TEST(HwlDecoder, MatchesReferenceOnRandomFiles) {
    std::mt19937 rng(1234);
    for (int trial = 0; trial < 300; ++trial) {
        FileBuilder b;
        b.levels = int(rng() % 4);
        // The last trials are large enough to be decoded in bands on threads,
        // with few distinct values, so that the smoothing rule's equal
        // neighbours meet the band borders.
        const bool large = trial >= 294;
        const int block = 1 << (b.levels + 1), most = trial < 250 ? 4 : 12;
        const int least = large ? 256 / block : 1;
        b.width = block * int(least + rng() % most);
        b.height = block * int(least + rng() % most);
        b.bitsPerPixel = rng() % 2 ? 24 : 8;
        for (int p = 0; p < (b.bitsPerPixel == 8 ? 1 : 3); ++p) {
            PlaneStreams s;
            s.bits = int(rng() % 9);
            for (int i = 0; i < b.levels + 2; ++i) // zero, negative and odd factors
                s.table.push_back(rng() % 6 == 0   ? 0.0
                                  : rng() % 5 == 0 ? -0.37
                                                   : (rng() % 1000) / 97.0);
            const uint32_t top = (1u << s.bits) - 1;
            for (int j = 0, count = b.width * b.height; j < count;) {
                const int kind = int(rng() % 10);
                if (kind < 3 && count - j > 1) { // a run that fits
                    const uint32_t r = rng() % std::min<uint32_t>(4u << s.bits, count - j);
                    s.symbols.insert(s.symbols.end(), {1, uint8_t(r >> s.bits)});
                    s.values.push_back(r & top);
                    j += int(r) + 1;
                    continue;
                }
                s.symbols.push_back(kind < 5 ? 0 : rng() % 2 ? 2 : 3);
                if (kind >= 5) s.values.push_back(large ? top * (rng() % 4 == 0) : rng() & top);
                ++j;
            }
            b.planes.push_back(s);
        }
        const std::vector<uint8_t> bytes = b.build();
        std::vector<uint8_t> expected, actual;
        ASSERT_TRUE(reference::decode(bytes, expected));
        const HwlError error = decode(bytes, &actual);
        ASSERT_TRUE(error.ok()) << error.message;
        ASSERT_EQ(actual, expected) << "trial " << trial;
        // The same rows handed out in bands, from several threads at once.
        std::vector<uint8_t> banded(expected.size());
        std::mutex lock;
        HwlHeader header{};
        const size_t rowBytes = expected.size() / b.height;
        ASSERT_TRUE(decodeHwlRows(header, bytes.data(), bytes.size(),
                                  [&](int first, int count, const uint8_t* rows) {
                                      const std::lock_guard<std::mutex> hold(lock);
                                      std::copy_n(rows, rowBytes * count,
                                                  banded.begin() + rowBytes * first);
                                  })
                        .ok());
        ASSERT_EQ(banded, expected) << "trial " << trial;
    }
}

// Threads decode bands of rows, each warming up at its first pair: started
// at any pair, the rows must be those of a decode from the top. A blocky
// picture gives the equal neighbours the smoothing rule looks at.
TEST(HwlDecoder, RowsStartedAtAnyPairMatchAWholeDecode) {
    constexpr int kSide = 64, kBlock = 4;
    std::mt19937 rng(7);
    std::vector<uint8_t> rgb(kSide * kSide * 3);
    for (int y = 0; y < kSide; y += kBlock)
        for (int x = 0; x < kSide; x += kBlock) {
            const uint8_t shade = uint8_t(60 * (rng() % 3) + 40);
            for (int i = 0; i < kBlock * kBlock; ++i)
                std::fill_n(&rgb[((y + i / kBlock) * kSide + x + i % kBlock) * 3], 3, shade);
        }
    std::vector<uint8_t> bytes, whole;
    ASSERT_TRUE(encodeHwl(bytes, {rgb.data(), kSide, kSide, 3}, {3, {8, 6, 6}, 12.0, false}).ok());
    ASSERT_TRUE(decode(bytes, &whole).ok());
    HwlPlanes read;
    ASSERT_TRUE(readHwlPlanesFromStream(bytes.data(), bytes.size(), read).ok());
    std::vector<int16_t> wide[kMaxPlanes];
    CoefficientPlanes planes;
    planes.width = planes.height = kSide;
    planes.levels = 3;
    planes.planeCount = 3;
    planes.tables = read.tables;
    for (int p = 0; p < 3; ++p) {
        wide[p].assign(read.coefficients[p].begin(), read.coefficients[p].end());
        planes.wide[p] = wide[p].data();
    }
    const size_t pairBytes = 2 * kSide * 4;
    for (int first = 0; first < kSide / 2; ++first) {
        RowDecoder decoder;
        startRowDecoder(decoder, planes, first);
        std::vector<uint8_t> rows((kSide / 2 - first) * pairBytes);
        decodeRowPairs(decoder, kSide / 2 - first, rows.data());
        ASSERT_TRUE(std::equal(rows.begin(), rows.end(), whole.begin() + first * pairBytes))
            << "started at pair " << first;
    }
}

TEST(HwlBadFiles, TruncationsMissingFilesAndSmallBuffersNameTheFault) {
    const std::vector<uint8_t> bytes = colourFile();
    for (size_t size = 0; size < bytes.size(); ++size) {
        const HwlError error = decode({bytes.begin(), bytes.begin() + size});
        ASSERT_EQ(error.status, HwlStatus::ReadError) << size;
        EXPECT_NE(error.message.find("bad.hwl"), std::string::npos);
    }
    std::vector<uint8_t> pixels(10);
    HwlHeader header{};
    EXPECT_EQ(decodeHwlMemory(pixels, header, bytes.data(), bytes.size(), false, "x").status,
              HwlStatus::InvalidArgument);
    // Sizes count whole files, header included, from memory or from a file.
    const std::string ends = "ends early: 100 of the " + std::to_string(bytes.size()) + " bytes";
    EXPECT_NE(decode({bytes.begin(), bytes.begin() + 100}).message.find(ends), std::string::npos);
    const std::string cut = writeTemp("cut.hwl", {bytes.begin(), bytes.begin() + 100});
    EXPECT_NE(decodeHwl(pixels, header, cut, true).message.find(ends), std::string::npos);
    const std::pair<std::string, HwlStatus> files[] = {
        {testing::TempDir() + "no_such_file.hwl", HwlStatus::FileNotFound},
        {writeTemp("short.hwl", {'H', 'W', 'L', 2}), HwlStatus::ReadError}};
    for (const auto& [path, status] : files) {
        const HwlError error = decodeHwl(pixels, header, path, true);
        EXPECT_EQ(error.status, status);
        EXPECT_NE(error.message.find(path.substr(path.rfind('/') + 1)), std::string::npos);
    }
}

TEST(HwlBadFiles, BrokenHeadersStreamsAndRandomCorruptionAreRefusedSafely) {
    const std::vector<uint8_t> good = colourFile();
    // Sizes not multiples of 8, more than 16 levels, value widths above 8, a
    // symbol count beyond the pixels.
    for (auto [offset, value] :
         {std::pair{3, 12}, {5, 6}, {8, 17}, {33, 9}, {35, 200}, {12, 0xFF}}) {
        std::vector<uint8_t> bytes = good;
        bytes[offset] = uint8_t(value);
        EXPECT_EQ(decode(bytes).status, HwlStatus::InvalidFile) << offset;
    }
    // Symbols too few or too many, a value left over, runs past the end or cut.
    for (const PlaneStreams& plane : std::vector<PlaneStreams>{{{0, 1}, {2, 0, 0}, {9}, 8},
                                                               {{0, 1}, {2, 0, 0, 0, 0}, {9}, 8},
                                                               {{0, 1}, {2, 0, 0, 0}, {9, 9}, 8},
                                                               {{0, 1}, {2, 1, 0}, {9, 5}, 8},
                                                               {{0, 1}, {2, 0, 0, 1}, {9, 0}, 8}}) {
        const HwlError error = decode(grey2x2(plane).build());
        EXPECT_EQ(error.status, HwlStatus::InvalidFile) << error.message;
    }
    // 65534 x 65534 fits the levels but is refused before allocating.
    std::vector<uint8_t> header(36, 0);
    header[3] = header[5] = 0xFE;
    header[4] = header[6] = 0xFF;
    header[7] = 24;
    const HwlError error = decode(header);
    EXPECT_EQ(error.status, HwlStatus::InvalidFile);
    EXPECT_NE(error.message.find("larger than the decoder accepts"), std::string::npos);
    // 4096 x 4096 from a few hundred symbols: refused before the picture's
    // buffers are allocated.
    std::vector<uint8_t> claim = good;
    claim[4] = claim[6] = 0x10;
    const HwlError tooFew = decode(claim);
    EXPECT_NE(tooFew.message.find("symbols reach at most"), std::string::npos) << tooFew.message;
    std::mt19937 rng(99);
    int decoded = 0;
    for (int trial = 0; trial < 1500; ++trial) {
        std::vector<uint8_t> bytes = good;
        for (int i = 0, flips = 1 + int(rng() % 4); i < flips; ++i)
            bytes[rng() % bytes.size()] = uint8_t(rng());
        if (rng() % 4 == 0) bytes.resize(rng() % bytes.size());
        decoded += decode(bytes).ok();
    }
    EXPECT_GT(decoded, 0); // some corruptions only change pixel values
}
