// Files that break the format: every one gives an error value naming the
// file and the fault, never a crash or a read outside a buffer (the
// sanitizer build runs these too).
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "images/file_builder.h"
#include "images/hwl_decoder.h"
#include "images/hwl_encoder.h"

using namespace hwl;

namespace {

std::vector<uint8_t> validColourFile() {
    // A small real image: a gradient with an edge, encoded at L = 2.
    const int w = 16, h = 8, levels = 2;
    std::vector<double> r(w * h), g(w * h), b(w * h), y(w * h), u(w * h), v(w * h);
    for (int i = 0; i < w * h; ++i) {
        r[i] = (i % w) * 15;
        g[i] = (i / w) * 30;
        b[i] = (i % w) < 8 ? 40 : 220;
    }
    forwardHaarColour(r.data(), g.data(), b.data(), y.data(), u.data(), v.data(), w, h, w, levels);
    std::vector<int32_t> qy(w * h), qu(w * h), qv(w * h);
    double ty[18], tu[18], tv[18];
    quantisePlane(y.data(), qy.data(), w, h, levels, 7, ty);
    quantisePlane(u.data(), qu.data(), w, h, levels, 5, tu);
    quantisePlane(v.data(), qv.data(), w, h, levels, 3, tv);
    HwlEncodedImage image;
    image.width = w;
    image.height = h;
    image.levels = levels;
    image.planes[0] = qy.data();
    image.planes[1] = qu.data();
    image.planes[2] = qv.data();
    image.tables[0] = ty;
    image.tables[1] = tu;
    image.tables[2] = tv;
    image.valueBits[0] = 7;
    image.valueBits[1] = 5;
    image.valueBits[2] = 3;
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(writeHwlMemory(bytes, image).ok());
    return bytes;
}

HwlError decode(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> pixels;
    HwlHeader header{};
    return decodeHwlMemory(pixels, header, bytes.data(), bytes.size(), true, "bad.hwl");
}

void setU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(v >> (8 * i));
}

} // namespace

TEST(HwlBadFiles, EveryTruncationIsAReadError) {
    const std::vector<uint8_t> bytes = validColourFile();
    ASSERT_TRUE(decode(bytes).ok());
    for (size_t size = 0; size < bytes.size(); ++size) {
        const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + size);
        const HwlError error = decode(cut);
        ASSERT_EQ(error.status, HwlStatus::ReadError) << size;
        EXPECT_NE(error.message.find("bad.hwl"), std::string::npos);
    }
}

TEST(HwlBadFiles, BrokenHeaderConstraintsAreRefused) {
    const std::vector<uint8_t> good = validColourFile();
    struct Case {
        const char* what;
        size_t offset;
        uint8_t value;
    } cases[] = {
        {"width not a multiple of 8", 3, 12}, {"height not a multiple of 8", 5, 6},
        {"more than 16 levels", 8, 17},       {"value width 9", 33, 9},
        {"value width 200", 35, 200},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        bytes[c.offset] = c.value;
        const HwlError error = decode(bytes);
        EXPECT_EQ(error.status, HwlStatus::InvalidFile) << c.what;
        EXPECT_FALSE(error.message.empty());
    }
}

TEST(HwlBadFiles, StreamsThatDoNotAddUpAreRefused) {
    // Too few symbols, one symbol too many, a value left over, and a run
    // that passes the end of the plane.
    FileBuilder shortStream;
    shortStream.planes.push_back({{0, 1}, {2, 0, 0}, {9}, 8});
    FileBuilder extraSymbol;
    extraSymbol.planes.push_back({{0, 1}, {2, 0, 0, 0, 0}, {9}, 8});
    FileBuilder extraValue;
    extraValue.planes.push_back({{0, 1}, {2, 0, 0, 0}, {9, 9}, 8});
    FileBuilder longRun;
    longRun.planes.push_back({{0, 1}, {2, 1, 0}, {9, 5}, 8});
    FileBuilder danglingRun;
    danglingRun.planes.push_back({{0, 1}, {2, 0, 0, 1}, {9, 0}, 8});
    for (const FileBuilder* b : {&shortStream, &extraSymbol, &extraValue, &longRun, &danglingRun}) {
        const HwlError error = decode(b->build());
        EXPECT_EQ(error.status, HwlStatus::InvalidFile) << error.message;
    }
}

TEST(HwlBadFiles, HugeClaimedSizeIsRefusedWithoutAllocating) {
    // 36 bytes claiming 65535 x 65535 pixels (not a multiple of 2: refused),
    // then 65534 x 65534 (fits the levels but far too large).
    std::vector<uint8_t> header(36, 0);
    std::memcpy(header.data(), "HWL", 3);
    header[3] = header[4] = header[5] = header[6] = 0xFF;
    header[7] = 24;
    EXPECT_EQ(decode(header).status, HwlStatus::InvalidFile);
    header[3] = header[5] = 0xFE;
    const HwlError error = decode(header);
    EXPECT_EQ(error.status, HwlStatus::InvalidFile);
    EXPECT_NE(error.message.find("larger than the decoder accepts"), std::string::npos);
}

TEST(HwlBadFiles, CountsBeyondThePixelsAreRefusedBeforeReading) {
    std::vector<uint8_t> bytes = validColourFile();
    setU32(bytes, 9, 0xFFFFFFFF);
    EXPECT_EQ(decode(bytes).status, HwlStatus::InvalidFile);
}

TEST(HwlBadFiles, MissingAndShortFilesNameTheFile) {
    std::vector<uint8_t> pixels;
    HwlHeader header{};
    const std::string missing = testing::TempDir() + "no_such_file.hwl";
    HwlError error = decodeHwl(pixels, header, missing, true);
    EXPECT_EQ(error.status, HwlStatus::FileNotFound);
    EXPECT_NE(error.message.find("no_such_file.hwl"), std::string::npos);

    const std::string shortPath = testing::TempDir() + "short.hwl";
    std::FILE* f = std::fopen(shortPath.c_str(), "wb");
    std::fwrite("HWL\x02", 1, 4, f);
    std::fclose(f);
    error = decodeHwl(pixels, header, shortPath, true);
    EXPECT_EQ(error.status, HwlStatus::ReadError);
    EXPECT_NE(error.message.find("short.hwl"), std::string::npos);
}

TEST(HwlBadFiles, CallerBufferTooSmallIsRefused) {
    const std::vector<uint8_t> bytes = validColourFile();
    std::vector<uint8_t> pixels(10);
    HwlHeader header{};
    EXPECT_EQ(decodeHwlMemory(pixels, header, bytes.data(), bytes.size(), false, "x").status,
              HwlStatus::InvalidArgument);
}

TEST(HwlBadFiles, RandomCorruptionNeverCrashes) {
    const std::vector<uint8_t> good = validColourFile();
    std::mt19937 rng(99);
    int decoded = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        std::vector<uint8_t> bytes = good;
        const int flips = 1 + int(rng() % 4);
        for (int i = 0; i < flips; ++i) bytes[rng() % bytes.size()] = uint8_t(rng());
        if (rng() % 4 == 0) bytes.resize(rng() % bytes.size());
        decoded += decode(bytes).ok();
    }
    EXPECT_GT(decoded, 0); // some corruptions only change pixel values
}
