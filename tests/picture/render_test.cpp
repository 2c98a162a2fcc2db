#include <gtest/gtest.h>

#include <fstream>

#include "tools/picture/colour_spread.h"
#include "tools/picture/render_entry.h"
#include "tools/picture/svg_render.h"
#include "tools/picture/texgen_render.h"

namespace picture {
namespace {

std::string writeFile(const std::string& name, const std::string& text) {
    const std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string svg(const std::string& body) {
    return "<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4' viewBox='0 0 4 4'>" +
           body + "</svg>";
}

const uint8_t* pixel(const Picture& picture, int x, int y) {
    return &picture.pixels[(size_t(y) * picture.width + x) * picture.channels];
}

int inkCount(const Picture& picture) {
    int count = 0;
    for (size_t i = 3; i < picture.pixels.size(); i += 4) count += picture.pixels[i] > 128;
    return count;
}

TEST(SvgRender, ScalesTheDrawingAndKeepsStraightAlpha) {
    // Left half half-transparent red, right half clear; drawn at 4x4, rendered at 16x8.
    const std::string path = writeFile(
        "half.svg", svg("<rect width='2' height='4' fill='#ff0000' fill-opacity='0.5'/>"));
    Picture picture;
    ASSERT_TRUE(renderSvg(path, 16, 8, picture).ok());
    ASSERT_EQ(picture.channels, 4);
    ASSERT_EQ(picture.pixels.size(), 16u * 8 * 4);
    // The viewBox keeps its aspect: the 4x4 drawing fills the middle 8x8.
    const uint8_t* inside = pixel(picture, 5, 4);
    EXPECT_EQ(inside[0], 255); // not darkened by premultiplication
    EXPECT_EQ(inside[1], 0);
    EXPECT_NEAR(inside[3], 128, 1);
    EXPECT_EQ(pixel(picture, 10, 4)[3], 0);
    EXPECT_EQ(pixel(picture, 1, 4)[3], 0);
}

TEST(SvgRender, BadFilesAndSizesAreErrorsNamingTheFile) {
    Picture picture;
    const std::string broken = writeFile("broken.svg", "<svg xmlns='http://www.w3.org/2000/svg'>");
    PictureError error = renderSvg(broken, 16, 16, picture);
    EXPECT_EQ(error.message.rfind(broken + ": ", 0), 0u) << error.message;

    error = renderSvg(testing::TempDir() + "missing.svg", 16, 16, picture);
    EXPECT_NE(error.message.find("missing.svg: "), std::string::npos);

    const std::string good = writeFile("good.svg", svg(""));
    EXPECT_NE(renderSvg(good, 12, 16, picture).message.find("not a power of two"),
              std::string::npos);
    EXPECT_FALSE(renderSvg(good, 16, 8192, picture).ok());
}

// Lettering uses DejaVu Sans through fontconfig: a bold face must be found,
// not a regular one drawn for both weights.
TEST(SvgRender, FindsTheBoldFont) {
    auto render = [](const std::string& weight) {
        const std::string path =
            writeFile("text_" + weight + ".svg",
                      "<svg xmlns='http://www.w3.org/2000/svg' width='128' height='64'>"
                      "<text x='4' y='48' font-family='DejaVu Sans' font-weight='" +
                          weight + "' font-size='40'>MWM</text></svg>");
        Picture picture;
        EXPECT_TRUE(renderSvg(path, 128, 64, picture).ok());
        return inkCount(picture);
    };
    const int regular = render("normal");
    EXPECT_GT(regular, 200);
    EXPECT_GT(render("bold"), regular * 5 / 4);
}

TEST(TexgenRender, RendersLayerFourAsRgb) {
    const std::string path =
        writeFile("plain.txt", "// uniform\nlayer 4:\ncolorLayer(4,10,20,30);\n");
    Picture picture;
    ASSERT_TRUE(renderTexgenProgram(path, 8, 4, picture).ok());
    ASSERT_EQ(picture.channels, 3);
    ASSERT_EQ(picture.pixels.size(), 8u * 4 * 3);
    EXPECT_EQ(pixel(picture, 7, 3)[0], 10);
    EXPECT_EQ(pixel(picture, 7, 3)[1], 20);
    EXPECT_EQ(pixel(picture, 7, 3)[2], 30);
}

TEST(TexgenRender, ErrorsNameFileLineAndCause) {
    const std::string path = writeFile("typo.txt", "layer 4:\n\ncolourLayer(4,1,2,3);\n");
    Picture picture;
    const PictureError error = renderTexgenProgram(path, 8, 8, picture);
    EXPECT_EQ(error.message.rfind(path + ": line 3, column 1: ", 0), 0u) << error.message;
    EXPECT_FALSE(renderTexgenProgram(testing::TempDir() + "absent.txt", 8, 8, picture).ok());
    EXPECT_FALSE(renderTexgenProgram(path, 6, 8, picture).ok());
}

TEST(ColourSpread, FillsClearPixelsFromTheNearestColourAndKeepsAlpha) {
    // Red at the left middle, blue at the right middle, the rest clear.
    Picture picture{3, 3, 4, std::vector<uint8_t>(3 * 3 * 4, 0)};
    uint8_t* red = &picture.pixels[(1 * 3 + 0) * 4];
    red[0] = 200, red[3] = 255;
    uint8_t* blue = &picture.pixels[(1 * 3 + 2) * 4];
    blue[2] = 100, blue[3] = 255;
    spreadColourUnderTransparency(picture);
    const uint8_t* nearRed = pixel(picture, 0, 0);
    EXPECT_EQ(nearRed[0], 200);
    EXPECT_EQ(nearRed[2], 0);
    EXPECT_EQ(nearRed[3], 0);
    const uint8_t* nearBlue = pixel(picture, 2, 2);
    EXPECT_EQ(nearBlue[0], 0);
    EXPECT_EQ(nearBlue[2], 100);
    const uint8_t* between = pixel(picture, 1, 0);
    EXPECT_EQ(between[0], 100);
    EXPECT_EQ(between[2], 50);
    EXPECT_EQ(between[3], 0);

    // A far pixel is reached ring by ring.
    Picture wide{8, 1, 4, std::vector<uint8_t>(8 * 4, 0)};
    wide.pixels[1] = 77, wide.pixels[3] = 255;
    spreadColourUnderTransparency(wide);
    EXPECT_EQ(wide.pixels[7 * 4 + 1], 77);

    Picture clear{2, 2, 4, std::vector<uint8_t>(16, 0)};
    clear.pixels[0] = 9;
    spreadColourUnderTransparency(clear);
    EXPECT_EQ(clear.pixels[0], 9);
}

TEST(FlattenOnBlack, MultipliesByAlphaAndDropsIt) {
    Picture picture{2, 1, 4, {255, 255, 255, 128, 10, 200, 30, 255}};
    flattenOnBlack(picture);
    ASSERT_EQ(picture.channels, 3);
    EXPECT_EQ(picture.pixels, (std::vector<uint8_t>{128, 128, 128, 10, 200, 30}));
}

} // namespace
} // namespace picture
