// End-to-end tests of the hwl executable on PNG and HWL files made here.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "images/hwl_decoder.h"
#include "images/hwl_encode.h"
#include "tools/tool_fixture.h"

namespace {

std::vector<uint8_t> readBytes(const fs::path& path) {
    const std::string text = readText(path);
    return {text.begin(), text.end()};
}

void writeBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class HwlTool : public ToolTest {
  protected:
    HwlTool() : ToolTest("hwl") {}
    ToolRun hwl(const std::string& arguments) const { return run(arguments); }
};

// PNGs are written and read with libpng's simplified interface, apart from
// the code under test.
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

struct Picture {
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> pixels;
};

Picture readPngFile(const std::string& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Picture picture;
    if (!png_image_begin_read_from_file(&image, file.c_str())) {
        ADD_FAILURE() << file << ": " << image.message;
        return picture;
    }
    picture.width = int(image.width);
    picture.height = int(image.height);
    picture.channels = int(PNG_IMAGE_SAMPLE_CHANNELS(image.format));
    picture.pixels.resize(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr));
    return picture;
}

// Smooth shading with an edge: R, G, B interleaved.
std::vector<uint8_t> colourPixels(int w, int h) {
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            p[0] = uint8_t(40 + 3 * x);
            p[1] = uint8_t(200 - 2 * y);
            p[2] = uint8_t(x > y ? 180 : 60);
        }
    return rgb;
}

// A disc with a soft rim.
std::vector<uint8_t> maskPixels(int w, int h) {
    std::vector<uint8_t> mask(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double d = std::hypot(x - w / 2.0 + 0.5, y - h / 2.0 + 0.5);
            mask[size_t(y) * w + x] = uint8_t(std::clamp((w / 3.0 - d) * 40.0, 0.0, 255.0));
        }
    return mask;
}

double psnrOf(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    EXPECT_EQ(a.size(), b.size());
    return hwl::psnr(a.data(), b.data(), std::min(a.size(), b.size()));
}

// Channel c of an interleaved picture.
std::vector<uint8_t> channel(const std::vector<uint8_t>& pixels, int channels, int c) {
    std::vector<uint8_t> out;
    for (size_t i = c; i < pixels.size(); i += channels) out.push_back(pixels[i]);
    return out;
}

constexpr int kW = 64, kH = 32;
constexpr const char* kFine = "--bits 8 --threshold 0";

} // namespace

