// The layer store, the operation lists, the description file and its text,
// and validation.
#include <algorithm>
#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <unistd.h>
#include <utility>

#include "texgen/interpreter.h"
#include "texgen/layer_fixture.h"
#include "texgen/operator_table.h"
#include "texgen/text_compile.h"
#include "texgen/text_export.h"
#include "texgen/validate.h"

namespace texgen {
namespace {

// The numeric helpers' edges, the layer store, the operation lists, the
// description file and loading.
constexpr int32_t kSubPlasma = 0, kColorLayer = 4, kInvertLayer = 30, kBlurLayer = 33;

Px rgb(Rgb c) {
    return {c.r, c.g, c.b};
}

std::string tempPath(const std::string& name) {
    return testing::TempDir() + "texgen_" + std::to_string(::getpid()) + name;
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
    rgbToHsv(255, 0, 128, h, s, v); // a negative sector is folded up by 360
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
    std::ofstream(path, std::ios::binary) << std::string(kDescriptionBytes - 1, '\0');
    EXPECT_EQ(readDescription(path, *description).kind, ErrorKind::ShortRead);
    std::vector<uint8_t> bytes(kDescriptionBytes + 7, 0xEE); // bytes after 22020 are ignored
    std::fill(bytes.begin(), bytes.begin() + kDescriptionBytes, 0);
    std::ofstream(path, std::ios::binary).write((const char*)bytes.data(), bytes.size());
    ASSERT_TRUE(readDescription(path, *description).ok());
    uint32_t* pixels = nullptr;
    EXPECT_EQ(loadTextureDescription(pixels, missing, 4, 4, true).kind, ErrorKind::FileNotFound);
    EXPECT_EQ(pixels, nullptr);
    append(*description, 4, kColorLayer, record({4, 255, 0, 0}));
    ASSERT_TRUE(writeDescription(path, *description).ok());
    EXPECT_EQ(std::filesystem::file_size(path), 22020u);
    ASSERT_TRUE(loadTextureDescription(pixels, path, 4, 2, true).ok());
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
    EXPECT_EQ(status.message,
              "layer 2, operation 0: blurLayer: parameter 1 (dst) is 5, not a layer 0..4");
    EXPECT_EQ(pixels, std::vector<uint32_t>(4, 77));
    EXPECT_EQ(layerData[0], nullptr);
    description->lists[2].count = 101;
    status = renderDescription(*description, 2, 2, pixels.data());
    EXPECT_EQ(status.message, "layer 2: operation count 101 is outside 0..100");
    description->lists[2].count = -1;
    EXPECT_EQ(renderDescription(*description, 2, 2, pixels.data()).kind, ErrorKind::Invalid);
    // Sizes must be powers of two from 2 to 4096.
    for (int32_t size : {-4, 0, 1, 3, 6, 8192, INT32_MIN})
        EXPECT_FALSE(isValidLayerSize(size)) << size;
    EXPECT_TRUE(isValidLayerSize(4096));
    EXPECT_EQ(initLayers(4, 12).kind, ErrorKind::BadSize);
    EXPECT_EQ(renderDescription(*description, 1, 64, pixels.data()).kind, ErrorKind::BadSize);
    uint32_t* none = nullptr;
    EXPECT_EQ(loadTextureDescription(none, "whatever", 8192, 2, true).kind, ErrorKind::BadSize);
    EXPECT_EQ(none, nullptr);
}

TEST(LayerLists, AddSetAndRefuse) {
    Layers layers(8, 8);
    operationLists[3].count = 7;
    std::fill(layerData[3], layerData[3] + layerByteCount(), 0xAB);
    ASSERT_TRUE(initLayers(4, 2).ok()); // clears layers and lists
    EXPECT_EQ(operationLists[3].count, 0);
    EXPECT_EQ((std::array{layerWidth, layerHeight, wrapMaskX, wrapMaskY}),
              (std::array{4, 2, 3, 1}));
    EXPECT_EQ(bytesOf(3), std::vector<uint8_t>(24, 0));
    // A generator starts a fresh list and runs at once.
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(addOperation(1, false, kInvertLayer, record({1, 1}), -1).ok());
    ASSERT_TRUE(addOperation(1, true, kColorLayer, record({1, 5, 6, 7}), -1).ok());
    EXPECT_EQ(operationLists[1].count, 1);
    EXPECT_EQ(px(1, 3, 1), (Px{5, 6, 7}));
    // Indexed add and set replace without running.
    ASSERT_TRUE(addOperation(0, false, kInvertLayer, record({0, 0}), -1).ok());
    ASSERT_TRUE(addOperation(0, true, kColorLayer, record({0, 200, 0, 0}), 3).ok());
    ASSERT_TRUE(setOperation(0, 0, kBlurLayer, record({0, 0})).ok());
    EXPECT_EQ(operationLists[0].count, 1);
    EXPECT_EQ(operationLists[0].params[3].value[1], 200.0f);
    EXPECT_EQ(operationLists[0].opcode[0], kBlurLayer);
    EXPECT_EQ(px(0, 0, 0), grey(0));
    EXPECT_EQ(setOperation(0, 100, kBlurLayer, record({0, 0})).kind, ErrorKind::BadArgument);
    EXPECT_EQ(addOperation(5, false, kBlurLayer, record({0, 0}), -1).kind, ErrorKind::BadArgument);
    EXPECT_EQ(addOperation(-1, false, kBlurLayer, record({0, 0}), 0).kind, ErrorKind::BadArgument);
    for (int i = 0; i < kMaxOperations; ++i)
        addOperation(2, false, kInvertLayer, record({2, 2}), -1);
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
    for (float flag : {0.999f, 2.0f, -1.0f, 1.0f}) {
        ASSERT_TRUE(runOperation(kSubPlasma, record({0, 1, 99, 256, flag})).ok());
        EXPECT_EQ(bytesOf(0) == plain, flag != 1.0f) << flag;
    }
    const std::vector<uint8_t> before = bytesOf(0);
    randomSeed = 12345;
    for (int32_t opcode : {9, 18, 19, 27, 28, 29, 52, 60, -1, INT32_MIN})
        EXPECT_TRUE(runOperation(opcode, record({0, 0, 0, 0, 0})).ok()) << opcode;
    EXPECT_EQ(randomSeed, 12345u);
    EXPECT_EQ(bytesOf(0), before);
}

// Source text: export writes one line per operation with numbers formatted
// exactly and independently of the locale; compiling the text gives back
// operations that print and render identically; mistakes are reported at
// their line and column.
constexpr int32_t kMandelbrot = 7;

// Any value an operation may hold: whole and fractional (the stored float
// is truncated), tiny and large, within the parameter's range.
float randomValue(const ParamSpec& param, std::mt19937& random) {
    const double scale = std::pow(10.0, std::uniform_int_distribution<int>(-6, 6)(random));
    double value = std::uniform_real_distribution<double>(-1.0, 1.0)(random) * scale;
    value = std::clamp(param.kind == ParamKind::Layer ? value * kLayerCount : value, param.min,
                       param.max);
    if (param.kind == ParamKind::Bool) value = std::array{0.0, 1.0, 0.5}[random() % 3];
    return float(std::fabs(value) < param.minMagnitude ? param.minMagnitude : value);
}

ParameterRecord randomRecord(const OperatorInfo& info, std::mt19937& random) {
    ParameterRecord params{};
    for (int32_t slot = 0; slot < info.paramCount; ++slot)
        params.value[slot] = randomValue(info.params[slot], random);
    return params;
}

std::string recompiled(const std::string& line, ParameterRecord* back = nullptr) {
    int32_t opcode = -1;
    ParameterRecord params{};
    const auto error = compileOperation(line, opcode, params);
    if (error) return "error: " + error->message;
    if (back) *back = params;
    return operationToText(opcode, params);
}

std::vector<uint32_t> render(const TextureDescription& description, int32_t size) {
    std::vector<uint32_t> pixels(static_cast<size_t>(size) * size);
    const Status status = renderDescription(description, size, size, pixels.data());
    EXPECT_TRUE(status.ok()) << status.message;
    return pixels;
}

TEST(TextExport, LinesByOperatorKind) {
    const std::tuple<int32_t, ParameterRecord, const char*> lines[] = {
        {4, record({2, 255.9f, 128, 0}), "colorLayer(2,255,128,0);"},
        {0, record({0, 8, 1234, 256, 0.5f}), "subPlasma(0,8,1234,256,false);"},
        {7, record({0, -2, -1.5f, 1, 1.5f}), "mandelBrot(0,-2,3,-1.5,3,16);"},
        {2, record({1, 32, 7, 256, 128, 6, 1}), "perlinNoise(1,32,7,256,128,6,true);"},
        {42, record({0, 1, 2, 0.25f, -4}), "mapDistort(0,1,2,0.25,-4);"},
        // Integers truncate toward zero: -0.5 is written without a sign.
        {45, record({0, 1, -0.5f, -2.9f}), "moveDistort(0,1,0,-2);"},
        {8, record({0, 16777216, -2147483648.0f}), "cellMachine(0,16777216,-2147483648);"}};
    for (const auto& [opcode, params, line] : lines)
        EXPECT_EQ(operationToText(opcode, params), line);
    for (int32_t opcode : {9, 18, 52, -1, 1000})
        EXPECT_EQ(operationToText(opcode, {}), " ") << opcode;
}

TEST(TextExport, FloatsReadBackExactlyWhateverTheLocale) {
    const float values[] = {16.0f, 0.1f, -0.0f, 1e20f};
    const char* texts[] = {"16", "0.100000001490116", "-0", "1.00000002004088e+20"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(formatFloat(values[i]), texts[i]);
    for (float value : {1e-10f, 3.4028235e38f, 1.4e-45f, -7.25e-5f, 0.3f, 2.0f / 3.0f}) {
        const std::string text = formatFloat(value);
        float back = 0;
        std::from_chars(text.data(), text.data() + text.size(), back);
        EXPECT_EQ(back, value) << text;
    }
    const std::string before = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "nl_NL.UTF-8"}) {
        if (!std::setlocale(LC_NUMERIC, name)) continue; // where one is installed
        EXPECT_EQ(operationToText(3, record({0, 0.25f})), "particle(0,0.25);");
        break;
    }
    std::setlocale(LC_ALL, before.c_str());
}

TEST(TextExport, DescriptionHasOneHeaderPerLayer) {
    TextureDescription description{};
    description.lists[0] = {2, {4, 18}, {record({0, 1, 2, 3})}};
    description.lists[4] = {1, {33}, {record({0, 4})}};
    EXPECT_EQ(descriptionToText(description),
              "layer 0:\ncolorLayer(0,1,2,3);\n// opcode 18 is unused and skipped\n\n"
              "layer 1:\n\nlayer 2:\n\nlayer 3:\n\nlayer 4:\nblurLayer(0,4);\n");
}

TEST(TextCompile, EveryOperatorAndDescriptionRoundTripsThroughTextFileAndRender) {
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        for (const OperatorInfo& info : operatorTable()) {
            const std::string line = operationToText(info.opcode, randomRecord(info, random));
            EXPECT_EQ(recompiled(line), line);
        }
    }
    for (int round = 0; round < 6; ++round) {
        TextureDescription original{};
        for (OperationList& list : original.lists) {
            list.count = 1 + static_cast<int32_t>(random() % 5);
            for (int32_t i = 0; i < list.count; ++i) {
                const OperatorInfo& info = operatorTable()[random() % kOperatorCount];
                list.opcode[i] = info.opcode;
                list.params[i] = randomRecord(info, random);
            }
        }
        const std::string text = descriptionToText(original);
        TextureDescription compiled{}, reread{};
        const auto error = compileDescription(text, compiled);
        ASSERT_FALSE(error) << formatCompileError(*error) << "\n" << text;
        EXPECT_EQ(descriptionToText(compiled), text);
        std::vector<uint8_t> bytes(kDescriptionBytes);
        encodeDescription(compiled, bytes.data());
        decodeDescription(bytes.data(), reread);
        EXPECT_EQ(render(reread, 8), render(original, 8)) << text;
    }
}

