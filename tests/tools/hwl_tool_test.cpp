// End-to-end tests of the hwl executable on PNG and HWL files made here.
// Input PNGs are written with libpng's simplified interface, apart from the
// code under test.
#include <png.h>
#include <zlib.h>

#include <cmath>
#include <vector>

#include "images/hwl_decoder.h"
#include "images/hwl_encode.h"
#include "tools/tool_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kW = 64, kH = 32;
constexpr const char* kFine = " --bits 8 --threshold 0";

void writePngFile(const std::string& file, int w, int h, uint32_t format, const void* pixels,
                  const void* colourMap = nullptr, int colourCount = 0) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = uint32_t(w);
    image.height = uint32_t(h);
    image.format = format;
    image.colormap_entries = uint32_t(colourCount);
    ASSERT_TRUE(png_image_write_to_file(&image, file.c_str(), 0, pixels, 0, colourMap))
        << image.message;
}

// Smooth shading with an edge, R, G, B interleaved; and a disc with a soft rim.
Bytes colourPixels(int w, int h) {
    Bytes rgb;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            rgb.insert(rgb.end(),
                       {uint8_t(40 + 3 * x), uint8_t(200 - 2 * y), uint8_t(x > y ? 180 : 60)});
    return rgb;
}
Bytes maskPixels() {
    Bytes mask;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const double d = std::hypot(x - kW / 2.0 + 0.5, y - kH / 2.0 + 0.5);
            mask.push_back(uint8_t(std::clamp((kW / 3.0 - d) * 40.0, 0.0, 255.0)));
        }
    return mask;
}

// PSNR of channel `c` of an interleaved picture against `reference`; all
// channels for c < 0.
double psnrOf(const Bytes& pixels, const Bytes& reference, int channels = 1, int c = 0) {
    Bytes picked;
    for (size_t i = size_t(std::max(c, 0)); i < pixels.size(); i += c < 0 ? 1 : channels)
        picked.push_back(pixels[i]);
    EXPECT_EQ(picked.size(), reference.size());
    return hwl::psnr(picked.data(), reference.data(), std::min(picked.size(), reference.size()));
}

class HwlTool : public ToolTest {
  protected:
    HwlTool() : ToolTest("hwl") {}

    Bytes rgb = colourPixels(kW, kH), mask = maskPixels();

    // Byte 7 of an HWL file: its bits per pixel.
    int depthOf(const std::string& name) const { return readText(path(name))[7]; }
};

} // namespace

