#include "show/loading_screen.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <array>
#include <cmath>

#include "effects/camera.h"
#include "gl_support.h"
#include "tools/png_io.h"

namespace {

constexpr int kPictureSide = 16;
constexpr Rgb kTop = {180, 60, 30};   // rows 0 to 7: shown at the top
constexpr Rgb kBottom = {20, 40, 90}; // rows 8 to 15

Rgb halves(int, int y) {
    return y < kPictureSide / 2 ? kTop : kBottom;
}

struct Frame {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba; // row 0 at the bottom, as OpenGL reads it

    Rgb at(int x, int y) const {
        const uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
        return {p[0], p[1], p[2]};
    }
};

Frame readBackBuffer() {
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

// Where a point of the loading frame's model space lands in the window,
// through the matrices the frame was drawn with.
Rgb pixelAt(const Frame& frame, double x, double y, double z) {
    std::array<double, 16> modelView{}, projection{};
    GLint viewport[4] = {};
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView.data());
    glGetDoublev(GL_PROJECTION_MATRIX, projection.data());
    glGetIntegerv(GL_VIEWPORT, viewport);
    double wx = 0, wy = 0, wz = 0;
    gluProject(x, y, z, modelView.data(), projection.data(), viewport, &wx, &wy, &wz);
    return frame.at(int(wx), int(wy));
}

void expectColour(Rgb actual, Rgb expected, const char* where) {
    EXPECT_NEAR(actual.r, expected.r, 3) << where;
    EXPECT_NEAR(actual.g, expected.g, 3) << where;
    EXPECT_NEAR(actual.b, expected.b, 3) << where;
}

constexpr Rgb kWhite = {255, 255, 255};
constexpr Rgb kBlack = {0, 0, 0};
constexpr double kBarMiddle = -0.45; // the bar spans y -0.5 to -0.4, at z 0.1
constexpr double kBarDepth = 0.1;

// Saves the frame as a PNG (top row first) when GL_TESTS_PNG_DIR names a folder.
void saveForViewing(const Frame& frame, const std::string& name) {
    const char* folder = std::getenv("GL_TESTS_PNG_DIR");
    if (folder == nullptr) return;
    PngImage image{frame.width, frame.height, 4, {}};
    for (int y = frame.height - 1; y >= 0; --y) {
        const auto row = frame.rgba.begin() + ptrdiff_t(y) * frame.width * 4;
        image.pixels.insert(image.pixels.end(), row, row + frame.width * 4);
    }
    EXPECT_TRUE(writePng(std::string(folder) + "/" + name, image).ok());
}

class LoadingScreenTest : public OffscreenContext {
  protected:
    ScratchDirectory scratch;
};

} // namespace

TEST_F(LoadingScreenTest, InitSetsTheRenderStateTheShowKeeps) {
    writeBytes("data/loading.hwl", encodePicture(kPictureSide, kPictureSide, halves));
    glEnable(GL_DEPTH_TEST);
    TextureResult loading = initLoadingScreen(kWidth, kHeight);
    ASSERT_TRUE(loading.ok()) << loading.message;

    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], kWidth);
    EXPECT_EQ(viewport[3], kHeight);
    EXPECT_EQ(glInteger(GL_MATRIX_MODE), GL_MODELVIEW);
    std::array<double, 16> projection{}, modelView{};
    glGetDoublev(GL_PROJECTION_MATRIX, projection.data());
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView.data());
    const double f = 1 / std::tan(22.5 * M_PI / 180);
    EXPECT_NEAR(projection[0], f * 0.75, 1e-6);
    EXPECT_NEAR(projection[5], f, 1e-6);
    EXPECT_NEAR(projection[11], -1, 1e-6);
    EXPECT_NEAR(projection[12], 0, 1e-6); // no view folded in
    for (int i = 0; i < 16; ++i) EXPECT_EQ(modelView[i], i % 5 == 0 ? 1 : 0) << i;

    GLfloat clear[4] = {}, colour[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glGetFloatv(GL_CURRENT_COLOR, colour);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(clear[i], 0.0f);
    EXPECT_EQ(clear[3], 1.0f);
    for (float c : colour) EXPECT_EQ(c, 1.0f);
    EXPECT_EQ(glInteger(GL_SHADE_MODEL), GL_SMOOTH);
    GLdouble depthClear = 0;
    glGetDoublev(GL_DEPTH_CLEAR_VALUE, &depthClear);
    EXPECT_EQ(depthClear, 1.0);
    EXPECT_EQ(glInteger(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST), GL_FALSE);
    EXPECT_EQ(glInteger(GL_PERSPECTIVE_CORRECTION_HINT), GL_NICEST);
    EXPECT_EQ(glIsEnabled(GL_BLEND), GL_TRUE);
    EXPECT_EQ(glInteger(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(glInteger(GL_BLEND_DST), GL_ONE);

    // The picture: 3 components, no mipmaps.
    EXPECT_EQ(loading.texture->image.components, 3);
    EXPECT_FALSE(loading.texture->mipmapped);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(LoadingScreenTest, ProgressFramesShowThePictureAndABarOfTheRightLength) {
    writeBytes("data/loading.hwl", encodePicture(kPictureSide, kPictureSide, halves));
    TextureResult loading = initLoadingScreen(kWidth, kHeight);
    ASSERT_TRUE(loading.ok()) << loading.message;
    const Texture& picture = *loading.texture;

    drawLoadingFrame(picture, 0.5);
    const Frame half = readBackBuffer();
    saveForViewing(half, "loading_0.5.png");
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    expectColour(pixelAt(half, 0, 0.6, 0), kTop, "upper half of the picture");
    expectColour(pixelAt(half, 0, -0.8, 0), kBottom, "lower half of the picture");
    expectColour(pixelAt(half, -0.5, kBarMiddle, kBarDepth), kWhite, "bar");
    expectColour(pixelAt(half, -0.05, kBarMiddle, kBarDepth), kWhite, "bar's end");
    expectColour(pixelAt(half, 0.05, kBarMiddle, kBarDepth), kBottom, "after the bar");
    expectColour(pixelAt(half, 1.2, 0, 0), kBlack, "beside the picture");
    expectColour(half.at(0, 0), kBlack, "corner");

    drawLoadingFrame(picture, 1.0);
    const Frame full = readBackBuffer();
    saveForViewing(full, "loading_1.0.png");
    expectColour(pixelAt(full, 0.95, kBarMiddle, kBarDepth), kWhite, "full bar");
    expectColour(pixelAt(full, 1.1, kBarMiddle, kBarDepth), kBlack, "past the picture");

    // Every frame starts from a cleared screen: the full bar is gone.
    drawLoadingFrame(picture, 0.0);
    const Frame empty = readBackBuffer();
    expectColour(pixelAt(empty, -0.9, kBarMiddle, kBarDepth), kBottom, "no bar");
    expectColour(pixelAt(empty, 0.95, kBarMiddle, kBarDepth), kBottom, "no old bar");

    // Presenting keeps the render state and draws the same frame.
    drawLoadingProgress(picture, 0.5);
    EXPECT_EQ(glIsEnabled(GL_BLEND), GL_TRUE);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(LoadingScreenTest, AMissingPictureIsReportedWithItsName) {
    const TextureResult loading = initLoadingScreen(kWidth, kHeight);
    EXPECT_FALSE(loading.ok());
    EXPECT_EQ(loading.module, "kglTexture");
    EXPECT_EQ(loading.message, "Could not load Texture (data/loading.hwl: file not found)");
    EXPECT_EQ(glIsEnabled(GL_BLEND), GL_TRUE); // the render state is set all the same
}
