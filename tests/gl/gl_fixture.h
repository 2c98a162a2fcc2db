// What the GL tests share: a scratch directory per test, HWL pictures made
// on the spot, a small window on SDL's offscreen driver, frames and quads
// read back, and the show loaded from a directory of recognisable pictures.
#pragma once

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "images/hwl_encode.h"
#include "platform/window.h"
#include "sequencing/timeline.h"
#include "show/random_generator.h"
#include "show/show_frame.h"
#include "show/show_setup.h"
#include "show/show_state.h"

namespace fs = std::filesystem;

struct Rgb {
    uint8_t r, g, b;
};

// A directory named after the running test, emptied and entered: a death
// test's child (the test run again) lands in the same place.
class ScratchDirectory {
  public:
    ScratchDirectory() : previous_(fs::current_path()) {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        const fs::path path = previous_ / "gl_tests_scratch" /
                              (std::string(test->test_suite_name()) + "." + test->name());
        fs::create_directories(path);
        for (const fs::directory_entry& entry : fs::directory_iterator(path))
            fs::remove_all(entry.path());
        fs::create_directories(path / "data");
        fs::current_path(path);
    }
    ~ScratchDirectory() { fs::current_path(previous_); }

  private:
    fs::path previous_;
};

inline void writeBytes(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    std::ofstream(fileName, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
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

inline GLint glInteger(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

// A small windowed context on the offscreen driver for the whole suite.
class OffscreenContext : public testing::Test {
  protected:
    static constexpr int32_t kWidth = 160;
    static constexpr int32_t kHeight = 120;

    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        createWindow("gl tests", kWidth, kHeight, 32, false);
    }
    static void TearDownTestSuite() { closeWindow(); }
};

// A picture as OpenGL reads it back: row 0 at the bottom.
struct Frame {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;

    Rgb at(int x, int y) const {
        const uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
        return {p[0], p[1], p[2]};
    }
    bool operator==(const Frame&) const = default;
};

inline Frame readBackBuffer() {
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    Frame frame{viewport[2], viewport[3],
                std::vector<uint8_t>(size_t(viewport[2]) * viewport[3] * 4)};
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, frame.width, frame.height, GL_RGBA, GL_UNSIGNED_BYTE, frame.rgba.data());
    return frame;
}

// Where a point of model space lands in the window, through the matrices
// the frame was drawn with.
inline Rgb pixelAt(const Frame& frame, double x, double y, double z) {
    std::array<double, 16> modelView{}, projection{};
    GLint viewport[4] = {};
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView.data());
    glGetDoublev(GL_PROJECTION_MATRIX, projection.data());
    glGetIntegerv(GL_VIEWPORT, viewport);
    double wx = 0, wy = 0, wz = 0;
    gluProject(x, y, z, modelView.data(), projection.data(), viewport, &wx, &wy, &wz);
    return frame.at(int(wx), int(wy));
}

using Matrix = std::array<double, 16>; // column-major, as OpenGL keeps it

// The reference: 45 degrees, 4:3, near 0.1, far 100, times the view (eye,
// centre, up) when given, as GLU computes them.
inline Matrix projection(const std::vector<double>& view = {}) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluPerspective(45, 4.0 / 3.0, 0.1, 100);
    if (!view.empty())
        gluLookAt(view[0], view[1], view[2], view[3], view[4], view[5], view[6], view[7], view[8]);
    Matrix m{};
    glGetDoublev(GL_PROJECTION_MATRIX, m.data());
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    return m;
}

// The projection loaded now, with the model-view current and the identity.
inline void expectLoaded(const Matrix& expected) {
    EXPECT_EQ(glInteger(GL_MATRIX_MODE), GL_MODELVIEW);
    Matrix actual{}, modelView{};
    glGetDoublev(GL_PROJECTION_MATRIX, actual.data());
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView.data());
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(actual[i], expected[i], 1e-5 * (1 + std::abs(expected[i]))) << i;
        EXPECT_EQ(modelView[i], i % 5 ? 0 : 1) << "model-view " << i;
    }
}

inline void expectColour(Rgb actual, Rgb expected, const std::string& where) {
    EXPECT_TRUE(std::abs(actual.r - expected.r) <= 3 && std::abs(actual.g - expected.g) <= 3 &&
                std::abs(actual.b - expected.b) <= 3)
        << where << ": " << int(actual.r) << " " << int(actual.g) << " " << int(actual.b);
}

// One corner as OpenGL's feedback mode reports it, in model coordinates,
// its colour clamped to [0, 1].
struct FeedbackCorner {
    float x, y, z, r, g, b, a, s, t;
};
using FeedbackQuad = std::array<FeedbackCorner, 4>;

