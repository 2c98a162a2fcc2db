// The stage the scenes share: the grass field's generator and its once-only
// set-up, the quads of the stage and the foreground, the blend functions they
// leave, and the swaying camera.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "feedback.h"
#include "show/random_generator.h"
#include "show/stage.h"
#include "show_fixture.h"

using namespace showtest;

namespace {

class StageTest : public ShowTest {};

const Particle& tuft(int i) {
    return particleSystem->particles[i];
}

std::array<float, 3> eyeOf(const Camera& c) {
    return {c.eyeX, c.eyeY, c.eyeZ};
}

} // namespace

TEST_F(StageTest, TheGrassFieldIsTheSameOnEveryRun) {
    restartRandom();
    sceneSetup();
    EXPECT_EQ(timelineSlots[1]->setupMarker, kSetupDone);

    EXPECT_FLOAT_EQ(tuft(1).x, 4.2f);
    EXPECT_FLOAT_EQ(tuft(1).z, -3.5f);
    EXPECT_FLOAT_EQ(tuft(1).lean, -0.9f);
    EXPECT_FLOAT_EQ(tuft(150).x, -5.5f);
    EXPECT_FLOAT_EQ(tuft(150).z, -6.3f);
    EXPECT_FLOAT_EQ(tuft(150).lean, -0.4f);
    for (int i = kFirstTuft; i <= kLastTuft; ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(tuft(i).x, -10.0f);
        EXPECT_LE(tuft(i).x, 9.9f);
        EXPECT_GE(tuft(i).z, -6.4f);
        EXPECT_LE(tuft(i).z, -1.5f);
        EXPECT_GE(tuft(i).lean, -1.0f);
        EXPECT_LE(tuft(i).lean, 0.9f);
        EXPECT_EQ(tuft(i).y, 0.0f);
    }
    for (int i : {0, 151, kMaxParticles}) {
        EXPECT_EQ(tuft(i).x, 0.0f) << i;
        EXPECT_EQ(tuft(i).z, 0.0f) << i;
    }
}

TEST(RandomGenerator, AnAssignedSeedStartsItsOwnSequence) {
    const auto fiveDraws = [] {
        std::vector<int32_t> draws;
        for (int i = 0; i < 5; ++i) draws.push_back(random(1000));
        return draws;
    };
    restartRandom();
    const std::vector<int32_t> fromStart = fiveDraws();
    setRandomSeed(12345);
    const std::vector<int32_t> seeded = fiveDraws();
    EXPECT_NE(seeded, fromStart);
    setRandomSeed(12345);
    EXPECT_EQ(fiveDraws(), seeded);
    restartRandom();
    EXPECT_EQ(fiveDraws(), fromStart);
    EXPECT_EQ(random(0), 0);
}

TEST_F(StageTest, TheSetUpRunsOncePerRun) {
    restartRandom();
    sceneSetup();
    const int32_t nextDraw = random(1000000);

    // The set-up loaded the neutral view and left the camera active.
    EXPECT_TRUE(camera.active);
    EXPECT_EQ(eyeOf(camera), (std::array<float, 3>{0, 0, 0}));
    EXPECT_EQ(camera.centreZ, -1.0f);
    EXPECT_EQ(camera.upY, 1.0f);

    // A second call touches neither the generator, the field nor the camera.
    restartRandom();
    timelineSlots[1]->setupMarker = 0;
    sceneSetup();
    particleSystem->particles[1].x = 42;
    setView(camera, 1, 2, 3, 4, 5, 6, 0, 1, 0);
    sceneSetup();
    EXPECT_EQ(random(1000000), nextDraw);
    EXPECT_EQ(tuft(1).x, 42.0f);
    EXPECT_EQ(eyeOf(camera), (std::array<float, 3>{1, 2, 3}));

    // Without its timeline the set-up has nothing to guard itself with and does nothing.
    Timeline* timeline = std::exchange(timelineSlots[1], nullptr);
    timeline->setupMarker = 0;
    sceneSetup();
    EXPECT_EQ(tuft(1).x, 42.0f);
    timelineSlots[1] = timeline;
}

