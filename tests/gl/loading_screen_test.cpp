// The loading screen: the render state it sets for the whole show (the
// camera's projection among it) and its frames.
#include "gl_fixture.h"
#include "show/loading_screen.h"

namespace {

class LoadingScreen : public OffscreenContext {
  protected:
    ScratchDirectory scratch;
};

} // namespace

TEST_F(LoadingScreen, InitSetsTheShowsRenderStateEvenWithoutItsPicture) {
    glShadeModel(GL_FLAT);
    glColor4f(0, 0, 0, 0);
    glClearDepth(0.5);
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    const TextureResult missing = initLoadingScreen(100, 80);
    EXPECT_EQ(missing.module, "kglTexture");
    EXPECT_EQ(missing.message, "Could not load Texture (data/loading.hwl: file not found)");
    expectLoaded(projection());
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
    expectColour(pixelAt(half, 1.2, 0, 0), kBlack, "beside the picture");
    expectColour(bar(half, -0.05), kWhite, "bar's end");
    expectColour(bar(half, 0.05), kBottom, "after the bar");
    drawLoadingFrame(*loading.texture, 1.0);
    expectColour(bar(readBackBuffer(), 0.95), kWhite, "full bar");
    // Every frame starts from a cleared screen: the full bar is gone.
    drawLoadingFrame(*loading.texture, 0.0);
    expectColour(bar(readBackBuffer(), 0.95), kBottom, "no old bar");
}
