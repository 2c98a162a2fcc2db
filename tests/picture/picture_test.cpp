// The picture library: the list, SVG drawings and texture programs rendered
// to pixels, colour under clear parts; and the show's own sources in assets/.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "content/picture/colour_spread.h"
#include "content/picture/manifest.h"
#include "content/picture/render_entry.h"
#include "content/picture/svg_render.h"
#include "content/picture/texgen_render.h"

// fontconfig, which librsvg reaches through pango for SVG text, keeps its
// configuration for the life of the process: not a leak of ours.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace picture {
namespace {

TEST(Manifest, ReadsEntriesSkippingCommentsAndRefusesBadLinesNamingTheLine) {
    std::vector<ManifestEntry> e;
    const std::string text = "# header\n\nhero   pictures/hero.svg  256x128 companion  # c\r\n"
                             "\tfloor\ttextures/floor.txt 512x512 none\nlogo l.svg 64x64 blue";
    ASSERT_EQ(parseManifest(text, "list.txt", e).message, "");
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].name + " " + e[0].source, "hero pictures/hero.svg");
    EXPECT_EQ((std::vector{e[0].width, e[0].height}), (std::vector{256, 128}));
    EXPECT_EQ((std::vector{e[0].sourceKind, e[1].sourceKind}),
              (std::vector{SourceKind::Svg, SourceKind::TextureProgram}));
    EXPECT_EQ((std::vector{e[0].alpha, e[1].alpha, e[2].alpha}),
              (std::vector{AlphaKind::Companion, AlphaKind::None, AlphaKind::OwnBlue}));
    // Bad lines are refused naming the line and the cause.
    const std::pair<const char*, const char*> cases[] = {
        {"a b.svg 256x256\n", ":1: expected NAME SOURCE WIDTHxHEIGHT ALPHA, found 3 fields"},
        {"a b.svg 8x8 none c d\n", ":1: expected NAME SOURCE WIDTHxHEIGHT ALPHA, found 6 fields"},
        {"\n\nsky sky.png 256x256 none\n", ":3: source \"sky.png\" is neither a .svg drawing"},
        {"a a.svg 200x256 none\n", ":1: size \"200x256\" is not WIDTHxHEIGHT in powers of two"},
        {"a a.svg 8192x8 none\n", ":1: size"},
        {"a a.svg 256x256x2 none\n", ":1: size"},
        {"a a.svg 2x2 bleu\n", ":1: alpha \"bleu\" is not companion, blue or none"},
        {"a a.txt 2x2 companion\n", ":1: a texture program has no alpha to make a companion"},
        {"a a.svg 2x2 none\na b.svg 4x4 none\n", ":2: picture \"a\" is listed twice"},
        {"../a a.svg 2x2 none\n", ":1: picture name \"../a\" may hold only letters, digits"},
        {"# nothing\n", ": lists no pictures"}};
    for (const auto& [text, message] : cases)
        EXPECT_EQ(parseManifest(text, "list", e).message.rfind("list" + std::string(message), 0),
                  0u);
    // Every bad line is reported, and the good ones are kept.
    EXPECT_EQ(
        parseManifest("a b.svg 2x2\nok ok.svg 2x2 none\nc c.svg 3x3 none\n", "list", e).message,
        "list:1: expected NAME SOURCE WIDTHxHEIGHT ALPHA, found 3 fields\n"
        "list:3: size \"3x3\" is not WIDTHxHEIGHT in powers of two 2..4096");
    EXPECT_EQ(e.size(), 1u);
    const std::string missing = testing::TempDir() + "no_list.txt";
    EXPECT_EQ(readManifest(missing, e).message.rfind(missing + ": cannot open", 0), 0u);
}