TEST(TextCompile, MandelbrotWindowsReadBackToTheSameTextAndSize) {
    std::mt19937 random(3);
    const auto anyFloat = [&random] {
        const double magnitude =
            std::pow(10.0, std::uniform_real_distribution<double>(-9, 9)(random));
        return static_cast<float>(random() % 2 ? magnitude : -magnitude);
    };
    for (int round = 0; round < 2000; ++round) {
        ParameterRecord params{}, back{};
        params.value[1] = anyFloat();
        params.value[2] = anyFloat();
        params.value[3] = round % 7 == 0 ? params.value[1] : anyFloat();
        params.value[4] = round % 5 == 0 ? std::nextafter(params.value[2], 0.0f) : anyFloat();
        const std::string line = operationToText(kMandelbrot, params);
        ASSERT_EQ(recompiled(line, &back), line);
        // What the interpreter passes: single-precision differences.
        EXPECT_EQ(back.value[3] - back.value[1], params.value[3] - params.value[1]) << line;
        EXPECT_EQ(back.value[4] - back.value[2], params.value[4] - params.value[2]) << line;
    }
    // 0.1 is not a float, but left + 0.1f is: the rendered width is 0.1f.
    ParameterRecord params{};
    recompiled("mandelBrot(1,0.0009765625,0.1,-0.0009765625,0.1,16);", &params);
    EXPECT_EQ(params.value[3] - params.value[1], 0.1f);
    EXPECT_EQ(params.value[4] - params.value[2], 0.1f);
}

