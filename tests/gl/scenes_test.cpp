// The eleven scenes: their registration, what each draws and in which
// colour, the overlays that pulse with the play time, the closing fade, and
// frames rendered through the show's own frame function.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "feedback.h"
#include "show/scene_draws.h"
#include "show/stage.h"
#include "show_fixture.h"

using namespace showtest;

namespace {

class ScenesTest : public ShowTest {};

struct Performers {
    TextureIndex back, middle, front;
};

constexpr Performers kPerformers[12] = {
    {},
    {kOmbrit1, kVesk1, kQuopple1},
    {kOmbrit2, kVesk2, kQuopple2},
    {kOmbrit1, kVesk1, kQuopple1},
    {kOmbrit1, kVesk1, kQuopple1},
    {kOmbrit1, kVesk2, kQuopple1},
    {kOmbrit2, kVesk2, kQuopple1},
    {kOmbrit1, kVesk1, kQuopple1},
    {kOmbrit1, kVesk1, kQuopple1},
    {kOmbrit2, kVesk2, kQuopple2},
    {kOmbrit2, kVesk2, kQuopple1},
    {kOmbrit2, kVesk2, kQuopple1},
};

// The overlay's alpha in scene `number` at play time t, before OpenGL clamps it.
double overlayAlpha(int number, double t) {
    switch (number) {
    case 3:
        return std::sin(t / 1000);
    case 6:
        return std::abs(std::sin(t / 200));
    case 8:
        return std::abs(std::sin(t / 500));
    case 9:
    case 10:
    case 11:
        return std::abs(std::sin(t / 400));
    default:
        return std::abs(std::sin(t / 1000));
    }
}

constexpr int32_t kOverlayHidden = 4712; // 1500 x pi: the sine at -1
constexpr int32_t kLogoShown = 1571;     // 500 x pi: the sine at 1

// A point of the overlay that nothing in the foreground covers.
constexpr double kOverlayX = 0.1, kOverlayY = 1.1, kOverlayZ = 0.2;

} // namespace

TEST_F(ScenesTest, ElevenScenesShareTheSetUpAndTheCameraCallbacks) {
    for (int number = 1; number <= 11; ++number) {
        SCOPED_TRACE(number);
        const Scene* scene = sceneSlots[number];
        ASSERT_NE(scene, nullptr);
        EXPECT_EQ(scene->name, "Scene" + std::to_string(number));
        EXPECT_EQ(scene->onStart, sceneSetup);
        EXPECT_EQ(scene->onDraw, sceneDraw(number));
        EXPECT_EQ(scene->onAfterSwap, number == 6 ? swayCameraBounce : swayCamera);
        for (int other = 1; other < number; ++other) EXPECT_NE(sceneDraw(other), scene->onDraw);
    }
    EXPECT_EQ(sceneSlots[12], nullptr);
    EXPECT_EQ(sceneDraw(0), nullptr);
    EXPECT_EQ(sceneDraw(12), nullptr);
}