TEST_F(StageTest, TheStageIsDrawnQuadByQuadInItsOrder) {
    restartRandom();
    sceneSetup();
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glColor4f(0, 0, 0, 0.5f); // the closing fade's colour does not reach the next stage
    const std::vector<FeedbackQuad> quads = recordQuads(drawStage);
    ASSERT_EQ(quads.size(), 2u + 150u + 6u);
    // Ordinary transparency is left for the performers.
    EXPECT_EQ(blendSource(), GL_SRC_ALPHA);
    EXPECT_EQ(blendDestination(), GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(glInteger(GL_TEXTURE_BINDING_2D), GLint(textures[kPeople3]->textureName));

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
    // Tuft 1 at x 4.2, z -3.5 with lean -0.9: its foot at -4.4, its top at -2.6.
    expectQuad(quads[2],
               {{{0, 1, 3.7f, 0, -4.4f},
                 {1, 1, 4.7f, 0, -4.4f},
                 {1, 0, 4.7f, 1, -2.6f},
                 {0, 0, 3.7f, 1, -2.6f}}},
               "first tuft");
    for (int i = kFirstTuft; i <= kLastTuft; ++i) {
        const float foot = tuft(i).z + tuft(i).lean, top = tuft(i).z - tuft(i).lean;
        EXPECT_NEAR(quads[1 + i][0].z, foot, 1e-4) << "tuft " << i;
        EXPECT_NEAR(quads[1 + i][3].z, top, 1e-4) << "tuft " << i;
        EXPECT_NEAR(quads[1 + i][0].x, tuft(i).x - 0.5f, 1e-4) << "tuft " << i;
    }
    expectQuad(quads[155],
               {{{0, 1, 1.7f, 0, -1.2f},
                 {1, 1, 0.8f, 0, -1.2f},
                 {1, 0, 0.8f, 1, -1.5f},
                 {0, 0, 1.7f, 1, -1.5f}}},
               "crowd, leaning back");
    expectQuad(quads[157],
               {{{1, 1, -2.4f, 0, -2.5f},
                 {0, 1, -1.6f, 0, -2.5f},
                 {0, 0, -1.6f, 1.2f, -2.5f},
                 {1, 0, -2.4f, 1.2f, -2.5f}}},
               "crowd, tall and mirrored");
}

TEST_F(StageTest, TheForegroundEndsWithTheAdditiveBlend) {
    glEnable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(1, 1, 1, 0.25f); // an overlay's colour does not reach the foreground
    const std::vector<FeedbackQuad> quads = recordQuads(drawForeground);
    ASSERT_EQ(quads.size(), 4u);
    EXPECT_EQ(blendSource(), GL_SRC_ALPHA);
    EXPECT_EQ(blendDestination(), GL_ONE);
    EXPECT_EQ(glInteger(GL_TEXTURE_BINDING_2D), GLint(textures[kGrass]->textureName));
    expectQuad(quads[0],
               {{{0, 1, 0.8f, 1, 0.5f},
                 {1, 1, 1, 1, 0.5f},
                 {1, 0, 1, 1.2f, 0.5f},
                 {0, 0, 0.8f, 1.2f, 0.5f}}},
               "logo");
    expectQuad(quads[1],
               {{{0, 1, -0.2f, 0, -0.05f},
                 {1, 1, 0.8f, 0, -0.05f},
                 {1, 0, 0.8f, 1, -0.05f},
                 {0, 0, -0.2f, 1, -0.05f}}},
               "glowing grass, back");
    expectQuad(quads[3],
               {{{1, 1, -0.8f, 0, 0.1f},
                 {0, 1, 0.2f, 0, 0.1f},
                 {0, 0, 0.2f, 1, 0.1f},
                 {1, 0, -0.8f, 1, 0.1f}}},
               "glowing grass, front and mirrored");
}

TEST_F(StageTest, TheCrowdStandsInPlaceAndTheFieldTakesTheCarriedBlend) {
    // One tuft in clear view, the others out of sight, no crowd in front.
    for (int i = kFirstTuft; i <= kLastTuft; ++i) particleSystem->particles[i] = {.x = 100};
    particleSystem->particles[1] = {.x = -1.3f, .z = -1.6f};
    playTime = 0;
    swayCamera();
    const auto stageFrom = [](GLenum destination) {
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_TEXTURE_2D);
        glBlendFunc(GL_SRC_ALPHA, destination);
        drawStage();
        glDisable(GL_TEXTURE_2D);
        return readBackBuffer();
    };
    // Each of the crowd's pictures in its place.
    const Frame crowd = stageFrom(GL_ONE);
    expectColour(pixelAt(crowd, -1.3, 0.4, -3), kColours[kPeople2], "crowd, back");
    expectColour(pixelAt(crowd, 0.3, 0.4, -2), kColours[kPeople1], "crowd, middle");
    expectColour(pixelAt(crowd, 1.0, 0.6, -2.5), kColours[kPeople3], "crowd, tall");
    for (TextureIndex person : {kPeople1, kPeople2, kPeople3}) hideTexture(person);

    const Frame additive = stageFrom(GL_ONE);
    const Frame over = stageFrom(GL_ONE_MINUS_SRC_ALPHA);
    saveForViewing(additive, "stage_additive.png");
    saveForViewing(over, "stage_over.png");
    hideTexture(kGrass);
    const Frame bare = stageFrom(GL_ONE);

    // The middle of the tuft is opaque grass: added to what lies behind it,
    // or covering it.
    const Rgb behind = pixelAt(bare, -1.3, 0.5, -1.6);
    const Rgb grass = kColours[kGrass];
    const auto sum = [](uint8_t a, uint8_t b) { return uint8_t(std::min(a + b, 255)); };
    expectColour(pixelAt(additive, -1.3, 0.5, -1.6),
                 {sum(behind.r, grass.r), sum(behind.g, grass.g), sum(behind.b, grass.b)},
                 "additive");
    expectColour(pixelAt(over, -1.3, 0.5, -1.6), grass, "ordinary");
}

