// Compiling source text back into operations: exported text compiles to
// operations that print and render identically; mistakes are reported at
// their line and column.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "texgen/layers.h"
#include "texgen/operator_table.h"
#include "texgen/text_compile.h"
#include "texgen/text_export.h"

using namespace texgen;

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
    case ParamKind::Int: {
        // Fractions too: the stored float is truncated.
        const double value = std::uniform_real_distribution<double>(low, high)(random);
        return static_cast<float>(value);
    }
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
    for (int32_t slot = 0; slot < info.paramCount; ++slot) {
        params.value[slot] = randomValue(info.params[slot], random);
    }
    return params;
}

std::string recompiled(const std::string& line) {
    int32_t opcode = -1;
    ParameterRecord params{};
    const auto error = compileOperation(line, opcode, params);
    if (error) return "error: " + error->message;
    return operationToText(opcode, params);
}

CompileError errorOf(const std::string& source) {
    TextureDescription description{};
    const auto error = compileDescription(source, description);
    return error ? *error : CompileError{0, 0, "compiled"};
}

void expectError(const std::string& source, int32_t line, int32_t column,
                 const std::string& message) {
    const CompileError error = errorOf(source);
    EXPECT_EQ(error.line, line) << source;
    EXPECT_EQ(error.column, column) << source;
    EXPECT_EQ(error.message, message) << source;
}

std::vector<uint32_t> render(const TextureDescription& description, int32_t size) {
    std::vector<uint32_t> pixels(static_cast<size_t>(size) * size);
    const Status status = renderDescription(description, size, size, pixels.data());
    EXPECT_TRUE(status.ok()) << status.message;
    return pixels;
}

} // namespace

TEST(TextCompile, EveryOperatorRoundTripsThroughText) {
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        for (const OperatorInfo& info : operatorTable()) {
            const std::string line = operationToText(info.opcode, randomRecord(info, random));
            EXPECT_EQ(recompiled(line), line);
        }
    }
}

TEST(TextCompile, ProgramTextFileTextIsIdenticalAndRendersIdentically) {
    std::mt19937 random(11);
    for (int round = 0; round < 6; ++round) {
        TextureDescription original{};
        for (int layer = 0; layer < kLayerCount; ++layer) {
            OperationList& list = original.lists[layer];
            list.count = 1 + static_cast<int32_t>(random() % 5);
            for (int32_t i = 0; i < list.count; ++i) {
                const OperatorInfo& info = operatorTable()[random() % kOperatorCount];
                list.opcode[i] = info.opcode;
                list.params[i] = randomRecord(info, random);
            }
        }
        const std::string text = descriptionToText(original);
        TextureDescription compiled{};
        const auto error = compileDescription(text, compiled);
        ASSERT_FALSE(error) << formatCompileError(*error) << "\n" << text;
        EXPECT_EQ(descriptionToText(compiled), text);

        // Through the file format as well.
        std::vector<uint8_t> bytes(kDescriptionBytes);
        encodeDescription(compiled, bytes.data());
        TextureDescription reread{};
        decodeDescription(bytes.data(), reread);
        EXPECT_EQ(render(reread, 16), render(original, 16)) << text;
    }
}

TEST(TextCompile, MandelbrotWindowsReadBackToTheSameTextAndSize) {
    std::mt19937 random(3);
    const auto anyFloat = [&random] {
        const double magnitude =
            std::pow(10.0, std::uniform_real_distribution<double>(-9, 9)(random));
        const double sign = random() % 2 ? 1.0 : -1.0;
        return static_cast<float>(sign * magnitude);
    };
    for (int round = 0; round < 5000; ++round) {
        ParameterRecord params{};
        params.value[1] = anyFloat();
        params.value[2] = anyFloat();
        params.value[3] = round % 7 == 0 ? params.value[1] : anyFloat();
        params.value[4] = round % 5 == 0 ? std::nextafter(params.value[2], 0.0f) : anyFloat();
        const std::string line = operationToText(kMandelbrot, params);
        int32_t opcode = -1;
        ParameterRecord back{};
        ASSERT_FALSE(compileOperation(line, opcode, back)) << line;
        EXPECT_EQ(operationToText(opcode, back), line);
        // What the interpreter passes: single-precision differences.
        EXPECT_EQ(back.value[3] - back.value[1], params.value[3] - params.value[1]) << line;
        EXPECT_EQ(back.value[4] - back.value[2], params.value[4] - params.value[2]) << line;
    }
}