TEST(TextCompile, LayoutCommentsAndSpacesAreAccepted) {
    TextureDescription description{};
    ASSERT_FALSE(compileDescription("# a texture\n\n  layer 4 :   // the output\n\tcolorLayer( 4 , "
                                    "255,+0,  0 ) ;  # red\r\nlayer 0:\r\ninvertLayer(0,0);\r\n",
                                    description));
    EXPECT_EQ(descriptionToText(description),
              "layer 0:\ninvertLayer(0,0);\n\nlayer 1:\n\nlayer 2:\n\n"
              "layer 3:\n\nlayer 4:\ncolorLayer(4,255,0,0);\n");
}
TEST(TextCompile, MistakesAreReportedAtLineAndColumn) {
    std::string full = "layer 2:\n";
    for (int i = 0; i < kMaxOperations; ++i) full += "invertLayer(2,2);\n";
    TextureDescription description{};
    EXPECT_FALSE(compileDescription(full, description));
    const auto l0 = [](const std::string& line) { return "layer 0:\n" + line + "\n"; };
    const std::tuple<std::string, int32_t, int32_t, std::string> mistakes[] = {
        {l0("blurLayr(0,0);"), 2, 1, "unknown operator 'blurLayr'"},
        {l0("blurLayer 0,0);"), 2, 11, "expected '(' after 'blurLayer'"},
        {l0("blurLayer(0);"), 2, 12, "blurLayer takes 2 arguments, not 1"},
        {l0("blurLayer(0,0,1);"), 2, 16, "blurLayer takes 2 arguments, not 3"},
        {l0("woodLayer(0,1,2.5);"), 2, 15, "argument rotation: expected an integer, found '2.5'"},
        {l0("colorLayer(0,16777217,0,0);"), 2, 14,
         "argument red: '16777217' cannot be stored exactly as a float (nearest: "
         "16777216)"},
        {l0("woodLayer(0,7,2);"), 2, 13, "woodLayer: parameter 1 (dst) is 7, not a layer 0..4"},
        {l0("mandelBrot(0,3e38,3e38,-1.5,3,16);"), 2, 19,
         "mandelBrot: parameter 3 (right) is not a finite number"},
        // Bad bytes and runaway tokens are quoted escaped and cut short.
        {l0("blurLayer(0,\xff\x01);"), 2, 13,
         "argument dst: expected an integer, found '\\xff\\x01'"},
        {l0("blurLayer(0," + std::string(100000, '7') + ");"), 2, 13,
         "argument dst: '" + std::string(32, '7') + "...' (100000 bytes) is out of range"},
        {"blurLayer(0,0);\n", 1, 1, "operation outside a layer: start with a line 'layer L:'"},
        {"layer 5:\n", 1, 7, "expected a layer number 0..4 after 'layer'"},
        {"layer 1:\nlayer 1:\n", 2, 1, "layer 1 appears twice"},
        {full + "invertLayer(2,2);\n", 102, 1, "layer 2 already holds 100 operations"}};
    for (const auto& [text, line, column, message] : mistakes) {
        const auto error = compileDescription(text, description);
        ASSERT_TRUE(error) << text;
        EXPECT_EQ(formatCompileError(*error), "line " + std::to_string(line) + ", column " +
                                                  std::to_string(column) + ": " + message);
    }
}

