// Source text: export writes one line per operation with numbers formatted
// exactly and independently of the locale; compiling the text gives back
// operations that print and render identically; mistakes are reported at
// their line and column.
#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <utility>

#include "texgen/layer_fixture.h"
#include "texgen/operator_table.h"
#include "texgen/text_compile.h"
#include "texgen/text_export.h"

namespace texgen {
namespace {

constexpr int32_t kMandelbrot = 7;

// Keeps random operations cheap on small layers: the loop-bounding
// parameters get small values, everything else spans a good part of its range.
double cheapLimit(const ParamSpec& param) {
    const std::string name = param.name;
    if (name == "step") return 16;
    if (name == "reach" || name == "radius") return 8;
    if (name == "weightA" || name == "weightB") return 2;
    return 1e6;
}

float randomValue(const ParamSpec& param, std::mt19937& random) {
    const double low = std::max(param.min, -cheapLimit(param));
    const double high = std::min(param.max, cheapLimit(param));
    switch (param.kind) {
    case ParamKind::Layer:
        return static_cast<float>(random() % kLayerCount);
    case ParamKind::Bool:
        return std::array<float, 3>{0.0f, 1.0f, 0.5f}[random() % 3];
    case ParamKind::Int: // fractions too: the stored float is truncated
        return static_cast<float>(std::uniform_real_distribution<double>(low, high)(random));
    case ParamKind::Float: {
        const double scale = std::pow(10.0, std::uniform_int_distribution<int>(-6, 3)(random));
        double value = std::uniform_real_distribution<double>(-1.0, 1.0)(random) * scale;
        value = std::clamp(value, low, high);
        if (std::fabs(value) < param.minMagnitude) value = param.minMagnitude;
        return static_cast<float>(value);
    }
    }
    return 0;
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
        {8, record({0, 16777216, -2147483648.0f}), "cellMachine(0,16777216,-2147483648);"},
    };
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
        EXPECT_EQ(render(reread, 16), render(original, 16)) << text;
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
    ParameterRecord params{};
    EXPECT_EQ(recompiled("mandelBrot(0,-2,3,-1.5,3,16);", &params),
              "mandelBrot(0,-2,3,-1.5,3,16);");
    EXPECT_EQ(params.value[3], 1.0f);
    EXPECT_EQ(params.value[4], 1.5f);
    // 0.1 is not a float, but left + 0.1f is: the rendered width is 0.1f.
    recompiled("mandelBrot(1,0.0009765625,0.1,-0.0009765625,0.1,16);", &params);
    EXPECT_EQ(params.value[3] - params.value[1], 0.1f);
    EXPECT_EQ(params.value[4] - params.value[2], 0.1f);
    // Near -0.7 floats are 2^-24 apart, so the width can only come close;
    // its printed form then compiles back to itself.
    const std::string printed = recompiled("mandelBrot(1,-0.7,0.1,0.2,0.05,16);", &params);
    EXPECT_NEAR(params.value[3] - params.value[1], 0.1f, std::ldexp(1.0f, -24));
    EXPECT_NEAR(params.value[4] - params.value[2], 0.05f, std::ldexp(1.0f, -26));
    EXPECT_EQ(recompiled(printed), printed);
}

TEST(TextCompile, LayoutCommentsAndSpacesAreAccepted) {
    TextureDescription description{};
    const auto error = compileDescription("# a texture\n\n  layer 4 :   // the output\n"
                                          "\tcolorLayer( 4 , 255,+0,  0 ) ;  # red\n"
                                          "layer 0:\r\ninvertLayer(0,0);\r\n",
                                          description);
    ASSERT_FALSE(error) << formatCompileError(*error);
    EXPECT_EQ(description.lists[4].count, 1);
    EXPECT_EQ(description.lists[4].params[0].value[1], 255.0f);
    EXPECT_EQ(description.lists[0].count, 1);
    EXPECT_EQ(description.lists[0].opcode[0], 30);
    EXPECT_EQ(description.lists[1].count, 0);
}

TEST(TextCompile, MistakesAreReportedAtLineAndColumn) {
    std::string full = "layer 2:\n";
    for (int i = 0; i < kMaxOperations; ++i) full += "invertLayer(2,2);\n";
    TextureDescription description{};
    EXPECT_FALSE(compileDescription(full, description));
    const auto l0 = [](const std::string& line) { return "layer 0:\n" + line + "\n"; };
    const std::tuple<std::string, int32_t, int32_t, const char*> mistakes[] = {
        {l0("blurLayr(0,0);"), 2, 1, "unknown operator 'blurLayr'"},
        {l0("blurLayer 0,0);"), 2, 11, "expected '(' after 'blurLayer'"},
        {l0("blurLayer(0,0)"), 2, 15, "expected ';' after ')'"},
        {l0("blurLayer(0);"), 2, 12, "blurLayer takes 2 arguments, not 1"},
        {l0("blurLayer(0,0); x"), 2, 17, "unexpected text after ';'"},
        {l0("woodLayer(0,1,2.5);"), 2, 15, "argument rotation: expected an integer, found '2.5'"},
        {l0("subPlasma(0,8,1,256,yes);"), 2, 21,
         "argument colour: expected true or false, found 'yes'"},
        {l0("particle(0,1.5x);"), 2, 12, "argument falloff: expected a number, found '1.5x'"},
        {l0("colorLayer(0,16777217,0,0);"), 2, 14,
         "argument red: '16777217' cannot be stored exactly as a float (nearest: 16777216)"},
        {l0("woodLayer(0,7,2);"), 2, 13, "woodLayer: parameter 1 (dst) is 7, not a layer 0..4"},
        {l0("mandelBrot(0,-2,3,-1.5,3,8);"), 2, 26, "mandelBrot: the escape limit is fixed at 16"},
        {l0("mandelBrot(9,-2,3,-1.5,3,16);"), 2, 12,
         "mandelBrot: parameter 0 (dst) is 9, not a layer 0..4"},
        {l0("mandelBrot(0,3e38,3e38,-1.5,3,16);"), 2, 19,
         "mandelBrot: parameter 3 (right) is not a finite number"},
        {"blurLayer(0,0);\n", 1, 1, "operation outside a layer: start with a line 'layer L:'"},
        {"layer 5:\n", 1, 7, "expected a layer number 0..4 after 'layer'"},
        {"layer 1:\nlayer 1:\n", 2, 1, "layer 1 appears twice"},
        {full + "invertLayer(2,2);\n", 102, 1, "layer 2 already holds 100 operations"},
    };
    for (const auto& [text, line, column, message] : mistakes) {
        const auto error = compileDescription(text, description);
        ASSERT_TRUE(error) << text;
        EXPECT_EQ(formatCompileError(*error), "line " + std::to_string(line) + ", column " +
                                                  std::to_string(column) + ": " + message);
    }
}

} // namespace
} // namespace texgen