TEST_F(ScenesTest, EachDrawEndsWithTheBlendFunctionTheNextFrameStartsWith) {
    for (int number = 1; number <= 11; ++number) {
        SCOPED_TRACE(number);
        glBlendFunc(GL_ONE, GL_ZERO);
        sceneDraw(number)();
        EXPECT_EQ(blendSource(), GL_SRC_ALPHA);
        EXPECT_EQ(blendDestination(), number == 11 ? GL_ONE_MINUS_SRC_ALPHA : GL_ONE);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
}

TEST_F(ScenesTest, EachDrawSendsStagePerformersOverlayAndForeground) {
    constexpr int32_t kTime = 4000; // every pulse somewhere between its extremes
    constexpr size_t kStageQuads = 158, kForegroundQuads = 4;
    playTime = kTime;
    for (int number = 1; number <= 11; ++number) {
        SCOPED_TRACE(number);
        const bool hasOverlay = number >= 3;
        // Whatever the model-view held, the draw starts from the identity.
        const std::vector<FeedbackQuad> quads = recordQuads([number] {
            glTranslatef(5, 0, 0);
            sceneDraw(number)();
        });
        ASSERT_EQ(quads.size(),
                  kStageQuads + 3 + (hasOverlay ? 1 : 0) + kForegroundQuads + (number == 11));
        expectQuad(quads[kStageQuads],
                   {{{0, 1, -0.2f, 0, -0.3f},
                     {1, 1, 0.8f, 0, -0.3f},
                     {1, 0, 0.8f, 1, -0.3f},
                     {0, 0, -0.2f, 1, -0.3f}}},
                   "back place");
        expectQuad(quads[kStageQuads + 1],
                   {{{0, 1, 0.6f, 0, -0.1f},
                     {1, 1, 1.6f, 0, -0.1f},
                     {1, 0, 1.6f, 1, -0.1f},
                     {0, 0, 0.6f, 1, -0.1f}}},
                   "middle place");
        expectQuad(
            quads[kStageQuads + 2],
            {{{0, 1, -0.8f, 0, 0}, {1, 1, 0.2f, 0, 0}, {1, 0, 0.2f, 1, 0}, {0, 0, -0.8f, 1, 0}}},
            "front place");
        if (!hasOverlay) continue;
        const float alpha = float(std::clamp(overlayAlpha(number, kTime), 0.0, 1.0));
        expectQuad(quads[kStageQuads + 3],
                   {{{0, 1, -0.6f, -0.2f, 0.2f},
                     {1, 1, 0.8f, -0.2f, 0.2f},
                     {1, 0, 0.8f, 1.2f, 0.2f},
                     {0, 0, -0.6f, 1.2f, 0.2f}}},
                   "overlay", {1, 1, 1, alpha});
        // The foreground is white again.
        expectQuad(quads[kStageQuads + 4],
                   {{{0, 1, 0.8f, 1, 0.5f},
                     {1, 1, 1, 1, 0.5f},
                     {1, 0, 1, 1.2f, 0.5f},
                     {0, 0, 0.8f, 1.2f, 0.5f}}},
                   "logo");
    }

    // The closing fade: black, a quarter of the way up at 135500 ms.
    playTime = 135500;
    const std::vector<FeedbackQuad> quads = recordQuads(sceneDraw(11));
    ASSERT_EQ(quads.size(), kStageQuads + 3 + 1 + kForegroundQuads + 1);
    const FeedbackQuad& fade = quads.back();
    const std::array<std::array<float, 3>, 4> corners = {
        {{-2.6f, -2.2f, 0.4f}, {2.8f, -2.2f, 0.4f}, {2.8f, 2.2f, 0.4f}, {-2.6f, 2.2f, 0.4f}}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(fade[k].x, corners[k][0], 1e-4);
        EXPECT_NEAR(fade[k].y, corners[k][1], 1e-4);
        EXPECT_NEAR(fade[k].z, corners[k][2], 1e-4);
        EXPECT_EQ(fade[k].r, 0.0f);
        EXPECT_EQ(fade[k].a, 0.25f);
    }
}

TEST_F(ScenesTest, EachSceneShowsItsThreePerformers) {
    hideTexture(kGrass); // the glowing grass would tint them
    for (int number = 1; number <= 11; ++number) {
        SCOPED_TRACE(number);
        renderFrame(number, 0); // the camera's view for t = 0
        const Frame frame = renderFrame(number, 0);
        if (number == 1) saveForViewing(frame, "scene1_performers.png");
        const Performers p = kPerformers[number];
        expectColour(pixelAt(frame, 0.4, 0.4, -0.3), kColours[p.back], "back");
        expectColour(pixelAt(frame, 1.2, 0.4, -0.1), kColours[p.middle], "middle");
        expectColour(pixelAt(frame, -0.5, 0.4, 0), kColours[p.front], "front");
        // The logo's frame, drawn with ordinary transparency over the wall.
        expectColour(pixelAt(frame, 0.82, 1.1, 0.5), kColours[kLogo], "logo");
    }
}

TEST_F(ScenesTest, TheOverlayFollowsThePlayTime) {
    renderFrame(1, kOverlayHidden);
    const Frame plain = renderFrame(1, kOverlayHidden);
    // Scene3's signed sine is at -1: nothing of its logo shows.
    const Frame hidden = renderFrame(3, kOverlayHidden);
    EXPECT_EQ(hidden, plain);
    // Scene4 has the same performers and its overlay fully shown.
    const Frame shown = renderFrame(4, kOverlayHidden);
    saveForViewing(shown, "scene4_overlay.png");
    expectColour(pixelAt(shown, kOverlayX, kOverlayY, kOverlayZ), kColours[kSucks], "overlay");
    EXPECT_GT(std::abs(pixelAt(plain, kOverlayX, kOverlayY, kOverlayZ).r - kColours[kSucks].r),
              100);

    // Half a cycle earlier Scene3 shows its logo.
    renderFrame(3, kLogoShown);
    const Frame logo = renderFrame(3, kLogoShown);
    saveForViewing(logo, "scene3_logo.png");
    expectColour(pixelAt(logo, kOverlayX, kOverlayY, kOverlayZ), kColours[kLogo], "logo");
}

TEST_F(ScenesTest, TheLastSceneFadesToBlack) {
    // Scene10 draws what Scene11 draws before its fade; both start from the
    // ordinary transparency that Scene11 leaves, with the view for `time`.
    const auto withAndWithoutFade = [this](int32_t time) {
        renderFrame(11, time);
        const Frame before = renderFrame(10, time);
        renderFrame(11, time);
        return std::pair{before, renderFrame(11, time)};
    };

    const auto [early, unfaded] = withAndWithoutFade(134000);
    EXPECT_EQ(early, unfaded) << "a negative alpha shows nothing";

    const auto [plain, half] = withAndWithoutFade(136000);
    saveForViewing(plain, "scene10_136000.png");
    saveForViewing(half, "scene11_136000.png");
    for (size_t i = 0; i < plain.rgba.size(); i += 4)
        for (size_t c = 0; c < 3; ++c)
            ASSERT_NEAR(half.rgba[i + c], plain.rgba[i + c] / 2.0, 1) << "byte " << i + c;
    EXPECT_NE(plain, half);

    const Frame black = renderFrame(11, 137000);
    for (size_t i = 0; i < black.rgba.size(); i += 4)
        ASSERT_EQ(black.rgba[i] + black.rgba[i + 1] + black.rgba[i + 2], 0) << "pixel " << i / 4;
}
