// Shared by the GL tests: a scratch working directory per test, HWL files
// made on the spot, and a small window on SDL's offscreen driver.
#pragma once

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "images/hwl_decoder.h"
#include "images/hwl_encode.h"
#include "runtime/window.h"

namespace fs = std::filesystem;

struct Rgb {
    uint8_t r, g, b;
};

// A directory named after the running test, made empty and entered; the
// old working directory comes back on destruction. Its path does not depend
// on the process, so a death test's child (which runs the test again) lands
// in the same place.
class ScratchDirectory {
  public:
    ScratchDirectory() : previous_(fs::current_path()) {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        path_ = previous_ / "gl_tests_scratch" /
                (std::string(test->test_suite_name()) + "." + test->name());
        // Emptied rather than removed: a death test's parent stays inside it
        // while the child prepares it again.
        fs::create_directories(path_);
        for (const fs::directory_entry& entry : fs::directory_iterator(path_))
            fs::remove_all(entry.path());
        fs::create_directories(path_ / "data");
        fs::current_path(path_);
    }
    ~ScratchDirectory() { fs::current_path(previous_); }
    const fs::path& path() const { return path_; }

  private:
    fs::path previous_;
    fs::path path_;
};

inline void writeBytes(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::string readBytes(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A near-lossless HWL file (no threshold, 8-bit values, one level) of the
// picture colour(x, y); sizes must be even.
inline std::vector<uint8_t> encodePicture(int width, int height,
                                          const std::function<Rgb(int x, int y)>& colour,
                                          bool grey = false) {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            rgb.insert(rgb.end(), {c.r, c.g, c.b});
        }
    hwl::HwlEncodeSettings settings;
    settings.levels = 0;
    settings.valueBits[0] = settings.valueBits[1] = settings.valueBits[2] = 8;
    settings.threshold = 0;
    settings.grey = grey;
    std::vector<uint8_t> bytes;
    const hwl::HwlError error = hwl::encodeHwl(bytes, {rgb.data(), width, height, 3}, settings);
    EXPECT_TRUE(error.ok()) << error.message;
    return bytes;
}

// What the decoder makes of a file: the pixels a texture starts with.
inline std::vector<uint8_t> decodedPixels(const std::string& fileName) {
    std::vector<uint8_t> pixels;
    hwl::HwlHeader header{};
    const hwl::HwlError error = hwl::decodeHwl(pixels, header, fileName, true);
    EXPECT_TRUE(error.ok()) << error.message;
    return pixels;
}

// Only the header: 36 bytes, the rest of the file absent.
inline std::vector<uint8_t> headerOnlyFile(int width, int height, int bitsPerPixel) {
    std::vector<uint8_t> bytes(hwl::kHeaderSize, 0);
    bytes[0] = 'H', bytes[1] = 'W', bytes[2] = 'L';
    bytes[3] = uint8_t(width), bytes[4] = uint8_t(width >> 8);
    bytes[5] = uint8_t(height), bytes[6] = uint8_t(height >> 8);
    bytes[7] = uint8_t(bitsPerPixel);
    return bytes;
}

inline GLint glInteger(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

inline GLint textureParameter(GLenum name) {
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    return value;
}

inline void useOffscreenDriver() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
}

// A small windowed context on the offscreen driver for the whole suite.
class OffscreenContext : public testing::Test {
  protected:
    static constexpr int32_t kWidth = 160;
    static constexpr int32_t kHeight = 120;

    static void SetUpTestSuite() {
        useOffscreenDriver();
        createWindow("gl tests", kWidth, kHeight, 32, false);
    }
    static void TearDownTestSuite() { closeWindow(); }
};
