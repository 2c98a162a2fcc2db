// The eleven scenes: their registration, every quad each draw sends (stage,
// performers, overlay, foreground, fade) in its colour, the state it leaves,
// and frames rendered through the show's own frame function.
#include <cmath>

#include "gl_fixture.h"
#include "show/grass_field.h"
#include "show/scene_interpreter.h"

using namespace showtest;

namespace {

class ScenesTest : public ShowTest {};

// Back, middle and front performer of Scene1 to Scene11.
constexpr TextureIndex kPerformers[11][3] = {
    {kOmbrit1, kVesk1, kQuopple1}, {kOmbrit2, kVesk2, kQuopple2}, {kOmbrit1, kVesk1, kQuopple1},
    {kOmbrit1, kVesk1, kQuopple1}, {kOmbrit1, kVesk2, kQuopple1}, {kOmbrit2, kVesk2, kQuopple1},
    {kOmbrit1, kVesk1, kQuopple1}, {kOmbrit1, kVesk1, kQuopple1}, {kOmbrit2, kVesk2, kQuopple2},
    {kOmbrit2, kVesk2, kQuopple1}, {kOmbrit2, kVesk2, kQuopple1}};

// The overlay's alpha in scene `number` at play time t, before OpenGL clamps
// it.
double overlayAlpha(int number, double t) {
    const double period[] = {0, 0, 0, 1000, 1000, 1000, 200, 1000, 500, 400, 400, 400};
    return number == 3 ? std::sin(t / 1000) : std::abs(std::sin(t / period[number]));
}

// Quads in every scene: floor, wall, 150 tufts, six of the crowd; then the
// three performers; the foreground's logo and three glowing tufts.
constexpr size_t kStageQuads = 158, kForegroundQuads = 4;

// An upright quad from x `left` to `right` and y `bottom` to `top`, its foot
// at depth `foot` and its top at `head`; the picture's first row at the top,
// mirrored left to right when `mirrored`.
ExpectedQuad upright(float left, float right, float bottom, float top, float foot, float head,
                     bool mirrored = false) {
    const float s0 = mirrored ? 1 : 0, s1 = 1 - s0;
    return {{{s0, 1, left, bottom, foot},
             {s1, 1, right, bottom, foot},
             {s1, 0, right, top, head},
             {s0, 0, left, top, head}}};
}

} // namespace

TEST_F(ScenesTest, ElevenScenesAreRegisteredWithTheirNamesAndCameraCallbacks) {
    for (int number = 1; number <= 11; ++number) {
        const Scene* scene = sceneSlots[number];
        ASSERT_NE(scene, nullptr) << number;
        EXPECT_EQ(scene->name, "Scene" + std::to_string(number));
        EXPECT_TRUE(scene->onStart && scene->onDraw && scene->onAfterSwap) << number;
    }
    EXPECT_EQ(sceneSlots[12], nullptr);
}

// Whatever the model-view and the colour held (a fade, an overlay), each
// draw starts from the identity in opaque white, and ends with the blend
// the next frame's stage starts with. Scene11's closing fade is black, a
// quarter of the way up at 135500 ms.
TEST_F(ScenesTest, EachDrawSendsItsQuadsAndLeavesTheBlendTheNextFrameStartsWith) {
    restartRandom();
    sceneSlots[1]->onStart();
    for (int number = 1; number <= 11; ++number) {
        SCOPED_TRACE(number);
        playTime = number == 11 ? 135500 : 4000; // each pulse between its extremes
        glBlendFunc(GL_ONE, GL_ZERO);
        const std::vector<FeedbackQuad> quads = recordQuads([number] {
            glTranslatef(5, 0, 0);
            glColor4f(0, 0, 0, 0.5f);
            sceneSlots[number]->onDraw();
        });
        EXPECT_EQ(glInteger(GL_BLEND_SRC), GL_SRC_ALPHA);
        EXPECT_EQ(glInteger(GL_BLEND_DST), number == 11 ? GL_ONE_MINUS_SRC_ALPHA : GL_ONE);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
        EXPECT_EQ(glInteger(GL_TEXTURE_BINDING_2D), GLint(textures[kGrass]->textureName));
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        const size_t overlay = number >= 3 ? 1 : 0;
        ASSERT_EQ(quads.size(), kStageQuads + 3 + overlay + kForegroundQuads + (number == 11));
        expectQuad(
            quads[0],
            {{{0, 12, -10, 0, -10}, {12, 12, 10, 0, -10}, {12, 0, 10, 0, 10}, {0, 0, -10, 0, 10}}},
            "floor");
        expectQuad(quads[1],
                   {{{0, 1, -10, -0.02f, -10},
                     {1, 1, 10, -0.02f, -10},
                     {1, 0.6f, 10, 6, -10},
                     {0, 0.6f, -10, 6, -10}}},
                   "back wall");
        // Each tuft's foot at depth z + lean, its top at z - lean.
        for (int i = kFirstTuft; i <= kLastTuft; ++i) {
            const Particle& t = particleSystem->particles[i];
            expectQuad(quads[1 + i],
                       upright(t.x - 0.5f, t.x + 0.5f, 0, 1, t.z + t.lean, t.z - t.lean),
                       "tuft " + std::to_string(i));
        }
        // The crowd's places are the stage tests' (their frames).
        expectQuad(quads[kStageQuads], upright(-0.2f, 0.8f, 0, 1, -0.3f, -0.3f), "back");
        expectQuad(quads[kStageQuads + 1], upright(0.6f, 1.6f, 0, 1, -0.1f, -0.1f), "middle");
        expectQuad(quads[kStageQuads + 2], upright(-0.8f, 0.2f, 0, 1, 0, 0), "front");
        if (overlay) {
            const float alpha = float(std::clamp(overlayAlpha(number, playTime), 0.0, 1.0));
            expectQuad(quads[kStageQuads + 3], upright(-0.6f, 0.8f, -0.2f, 1.2f, 0.2f, 0.2f),
                       "overlay", {1, 1, 1, alpha});
        }
        const size_t foreground = kStageQuads + 3 + overlay;
        expectQuad(quads[foreground], upright(0.8f, 1, 1, 1.2f, 0.5f, 0.5f), "logo");
        expectQuad(quads[foreground + 3], upright(-0.8f, 0.2f, 0, 1, 0.1f, 0.1f, true),
                   "glow, front");
        const float fade[4][2] = {{-2.6f, -2.2f}, {2.8f, -2.2f}, {2.8f, 2.2f}, {-2.6f, 2.2f}};
        for (int k = 0; number == 11 && k < 4; ++k) {
            const FeedbackCorner& c = quads.back()[k];
            EXPECT_TRUE(std::abs(c.x - fade[k][0]) < 1e-4f && std::abs(c.y - fade[k][1]) < 1e-4f &&
                        std::abs(c.z - 0.4f) < 1e-4f && c.r + c.g + c.b == 0 && c.a == 0.25f)
                << "fade, corner " << k;
        }
    }
}