TEST_F(HwlTool, ColourPngRoundTrip) {
    const std::vector<uint8_t> rgb = colourPixels(kW, kH);
    writePngFile(path("in.png"), kW, kH, PNG_FORMAT_RGB, rgb.data());

    ToolRun run = hwl("encode " + path("in.png") + " " + path("out.hwl"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("bits 6,5,5"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("bits per pixel"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("PSNR"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(path("out_alpha.hwl")));
    EXPECT_EQ(readBytes(path("out.hwl"))[7], hwl::kColourBitsPerPixel);

    run = hwl("encode " + path("in.png") + " " + path("fine.hwl") + " " + kFine);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = hwl("decode " + path("fine.hwl") + " " + path("back.png"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Picture back = readPngFile(path("back.png"));
    EXPECT_EQ(back.channels, 3);
    EXPECT_GT(psnrOf(back.pixels, rgb), 40.0);
}

TEST_F(HwlTool, AlphaPngWritesCompanionThatDecodesToTheMask) {
    const std::vector<uint8_t> rgb = colourPixels(kW, kH), mask = maskPixels(kW, kH);
    std::vector<uint8_t> rgba;
    for (int i = 0; i < kW * kH; ++i) {
        rgba.insert(rgba.end(), &rgb[i * 3], &rgb[i * 3 + 3]);
        rgba.push_back(mask[i]);
    }
    writePngFile(path("in.png"), kW, kH, PNG_FORMAT_RGBA, rgba.data());

    ToolRun run = hwl("encode " + path("in.png") + " " + path("sprite.hwl"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("sprite_alpha.hwl: alpha mask"), std::string::npos) << run.out;

    // What the texture loader does: blue of the decoded companion is the alpha.
    std::vector<uint8_t> pixels;
    hwl::HwlHeader header{};
    ASSERT_TRUE(hwl::decodeHwl(pixels, header, path("sprite_alpha.hwl"), true).ok());
    EXPECT_EQ(header.bitsPerPixel, hwl::kColourBitsPerPixel);
    EXPECT_GE(psnrOf(channel(pixels, 4, 0), mask), hwl::kMaskGoodDb);

    run = hwl("decode " + path("sprite.hwl") + " " + path("back.png"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Picture back = readPngFile(path("back.png"));
    ASSERT_EQ(back.channels, 4);
    EXPECT_GE(psnrOf(channel(back.pixels, 4, 3), mask), hwl::kMaskGoodDb);
    EXPECT_EQ(readPngFile(path("back.png")).width, kW);

    run = hwl("decode --no-alpha " + path("sprite.hwl") + " " + path("plain.png"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readPngFile(path("plain.png")).channels, 3);
}

TEST_F(HwlTool, GreyInputsGiveGreyFiles) {
    const std::vector<uint8_t> mask = maskPixels(kW, kH);
    writePngFile(path("grey.png"), kW, kH, PNG_FORMAT_GRAY, mask.data());
    ToolRun run = hwl("encode " + path("grey.png") + " " + path("grey.hwl") + " " + kFine);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readBytes(path("grey.hwl"))[7], hwl::kGreyBitsPerPixel);
    run = hwl("decode " + path("grey.hwl") + " " + path("back.png"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Picture back = readPngFile(path("back.png"));
    EXPECT_EQ(back.channels, 1);
    EXPECT_GT(psnrOf(back.pixels, mask), 40.0);

    // --grey turns a colour PNG into an 8-bit file of its luma.
    const std::vector<uint8_t> rgb = colourPixels(kW, kH);
    writePngFile(path("colour.png"), kW, kH, PNG_FORMAT_RGB, rgb.data());
    run = hwl("encode --grey " + path("colour.png") + " " + path("luma.hwl"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readBytes(path("luma.hwl"))[7], hwl::kGreyBitsPerPixel);

    // Grey with alpha: an 8-bit file and a 24-bit companion.
    std::vector<uint8_t> greyAlpha;
    for (int i = 0; i < kW * kH; ++i) greyAlpha.insert(greyAlpha.end(), {uint8_t(i), mask[i]});
    writePngFile(path("ga.png"), kW, kH, PNG_FORMAT_GA, greyAlpha.data());
    run = hwl("encode " + path("ga.png") + " " + path("ga.hwl"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readBytes(path("ga.hwl"))[7], hwl::kGreyBitsPerPixel);
    EXPECT_EQ(readBytes(path("ga_alpha.hwl"))[7], hwl::kColourBitsPerPixel);
    run = hwl("decode " + path("ga.hwl") + " " + path("ga_back.png"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readPngFile(path("ga_back.png")).channels, 2);
}

TEST_F(HwlTool, PaletteAndSixteenBitPngsAreRead) {
    // Palette of four colours in a staircase; encoded finely and with one
    // level (more would let the decoder smooth the stairs), it comes back.
    const uint8_t colours[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 250, 250, 250};
    std::vector<uint8_t> indices(kW * kH), expected;
    for (int i = 0; i < kW * kH; ++i) {
        indices[i] = uint8_t((i / kW / 8 + i % kW / 16) % 4);
        expected.insert(expected.end(), &colours[indices[i] * 3], &colours[indices[i] * 3 + 3]);
    }
    writePngFile(path("palette.png"), kW, kH, PNG_FORMAT_RGB_COLORMAP, indices.data(), colours, 4);
    ToolRun run =
        hwl("encode " + path("palette.png") + " " + path("palette.hwl") + " --levels 0 " + kFine);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(hwl("decode " + path("palette.hwl") + " " + path("palette_back.png")).exitCode, 0);
    EXPECT_GT(psnrOf(readPngFile(path("palette_back.png")).pixels, expected), 40.0);

    // 16-bit grey: v * 257 must come back as v.
    const std::vector<uint8_t> mask = maskPixels(kW, kH);
    std::vector<uint16_t> wide(mask.begin(), mask.end());
    for (uint16_t& v : wide) v = uint16_t(v * 257);
    writePngFile(path("wide.png"), kW, kH, PNG_FORMAT_LINEAR_Y, wide.data());
    run = hwl("encode " + path("wide.png") + " " + path("wide.hwl") + " " + kFine);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(hwl("decode " + path("wide.hwl") + " " + path("wide_back.png")).exitCode, 0);
    EXPECT_GT(psnrOf(readPngFile(path("wide_back.png")).pixels, mask), 40.0);
}

TEST_F(HwlTool, SizesThatDoNotFitAreRefused) {
    const std::vector<uint8_t> rgb = colourPixels(100, 40);
    writePngFile(path("odd.png"), 100, 40, PNG_FORMAT_RGB, rgb.data());
    ToolRun run = hwl("encode --levels 4 " + path("odd.png") + " " + path("x.hwl"));
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(lineCount(run.err), 1) << run.err;
    EXPECT_NE(run.err.find("multiples of 32"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("nearest width 96 or 128, height 32 or 64"), std::string::npos);
    EXPECT_NE(run.err.find("at most 1 levels"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(path("x.hwl")));

    // Without --levels the tool takes the most levels the size allows.
    run = hwl("encode " + path("odd.png") + " " + path("x.hwl"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("levels 1"), std::string::npos) << run.out;

    const std::vector<uint8_t> three = colourPixels(33, 32);
    writePngFile(path("odd33.png"), 33, 32, PNG_FORMAT_RGB, three.data());
    run = hwl("encode " + path("odd33.png") + " " + path("y.hwl"));
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(lineCount(run.err), 1) << run.err;
    EXPECT_NE(run.err.find("nearest width 32 or 34"), std::string::npos) << run.err;
}

TEST_F(HwlTool, RawDecodeIsTheDecoderBuffer) {
    // Pure red and a grey ramp make the byte order visible.
    std::vector<uint8_t> red(kW * kH * 3, 0);
    for (int i = 0; i < kW * kH; ++i) red[i * 3] = 255;
    writePngFile(path("red.png"), kW, kH, PNG_FORMAT_RGB, red.data());
    ASSERT_EQ(hwl("encode " + path("red.png") + " " + path("red.hwl") + " " + kFine).exitCode, 0);
    ToolRun run = hwl("decode --raw " + path("red.hwl") + " " + path("red.raw"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<uint8_t> raw = readBytes(path("red.raw"));
    std::vector<uint8_t> pixels;
    hwl::HwlHeader header{};
    ASSERT_TRUE(hwl::decodeHwl(pixels, header, path("red.hwl"), true).ok());
    EXPECT_EQ(raw, pixels);
    ASSERT_EQ(raw.size(), size_t(kW * kH * 4));
    EXPECT_LE(raw[0], 1);   // blue
    EXPECT_LE(raw[1], 1);   // green
    EXPECT_GE(raw[2], 254); // red
    EXPECT_EQ(raw[3], 0);   // the alpha slot the texture fills

    std::vector<uint8_t> ramp(kW * kH);
    for (int i = 0; i < kW * kH; ++i) ramp[i] = uint8_t(i % kW * 4);
    writePngFile(path("ramp.png"), kW, kH, PNG_FORMAT_GRAY, ramp.data());
    ASSERT_EQ(hwl("encode " + path("ramp.png") + " " + path("ramp.hwl") + " " + kFine).exitCode, 0);
    ASSERT_EQ(hwl("decode --raw " + path("ramp.hwl") + " " + path("ramp.raw")).exitCode, 0);
    ASSERT_TRUE(hwl::decodeHwl(pixels, header, path("ramp.hwl"), true).ok());
    EXPECT_EQ(readBytes(path("ramp.raw")), pixels);
    EXPECT_EQ(pixels.size(), size_t(kW * kH));
}

TEST_F(HwlTool, InfoReportsValidAndBrokenFiles) {
    const std::vector<uint8_t> rgb = colourPixels(kW, kH);
    writePngFile(path("in.png"), kW, kH, PNG_FORMAT_RGB, rgb.data());
    ASSERT_EQ(hwl("encode " + path("in.png") + " " + path("good.hwl")).exitCode, 0);
    const std::vector<uint8_t> good = readBytes(path("good.hwl"));

    ToolRun run = hwl("info " + path("good.hwl"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("64 x 32"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("implied size " + std::to_string(good.size())), std::string::npos);
    EXPECT_NE(run.out.find("valid        yes"), std::string::npos) << run.out;

    struct Broken {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* cause;
    };
    std::vector<uint8_t> truncated(good.begin(), good.end() - 10);
    std::vector<uint8_t> badDepth = good;
    badDepth[7] = 16;
    std::vector<uint8_t> tooManyLevels = good;
    tooManyLevels[8] = 17;
    std::vector<uint8_t> shortStreams = good;
    shortStreams[9] = uint8_t(shortStreams[9] - 8); // fewer plane-0 symbols than coded
    const Broken broken[] = {
        {"truncated", truncated, "ends early"},
        {"header", std::vector<uint8_t>(good.begin(), good.begin() + 20), "36 header bytes"},
        {"depth", badDepth, "no decodable image"},
        {"levels", tooManyLevels, "above 16"},
        {"streams", shortStreams, ""},
    };
    for (const Broken& b : broken) {
        writeBytes(path(b.name), b.bytes);
        run = hwl("info " + path(b.name));
        EXPECT_NE(run.exitCode, 0) << b.name;
        EXPECT_EQ(lineCount(run.err), 1) << b.name << ": " << run.err;
        EXPECT_NE(run.err.find(b.cause), std::string::npos) << b.name << ": " << run.err;
        EXPECT_NE(run.out.find("valid        no"), std::string::npos) << b.name << ": " << run.out;
        // Decoding the same file fails the same way, without output.
        run = hwl("decode " + path(b.name) + " " + path("out.png"));
        EXPECT_NE(run.exitCode, 0) << b.name;
        EXPECT_EQ(lineCount(run.err), 1) << b.name << ": " << run.err;
        EXPECT_FALSE(fs::exists(path("out.png"))) << b.name;
    }
}

TEST_F(HwlTool, SearchOptionsMeetTheirTargets) {
    const std::vector<uint8_t> rgb = colourPixels(kW, kH);
    writePngFile(path("in.png"), kW, kH, PNG_FORMAT_RGB, rgb.data());
    ToolRun run = hwl("encode --psnr 38 " + path("in.png") + " " + path("q.hwl"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const size_t at = run.out.find("PSNR ");
    ASSERT_NE(at, std::string::npos) << run.out;
    EXPECT_GE(std::stod(run.out.substr(at + 5)), 38.0) << run.out;

    run = hwl("encode --size 1200 " + path("in.png") + " " + path("s.hwl"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_LE(fs::file_size(path("s.hwl")), 1200u);

    run = hwl("encode --size 10 " + path("in.png") + " " + path("t.hwl"));
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(lineCount(run.err), 1) << run.err;
}

TEST_F(HwlTool, FailuresExitNonZeroWithOneLine) {
    const std::vector<uint8_t> rgb = colourPixels(kW, kH);
    writePngFile(path("in.png"), kW, kH, PNG_FORMAT_RGB, rgb.data());
    std::vector<uint8_t> png = readBytes(path("in.png"));
    writeBytes(path("cut.png"), std::vector<uint8_t>(png.begin(), png.begin() + png.size() / 2));
    writeBytes(path("text.png"), {'h', 'e', 'l', 'l', 'o'});
    // A valid header that claims 20000 x 20000 pixels over a few bytes of data.
    const size_t ihdr = 16; // width, height after signature, length, type
    for (int i = 0; i < 2; ++i) {
        const uint32_t side = 20000;
        for (int b = 0; b < 4; ++b) png[ihdr + 4 * i + b] = uint8_t(side >> (24 - 8 * b));
    }
    const uint32_t crc = uint32_t(crc32(0, &png[ihdr - 4], 17));
    for (int b = 0; b < 4; ++b) png[ihdr + 13 + b] = uint8_t(crc >> (24 - 8 * b));
    writeBytes(path("huge.png"), png);
    const std::string in = path("in.png"), out = path("o.hwl");
    ASSERT_EQ(hwl("encode " + in + " " + path("good.hwl")).exitCode, 0);

    struct Case {
        std::string arguments;
        const char* cause;
    };
    const Case cases[] = {
        {"", "subcommand"},
        {"encode " + path("missing.png") + " " + out, "cannot open"},
        {"encode " + path("text.png") + " " + out, "not a PNG file"},
        {"encode " + path("cut.png") + " " + out, "truncated or corrupt PNG"},
        {"encode " + path("huge.png") + " " + out, "20000 x 20000 pixels is more than"},
        {"encode " + in + " " + path("no/such/dir/o.hwl"), "cannot create"},
        {"encode --bits 9 " + in + " " + out, "--bits"},
        {"encode --bits 6,5 " + in + " " + out, "--bits"},
        {"encode --threshold -1 " + in + " " + out, "threshold"},
        {"encode --levels 17 " + in + " " + out, "level count"},
        {"encode --psnr 30 --size 100 " + in + " " + out, "excludes"},
        {"encode --frobnicate " + in + " " + out, "frobnicate"},
        {"decode " + path("missing.hwl") + " " + path("o.png"), "missing.hwl"},
        {"decode " + path("good.hwl") + " " + path("no/such/dir/o.png"), "cannot create"},
        {"decode " + in + " " + path("o.png"), ""},
        {"info", "input"},
    };
    for (const Case& c : cases) {
        const ToolRun run = hwl(c.arguments);
        EXPECT_NE(run.exitCode, 0) << c.arguments;
        EXPECT_EQ(lineCount(run.err), 1) << c.arguments << ": " << run.err;
        EXPECT_EQ(run.err.rfind("hwl: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.cause), std::string::npos) << c.arguments << ": " << run.err;
    }

    for (const char* command : {"--help", "encode --help", "decode --help", "info --help"}) {
        const ToolRun run = hwl(command);
        EXPECT_EQ(run.exitCode, 0) << command;
        EXPECT_NE(run.out.find("Usage"), std::string::npos) << command;
    }
}
