// Source-text export: one line per operation, numbers formatted exactly and
// independently of the locale.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <string>

#include "texgen/layers.h"
#include "texgen/operator_table.h"
#include "texgen/text_export.h"

using namespace texgen;

namespace {

ParameterRecord record(std::initializer_list<float> values) {
    ParameterRecord params{};
    int slot = 0;
    for (float v : values) params.value[slot++] = v;
    return params;
}

} // namespace

TEST(TextExport, LinesByOperatorKind) {
    EXPECT_EQ(operationToText(4, record({2, 255.9f, 128, 0})), "colorLayer(2,255,128,0);");
    EXPECT_EQ(operationToText(0, record({0, 8, 1234, 256, 1})), "subPlasma(0,8,1234,256,true);");
    EXPECT_EQ(operationToText(0, record({0, 8, 1234, 256, 0.5f})),
              "subPlasma(0,8,1234,256,false);");
    EXPECT_EQ(operationToText(7, record({0, -2, -1.5f, 1, 1.5f})), "mandelBrot(0,-2,3,-1.5,3,16);");
    EXPECT_EQ(operationToText(10, record({0, 1, 2, 0.5f, 1.5f})), "addLayers(0,1,2,0.5,1.5);");
    EXPECT_EQ(operationToText(22, record({0, 1, 300, -300, 0})), "adjustLayerRGB(0,1,300,-300,0);");
    EXPECT_EQ(operationToText(42, record({0, 1, 2, 0.25f, -4})), "mapDistort(0,1,2,0.25,-4);");
    EXPECT_EQ(operationToText(2, record({1, 32, 7, 256, 128, 6, 1})),
              "perlinNoise(1,32,7,256,128,6,true);");
    EXPECT_EQ(operationToText(6, record({3, 9, 4, 0})), "blobsLayer(3,9,4,false);");
    EXPECT_EQ(operationToText(51, record({4, 4})), "dilateLayer(4,4);");
}

TEST(TextExport, IntegersTruncateTowardZero) {
    // -0.5 truncates to zero, written without a sign; -2.9 to -2.
    EXPECT_EQ(operationToText(45, record({0, 1, -0.5f, -2.9f})), "moveDistort(0,1,0,-2);");
    EXPECT_EQ(operationToText(8, record({0, 16777216, -2147483648.0f})),
              "cellMachine(0,16777216,-2147483648);");
}

TEST(TextExport, UnusedOpcodesGiveASingleSpace) {
    for (int32_t opcode : {9, 18, 19, 27, 28, 29, 52, -1, 1000}) {
        EXPECT_EQ(operationToText(opcode, record({1, 2, 3})), " ") << opcode;
    }
}

TEST(TextExport, FloatsUpToFifteenDigitsReadBackExactly) {
    EXPECT_EQ(formatFloat(16.0), "16");
    EXPECT_EQ(formatFloat(0.5), "0.5");
    EXPECT_EQ(formatFloat(0.1f), "0.100000001490116");
    EXPECT_EQ(formatFloat(-0.0f), "-0");
    EXPECT_EQ(formatFloat(1e20f), "1.00000002004088e+20");
    EXPECT_EQ(formatFloat(123456789.0f), "123456792");
    for (float value : {1e-10f, 3.4028235e38f, 1.4e-45f, -7.25e-5f, 0.3f, 2.0f / 3.0f}) {
        const std::string text = formatFloat(value);
        float back = 0;
        std::from_chars(text.data(), text.data() + text.size(), back);
        EXPECT_EQ(back, value) << text;
    }
}

TEST(TextExport, NeitherReadsNorChangesTheProcessLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    EXPECT_EQ(operationToText(10, record({0, 1, 2, 0.5f, 1.5f})), "addLayers(0,1,2,0.5,1.5);");
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
    // Where a comma-decimal locale is installed, points stay points under it.
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "nl_NL.UTF-8"}) {
        if (!std::setlocale(LC_NUMERIC, name)) continue;
        EXPECT_EQ(operationToText(3, record({0, 0.25f})), "particle(0,0.25);");
        break;
    }
    std::setlocale(LC_ALL, before.c_str());
}

TEST(TextExport, EveryOperatorWritesItsNameAndArgumentCount) {
    for (const OperatorInfo& info : operatorTable()) {
        const std::string line = operationToText(info.opcode, ParameterRecord{});
        EXPECT_EQ(line.rfind(std::string(info.name) + "(", 0), 0u) << line;
        EXPECT_EQ(line.substr(line.size() - 2), ");") << line;
        const auto commas = std::count(line.begin(), line.end(), ',');
        const int arguments = info.opcode == 7 ? 6 : info.paramCount;
        EXPECT_EQ(commas, arguments - 1) << line;
    }
}

TEST(TextExport, DescriptionHasOneHeaderPerLayer) {
    TextureDescription description{};
    description.lists[0].count = 2;
    description.lists[0].opcode[0] = 4;
    description.lists[0].params[0] = record({0, 1, 2, 3});
    description.lists[0].opcode[1] = 18;
    description.lists[4].count = 1;
    description.lists[4].opcode[0] = 33;
    description.lists[4].params[0] = record({0, 4});
    EXPECT_EQ(descriptionToText(description), "layer 0:\n"
                                              "colorLayer(0,1,2,3);\n"
                                              "// opcode 18 is unused and skipped\n"
                                              "\n"
                                              "layer 1:\n"
                                              "\n"
                                              "layer 2:\n"
                                              "\n"
                                              "layer 3:\n"
                                              "\n"
                                              "layer 4:\n"
                                              "blurLayer(0,4);\n");
}