// Validation: what must not run is refused with a message that names the
// parameter, and everything the operator table accepts runs safely, even at
// its limits (the sanitizer build checks memory).
// A valid record: layers 0, every other slot at the low end of its range
// (or its smallest magnitude where 0 is outside it).
ParameterRecord lowRecord(const OperatorInfo& info) {
    ParameterRecord params{};
    for (int32_t slot = 0; slot < info.paramCount; ++slot) {
        const ParamSpec& param = info.params[slot];
        const double value = std::clamp(0.0, param.min, param.max);
        params.value[slot] =
            float(std::fabs(value) < param.minMagnitude ? param.minMagnitude : value);
    }
    return params;
}

TEST(Validation, UnsafeParametersAreRefusedNamingTheParameter) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::tuple<int32_t, ParameterRecord, int32_t, const char*> refusals[] = {
        {0, record({0, 0, 1, 256, 1}), 1, "subPlasma: parameter 1 (step) is 0, outside 1..4096"},
        {5, record({0, 8, 0.5f}), 2,
         "checkerBoardLayer: parameter 2 (cellHeight) is 0, outside 1..2147483647"},
        {32, record({0, 1, 9}), 2, "woodLayer: parameter 2 (rotation) is 9, outside 0..8"},
        {44, record({0, 1, 5, 17}), 3, "noiseDistort: parameter 3 (bits) is 17, outside 0..16"},
        {46, record({0, 1, 0}), 2, "kaleidLayer: parameter 2 (quadrant) is 0, outside 1..4"},
        {41, record({0, 1, 2, 0}), 3,
         "twirlLayer: parameter 3 (radiusFactor) is 0, too close to 0 "
         "(it divides; magnitude at least 0.0009765625)"},
        {40, record({0, 1, nan, 1, 1, 1}), 2,
         "sineDistort: parameter 2 (rowFrequency) is not a finite number"},
        {4, record({0, 3e9f, 0, 0}), 1,
         "colorLayer: parameter 1 (red) is 3000000000, outside -2147483648..2147483647"},
        {23, record({0, 1, 1e7f, 0, 0}), 2,
         "adjustLayerHSV: parameter 2 (hueOffset) is 10000000, outside -5760..5760"},
        {7, record({0, -3e38f, 0, 3e38f, 1}), kNoSlot,
         "mandelBrot: the window width (right - left) is not finite"}};
    for (const auto& [opcode, params, slot, message] : refusals) {
        int32_t badSlot = 99;
        const Status status = validateOperation(opcode, params, &badSlot);
        EXPECT_EQ(status.kind, ErrorKind::Invalid) << message;
        EXPECT_EQ(status.message, message);
        EXPECT_EQ(badSlot, slot) << message;
    }
    EXPECT_TRUE(validateOperation(6, record({0, 7, 1000, 1})).ok()); // blob counts are clamped
}

