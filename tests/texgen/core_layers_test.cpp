// The layer store, the operation lists, the description file and loading.
#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "texgen/helpers.h"
#include "texgen/interpreter.h"
#include "texgen/layers.h"

using namespace texgen;

namespace {

constexpr int32_t kSubPlasma = 0;
constexpr int32_t kColorLayer = 4;
constexpr int32_t kInvertLayer = 30;
constexpr int32_t kBlurLayer = 33;

ParameterRecord record(std::initializer_list<float> values) {
    ParameterRecord params{};
    int slot = 0;
    for (float v : values) params.value[slot++] = v;
    return params;
}

void append(TextureDescription& description, int layer, int32_t opcode, ParameterRecord params) {
    OperationList& list = description.lists[layer];
    list.opcode[list.count] = opcode;
    list.params[list.count] = params;
    ++list.count;
}

std::string tempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("texgen_core_" + std::to_string(::getpid()) + "_" + name))
        .string();
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

uint32_t le32(const std::vector<uint8_t>& bytes, size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

std::vector<uint8_t> layerBytes(int layer) {
    const uint8_t* data = layerData[layer];
    return std::vector<uint8_t>(data, data + layerByteCount());
}

class LayerLists : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(initLayers(8, 8).ok()); }
    void TearDown() override { freeLayers(); }
};

} // namespace

TEST(DescriptionFile, LayoutIsLittleEndianBlocksOf4404Bytes) {
    auto description = std::make_unique<TextureDescription>();
    description->lists[2].count = 3;
    description->lists[2].opcode[1] = 0x01020304;
    description->lists[2].params[1].value[9] = 1.5f;
    description->lists[4].opcode[99] = -2;
    std::vector<uint8_t> bytes(kDescriptionBytes);
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
    std::vector<uint8_t> again(kDescriptionBytes);
    encodeDescription(*decoded, again.data());
    EXPECT_EQ(bytes, again);
}

TEST(DescriptionFile, MissingShortAndLongFiles) {
    auto description = std::make_unique<TextureDescription>();
    const std::string missing = tempPath("missing.tex");
    Status status = readDescription(missing, *description);
    EXPECT_EQ(status.kind, ErrorKind::FileNotFound);
    EXPECT_NE(status.message.find(missing), std::string::npos);
    EXPECT_NE(status.message.find("not found"), std::string::npos);

    const std::string path = tempPath("short.tex");
    writeBytes(path, std::vector<uint8_t>(kDescriptionBytes - 1));
    status = readDescription(path, *description);
    EXPECT_EQ(status.kind, ErrorKind::ShortRead);
    EXPECT_NE(status.message.find("short read"), std::string::npos);

    // Bytes after the first 22020 are ignored.
    std::vector<uint8_t> bytes(kDescriptionBytes + 7, 0xEE);
    std::fill(bytes.begin(), bytes.begin() + kDescriptionBytes, 0);
    bytes[4 * 4404] = 1; // layer 4 count
    writeBytes(path, bytes);
    ASSERT_TRUE(readDescription(path, *description).ok());
    EXPECT_EQ(description->lists[4].count, 1);

    uint32_t* pixels = nullptr;
    status = loadTextureDescription(pixels, missing, 4, 4, true);
    EXPECT_EQ(status.kind, ErrorKind::FileNotFound);
    EXPECT_EQ(pixels, nullptr);
    std::remove(path.c_str());
}

TEST(DescriptionFile, WriteThenLoadConvertsLayerFour) {
    auto description = std::make_unique<TextureDescription>();
    append(*description, 4, kColorLayer, record({4, 255, 0, 0}));
    const std::string path = tempPath("red.tex");
    ASSERT_TRUE(writeDescription(path, *description).ok());
    EXPECT_EQ(std::filesystem::file_size(path), 22020u);

    uint32_t* pixels = nullptr;
    ASSERT_TRUE(loadTextureDescription(pixels, path, 4, 2, true).ok());
    ASSERT_NE(pixels, nullptr);
    for (int p = 0; p < 8; ++p) EXPECT_EQ(pixels[p], 0x00FF0000u);
    delete[] pixels;
    EXPECT_EQ(layerData[0], nullptr); // released after the load

    description->lists[4].params[0] = record({4, 0, 0, 255});
    ASSERT_TRUE(writeDescription(path, *description).ok());
    std::vector<uint32_t> own(8, 0xDEADBEEF);
    uint32_t* target = own.data();
    ASSERT_TRUE(loadTextureDescription(target, path, 2, 4, false).ok());
    for (uint32_t word : own) EXPECT_EQ(word, 0x000000FFu);
    std::remove(path.c_str());
}