// Every quad `draw` sends, in order, in model coordinates: recorded under an
// orthographic view of the cube [-20, 20]^3 on a 40 x 40 viewport, from an
// identity model-view; projection and viewport are restored afterwards.
inline std::vector<FeedbackQuad> recordQuads(const std::function<void()>& draw) {
    constexpr float kHalf = 20;
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-kHalf, kHalf, -kHalf, kHalf, -kHalf, kHalf);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glViewport(0, 0, 40, 40);
    std::vector<GLfloat> buffer(1 << 16);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint size = glRenderMode(GL_RENDER);
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    EXPECT_GE(size, 0) << "feedback buffer too small";

    // Each polygon: its token, its corner count, then the corners (x, y, z,
    // r, g, b, a, s, t, q). A quad comes back whole or, from Mesa, as the
    // triangles (0, 1, 3), (1, 2, 3).
    std::vector<FeedbackQuad> quads;
    std::vector<FeedbackCorner> corners;
    for (GLint i = 0; i + 1 < size;) {
        int count = int(buffer[i + 1]);
        EXPECT_TRUE(GLenum(buffer[i]) == GL_POLYGON_TOKEN && (count == 3 || count == 4));
        for (i += 2; count-- > 0; i += 11) {
            const GLfloat* v = &buffer[i];
            corners.push_back({v[0] - kHalf, v[1] - kHalf, kHalf * (1 - 2 * v[2]), v[3], v[4], v[5],
                               v[6], v[7], v[8]});
        }
        if (corners.size() == 6) corners = {corners[0], corners[1], corners[4], corners[2]};
        if (corners.size() == 4) quads.push_back({corners[0], corners[1], corners[2], corners[3]});
        if (corners.size() >= 4) corners.clear();
    }
    return quads;
}

// A quad's corners as the drawing code is meant to send them (s, t, x, y, z),
// white and opaque unless given a colour.
using ExpectedQuad = std::array<std::array<float, 5>, 4>;

inline void expectQuad(const FeedbackQuad& actual, const ExpectedQuad& expected,
                       const std::string& what, std::array<float, 4> colour = {1, 1, 1, 1}) {
    for (int k = 0; k < 4; ++k) {
        const FeedbackCorner& a = actual[k];
        const float got[] = {a.s, a.t, a.x, a.y, a.z, a.r, a.g, a.b, a.a};
        const auto& e = expected[k];
        const float want[] = {e[0],      e[1],      e[2],      e[3],     e[4],
                              colour[0], colour[1], colour[2], colour[3]};
        for (int v = 0; v < 9; ++v)
            EXPECT_NEAR(got[v], want[v], 1e-4f) << what << ", corner " << k << ", value " << v;
    }
}

namespace showtest {

constexpr int kSide = 16;

// One solid colour per texture, all distinct; the pictures with an alpha
// from their own blue byte have blue 255 where they are opaque.
constexpr Rgb kColours[kTextureCount] = {
    {240, 200, 40},  {40, 200, 80},   {220, 60, 60},   {250, 150, 0},   {170, 30, 120},
    {20, 120, 200},  {120, 110, 100}, {90, 90, 110},   {140, 120, 90},  {40, 160, 40},
    {230, 230, 255}, {255, 120, 255}, {255, 40, 255},  {120, 255, 255}, {60, 60, 255},
    {255, 0, 255},   {0, 255, 255},   {200, 200, 200}, {90, 70, 50},    {30, 40, 90}};

constexpr const char* kNames[kTextureCount] = {
    "quopple1", "vesk1", "ombrit1", "quopple2", "ombrit2", "vesk2",     "ppl1",
    "ppl2",     "ppl3",  "grass",   "bplogo",   "standup", "sucks",     "whoops",
    "move",     "love",  "seeyou",  "speakers", "floor",   "background"};

inline void writePicture(const std::string& name, const std::function<Rgb(int, int)>& colour) {
    writeBytes("data/" + name + ".hwl", encodePicture(kSide, kSide, colour));
}

// Every file of the show's texture table, the loading picture and a script.
// The pictures with an alpha from their own blue byte have a frame three
// pixels wide around a see-through middle; the "_alpha" companions are a
// figure, a head on a body, on the bottom edge.
inline void writeShowDirectory() {
    for (int i = 0; i < kTextureCount; ++i) {
        const Rgb c = kColours[i];
        const std::string name = kNames[i];
        if (i >= kLogo && i <= kSeeYou) {
            writePicture(name, [c](int x, int y) {
                return x < 3 || y < 3 || x > 12 || y > 12 ? c : Rgb{c.r, c.g, 0};
            });
        } else {
            writePicture(name, [c](int, int) { return c; });
        }
        if (i > kGrass && i != kSpeakers) continue;
        writePicture(name + "_alpha", [](int x, int y) {
            const bool body = x >= 3 && x <= 12 && y >= 5, head = x >= 5 && x <= 10 && y >= 1;
            const uint8_t v = body || head ? 255 : 0;
            return Rgb{v, v, v};
        });
    }
    writePicture("loading", [](int, int) { return Rgb{50, 50, 50}; });
    writeBytes("script.sqx", {});
}

// Makes a texture see-through everywhere, to look at what lies behind it.
inline void hideTexture(TextureIndex index) {
    setAlpha(textures[index]->image, 0);
    textures[index]->upload();
}

// The show loaded from a fresh directory for each test, released after it.
class ShowTest : public OffscreenContext {
  protected:
    void SetUp() override {
        writeShowDirectory();
        settings.screenWidth = kWidth;
        settings.screenHeight = kHeight;
        restartRandom();
        MusicSettings music;
        const ShowError error = loadShow(music);
        ASSERT_FALSE(error) << error.module << ": " << error.message;
    }
    void TearDown() override {
        releaseShow();
        playTime = 0;
    }

    // Places scene `number` over the whole timeline and renders one frame
    // at `time` through the show's frame function; the after-swap callbacks
    // only move the camera.
    Frame renderFrame(int number, int32_t time) {
        placeScene(timelineSlots[1], sceneSlots[number], 0, kTimelineLength);
        showFrame(time, nullptr, nullptr);
        return readBackBuffer();
    }

    ScratchDirectory scratch;
};

} // namespace showtest
