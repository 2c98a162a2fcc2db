// The numeric helpers' edges, the layer store, the operation lists, the
// description file and loading.
#include <bit>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include <unistd.h>

#include "texgen/interpreter.h"
#include "texgen/layer_fixture.h"

namespace texgen {
namespace {

constexpr int32_t kSubPlasma = 0, kColorLayer = 4, kInvertLayer = 30, kBlurLayer = 33;

Px rgb(Rgb c) {
    return {c.r, c.g, c.b};
}

std::string tempPath(const std::string& name) {
    return testing::TempDir() + "texgen_" + std::to_string(::getpid()) + name;
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

uint32_t le32(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
}

void append(TextureDescription& description, int layer, int32_t opcode, ParameterRecord params) {
    OperationList& list = description.lists[layer];
    list.opcode[list.count] = opcode;
    list.params[list.count++] = params;
}

// The operators' hand-worked values rest on these; here only what those
// values cannot show.
TEST(Helpers, EdgesOfTheNumericHelpers) {
    randomSeed = 0xFFFFFFFFu; // the state wraps modulo 2^32; draws are its high half
    EXPECT_EQ(nextRandom(), (0xFFFFFFFFu * 22695477u) >> 16);
    // Newton's iteration stops one above the floor at 8; no zero divisor at 2^32 - 1.
    for (auto [n, root] : {std::pair{0u, 0u}, {3u, 1u}, {8u, 3u}, {0xFFFFFFFFu, 65535u}})
        EXPECT_EQ(intSqrt(n), root) << n;
    EXPECT_NEAR(fastSqrt(10.0f), std::sqrt(10.0f), 0.1f);
    // A half step weights both neighbours 0.5: 127.5 truncates to 127; the
    // cosine is even.
    const Rgb black{0, 0, 0}, white{255, 255, 255}, a{10, 20, 30}, b{255, 0, 7};
    EXPECT_EQ(rgb(cosineBlend(black, white, black, white, 0.5f, 0.0f)), grey(127));
    EXPECT_EQ(rgb(cosineBlend(a, b, b, a, -0.3f, -0.7f)), rgb(cosineBlend(a, b, b, a, 0.3f, 0.7f)));
    Layers layers(8, 4);
    setPx(1, 0, 0, {1, 2, 3});
    setPx(1, 7, 0, {200, 150, 100});
    EXPECT_EQ(rgb(sampleLayer(1, -1.0f, 0.0f)), (Px{200, 150, 100}));
    EXPECT_EQ(rgb(sampleLayer(1, 8.0f, 4.0f)), (Px{1, 2, 3}));
    // -0.25 truncates to 0 and blends pixel 0 with pixel 1, like +0.25 does.
    EXPECT_EQ(rgb(sampleLayer(1, -0.25f, 0.0f)), rgb(sampleLayer(1, 0.25f, 0.0f)));
    sampleLayer(1, 3.0e9f, -3.0e9f); // beyond the integer range: stays inside
    sampleLayer(1, NAN, INFINITY);

    float h, s, v, r = -7, g = -7, bl = -7;
    rgbToHsv(255, 0, 128, h, s, v); // negative sector folded up by 360
    EXPECT_FLOAT_EQ(h, 360.0f - 128.0f / 255.0f * 60.0f);
    hsvToRgb(390, 1, 255, r, g, bl); // reduced to 30
    EXPECT_EQ((std::array{r, g, bl}), (std::array{255.0f, 127.5f, 0.0f}));
    r = g = bl = -7.0f; // just below 360 the sector rounds to 6: outputs left alone
    hsvToRgb(359.99997f, 1, 255, r, g, bl);
    EXPECT_EQ((std::array{r, bl}), (std::array{-7.0f, -7.0f}));
    hsvToRgb(INFINITY, 1, 255, r, g, bl); // absurd hues fold without looping for ever
    hsvToRgb(-1.0e30f, 1, 255, r, g, bl);
}

TEST(DescriptionFile, LayoutIsLittleEndianBlocksOf4404Bytes) {
    auto description = std::make_unique<TextureDescription>();
    description->lists[2].count = 3;
    description->lists[2].opcode[1] = 0x01020304;
    description->lists[2].params[1].value[9] = 1.5f;
    description->lists[4].opcode[99] = -2;
    std::vector<uint8_t> bytes(kDescriptionBytes), again(kDescriptionBytes);
    encodeDescription(*description, bytes.data());
    EXPECT_EQ(kDescriptionBytes, 22020);
    const size_t block = 2 * 4404;
    EXPECT_EQ(le32(bytes, block), 3u);
    EXPECT_EQ(bytes[block + 4 + 4 * 1], 0x04); // least significant byte first
    EXPECT_EQ(le32(bytes, block + 4 + 4 * 1), 0x01020304u);
    EXPECT_EQ(le32(bytes, block + 404 + 40 * 1 + 4 * 9), std::bit_cast<uint32_t>(1.5f));
    EXPECT_EQ(le32(bytes, 4 * 4404 + 4 + 4 * 99), 0xFFFFFFFEu);
    auto decoded = std::make_unique<TextureDescription>();
    decodeDescription(bytes.data(), *decoded);
    encodeDescription(*decoded, again.data());
    EXPECT_EQ(bytes, again);
}

TEST(DescriptionFile, ReadWriteAndLoadOnlyLayerFour) {
    auto description = std::make_unique<TextureDescription>();
    const std::string missing = tempPath("missing.tex"), path = tempPath("red.tex");
    Status status = readDescription(missing, *description);
    EXPECT_EQ(status.kind, ErrorKind::FileNotFound);
    EXPECT_NE(status.message.find(missing + "\": not found"), std::string::npos) << status.message;
    writeBytes(path, std::vector<uint8_t>(kDescriptionBytes - 1));
    status = readDescription(path, *description);
    EXPECT_EQ(status.kind, ErrorKind::ShortRead);
    EXPECT_NE(status.message.find("short read"), std::string::npos);
    std::vector<uint8_t> bytes(kDescriptionBytes + 7, 0xEE); // bytes after 22020 are ignored
    std::fill(bytes.begin(), bytes.begin() + kDescriptionBytes, 0);
    bytes[4 * 4404] = 1;
    writeBytes(path, bytes);
    ASSERT_TRUE(readDescription(path, *description).ok());
    EXPECT_EQ(description->lists[4].count, 1);
    uint32_t* pixels = nullptr;
    EXPECT_EQ(loadTextureDescription(pixels, missing, 4, 4, true).kind, ErrorKind::FileNotFound);
    EXPECT_EQ(pixels, nullptr);

    description->lists[4].count = 0;
    append(*description, 4, kColorLayer, record({4, 255, 0, 0}));
    ASSERT_TRUE(writeDescription(path, *description).ok());
    EXPECT_EQ(std::filesystem::file_size(path), 22020u);
    ASSERT_TRUE(loadTextureDescription(pixels, path, 4, 2, true).ok());
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(std::vector<uint32_t>(pixels, pixels + 8), std::vector<uint32_t>(8, 0x00FF0000u));
    delete[] pixels;
    EXPECT_EQ(layerData[0], nullptr); // released after the load
    description->lists[4].params[0] = record({4, 0, 0, 255});
    ASSERT_TRUE(writeDescription(path, *description).ok());
    std::vector<uint32_t> own(8, 0xDEADBEEF);
    pixels = own.data();
    ASSERT_TRUE(loadTextureDescription(pixels, path, 2, 4, false).ok());
    EXPECT_EQ(own, std::vector<uint32_t>(8, 0x000000FFu));
    std::remove(path.c_str());
}

TEST(DescriptionFile, LayersRunInOrderAndInvalidOnesAreRefusedBeforeAnythingRuns) {
    std::vector<uint32_t> pixels(16, 1);
    auto description = std::make_unique<TextureDescription>();
    ASSERT_TRUE(renderDescription(*description, 4, 4, pixels.data()).ok());
    EXPECT_EQ(pixels, std::vector<uint32_t>(16, 0));
    // Layer 0's list writes layer 4; layer 3's list then reads the finished
    // layer 0 and layer 4 as left by layer 0.
    append(*description, 0, kColorLayer, record({0, 9, 9, 9}));
    append(*description, 0, kColorLayer, record({4, 10, 20, 30}));
    append(*description, 3, kInvertLayer, record({0, 3}));
    append(*description, 4, 10, record({4, 3, 4, 1, 0.5f})); // addLayers
    ASSERT_TRUE(renderDescription(*description, 4, 4, pixels.data()).ok());
    EXPECT_EQ(pixels, std::vector<uint32_t>(16, 133u << 16 | 143u << 8 | 153u)); // + 246 / 2

    append(*description, 2, kBlurLayer, record({0, 5})); // dst 5 is the scratch buffer
    pixels.assign(4, 77);
    Status status = renderDescription(*description, 2, 2, pixels.data());
    EXPECT_EQ(status.kind, ErrorKind::Invalid);
    EXPECT_EQ(status.message,
              "layer 2, operation 0: blurLayer: parameter 1 (dst) is 5, not a layer 0..4");
    EXPECT_EQ(pixels, std::vector<uint32_t>(4, 77));
    EXPECT_EQ(layerData[0], nullptr);
    description->lists[2].count = 101;
    status = renderDescription(*description, 2, 2, pixels.data());
    EXPECT_EQ(status.message, "layer 2: operation count 101 is outside 0..100");
    description->lists[2].count = -1;
    EXPECT_EQ(renderDescription(*description, 2, 2, pixels.data()).kind, ErrorKind::Invalid);
}

TEST(DescriptionFile, SizesMustBePowersOfTwoFrom2To4096) {
    for (int32_t size : {2, 4, 256, 4096}) EXPECT_TRUE(isValidLayerSize(size)) << size;
    for (int32_t size : {-4, 0, 1, 3, 6, 100, 8192, INT32_MIN})
        EXPECT_FALSE(isValidLayerSize(size)) << size;
    EXPECT_EQ(initLayers(4, 12).kind, ErrorKind::BadSize);
    EXPECT_EQ(layerData[0], nullptr);
    std::vector<uint32_t> pixels(64);
    EXPECT_EQ(renderDescription(TextureDescription{}, 1, 64, pixels.data()).kind,
              ErrorKind::BadSize);
    uint32_t* none = nullptr;
    EXPECT_EQ(loadTextureDescription(none, "whatever", 8192, 2, true).kind, ErrorKind::BadSize);
    EXPECT_EQ(none, nullptr);
}

TEST(LayerLists, InitClearsAndAddingAGeneratorStartsAFreshListAndRuns) {
    Layers layers(8, 8);
    operationLists[3].count = 7;
    std::fill(layerData[3], layerData[3] + layerByteCount(), 0xAB);
    ASSERT_TRUE(initLayers(4, 2).ok());
    EXPECT_EQ(operationLists[3].count, 0);
    EXPECT_EQ((std::array{layerWidth, layerHeight, wrapMaskX, wrapMaskY}),
              (std::array{4, 2, 3, 1}));
    EXPECT_EQ(bytesOf(3), std::vector<uint8_t>(24, 0));

    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(addOperation(1, false, kInvertLayer, record({1, 1}), -1).ok());
    EXPECT_EQ(operationLists[1].count, 5);
    ASSERT_TRUE(addOperation(1, true, kColorLayer, record({1, 5, 6, 7}), -1).ok());
    EXPECT_EQ(operationLists[1].count, 1);
    EXPECT_EQ(operationLists[1].opcode[0], kColorLayer);
    EXPECT_EQ(px(1, 3, 1), (Px{5, 6, 7})); // ran at once

    // Indexed add and set replace without running.
    ASSERT_TRUE(addOperation(0, false, kInvertLayer, record({0, 0}), -1).ok());
    ASSERT_TRUE(addOperation(0, true, kColorLayer, record({0, 200, 0, 0}), 3).ok());
    EXPECT_EQ(operationLists[0].count, 1);
    EXPECT_EQ(operationLists[0].params[3].value[1], 200.0f);
    EXPECT_EQ(px(0, 0, 0), grey(0));
    ASSERT_TRUE(setOperation(0, 0, kBlurLayer, record({0, 0})).ok());
    EXPECT_EQ(operationLists[0].opcode[0], kBlurLayer);
    EXPECT_EQ(operationLists[0].count, 1);
    EXPECT_EQ(setOperation(0, 100, kBlurLayer, record({0, 0})).kind, ErrorKind::BadArgument);
    EXPECT_EQ(addOperation(5, false, kBlurLayer, record({0, 0}), -1).kind, ErrorKind::BadArgument);
    EXPECT_EQ(addOperation(-1, false, kBlurLayer, record({0, 0}), 0).kind, ErrorKind::BadArgument);
}

TEST(LayerLists, FullListsInvalidOperationsAndCallsBeforeInitAreRefused) {
    Layers layers(8, 8);
    for (int i = 0; i < kMaxOperations; ++i)
        ASSERT_TRUE(addOperation(2, false, kInvertLayer, record({2, 2}), -1).ok());
    EXPECT_EQ(addOperation(2, false, kInvertLayer, record({2, 2}), -1).kind, ErrorKind::ListFull);
    EXPECT_EQ(operationLists[2].count, 100);
    EXPECT_EQ(addOperation(3, true, kBlurLayer, record({3, 9}), -1).kind, ErrorKind::Invalid);
    EXPECT_EQ(operationLists[3].count, 0); // not stored
    EXPECT_EQ(setOperation(3, 0, kSubPlasma, record({3, 0, 1, 256, 0})).kind, ErrorKind::Invalid);
    freeLayers();
    EXPECT_EQ(addOperation(3, true, kInvertLayer, record({3, 3}), -1).kind,
              ErrorKind::NotInitialised);
    EXPECT_EQ(runOperation(kInvertLayer, record({3, 3})).kind, ErrorKind::NotInitialised);
}

TEST(LayerLists, UndoDropsTheLastOperationAndReplays) {
    Layers layers(8, 8);
    ASSERT_TRUE(addOperation(1, true, kColorLayer, record({1, 10, 20, 30}), -1).ok());
    ASSERT_TRUE(addOperation(1, true, kInvertLayer, record({1, 1}), -1).ok());
    EXPECT_EQ(px(1, 3, 3)[0], 245);
    ASSERT_TRUE(undoOperation(1, true).ok());
    EXPECT_EQ(operationLists[1].count, 1);
    EXPECT_EQ(px(1, 3, 3)[0], 10); // the generator rebuilt the picture
    for (int i = 0; i < 2; ++i) {  // the last, then an empty list: count 0, layer black
        ASSERT_TRUE(undoOperation(1, true).ok());
        EXPECT_EQ(operationLists[1].count, 0);
        expectLayer(1, grey(0));
        std::fill(layerData[1], layerData[1] + layerByteCount(), 5);
    }
    ASSERT_TRUE(addOperation(1, true, kColorLayer, record({1, 10, 20, 30}), -1).ok());
    ASSERT_TRUE(undoOperation(1, false).ok()); // without rerun nothing is drawn
    EXPECT_EQ(px(1, 0, 0)[0], 10);
}

TEST(LayerLists, ParametersTruncateBooleansNeedExactlyOneAndUnusedOpcodesDoNothing) {
    Layers layers(8, 8);
    ASSERT_TRUE(runOperation(kColorLayer, record({2.9f, 2.9f, -2.9f, 255.9f})).ok());
    EXPECT_EQ(px(2, 0, 0), (Px{2, 254, 255})); // -2 keeps its low 8 bits
    ASSERT_TRUE(runOperation(kSubPlasma, record({0, 1, 99, 256, 0})).ok());
    const std::vector<uint8_t> plain = bytesOf(0);
    for (float flag : {0.999f, 2.0f, -1.0f}) {
        ASSERT_TRUE(runOperation(kSubPlasma, record({0, 1, 99, 256, flag})).ok());
        EXPECT_EQ(bytesOf(0), plain) << flag;
    }
    ASSERT_TRUE(runOperation(kSubPlasma, record({0, 1, 99, 256, 1.0f})).ok());
    EXPECT_NE(bytesOf(0), plain);

    const std::vector<uint8_t> before = bytesOf(0);
    randomSeed = 12345;
    for (int32_t opcode : {9, 18, 19, 27, 28, 29, 52, 60, -1, INT32_MIN})
        EXPECT_TRUE(runOperation(opcode, record({0, 0, 0, 0, 0})).ok()) << opcode;
    EXPECT_EQ(randomSeed, 12345u);
    EXPECT_EQ(bytesOf(0), before);
}

} // namespace
} // namespace texgen