std::string writeFile(const std::string& name, const std::string& text) {
    const std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

const uint8_t* at(const Picture& p, int x, int y) {
    return &p.pixels[(size_t(y) * p.width + x) * p.channels];
}

TEST(SvgRender, ScalesTheDrawingKeepsStraightAlphaAndNamesBadFiles) {
    // Red at half alpha on the left half, drawn at 4x4 and rendered at 16x8.
    const std::string path =
        writeFile("half.svg",
                  "<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4' viewBox='0 0 4 4'>"
                  "<rect width='2' height='4' fill='#ff0000' fill-opacity='0.5'/></svg>");
    Picture p;
    ASSERT_TRUE(renderSvg(path, 16, 8, p).ok());
    // The viewBox keeps its aspect: the drawing fills the middle 8x8.
    EXPECT_EQ((std::vector<int>{at(p, 5, 4)[0], at(p, 5, 4)[1], at(p, 10, 4)[3], at(p, 1, 4)[3]}),
              (std::vector<int>{255, 0, 0, 0}))
        << "red not darkened by premultiplication";
    EXPECT_NEAR(at(p, 5, 4)[3], 128, 1);
    const std::string broken = writeFile("broken.svg", "<svg xmlns='http://www.w3.org/2000/svg'>");
    const std::string missing = testing::TempDir() + "missing.svg";
    EXPECT_EQ(renderSvg(broken, 16, 16, p).message.rfind(broken + ": ", 0), 0u);
    EXPECT_EQ(renderSvg(missing, 16, 16, p).message.rfind(missing + ": ", 0), 0u);
    EXPECT_NE(renderSvg(path, 12, 16, p).message.find("not a power of two"), std::string::npos);
    EXPECT_FALSE(renderSvg(path, 16, 8192, p).ok());
}

TEST(TexgenRender, RendersLayerFourAsRgbAndNamesFileLineAndCause) {
    const std::string plain = writeFile("plain.txt", "layer 4:\ncolorLayer(4,10,20,30);\n");
    Picture p;
    ASSERT_TRUE(renderTexgenProgram(plain, 8, 4, p).ok());
    ASSERT_EQ(p.pixels.size(), 8u * 4 * 3);
    EXPECT_EQ(std::vector<uint8_t>(at(p, 7, 3), at(p, 7, 3) + 3),
              (std::vector<uint8_t>{10, 20, 30}));
    const std::string path = writeFile("typo.txt", "layer 4:\n\ncolourLayer(4,1,2,3);\n");
    EXPECT_EQ(renderTexgenProgram(path, 8, 8, p).message.rfind(path + ": line 3, column 1: ", 0),
              0u);
    EXPECT_FALSE(renderTexgenProgram(testing::TempDir() + "absent.txt", 8, 8, p).ok());
    EXPECT_FALSE(renderTexgenProgram(path, 6, 8, p).ok());
}

TEST(ColourSpread, FillsClearPixelsFromTheNearestColourAndKeepsAlpha) {
    Picture p{3, 3, 4, std::vector<uint8_t>(3 * 3 * 4, 0)};
    p.pixels[12] = 200, p.pixels[15] = 255;
    p.pixels[20 + 2] = 100, p.pixels[20 + 3] = 255;
    spreadColourUnderTransparency(p);
    // From red (left middle) and blue (right middle): near each, between: R B A.
    EXPECT_EQ((std::vector<int>{at(p, 0, 0)[0], at(p, 0, 0)[2], at(p, 0, 0)[3], at(p, 2, 2)[0],
                                at(p, 2, 2)[2], at(p, 1, 0)[0], at(p, 1, 0)[2], at(p, 1, 0)[3]}),
              (std::vector<int>{200, 0, 0, 0, 100, 100, 50, 0}));
    // A far pixel is reached ring by ring.
    Picture wide{8, 1, 4, std::vector<uint8_t>(8 * 4, 0)};
    wide.pixels[1] = 77, wide.pixels[3] = 255;
    spreadColourUnderTransparency(wide);
    EXPECT_EQ(wide.pixels[7 * 4 + 1], 77);
    Picture clear{2, 2, 4, std::vector<uint8_t>(16, 0)};
    clear.pixels[0] = 9;
    spreadColourUnderTransparency(clear);
    EXPECT_EQ(clear.pixels[0], 9) << "nothing to spread from";
    Picture flat{2, 1, 4, {255, 255, 255, 128, 10, 200, 30, 255}};
    flattenOnBlack(flat);
    EXPECT_EQ(flat.channels, 3);
    EXPECT_EQ(flat.pixels, (std::vector<uint8_t>{128, 128, 128, 10, 200, 30}));
}

double luma(const uint8_t* p) {
    return 0.3 * p[0] + 0.59 * p[1] + 0.11 * p[2];
}

double meanLuma(const Picture& p, int firstRow, int endRow) {
    double sum = 0;
    for (int y = firstRow; y < endRow; ++y)
        for (int x = 0; x < p.width; ++x) sum += luma(at(p, x, y));
    return sum / (double(endRow - firstRow) * p.width);
}

// Change across a repeating picture's border, and mean change inside.
std::pair<double, double> seams(const Picture& p, bool columns) {
    const int n = columns ? p.width : p.height, m = columns ? p.height : p.width;
    double inside = 0, border = 0;
    for (int i = 0; i < n; ++i) {
        double sum = 0;
        for (int j = 0; j < m; ++j) {
            const uint8_t* a = columns ? at(p, i, j) : at(p, j, i);
            const uint8_t* b = columns ? at(p, (i + 1) % n, j) : at(p, j, (i + 1) % n);
            for (int c = 0; c < p.channels; ++c) sum += std::abs(a[c] - b[c]);
        }
        (i + 1 < n ? inside : border) += sum / m;
    }
    return {border, inside / (n - 1)};
}

// The show's sources: cut-outs clear around a solid figure on the bottom edge,
// but not the last rows (textures repeat: they would show along the top),
// overlays light on black with no colour their blue would hide, a seamless
// floor, the loading picture darker where the white bar runs, the back wall's
// visible lower 40 percent holding a picture.
TEST(Assets, EveryPictureRendersWithTheTransparencyAndLookTheShowNeeds) {
    std::vector<ManifestEntry> entries;
    ASSERT_TRUE(readManifest(TEST_ASSETS_DIR "/pictures.txt", entries).ok());
    for (const ManifestEntry& entry : entries) {
        SCOPED_TRACE(entry.name);
        const bool cutOut = entry.alpha == AlphaKind::Companion;
        const bool overlay = entry.alpha == AlphaKind::OwnBlue;
        Picture p;
        ASSERT_TRUE(renderEntry(entry, TEST_ASSETS_DIR, p).ok());
        const int w = p.width, h = p.height;
        EXPECT_EQ((std::vector{w, h, p.channels}),
                  (std::vector{entry.width, entry.height, cutOut ? 4 : 3}));
        ASSERT_EQ(p.pixels.size(), size_t(w) * h * p.channels);
        int solid = 0, lowest = -1, hidden = 0;
        double solidLuma = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint8_t* px = at(p, x, y);
                // Alpha from the companion, or from the picture's own blue.
                if (cutOut ? px[3] > 128 : px[2] >= 200) ++solid, lowest = y, solidLuma += luma(px);
                hidden += std::max(px[0], px[1]) > px[2] + 64; // red or green over blue
            }
        }
        const double share = double(solid) / (w * h);
        for (auto [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}) {
            const uint8_t* c = at(p, x, y);
            EXPECT_TRUE(!cutOut || c[3] == 0) << "clear corner " << x << "," << y;
            EXPECT_TRUE(!overlay || std::max({c[0], c[1], c[2]}) < 8) << "black corner";
        }
        if (cutOut) {
            EXPECT_TRUE(share > 0.05 && share < 0.8) << share;
            EXPECT_GE(lowest, h - 16) << "stands on the bottom edge";
            EXPECT_LT(lowest, h - 2) << "the last rows stay clear";
        } else if (overlay) {
            EXPECT_TRUE(share > 0.03 && share < 0.5) << share;
            EXPECT_GT(solidLuma / std::max(solid, 1), 150.0);
            EXPECT_EQ(hidden, 0);
        } else if (entry.name == "floor") {
            for (bool columns : {true, false}) {
                const auto [border, inside] = seams(p, columns);
                EXPECT_LE(border, 2 * inside + 2) << "a seam where the floor repeats";
            }
        } else if (entry.name == "loading") {
            EXPECT_LT(meanLuma(p, h / 2, h), meanLuma(p, 0, h / 2) * 0.6);
        } else if (entry.name == "background") {
            EXPECT_GT(meanLuma(p, h * 6 / 10, h), 20.0);
            std::vector<double> row(static_cast<size_t>(w));
            for (int x = 0; x < w; ++x) row[size_t(x)] = luma(at(p, x, h * 8 / 10));
            const auto [lo, hi] = std::minmax_element(row.begin(), row.end());
            EXPECT_GT(*hi - *lo, 30.0) << "folds, not a flat colour";
        }
    }
}

} // namespace
} // namespace picture