// Every operator at both ends of every range runs on the smallest layers,
// square or not, without touching memory it does not own or running away.
TEST(Validation, EveryOperatorRunsAtTheLimitsOfItsRanges) {
    for (const auto& [width, height] : {std::pair{2, 2}, std::pair{4, 2}, std::pair{2, 8}}) {
        Layers layers(width, height);
        for (const OperatorInfo& info : operatorTable()) {
            for (int32_t slot = 0; slot < info.paramCount; ++slot) {
                const ParamSpec& param = info.params[slot];
                if (param.kind == ParamKind::Bool) continue;
                for (double end : {param.min, param.max}) {
                    // The largest grid steps are valid but slow; their
                    // arithmetic is the same at 256.
                    if (std::string(param.name) == "step") end = std::min(end, 256.0);
                    ParameterRecord params = lowRecord(info);
                    params.value[slot] = param.kind == ParamKind::Layer ? 4 : float(end);
                    // Skips what a float cannot hold (2^31 - 1) and mandelBrot's
                    // infinite widths.
                    if (!validateOperation(info.opcode, params).ok()) continue;
                    randomSeed = 1;
                    EXPECT_TRUE(runOperation(info.opcode, params).ok()) << info.name;
                }
            }
        }
    }
}

// Records made of awkward values: whatever validation lets through runs
// safely; nothing else runs.
TEST(Validation, AwkwardRecordsAreRefusedOrRunSafely) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = INFINITY;
    const float awkward[] = {0,  1,   -1,  0.5f, -0.5f, 2,    4,     4.99f, 5,   8,   9,    16,
                             17, 255, 256, -256, 1e-6f, 1e9f, -1e9f, 3e38f, nan, inf, -inf, 65536};
    std::mt19937 random(5);
    Layers layers(4, 4);
    int ran = 0;
    for (int round = 0; round < 20000; ++round) {
        const auto opcode = static_cast<int32_t>(random() % 56) - 2;
        ParameterRecord params{};
        for (float& value : params.value) value = awkward[random() % std::size(awkward)];
        for (int slot = 0; slot < 3; ++slot) // mostly layers, or almost nothing would pass
            if (random() % 4 != 0) params.value[slot] = static_cast<float>(random() % 5);
        if (!validateOperation(opcode, params).ok()) {
            EXPECT_FALSE(runOperation(opcode, params).ok());
            continue;
        }
        ASSERT_TRUE(runOperation(opcode, params).ok());
        ++ran;
    }
    EXPECT_GT(ran, 1000);
}

} // namespace
} // namespace texgen
