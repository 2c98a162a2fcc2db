// The camera's matrices against GLU's for the show's view, and the loading
// screen: the render state it sets for the whole show and its frames.
#include <cmath>

#include "effects/camera.h"
#include "gl_fixture.h"
#include "show/loading_screen.h"

namespace {

using Matrix = std::array<double, 16>; // column-major, as OpenGL keeps it

constexpr Matrix kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// The reference: 45 degrees, 4:3, near 0.1, far 100, times the view from
// `eye` towards `centre`, as GLU computes them.
Matrix projection(std::array<double, 9> view = {0, 0, 0, 0, 0, -1, 0, 1, 0}, bool withView = true) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluPerspective(45, 4.0 / 3.0, 0.1, 100);
    if (withView)
        gluLookAt(view[0], view[1], view[2], view[3], view[4], view[5], view[6], view[7], view[8]);
    Matrix m{};
    glGetDoublev(GL_PROJECTION_MATRIX, m.data());
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    return m;
}

// The matrices loaded now, with the model-view current.
void expectLoaded(const Matrix& projection, const Matrix& modelView = kIdentity) {
    EXPECT_EQ(glInteger(GL_MATRIX_MODE), GL_MODELVIEW);
    for (const auto& [which, expected] :
         {std::pair{GL_PROJECTION_MATRIX, projection}, std::pair{GL_MODELVIEW_MATRIX, modelView}}) {
        Matrix actual{};
        glGetDoublev(which, actual.data());
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(actual[i], expected[i], 1e-5 * (1 + std::abs(expected[i])))
                << (which == GL_PROJECTION_MATRIX ? "projection " : "model-view ") << i;
    }
}

class CameraTest : public OffscreenContext {};

class LoadingScreen : public OffscreenContext {
  protected:
    ScratchDirectory scratch;
};

} // namespace

// The perspective is 4:3 whatever the viewport.
TEST_F(CameraTest, ViewsAreLoadedIntoTheProjectionOnlyWhileActive) {
    const Matrix side = projection({1, 2, 3, 0.5, -1, -5, 0, 1, 0});
    const Matrix high = projection({0, 4, 1, 0, 0, 0, 0, 0, -1});
    glViewport(0, 0, 100, 300);
    glTranslatef(1, 2, 3);
    Camera camera = createCamera(1, 2, 3, 0.5f, -1, -5, 0, 1, 0);
    EXPECT_TRUE(camera.active);
    expectLoaded(side);
    setView(camera, 0, 4, 1, 0, 0, 0, 0, 0, -1);
    expectLoaded(side); // setView alone loads nothing
    apply(camera);
    expectLoaded(high);
    // Activation shows the neutral view until the next apply; the stored one is kept.
    setActive(camera, true);
    expectLoaded(projection());
    apply(camera);
    expectLoaded(high);
    // Deactivation shows the stored view once; then apply leaves everything alone.
    setView(camera, 1, 2, 3, 0.5f, -1, -5, 0, 1, 0);
    setActive(camera, false);
    EXPECT_FALSE(camera.active);
    expectLoaded(side);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(5, 0, 0);
    apply(camera);
    Matrix translated = kIdentity;
    translated[12] = 5;
    expectLoaded(kIdentity, translated);
    glViewport(0, 0, kWidth, kHeight);
}

TEST_F(LoadingScreen, InitSetsTheShowsRenderStateEvenWithoutItsPicture) {
    glShadeModel(GL_FLAT);
    glColor4f(0, 0, 0, 0);
    glClearDepth(0.5);
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    const TextureResult missing = initLoadingScreen(100, 80);
    EXPECT_EQ(missing.module, "kglTexture");
    EXPECT_EQ(missing.message, "Could not load Texture (data/loading.hwl: file not found)");
    expectLoaded(projection({}, false));
    const std::pair<GLenum, GLint> integers[] = {
        {GL_SHADE_MODEL, GL_SMOOTH}, {GL_DEPTH_FUNC, GL_LEQUAL},
        {GL_DEPTH_TEST, GL_FALSE},   {GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST},
        {GL_BLEND, GL_TRUE},         {GL_BLEND_SRC, GL_SRC_ALPHA},
        {GL_BLEND_DST, GL_ONE}};
    for (const auto& [name, value] : integers) EXPECT_EQ(glInteger(name), value) << name;
    const std::pair<GLenum, std::vector<float>> vectors[] = {{GL_VIEWPORT, {0, 0, 100, 80}},
                                                             {GL_COLOR_CLEAR_VALUE, {0, 0, 0, 1}},
                                                             {GL_CURRENT_COLOR, {1, 1, 1, 1}},
                                                             {GL_DEPTH_CLEAR_VALUE, {1}}};
    for (const auto& [name, expected] : vectors) {
        std::vector<float> actual(expected.size());
        glGetFloatv(name, actual.data());
        EXPECT_EQ(actual, expected) << name;
    }
    glViewport(0, 0, kWidth, kHeight);
}

// The picture's upper half (rows 0 to 7) shows at the top; the white bar
// lies across its lower half from the left edge, at y -0.5 to -0.4, z 0.1.
TEST_F(LoadingScreen, ProgressFramesShowThePictureAndABarOfTheRightLength) {
    constexpr Rgb kTop = {180, 60, 30}, kBottom = {20, 40, 90};
    constexpr Rgb kWhite = {255, 255, 255}, kBlack = {0, 0, 0};
    writeBytes("data/loading.hwl",
               encodePicture(16, 16, [&](int, int y) { return y < 8 ? kTop : kBottom; }));
    TextureResult loading = initLoadingScreen(kWidth, kHeight);
    ASSERT_TRUE(loading.ok()) << loading.message;
    EXPECT_EQ(loading.texture->image.components, 3);
    EXPECT_FALSE(loading.texture->mipmapped);
    const auto bar = [](const Frame& frame, double x) { return pixelAt(frame, x, -0.45, 0.1); };

    drawLoadingFrame(*loading.texture, 0.5);
    const Frame half = readBackBuffer();
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    expectColour(pixelAt(half, 0, 0.6, 0), kTop, "upper half of the picture");
    expectColour(pixelAt(half, 0, -0.8, 0), kBottom, "lower half of the picture");
    expectColour(bar(half, -0.5), kWhite, "bar");
    expectColour(bar(half, -0.05), kWhite, "bar's end");
    expectColour(bar(half, 0.05), kBottom, "after the bar");
    expectColour(pixelAt(half, 1.2, 0, 0), kBlack, "beside the picture");

    drawLoadingFrame(*loading.texture, 1.0);
    const Frame full = readBackBuffer();
    expectColour(bar(full, 0.95), kWhite, "full bar");
    expectColour(bar(full, 1.1), kBlack, "past the picture");

    // Every frame starts from a cleared screen: the full bar is gone.
    drawLoadingFrame(*loading.texture, 0.0);
    const Frame empty = readBackBuffer();
    expectColour(bar(empty, -0.9), kBottom, "no bar");
    expectColour(bar(empty, 0.95), kBottom, "no old bar");
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
