// End-to-end tests of the texgen executable on programs written here.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "texgen/layers.h"
#include "texgen/text_compile.h"
#include "tools/tool_fixture.h"

namespace {

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A program in the form `texgen text` prints, using every family.
const char* const kProgram = "layer 0:\n"
                             "perlinNoise(0,16,1234,256,128,5,false);\n"
                             "\n"
                             "layer 1:\n"
                             "subPlasma(1,8,77,256,true);\n"
                             "blurLayer(1,1);\n"
                             "\n"
                             "layer 2:\n"
                             "mandelBrot(2,-2,3,-1.5,3,16);\n"
                             "twirlLayer(2,2,3.5,0.699999988079071);\n"
                             "\n"
                             "layer 3:\n"
                             "checkerBoardLayer(3,8,8,255,255,255,0,0,0);\n"
                             "sineDistort(3,3,0.100000001490116,2,0.100000001490116,2);\n"
                             "\n"
                             "layer 4:\n"
                             "addLayers(0,1,4,0.5,0.5);\n"
                             "mulLayers(4,2,4,1,1);\n"
                             "maxCombineLayers(4,3,4,1,0.300000011920929);\n"
                             "scaleLayerHSV(4,4,1,1.5,1);\n";

class TexgenTool : public ToolTest {
  protected:
    TexgenTool() : ToolTest("texgen") {}
    ToolRun texgen(const std::string& arguments) const { return run(arguments); }
};

} // namespace

TEST_F(TexgenTool, CompiledProgramPrintsBackIdentically) {
    writeText(path("demo.txt"), kProgram);
    ToolRun run = texgen("compile " + path("demo.txt") + " " + path("demo.tex"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(fs::file_size(path("demo.tex")), 22020u);
    run = texgen("text " + path("demo.tex"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, kProgram);
    EXPECT_EQ(run.err, "");
}

TEST_F(TexgenTool, RenderWritesRawWordsAndTheSamePicture) {
    writeText(path("demo.txt"), kProgram);
    ASSERT_EQ(texgen("compile " + path("demo.txt") + " " + path("demo.tex")).exitCode, 0);
    ToolRun run =
        texgen("render " + path("demo.tex") + " " + path("demo.raw") + " --raw --size 32x16");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string raw = readText(path("demo.raw"));
    ASSERT_EQ(raw.size(), 32u * 16 * 4);

    // The words are what the library renders, least significant byte first.
    texgen::TextureDescription description{};
    ASSERT_FALSE(texgen::compileDescription(kProgram, description));
    std::vector<uint32_t> expected(32 * 16);
    ASSERT_TRUE(texgen::renderDescription(description, 32, 16, expected.data()).ok());
    for (size_t p = 0; p < expected.size(); ++p) {
        const auto byte = [&](int i) { return uint32_t(uint8_t(raw[4 * p + i])); };
        ASSERT_EQ(byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24, expected[p]) << p;
    }

    run = texgen("render " + path("demo.tex") + " " + path("demo.png") + " --size 32x16");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path("demo.png").c_str()));
    EXPECT_EQ(image.width, 32u);
    EXPECT_EQ(image.height, 16u);
    EXPECT_EQ(PNG_IMAGE_SAMPLE_CHANNELS(image.format), 3u);
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    for (size_t p = 0; p < expected.size(); ++p) {
        ASSERT_EQ(uint32_t(rgb[3 * p]) << 16 | uint32_t(rgb[3 * p + 1]) << 8 | rgb[3 * p + 2],
                  expected[p])
            << p;
    }

    ASSERT_EQ(texgen("render " + path("demo.tex") + " " + path("big.png")).exitCode, 0);
    png_image big{};
    big.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&big, path("big.png").c_str()));
    EXPECT_EQ(big.width, 256u); // the default size
    EXPECT_EQ(big.height, 256u);
    png_image_free(&big);
}

TEST_F(TexgenTool, FailuresGiveOneLineAndANonZeroExit) {
    const auto expectFailure = [](const ToolRun& run, const std::string& fragment) {
        EXPECT_NE(run.exitCode, 0);
        EXPECT_EQ(lineCount(run.err), 1) << run.err;
        EXPECT_NE(run.err.find(fragment), std::string::npos) << run.err;
    };
    expectFailure(texgen("text " + path("missing.tex")), "not found");
    writeText(path("short.tex"), std::string(100, '\0'));
    expectFailure(texgen("render " + path("short.tex") + " " + path("x.png")), "short read");

    writeText(path("bad.txt"), "layer 0:\ncolorLayer(0,1,2,3);\nwoodLayer(0,0,9);\n");
    expectFailure(texgen("compile " + path("bad.txt") + " " + path("bad.tex")),
                  "line 3, column 15: woodLayer: parameter 2 (rotation) is 9, outside 0..8");
    EXPECT_FALSE(fs::exists(path("bad.tex")));

    // A file whose list reaches into the scratch buffer is refused unrun.
    std::string bytes(22020, '\0');
    bytes[0] = 1;                // layer 0 count
    bytes[4] = 33;               // blurLayer
    bytes[404 + 4 + 2] = '\xa0'; // slot 1 = 5.0f (0x40a00000)
    bytes[404 + 4 + 3] = '\x40';
    writeText(path("scratch.tex"), bytes);
    expectFailure(texgen("render " + path("scratch.tex") + " " + path("x.png")),
                  "layer 0, operation 0: blurLayer: parameter 1 (dst) is 5, not a layer 0..4");
    expectFailure(texgen("text " + path("scratch.tex")), "not a layer 0..4");

    writeText(path("empty.txt"), "");
    ASSERT_EQ(texgen("compile " + path("empty.txt") + " " + path("empty.tex")).exitCode, 0);
    expectFailure(texgen("render " + path("empty.tex") + " " + path("x.png") + " --size 100x100"),
                  "--size 100x100");
    expectFailure(texgen("render"), "DESC");
    expectFailure(texgen("frobnicate"), "frobnicate");
}

TEST_F(TexgenTool, OpsListsEveryOperatorAndHelpWorksEverywhere) {
    ToolRun run = texgen("ops");
    ASSERT_EQ(run.exitCode, 0);
    for (const char* name : {"subPlasma", "mandelBrot", "randCombineLayers", "invertLayer",
                             "makeTilable", "logPolLayer", "erodeLayer", "dilateLayer"}) {
        EXPECT_NE(run.out.find(name), std::string::npos) << name;
    }
    EXPECT_NE(run.out.find("    51  dilateLayer"), std::string::npos);
    EXPECT_NE(run.out.find("step:int 1..4096"), std::string::npos);
    for (const char* command : {"", "render ", "text ", "compile ", "ops "}) {
        run = texgen(std::string(command) + "--help");
        EXPECT_EQ(run.exitCode, 0) << command;
        EXPECT_NE(run.out.find("Usage"), std::string::npos) << command;
    }
}