TEST(TextCompile, MandelbrotWrittenSizeIsTheSizeRendered) {
    int32_t opcode = -1;
    ParameterRecord params{};
    ASSERT_FALSE(compileOperation("mandelBrot(0,-2,3,-1.5,3,16);", opcode, params));
    EXPECT_EQ(opcode, kMandelbrot);
    EXPECT_EQ(params.value[3], 1.0f);
    EXPECT_EQ(params.value[4], 1.5f);

    // 0.1 is not a float, but left + 0.1f is: the rendered width is 0.1f.
    ASSERT_FALSE(
        compileOperation("mandelBrot(1,0.0009765625,0.1,-0.0009765625,0.1,16);", opcode, params));
    EXPECT_EQ(params.value[3] - params.value[1], 0.1f);
    EXPECT_EQ(params.value[4] - params.value[2], 0.1f);

    // Near -0.7 floats are 2^-24 apart, so the width can only come close;
    // its printed form then compiles back to itself.
    ASSERT_FALSE(compileOperation("mandelBrot(1,-0.7,0.1,0.2,0.05,16);", opcode, params));
    EXPECT_NEAR(params.value[3] - params.value[1], 0.1f, std::ldexp(1.0f, -24));
    EXPECT_NEAR(params.value[4] - params.value[2], 0.05f, std::ldexp(1.0f, -26));
    const std::string printed = operationToText(opcode, params);
    EXPECT_EQ(recompiled(printed), printed);
}

TEST(TextCompile, LayoutCommentsAndSpacesAreAccepted) {
    TextureDescription description{};
    const auto error = compileDescription("# a texture\n"
                                          "\n"
                                          "  layer 4 :   // the output\n"
                                          "\tcolorLayer( 4 , 255,+0,  0 ) ;  # red\n"
                                          "layer 0:\r\n"
                                          "invertLayer(0,0);\r\n",
                                          description);
    ASSERT_FALSE(error) << formatCompileError(*error);
    EXPECT_EQ(description.lists[4].count, 1);
    EXPECT_EQ(description.lists[4].params[0].value[1], 255.0f);
    EXPECT_EQ(description.lists[0].count, 1);
    EXPECT_EQ(description.lists[0].opcode[0], 30);
    EXPECT_EQ(description.lists[1].count, 0);
}

TEST(TextCompile, MistakesAreReportedAtLineAndColumn) {
    expectError("layer 0:\nblurLayr(0,0);\n", 2, 1, "unknown operator 'blurLayr'");
    expectError("layer 0:\nblurLayer 0,0);\n", 2, 11, "expected '(' after 'blurLayer'");
    expectError("layer 0:\nblurLayer(0,0)\n", 2, 15, "expected ';' after ')'");
    expectError("layer 0:\nblurLayer(0,0,1);\n", 2, 16, "blurLayer takes 2 arguments, not 3");
    expectError("layer 0:\nblurLayer(0);\n", 2, 12, "blurLayer takes 2 arguments, not 1");
    expectError("layer 0:\nblurLayer(0,,1);\n", 2, 13, "expected an argument");
    expectError("layer 0:\nblurLayer(0,0); x\n", 2, 17, "unexpected text after ';'");
    expectError("layer 0:\nwoodLayer(0,1,2.5);\n", 2, 15,
                "argument rotation: expected an integer, found '2.5'");
    expectError("layer 0:\nsubPlasma(0,8,1,256,yes);\n", 2, 21,
                "argument colour: expected true or false, found 'yes'");
    expectError("layer 0:\nparticle(0,1.5x);\n", 2, 12,
                "argument falloff: expected a number, found '1.5x'");
    expectError("layer 0:\ncolorLayer(0,16777217,0,0);\n", 2, 14,
                "argument red: '16777217' cannot be stored exactly as a float (nearest: 16777216)");
    expectError("layer 0:\nwoodLayer(0,7,2);\n", 2, 13,
                "woodLayer: parameter 1 (dst) is 7, not a layer 0..4");
    expectError("layer 0:\nmandelBrot(0,-2,3,-1.5,3,8);\n", 2, 26,
                "mandelBrot: the escape limit is fixed at 16");
    expectError("layer 0:\nmandelBrot(9,-2,3,-1.5,3,16);\n", 2, 12,
                "mandelBrot: parameter 0 (dst) is 9, not a layer 0..4");
    expectError("layer 0:\nmandelBrot(0,3e38,3e38,-1.5,3,16);\n", 2, 19,
                "mandelBrot: parameter 3 (right) is not a finite number");
    expectError("blurLayer(0,0);\n", 1, 1,
                "operation outside a layer: start with a line 'layer L:'");
    expectError("layer 5:\n", 1, 7, "expected a layer number 0..4 after 'layer'");
    expectError("layer 1\n", 1, 8, "expected ':' after layer 1");
    expectError("layer 1:\nlayer 1:\n", 2, 1, "layer 1 appears twice");

    std::string full = "layer 2:\n";
    for (int i = 0; i < kMaxOperations; ++i) full += "invertLayer(2,2);\n";
    EXPECT_EQ(errorOf(full).message, "compiled");
    full += "invertLayer(2,2);\n";
    expectError(full, 102, 1, "layer 2 already holds 100 operations");

    EXPECT_EQ(formatCompileError(CompileError{3, 7, "oops"}), "line 3, column 7: oops");
}