// Colour, grey, palette, 16-bit grey, grey plus alpha and colour plus alpha
// PNGs are read, encoded at their depth (with alpha, a 24-bit companion whose
// blue is the mask, as the texture loader reads it) and decoded back to the
// same kind of PNG; fine settings lose next to nothing.
TEST_F(HwlTool, EachKindOfPngEncodesAtItsDepthAndDecodesBack) {
    // A staircase of four palette colours comes back with one level (more
    // would let the decoder smooth the stairs); 16-bit v * 257 comes back as v.
    const uint8_t colours[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 250, 250, 250};
    Bytes indices, stairs, greyAlpha, rgba;
    std::vector<uint16_t> wide;
    for (int i = 0; i < kW * kH; ++i) {
        indices.push_back(uint8_t((i / kW / 8 + i % kW / 16) % 4));
        stairs.insert(stairs.end(), &colours[indices[i] * 3], &colours[indices[i] * 3 + 3]);
        wide.push_back(uint16_t(mask[i] * 257));
        greyAlpha.insert(greyAlpha.end(), {mask[i], uint8_t(255 - i % 7)});
        rgba.insert(rgba.end(), {rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2], mask[i]});
    }
    const struct {
        const char* name;
        uint32_t format;
        const void* pixels;
        std::string options;
        int depth, channels, checked; // the channel compared, -1 for all
        const Bytes& reference;
    } cases[] = {
        {"colour", PNG_FORMAT_RGB, rgb.data(), kFine, hwl::kColourBitsPerPixel, 3, -1, rgb},
        {"grey", PNG_FORMAT_GRAY, mask.data(), kFine, hwl::kGreyBitsPerPixel, 1, 0, mask},
        {"palette", PNG_FORMAT_RGB_COLORMAP, indices.data(), std::string(kFine) + " --levels 0",
         hwl::kColourBitsPerPixel, 3, -1, stairs},
        {"wide", PNG_FORMAT_LINEAR_Y, wide.data(), kFine, hwl::kGreyBitsPerPixel, 1, 0, mask},
        {"ga", PNG_FORMAT_GA, greyAlpha.data(), kFine, hwl::kGreyBitsPerPixel, 2, 0, mask},
        {"rgba", PNG_FORMAT_RGBA, rgba.data(), "", hwl::kColourBitsPerPixel, 4, 3, mask},
    };
    for (const auto& c : cases) {
        const std::string name = c.name, alpha = path(name + "_alpha.hwl");
        const bool palette = c.format == PNG_FORMAT_RGB_COLORMAP;
        writePngFile(path(name + ".png"), kW, kH, c.format, c.pixels, palette ? colours : nullptr,
                     palette ? 4 : 0);
        ToolRun run =
            this->run("encode " + path(name + ".png") + " " + path(name + ".hwl") + c.options);
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.err;
        EXPECT_EQ(depthOf(name + ".hwl"), c.depth) << name;
        EXPECT_EQ(fs::exists(alpha), c.channels % 2 == 0) << name;
        EXPECT_EQ(run.out.find(alpha + ": alpha mask") != std::string::npos, c.channels % 2 == 0);
        run = this->run("decode " + path(name + ".hwl") + " " + path(name + "_back.png"));
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.err;
        const PngImage back = readPngFile(path(name + "_back.png"));
        EXPECT_EQ(back.channels, c.channels) << name;
        EXPECT_GT(psnrOf(back.pixels, c.reference, c.channels, c.checked), 40.0) << name;
    }
    EXPECT_EQ(depthOf("ga_alpha.hwl"), hwl::kColourBitsPerPixel);
    Bytes pixels;
    hwl::HwlHeader header{};
    ASSERT_TRUE(hwl::decodeHwl(pixels, header, path("rgba_alpha.hwl"), true).ok());
    EXPECT_EQ(header.bitsPerPixel, hwl::kColourBitsPerPixel);
    EXPECT_GE(psnrOf(pixels, mask, 4, 0), hwl::kMaskGoodDb);
    EXPECT_GE(psnrOf(readPngFile(path("rgba_back.png")).pixels, mask, 4, 3), hwl::kMaskGoodDb);
    ASSERT_EQ(run("decode --no-alpha " + path("rgba.hwl") + " " + path("plain.png")).exitCode, 0);
    EXPECT_EQ(readPngFile(path("plain.png")).channels, 3);

    // Default settings say what they chose; --grey makes a colour PNG 8-bit.
    const ToolRun plain = run("encode " + path("colour.png") + " " + path("plain.hwl"));
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.err, "");
    for (const char* text : {"bits 6,5,5", "bits per pixel", "PSNR"}) {
        EXPECT_NE(plain.out.find(text), std::string::npos) << plain.out;
    }
    ASSERT_EQ(run("encode --grey " + path("colour.png") + " " + path("luma.hwl")).exitCode, 0);
    EXPECT_EQ(depthOf("luma.hwl"), hwl::kGreyBitsPerPixel);

    // --raw writes the decoder's own buffer: blue, green, red and the alpha
    // slot the texture fills, or one byte a pixel.
    for (const std::string name : {"colour", "grey"}) {
        ASSERT_EQ(run("decode --raw " + path(name + ".hwl") + " " + path(name + ".raw")).exitCode,
                  0);
        ASSERT_TRUE(hwl::decodeHwl(pixels, header, path(name + ".hwl"), true).ok());
        const std::string raw = readText(path(name + ".raw"));
        EXPECT_EQ(Bytes(raw.begin(), raw.end()), pixels) << name;
    }
    const std::string raw = readText(path("colour.raw"));
    EXPECT_EQ(raw.size(), size_t(kW * kH * 4));
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(uint8_t(raw[i]), rgb[2 - i], 4) << i;
    EXPECT_EQ(raw[3], 0);
}