TEST(DescriptionFile, OnlyLayerFourReachesTheOutputAndLayersRunInOrder) {
    std::vector<uint32_t> pixels(16, 1);
    auto description = std::make_unique<TextureDescription>();
    ASSERT_TRUE(renderDescription(*description, 4, 4, pixels.data()).ok());
    for (uint32_t word : pixels) EXPECT_EQ(word, 0u);

    append(*description, 0, kColorLayer, record({0, 9, 9, 9}));
    ASSERT_TRUE(renderDescription(*description, 4, 4, pixels.data()).ok());
    for (uint32_t word : pixels) EXPECT_EQ(word, 0u);

    // Layer 0's list writes layer 4; layer 3's list then reads the finished
    // layer 0 and layer 4 as left by layer 0.
    append(*description, 0, kColorLayer, record({4, 10, 20, 30}));
    append(*description, 3, kInvertLayer, record({0, 3}));
    append(*description, 4, 10, record({4, 3, 4, 1, 0.5f})); // addLayers
    ASSERT_TRUE(renderDescription(*description, 4, 4, pixels.data()).ok());
    const uint32_t red = 10 + 246 / 2, green = 20 + 246 / 2, blue = 30 + 246 / 2;
    for (uint32_t word : pixels) EXPECT_EQ(word, red << 16 | green << 8 | blue);
}

TEST(DescriptionFile, InvalidFilesAreRefusedBeforeAnythingRuns) {
    auto description = std::make_unique<TextureDescription>();
    append(*description, 4, kColorLayer, record({4, 1, 2, 3}));
    append(*description, 2, kBlurLayer, record({0, 5})); // dst 5 is the scratch buffer
    std::vector<uint32_t> pixels(4, 77);
    Status status = renderDescription(*description, 2, 2, pixels.data());
    EXPECT_EQ(status.kind, ErrorKind::Invalid);
    EXPECT_EQ(status.message,
              "layer 2, operation 0: blurLayer: parameter 1 (dst) is 5, not a layer 0..4");
    for (uint32_t word : pixels) EXPECT_EQ(word, 77u);
    EXPECT_EQ(layerData[0], nullptr);

    description->lists[2].count = 101;
    status = renderDescription(*description, 2, 2, pixels.data());
    EXPECT_EQ(status.message, "layer 2: operation count 101 is outside 0..100");
    description->lists[2].count = -1;
    EXPECT_EQ(renderDescription(*description, 2, 2, pixels.data()).kind, ErrorKind::Invalid);
}

TEST(DescriptionFile, SizesMustBePowersOfTwoFrom2To4096) {
    for (int32_t size : {2, 4, 256, 4096}) EXPECT_TRUE(isValidLayerSize(size)) << size;
    for (int32_t size : {-4, 0, 1, 3, 6, 100, 8192, INT32_MIN}) {
        EXPECT_FALSE(isValidLayerSize(size)) << size;
    }
    EXPECT_EQ(initLayers(4, 12).kind, ErrorKind::BadSize);
    EXPECT_EQ(layerData[0], nullptr);
    auto description = std::make_unique<TextureDescription>();
    std::vector<uint32_t> pixels(64);
    EXPECT_EQ(renderDescription(*description, 1, 64, pixels.data()).kind, ErrorKind::BadSize);
    uint32_t* none = nullptr;
    EXPECT_EQ(loadTextureDescription(none, "whatever", 8192, 2, true).kind, ErrorKind::BadSize);
    EXPECT_EQ(none, nullptr);
}

TEST_F(LayerLists, InitClearsLayersAndLists) {
    operationLists[3].count = 7;
    std::fill(layerData[3], layerData[3] + layerByteCount(), 0xAB);
    ASSERT_TRUE(initLayers(4, 2).ok());
    EXPECT_EQ(operationLists[3].count, 0);
    EXPECT_EQ(layerWidth, 4);
    EXPECT_EQ(layerHeight, 2);
    EXPECT_EQ(wrapMaskX, 3);
    EXPECT_EQ(wrapMaskY, 1);
    for (uint8_t byte : layerBytes(3)) EXPECT_EQ(byte, 0);
}

TEST_F(LayerLists, AppendingAGeneratorStartsAFreshList) {
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(addOperation(1, false, kInvertLayer, record({1, 1}), -1).ok());
    }
    EXPECT_EQ(operationLists[1].count, 5);
    ASSERT_TRUE(addOperation(1, true, kColorLayer, record({1, 5, 6, 7}), -1).ok());
    EXPECT_EQ(operationLists[1].count, 1);
    EXPECT_EQ(operationLists[1].opcode[0], kColorLayer);
    EXPECT_EQ(pixelAt(1, 7, 7)[2], 7); // ran at once
}

TEST_F(LayerLists, IndexedAddAndSetReplaceWithoutRunning) {
    ASSERT_TRUE(addOperation(0, false, kColorLayer, record({0, 1, 1, 1}), -1).ok());
    ASSERT_TRUE(addOperation(0, false, kInvertLayer, record({0, 0}), -1).ok());
    ASSERT_TRUE(addOperation(0, true, kColorLayer, record({0, 200, 0, 0}), 3).ok());
    EXPECT_EQ(operationLists[0].count, 2);
    EXPECT_EQ(operationLists[0].params[3].value[1], 200.0f);
    EXPECT_EQ(pixelAt(0, 0, 0)[0], 0); // nothing ran
    ASSERT_TRUE(setOperation(0, 1, kBlurLayer, record({0, 0})).ok());
    EXPECT_EQ(operationLists[0].opcode[1], kBlurLayer);
    EXPECT_EQ(operationLists[0].count, 2);

    EXPECT_EQ(setOperation(0, 100, kBlurLayer, record({0, 0})).kind, ErrorKind::BadArgument);
    EXPECT_EQ(addOperation(5, false, kBlurLayer, record({0, 0}), -1).kind, ErrorKind::BadArgument);
    EXPECT_EQ(addOperation(-1, false, kBlurLayer, record({0, 0}), 0).kind, ErrorKind::BadArgument);
}

