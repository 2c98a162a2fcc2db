// The stage the scenes share: the grass field from the show's own generator,
// its once-only set-up, the crowd in place, the blend the field takes, and
// the swaying camera.
#include <cmath>
#include <numbers>

#include "gl_fixture.h"
#include "show/stage.h"

using namespace showtest;

namespace {

class StageTest : public ShowTest {};

const Particle& tuft(int i) {
    return particleSystem->particles[i];
}

std::vector<int32_t> fiveDraws() {
    std::vector<int32_t> draws;
    for (int i = 0; i < 5; ++i) draws.push_back(random(1000));
    return draws;
}

} // namespace

// Values from the generator's reference sequence; a second set-up touches
// neither the generator, the field nor the camera.
TEST_F(StageTest, TheGrassFieldIsTheSameOnEveryRunAndSetUpOnce) {
    restartRandom();
    sceneSetup();
    EXPECT_EQ(timelineSlots[1]->setupMarker, kSetupDone);
    EXPECT_TRUE(camera.active);
    const float view[] = {camera.eyeX, camera.eyeY, camera.eyeZ, camera.centreZ, camera.upY};
    EXPECT_EQ(std::vector<float>(view, view + 5), (std::vector<float>{0, 0, 0, -1, 1}));
    const float expected[][3] = {{4.2f, -3.5f, -0.9f}, {-5.5f, -6.3f, -0.4f}};
    for (int k = 0; k < 2; ++k) {
        EXPECT_FLOAT_EQ(tuft(k ? 150 : 1).x, expected[k][0]);
        EXPECT_FLOAT_EQ(tuft(k ? 150 : 1).z, expected[k][1]);
        EXPECT_FLOAT_EQ(tuft(k ? 150 : 1).lean, expected[k][2]);
    }
    for (int i = kFirstTuft; i <= kLastTuft; ++i) {
        EXPECT_TRUE(tuft(i).x >= -10 && tuft(i).x <= 9.9f && tuft(i).z >= -6.4f &&
                    tuft(i).z <= -1.5f && tuft(i).lean >= -1 && tuft(i).lean <= 0.9f &&
                    tuft(i).y == 0)
            << i;
    }
    for (int i : {0, 151, kMaxParticles}) EXPECT_EQ(tuft(i).x + tuft(i).z, 0.0f) << i;

    const int32_t nextDraw = random(1000000);
    restartRandom();
    timelineSlots[1]->setupMarker = 0;
    sceneSetup();
    particleSystem->particles[1].x = 42;
    setView(camera, 1, 2, 3, 4, 5, 6, 0, 1, 0);
    sceneSetup();
    EXPECT_EQ(random(1000000), nextDraw);
    EXPECT_EQ(tuft(1).x, 42.0f);
    EXPECT_EQ(camera.eyeX, 1.0f);
    // Without its timeline the set-up has nothing to guard itself with and does nothing.
    Timeline* timeline = std::exchange(timelineSlots[1], nullptr);
    timeline->setupMarker = 0;
    sceneSetup();
    EXPECT_EQ(tuft(1).x, 42.0f);
    timelineSlots[1] = timeline;
}

TEST(RandomGenerator, AnAssignedSeedStartsItsOwnSequence) {
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

// One tuft in clear view, the others out of sight; the middle of the tuft is
// opaque grass, added to what lies behind it or covering it.
TEST_F(StageTest, TheCrowdStandsInPlaceAndTheFieldTakesTheCarriedBlend) {
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
    const Frame crowd = stageFrom(GL_ONE);
    expectColour(pixelAt(crowd, -1.3, 0.4, -3), kColours[kPeople2], "crowd, back");
    expectColour(pixelAt(crowd, 0.3, 0.4, -2), kColours[kPeople1], "crowd, middle");
    expectColour(pixelAt(crowd, 1.0, 0.6, -2.5), kColours[kPeople3], "crowd, tall");
    for (TextureIndex person : {kPeople1, kPeople2, kPeople3}) hideTexture(person);
    const Frame additive = stageFrom(GL_ONE), over = stageFrom(GL_ONE_MINUS_SRC_ALPHA);
    hideTexture(kGrass);
    const Rgb behind = pixelAt(stageFrom(GL_ONE), -1.3, 0.5, -1.6), grass = kColours[kGrass];
    const auto sum = [](uint8_t a, uint8_t b) { return uint8_t(std::min(a + b, 255)); };
    expectColour(pixelAt(additive, -1.3, 0.5, -1.6),
                 {sum(behind.r, grass.r), sum(behind.g, grass.g), sum(behind.b, grass.b)},
                 "additive");
    expectColour(pixelAt(over, -1.3, 0.5, -1.6), grass, "ordinary");
}

TEST_F(StageTest, TheCameraSwaysAroundAPointAboveTheStage) {
    playTime = 0;
    swayCamera();
    const float eyeAndCentre[] = {0, 0.95f, 2, 0.3f, 0.4f, -1};
    const float actual[] = {camera.eyeX,    camera.eyeY,    camera.eyeZ,
                            camera.centreX, camera.centreY, camera.centreZ};
    for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(actual[i], eyeAndCentre[i]) << i;
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
