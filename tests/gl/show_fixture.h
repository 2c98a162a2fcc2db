// Shared by the stage and scene tests: a small show directory made on the
// spot (one recognisable picture per texture), loaded through the show's own
// loading sequence, with frames read back and, on request, saved as PNG.
#pragma once

#include <GL/gl.h>
#include <GL/glu.h>

#include <array>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "gl_support.h"
#include "sequencing/timeline.h"
#include "show/random_generator.h"
#include "show/show_frame.h"
#include "show/show_setup.h"
#include "show/show_state.h"
#include "tools/png_io.h"

namespace showtest {

constexpr int kSide = 16;

// One solid colour per texture, all distinct; the pictures with an alpha
// from their own blue byte have blue 255 where they are opaque.
constexpr Rgb kColours[kTextureCount] = {
    {240, 200, 40},  // quopple1
    {40, 200, 80},   // vesk1
    {220, 60, 60},   // ombrit1
    {250, 150, 0},   // quopple2
    {170, 30, 120},  // ombrit2
    {20, 120, 200},  // vesk2
    {120, 110, 100}, // ppl1
    {90, 90, 110},   // ppl2
    {140, 120, 90},  // ppl3
    {40, 160, 40},   // grass
    {230, 230, 255}, // bplogo
    {255, 120, 255}, // standup
    {255, 40, 255},  // sucks
    {120, 255, 255}, // whoops
    {60, 60, 255},   // move
    {255, 0, 255},   // love
    {0, 255, 255},   // seeyou
    {200, 200, 200}, // speakers
    {90, 70, 50},    // floor (checked with a darker colour)
    {30, 40, 90},    // background, lower part (the upper part is never shown)
};

constexpr const char* kNames[kTextureCount] = {
    "quopple1", "vesk1", "ombrit1", "quopple2", "ombrit2", "vesk2",     "ppl1",
    "ppl2",     "ppl3",  "grass",   "bplogo",   "standup", "sucks",     "whoops",
    "move",     "love",  "seeyou",  "speakers", "floor",   "background"};

inline bool isPair(int index) {
    return index <= kGrass || index == kSpeakers;
}
inline bool isOwnBlue(int index) {
    return index >= kLogo && index <= kSeeYou;
}

// A figure: a head on a body, standing on the picture's bottom edge.
inline bool inFigure(int x, int y) {
    return (x >= 3 && x <= 12 && y >= 5) || (x >= 5 && x <= 10 && y >= 1 && y <= 4);
}
// A tuft: wider at the bottom.
inline bool inTuft(int x, int y) {
    return 2 * std::abs(2 * x - 15) < 2 * y + 2;
}
// A frame three pixels wide around a see-through middle.
inline bool inFrame(int x, int y) {
    return x < 3 || y < 3 || x > 12 || y > 12;
}

inline Rgb grey(bool on) {
    return on ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
}

inline void writePicture(const std::string& name, const std::function<Rgb(int, int)>& colour) {
    writeBytes("data/" + name + ".hwl", encodePicture(kSide, kSide, colour));
}

// Every file of the show's texture table, the loading picture and a script.
inline void writeShowDirectory() {
    for (int i = 0; i < kTextureCount; ++i) {
        const Rgb c = kColours[i];
        const std::string name = kNames[i];
        if (i == kFloor) {
            writePicture(name, [c](int x, int y) {
                return ((x / 4 + y / 4) % 2)
                           ? c
                           : Rgb{uint8_t(c.r / 2), uint8_t(c.g / 2), uint8_t(c.b / 2)};
            });
        } else if (i == kBackground) {
            writePicture(name, [c](int, int y) { return y < 9 ? Rgb{200, 0, 0} : c; });
        } else if (isOwnBlue(i)) {
            writePicture(name, [c](int x, int y) { return inFrame(x, y) ? c : Rgb{c.r, c.g, 0}; });
        } else {
            writePicture(name, [c](int, int) { return c; });
        }
        if (!isPair(i)) continue;
        const auto shape = i == kGrass ? inTuft : i == kSpeakers ? inFrame : inFigure;
        writePicture(name + "_alpha", [shape](int x, int y) { return grey(shape(x, y)); });
    }
    writePicture("loading", [](int, int) { return Rgb{50, 50, 50}; });
    writeBytes("script.sqx", {});
}

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
    Frame frame;
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    frame.width = viewport[2];
    frame.height = viewport[3];
    frame.rgba.resize(size_t(frame.width) * frame.height * 4);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, frame.width, frame.height, GL_RGBA, GL_UNSIGNED_BYTE, frame.rgba.data());
    return frame;
}

// Where a point of the scene lands in the window, through the view the
// camera holds now (the scenes keep the model-view at the identity).
inline Rgb pixelAt(const Frame& frame, double x, double y, double z) {
    std::array<double, 16> modelView{}, projection{};
    GLint viewport[4] = {};
    glGetDoublev(GL_PROJECTION_MATRIX, projection.data());
    glGetIntegerv(GL_VIEWPORT, viewport);
    modelView = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    double wx = 0, wy = 0, wz = 0;
    gluProject(x, y, z, modelView.data(), projection.data(), viewport, &wx, &wy, &wz);
    return frame.at(int(wx), int(wy));
}

inline void expectColour(Rgb actual, Rgb expected, const std::string& where, int tolerance = 3) {
    EXPECT_NEAR(actual.r, expected.r, tolerance) << where;
    EXPECT_NEAR(actual.g, expected.g, tolerance) << where;
    EXPECT_NEAR(actual.b, expected.b, tolerance) << where;
}

// Saves the frame as a PNG (top row first) when GL_TESTS_PNG_DIR names a folder.
inline void saveForViewing(const Frame& frame, const std::string& name) {
    const char* folder = std::getenv("GL_TESTS_PNG_DIR");
    if (folder == nullptr) return;
    PngImage image{frame.width, frame.height, 4, {}};
    for (int y = frame.height - 1; y >= 0; --y) {
        const auto row = frame.rgba.begin() + ptrdiff_t(y) * frame.width * 4;
        image.pixels.insert(image.pixels.end(), row, row + frame.width * 4);
    }
    EXPECT_TRUE(writePng(std::string(folder) + "/" + name, image).ok());
}

// Makes a texture see-through everywhere, to look at what lies behind it.
inline void hideTexture(TextureIndex index) {
    setAlpha(textures[index]->image, 0);
    textures[index]->upload();
}

inline GLint blendSource() {
    return glInteger(GL_BLEND_SRC);
}
inline GLint blendDestination() {
    return glInteger(GL_BLEND_DST);
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
    // at `time` through the show's frame function; the picture is read back
    // (the after-swap callbacks only move the camera).
    Frame renderFrame(int number, int32_t time) {
        placeScene(timelineSlots[1], sceneSlots[number], 0, kTimelineLength);
        showFrame(time, nullptr, nullptr);
        return readBackBuffer();
    }

    ScratchDirectory scratch;
};

} // namespace showtest