TEST_F(ScenesTest, EachSceneShowsItsThreePerformersAndTheLogo) {
    hideTexture(kGrass); // the glowing grass would tint them
    for (int number = 1; number <= 11; ++number) {
        SCOPED_TRACE(number);
        renderFrame(number, 0); // the camera's view for t = 0
        const Frame frame = renderFrame(number, 0);
        expectColour(pixelAt(frame, 0.4, 0.4, -0.3), kColours[kPerformers[number - 1][0]], "back");
        expectColour(pixelAt(frame, 1.2, 0.4, -0.1), kColours[kPerformers[number - 1][1]],
                     "middle");
        expectColour(pixelAt(frame, -0.5, 0.4, 0), kColours[kPerformers[number - 1][2]], "front");
        // The logo's frame, drawn with ordinary transparency over the wall.
        expectColour(pixelAt(frame, 0.82, 1.1, 0.5), kColours[kLogo], "logo");
    }
}

// At 1500 x pi ms Scene3's signed sine is at -1: nothing of its logo shows,
// while Scene4 (the same performers) shows its overlay fully; half a cycle
// earlier Scene3 shows its logo. The point is one nothing else covers.
TEST_F(ScenesTest, TheOverlayFollowsThePlayTime) {
    const auto overlayAt = [](const Frame& frame) { return pixelAt(frame, 0.1, 1.1, 0.2); };
    renderFrame(1, 4712);
    const Frame plain = renderFrame(1, 4712);
    EXPECT_EQ(renderFrame(3, 4712), plain);
    expectColour(overlayAt(renderFrame(4, 4712)), kColours[kSucks], "overlay");
    EXPECT_GT(std::abs(overlayAt(plain).r - kColours[kSucks].r), 100);
    renderFrame(3, 1571);
    expectColour(overlayAt(renderFrame(3, 1571)), kColours[kLogo], "logo");
}

// Scene10 draws what Scene11 draws before its fade; both start from the
// ordinary transparency Scene11 leaves, with the view for `time`.
TEST_F(ScenesTest, TheLastSceneFadesToBlack) {
    const auto withAndWithoutFade = [this](int32_t time) {
        renderFrame(11, time);
        const Frame before = renderFrame(10, time);
        renderFrame(11, time);
        return std::pair{before, renderFrame(11, time)};
    };
    const auto [early, unfaded] = withAndWithoutFade(134000);
    EXPECT_EQ(early, unfaded) << "a negative alpha shows nothing";
    const auto [plain, half] = withAndWithoutFade(136000);
    EXPECT_NE(plain, half);
    const Frame black = renderFrame(11, 137000);
    for (size_t i = 0; i < plain.rgba.size(); ++i) { // alpha bytes aside
        ASSERT_NEAR(half.rgba[i], i % 4 == 3 ? half.rgba[i] : plain.rgba[i] / 2.0, 1) << i;
        ASSERT_EQ(i % 4 == 3 ? 0 : black.rgba[i], 0) << i;
    }
}

// A grid draws its quads once for each cell, i its column and j its row,
// read fresh for every cell.
TEST_F(ScenesTest, AGridDrawsEachCellWithItsColumnAndRow) {
    scenes::SceneSet set;
    ASSERT_FALSE(scenes::readSceneSet({{"scenes/grid.scene", R"(
scene Board
    draw
        colour 1 1 1 1
        grid 3 2
            0     0   (i)     (j*2)     0
            1     0   (i+1)   (j*2)     0
            1 (i/2)   (i+1)   (j*2+1)   0
            0 (i/2)   (i)     (j*2+1)   0
        end
    end
end
)"}},
                                      set));
    installSceneSet(std::move(set), {});
    const std::vector<FeedbackQuad> quads = recordQuads([] { sceneSlots[1]->onDraw(); });
    ASSERT_EQ(quads.size(), 6u);
    for (int cell = 0; cell < 6; ++cell) {
        const float i = float(cell % 3), j = float(cell / 3);
        expectQuad(quads[size_t(cell)],
                   {{{0, 0, i, j * 2, 0},
                     {1, 0, i + 1, j * 2, 0},
                     {1, i / 2, i + 1, j * 2 + 1, 0},
                     {0, i / 2, i, j * 2 + 1, 0}}},
                   "cell " + std::to_string(cell));
    }
}
