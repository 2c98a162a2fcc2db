// The stage the built-in scenes share: the grass field from the show's own
// generator, its once-only set-up, the crowd in place, the blend the field
// takes, and the swaying camera.
#include <cmath>
#include <numbers>

#include "gl_fixture.h"
#include "show/default_scenes.h"
#include "show/grass_field.h"
#include "show/scene_interpreter.h"

using namespace showtest;

namespace {

class StageTest : public ShowTest {};

// The built-in scenes' set-up, and their cameras: Scene1 sways, Scene6 bounces.
void sceneSetup() {
    sceneSlots[1]->onStart();
}
void swayCamera() {
    sceneSlots[1]->onAfterSwap();
}
void swayCameraBounce() {
    sceneSlots[6]->onAfterSwap();
}

// The built-in set with one more scene, drawing the stage piece alone.
void drawStage() {
    std::vector<scenes::SceneSource> files = defaultSceneFiles();
    files.push_back({"scenes/stage.scene", "scene Stage\n  draw\n    include stage\n  end\nend\n"});
    scenes::SceneSet set;
    ASSERT_FALSE(readSceneSet(files, set));
    std::vector<const Texture*> pictures;
    for (const auto& texture : textures) pictures.push_back(texture.get());
    const size_t slot = set.scenes.size();
    installSceneSet(std::move(set), pictures);
    sceneSlots[slot]->onDraw();
}

const Particle& tuft(int i) {
    return particleSystem->particles[i];
}

} // namespace

// Values from the generator's reference sequence (the first and last tuft:
// every draw between counts); a second set-up touches neither the generator,
// the field nor the camera.
TEST_F(StageTest, TheGrassFieldIsTheSameOnEveryRunAndSetUpOnce) {
    restartRandom();
    sceneSetup();
    EXPECT_EQ(timelineSlots[1]->setupMarker, kSetupDone);
    EXPECT_TRUE(camera.active);
    const float view[] = {camera.eyeX, camera.eyeY, camera.eyeZ, camera.centreZ, camera.upY};
    EXPECT_EQ(std::vector<float>(view, view + 5), (std::vector<float>{0, 0, 0, -1, 1}));
    const auto values = [](int i) { return std::vector{tuft(i).x, tuft(i).z, tuft(i).lean}; };
    EXPECT_EQ(values(1), (std::vector{4.2f, -3.5f, -0.9f}));
    EXPECT_EQ(values(150), (std::vector{-5.5f, -6.3f, -0.4f}));
    for (int i : {0, 151, kMaxParticles}) EXPECT_EQ(tuft(i).x + tuft(i).z, 0.0f) << i;

    const int32_t nextDraw = random(1000000);
    restartRandom();
    timelineSlots[1]->setupMarker = 0;
    sceneSetup();
    particleSystem->particles[1].x = 42;
    setView(camera, 1, 2, 3, 4, 5, 6, 0, 1, 0);
    sceneSetup();
    EXPECT_EQ(random(1000000), nextDraw);
    EXPECT_TRUE(tuft(1).x == 42 && camera.eyeX == 1);
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

// The eye circles a point above the stage every 4000 x pi ms; the bounce
// lifts the point looked at by up to 0.2, every 100 x pi ms.
TEST_F(StageTest, TheCameraSwaysAroundAPointAboveTheStage) {
    const auto view = [] {
        return std::vector{camera.eyeX,    camera.eyeY,    camera.eyeZ,
                           camera.centreX, camera.centreY, camera.centreZ};
    };
    const auto expectView = [&](std::vector<float> expected, float tolerance) {
        for (size_t i = 0; i < 6; ++i) EXPECT_NEAR(view()[i], expected[i], tolerance) << i;
    };
    playTime = 0;
    swayCamera();
    expectView({0, 0.95f, 2, 0.3f, 0.4f, -1}, 1e-6f);
    expectLoaded(projection({0, 0.95, 2, 0.3, 0.4, -1, 0, 1, 0})); // the camera's view

    playTime = int32_t(2000 * std::numbers::pi); // a quarter turn: the circle's right
    swayCamera();
    expectView({0.25f, 0.7f, 2, 0.3f, 0.4f, -1}, 1e-4f);
    swayCameraBounce();
    expectView({0.25f, 0.7f, 2, 0.3f, 0.4f, -1}, 1e-3f);
    playTime = 157; // near 50 x pi: the top of the bounce
    swayCameraBounce();
    EXPECT_NEAR(camera.centreY, 0.6f, 1e-5);
}
