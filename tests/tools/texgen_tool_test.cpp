// End-to-end tests of the texgen executable on programs written here.
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "texgen/layers.h"
#include "texgen/text_compile.h"
#include "tools/tool_fixture.h"

namespace {

// A program in the form `texgen text` prints, using every family.
const char* const kProgram =
    "layer 0:\nperlinNoise(0,16,1234,256,128,5,false);\n\n"
    "layer 1:\nsubPlasma(1,8,77,256,true);\nblurLayer(1,1);\n\n"
    "layer 2:\nmandelBrot(2,-2,3,-1.5,3,16);\ntwirlLayer(2,2,3.5,0.699999988079071);\n\n"
    "layer 3:\ncheckerBoardLayer(3,8,8,255,255,255,0,0,0);\n"
    "sineDistort(3,3,0.100000001490116,2,0.100000001490116,2);\n\n"
    "layer 4:\naddLayers(0,1,4,0.5,0.5);\nmulLayers(4,2,4,1,1);\n"
    "maxCombineLayers(4,3,4,1,0.300000011920929);\nscaleLayerHSV(4,4,1,1.5,1);\n";

// A description whose one operation writes into the scratch buffer (layer 5).
std::string scratchDescription() {
    std::string bytes(22020, '\0');
    bytes[0] = 1;                // layer 0 count
    bytes[4] = 33;               // blurLayer
    bytes[404 + 4 + 2] = '\xa0'; // slot 1 = 5.0f (0x40a00000)
    bytes[404 + 4 + 3] = '\x40';
    return bytes;
}

class TexgenTool : public ToolTest {
  protected:
    TexgenTool() : ToolTest("texgen") {}

    void SetUp() override {
        ToolTest::SetUp();
        if (HasFatalFailure()) return; // no folder of our own: write nothing
        std::ofstream(path("demo.txt"), std::ios::binary) << kProgram;
    }
};

} // namespace

// Compiled, printed back as text, and rendered: raw words are the library's
// own, least significant byte first; PNG pixels are their R, G, B bytes.
TEST_F(TexgenTool, CompilesPrintsBackAndRendersWhatTheLibraryRenders) {
    ToolRun run = this->run("compile " + path("demo.txt") + " " + path("demo.tex"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(fs::file_size(path("demo.tex")), 22020u);
    run = this->run("text " + path("demo.tex"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, kProgram);
    EXPECT_EQ(run.err, "");

    texgen::TextureDescription description{};
    ASSERT_FALSE(texgen::compileDescription(kProgram, description));
    std::vector<uint32_t> expected(32 * 16);
    ASSERT_TRUE(texgen::renderDescription(description, 32, 16, expected.data()).ok());
    const std::string tex = path("demo.tex") + " ";
    ASSERT_EQ(this->run("render " + tex + path("demo.raw") + " --raw --size 32x16").exitCode, 0);
    ASSERT_EQ(this->run("render " + tex + path("demo.png") + " --size 32x16").exitCode, 0);
    ASSERT_EQ(this->run("render " + tex + path("big.png")).exitCode, 0);
    const std::string raw = readText(path("demo.raw"));
    ASSERT_EQ(raw.size(), 32u * 16 * 4);
    const PngImage png = readPngFile(path("demo.png"));
    ASSERT_EQ(std::tie(png.width, png.height, png.channels), std::tuple(32, 16, 3));
    for (size_t p = 0; p < expected.size(); ++p) {
        const auto byte = [&](int i) { return uint32_t(uint8_t(raw[4 * p + i])); };
        ASSERT_EQ(byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24, expected[p]) << p;
        const uint8_t* rgb = &png.pixels[3 * p];
        ASSERT_EQ(uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2], expected[p]) << p;
    }
    const PngImage big = readPngFile(path("big.png"));
    EXPECT_EQ(std::tie(big.width, big.height), std::tuple(256, 256)); // the default size
}

TEST_F(TexgenTool, FailuresGiveOneLineAndANonZeroExit) {
    expectFailure("text " + path("missing.tex"), "not found");
    std::ofstream(path("short.tex")) << std::string(100, '\0');
    expectFailure("render " + path("short.tex") + " " + path("x.png"), "short read");
    // Files people take for descriptions, told by their first bytes.
    const std::pair<std::string, const char*> others[] = {
        {"\x89PNG\r\n\x1a\n" + std::string(30000, '\0'), "starts like a PNG picture"},
        {"\xff\xd8\xff\xe0" + std::string(30000, '\0'), "starts like a JPEG picture"},
        {"HWL" + std::string(30000, '\0'), "starts like an HWL file"},
        {"layer 0:\ncolorLayer(0,1,2,3);\n", "looks like a program (text)"}};
    for (const auto& [bytes, cause] : others) {
        std::ofstream(path("other"), std::ios::binary) << bytes;
        expectFailure("render " + path("other") + " " + path("x.png"), cause);
    }
    expectFailure("text " + path("other"), "'texgen compile " + path("other") + " OUT'");
    std::ofstream(path("bad.txt")) << "layer 0:\ncolorLayer(0,1,2,3);\nwoodLayer(0,0,9);\n";
    expectFailure("compile " + path("bad.txt") + " " + path("bad.tex"),
                  "line 3, column 15: woodLayer: parameter 2 (rotation) is 9, outside 0..8");
    EXPECT_FALSE(fs::exists(path("bad.tex")));

    std::ofstream(path("empty.txt")) << "";
    ASSERT_EQ(run("compile " + path("empty.txt") + " " + path("empty.tex")).exitCode, 0);
    expectFailure("render " + path("empty.tex") + " " + path("x.png") + " --size 100x100",
                  "--size 100x100");
    expectFailure("render", "DESC");
    expectFailure("frobnicate", "frobnicate");
}

// A description that cannot run is refused unrun by render, but text prints
// it with the reason above the operation, and compile refuses that line.
TEST_F(TexgenTool, TextPrintsADescriptionThatCannotRunSoItCanBeMended) {
    std::ofstream(path("scratch.tex"), std::ios::binary) << scratchDescription();
    const std::string fault = "blurLayer: parameter 1 (dst) is 5, not a layer 0..4";
    expectFailure("render " + path("scratch.tex") + " " + path("x.png"),
                  "layer 0, operation 0: " + fault);
    const ToolRun text = run("text " + path("scratch.tex"));
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_EQ(text.out.substr(0, text.out.find("\n\n")),
              "layer 0:\n// cannot run: " + fault + "\nblurLayer(0,5);");
    EXPECT_NE(text.err.find("texgen: note: " + path("scratch.tex") + ": 1 operation cannot run"),
              std::string::npos)
        << text.err;
    std::ofstream(path("scratch.txt"), std::ios::binary) << text.out;
    expectFailure("compile " + path("scratch.txt") + " " + path("again.tex"),
                  "line 3, column 13: " + fault);
}

TEST_F(TexgenTool, OpsListsEveryOperatorAndHelpWorksEverywhere) {
    ToolRun run = this->run("ops");
    ASSERT_EQ(run.exitCode, 0);
    for (const char* name : {"randCombineLayers", "    51  dilateLayer", "step:int 1..4096"}) {
        EXPECT_NE(run.out.find(name), std::string::npos) << name;
    }
    for (const char* command : {"--help", "render --help"}) {
        run = this->run(command);
        EXPECT_EQ(run.exitCode, 0) << command;
        EXPECT_NE(run.out.find("Usage"), std::string::npos) << command;
    }
}