TEST_F(StageTest, TheCameraSwaysAroundAPointAboveTheStage) {
    playTime = 0;
    swayCamera();
    EXPECT_FLOAT_EQ(camera.eyeX, 0.0f);
    EXPECT_FLOAT_EQ(camera.eyeY, 0.95f);
    EXPECT_FLOAT_EQ(camera.eyeZ, 2.0f);
    EXPECT_FLOAT_EQ(camera.centreX, 0.3f);
    EXPECT_FLOAT_EQ(camera.centreY, 0.4f);
    EXPECT_FLOAT_EQ(camera.centreZ, -1.0f);
    // The view is loaded: the point looked at lies in the middle of the window.
    GLdouble projection[16], identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    GLint viewport[4];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    double wx = 0, wy = 0, wz = 0;
    gluProject(0.3, 0.4, -1, identity, projection, viewport, &wx, &wy, &wz);
    EXPECT_NEAR(wx, kWidth / 2.0, 1e-3);
    EXPECT_NEAR(wy, kHeight / 2.0, 1e-3);

    // A quarter turn later (2000 x pi ms) the eye is at the circle's right.
    playTime = int32_t(2000 * std::numbers::pi);
    swayCamera();
    EXPECT_NEAR(camera.eyeX, 0.25f, 1e-6);
    EXPECT_NEAR(camera.eyeY, 0.7f, 1e-4);
    EXPECT_FLOAT_EQ(camera.eyeZ, 2.0f);
    EXPECT_FLOAT_EQ(camera.centreY, 0.4f);

    // The bounce lifts the point looked at by up to 0.2, every 100 x pi ms.
    swayCameraBounce();
    EXPECT_NEAR(camera.eyeX, 0.25f, 1e-6);
    playTime = 157; // near 50 x pi: the top of the bounce
    swayCameraBounce();
    EXPECT_NEAR(camera.centreY, 0.6f, 1e-5);
    playTime = 314; // near 100 x pi: back down
    swayCameraBounce();
    EXPECT_NEAR(camera.centreY, 0.4f, 1e-3);
}