TEST_F(LayerLists, FullListsAndInvalidOperationsAreRefused) {
    for (int i = 0; i < kMaxOperations; ++i) {
        ASSERT_TRUE(addOperation(2, false, kInvertLayer, record({2, 2}), -1).ok());
    }
    Status status = addOperation(2, false, kInvertLayer, record({2, 2}), -1);
    EXPECT_EQ(status.kind, ErrorKind::ListFull);
    EXPECT_EQ(operationLists[2].count, 100);

    status = addOperation(3, true, kBlurLayer, record({3, 9}), -1);
    EXPECT_EQ(status.kind, ErrorKind::Invalid);
    EXPECT_EQ(operationLists[3].count, 0); // not stored
    EXPECT_EQ(setOperation(3, 0, kSubPlasma, record({3, 0, 1, 256, 0})).kind, ErrorKind::Invalid);

    freeLayers();
    EXPECT_EQ(addOperation(3, true, kInvertLayer, record({3, 3}), -1).kind,
              ErrorKind::NotInitialised);
    EXPECT_EQ(runOperation(kInvertLayer, record({3, 3})).kind, ErrorKind::NotInitialised);
}

TEST_F(LayerLists, UndoDropsTheLastOperationAndReplays) {
    ASSERT_TRUE(addOperation(1, true, kColorLayer, record({1, 10, 20, 30}), -1).ok());
    ASSERT_TRUE(addOperation(1, true, kInvertLayer, record({1, 1}), -1).ok());
    EXPECT_EQ(pixelAt(1, 3, 3)[0], 245);
    ASSERT_TRUE(undoOperation(1, true).ok());
    EXPECT_EQ(operationLists[1].count, 1);
    EXPECT_EQ(pixelAt(1, 3, 3)[0], 10); // the generator rebuilt the picture

    ASSERT_TRUE(undoOperation(1, true).ok());
    EXPECT_EQ(operationLists[1].count, 0);
    for (uint8_t byte : layerBytes(1)) EXPECT_EQ(byte, 0);

    std::fill(layerData[1], layerData[1] + layerByteCount(), 5);
    ASSERT_TRUE(undoOperation(1, true).ok()); // empty list: count stays 0, layer black
    EXPECT_EQ(operationLists[1].count, 0);
    for (uint8_t byte : layerBytes(1)) EXPECT_EQ(byte, 0);

    // Without rerun nothing is drawn.
    ASSERT_TRUE(addOperation(1, true, kColorLayer, record({1, 10, 20, 30}), -1).ok());
    ASSERT_TRUE(undoOperation(1, false).ok());
    EXPECT_EQ(pixelAt(1, 0, 0)[0], 10);
}

TEST_F(LayerLists, ParameterConversionTruncatesAndBooleansNeedExactlyOne) {
    ASSERT_TRUE(runOperation(kColorLayer, record({2.9f, 2.9f, -2.9f, 255.9f})).ok());
    const uint8_t* pixel = pixelAt(2, 0, 0);
    EXPECT_EQ(pixel[0], 2);
    EXPECT_EQ(pixel[1], 254); // -2 keeps its low 8 bits
    EXPECT_EQ(pixel[2], 255);

    // colour flag 0.999 and 2.0 behave as false, 1.0 as true.
    ASSERT_TRUE(runOperation(kSubPlasma, record({0, 1, 99, 256, 0})).ok());
    const std::vector<uint8_t> grey = layerBytes(0);
    for (float flag : {0.999f, 2.0f, -1.0f}) {
        ASSERT_TRUE(runOperation(kSubPlasma, record({0, 1, 99, 256, flag})).ok());
        EXPECT_EQ(layerBytes(0), grey) << flag;
    }
    ASSERT_TRUE(runOperation(kSubPlasma, record({0, 1, 99, 256, 1.0f})).ok());
    EXPECT_NE(layerBytes(0), grey);
}

TEST_F(LayerLists, UnusedOpcodesChangeNothingAndDrawNothing) {
    ASSERT_TRUE(runOperation(kColorLayer, record({0, 40, 50, 60})).ok());
    const std::vector<uint8_t> before = layerBytes(0);
    randomSeed = 12345;
    for (int32_t opcode : {9, 18, 19, 27, 28, 29, 52, 60, -1, INT32_MIN}) {
        EXPECT_TRUE(runOperation(opcode, record({0, 0, 0, 0, 0})).ok()) << opcode;
    }
    EXPECT_EQ(randomSeed, 12345u);
    EXPECT_EQ(layerBytes(0), before);
}