TEST_F(HwlTool, SizesThatDoNotFitAreRefused) {
    const Bytes odd = colourPixels(100, 40);
    writePngFile(path("odd.png"), 100, 40, PNG_FORMAT_RGB, odd.data());
    for (const char* text : {"multiples of 32", "nearest width 96 or 128, height 32 or 64",
                             "at most 1 levels: give --levels 1 or fewer, or crop or pad"}) {
        expectFailure("encode --levels 4 " + path("odd.png") + " " + path("x.hwl"), text);
    }
    EXPECT_FALSE(fs::exists(path("x.hwl")));
    // Without --levels the tool takes the most levels the size allows, and says so.
    const ToolRun run = this->run("encode " + path("odd.png") + " " + path("x.hwl"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("levels 1"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("allows at most 1 levels (the default is 4)"), std::string::npos);
    // Odd sides fit no level count at all.
    writePngFile(path("odd.png"), 101, 40, PNG_FORMAT_RGB, colourPixels(101, 40).data());
    expectFailure("encode " + path("odd.png") + " " + path("x.hwl"), "crop or pad the picture");
}

TEST_F(HwlTool, InfoReportsValidAndBrokenFiles) {
    writePngFile(path("in.png"), kW, kH, PNG_FORMAT_RGB, rgb.data());
    ASSERT_EQ(this->run("encode " + path("in.png") + " " + path("good.hwl")).exitCode, 0);
    const std::string good = readText(path("good.hwl"));
    ToolRun run = this->run("info " + path("good.hwl"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (const std::string& text :
         {std::string("64 x 32"), "implied size " + std::to_string(good.size()),
          std::string("valid        yes")}) {
        EXPECT_NE(run.out.find(text), std::string::npos) << run.out;
    }
    std::string badDepth = good, tooManyLevels = good, shortStreams = good;
    badDepth[7] = 16;
    tooManyLevels[8] = 17;
    shortStreams[9] = char(shortStreams[9] - 8); // fewer plane-0 symbols than coded
    const std::pair<std::string, const char*> broken[] = {
        {good.substr(0, good.size() - 10), "ends early"},
        {good.substr(0, 20), "36 header bytes"},
        {badDepth, "no decodable image"},
        {tooManyLevels, "above 16"},
        {shortStreams, ""},
    };
    for (const auto& [bytes, cause] : broken) {
        std::ofstream(path("broken.hwl"), std::ios::binary) << bytes;
        EXPECT_NE(expectFailure("info " + path("broken.hwl"), cause).out.find("valid        no"),
                  std::string::npos)
            << cause;
        // Decoding the same file fails the same way, without output.
        expectFailure("decode " + path("broken.hwl") + " " + path("out.png"), cause);
        EXPECT_FALSE(fs::exists(path("out.png"))) << cause;
    }
    // Other kinds of file, and an output that would be PNG under another name.
    expectFailure("decode " + path("in.png") + " " + path("out.png"),
                  "in.png: this is not an HWL file (it starts like a PNG picture)");
    expectFailure("decode --raw " + path("in.png") + " " + path("out.raw"), "starts like a PNG");
    expectFailure("decode " + path("good.hwl") + " " + path("out.jpg"), "writes PNG");
    // A broken companion is named, not the picture.
    std::ofstream(path("good_alpha.hwl"), std::ios::binary) << good.substr(0, 100);
    expectFailure("decode " + path("good.hwl") + " " + path("out.png"),
                  "good_alpha.hwl: file ends early: 100 of the");
    EXPECT_FALSE(fs::exists(path("out.raw")) || fs::exists(path("out.jpg")));
}

TEST_F(HwlTool, SearchesMeetTheirTargetsAndFailuresExitNonZeroWithOneLine) {
    writePngFile(path("in.png"), kW, kH, PNG_FORMAT_RGB, rgb.data());
    std::string png = readText(path("in.png"));
    std::ofstream(path("cut.png"), std::ios::binary) << png.substr(0, png.size() / 2);
    std::ofstream(path("text.png")) << "hello";
    // A valid header that claims 20000 x 20000 pixels over a few bytes of data
    // (width and height after the signature, the chunk's length and type).
    for (int b = 0; b < 8; ++b) png[16 + b] = char(20000 >> (24 - 8 * (b % 4)));
    const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(&png[12]), 17));
    for (int b = 0; b < 4; ++b) png[29 + b] = char(crc >> (24 - 8 * b));
    std::ofstream(path("huge.png"), std::ios::binary) << png;
    const std::string in = path("in.png"), out = path("o.hwl");
    ASSERT_EQ(run("encode " + in + " " + path("good.hwl")).exitCode, 0);
    // The searches meet their targets; an impossible size is a failure.
    const ToolRun search = run("encode --psnr 38 " + in + " " + path("q.hwl"));
    const size_t at = search.out.find("PSNR ");
    ASSERT_NE(at, std::string::npos) << search.out << search.err;
    EXPECT_GE(std::stod(search.out.substr(at + 5)), 38.0) << search.out;
    ASSERT_EQ(run("encode --bytes 1200 " + in + " " + path("s.hwl")).exitCode, 0);
    EXPECT_LE(fs::file_size(path("s.hwl")), 1200u);
    const std::pair<std::string, const char*> cases[] = {
        {"", "subcommand"},
        {"encode " + path("missing.png") + " " + out, "cannot open"},
        {"encode " + path("text.png") + " " + out, "not a PNG file"},
        {"encode " + path("cut.png") + " " + out, "truncated or corrupt PNG"},
        {"encode " + path("huge.png") + " " + out, "20000 x 20000 pixels is more than"},
        {"encode " + in + " " + path("no/such/dir/o.hwl"), "cannot create"},
        {"encode --bits 9 " + in + " " + out, "--bits"},
        {"encode --threshold -1 " + in + " " + out, "threshold"},
        {"encode --levels 17 " + in + " " + out, "level count"},
        {"encode --psnr 30 --size 100 " + in + " " + out, "excludes"},
        {"encode --size 10 " + in + " " + out, ""},
        {"decode " + path("missing.hwl") + " " + path("o.png"), "missing.hwl"},
        {"decode " + path("good.hwl") + " " + path("no/such/dir/o.png"), "cannot create"},
        {"info", "input"},
    };
    for (const auto& [arguments, cause] : cases) expectFailure(arguments, cause);
    const ToolRun help = run("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage"), std::string::npos);
}
