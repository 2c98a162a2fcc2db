#include "show/stage.h"

#include <GL/gl.h>
#include <cmath>

#include "sequencing/timeline.h"
#include "show/quads.h"
#include "show/random_generator.h"
#include "show/show_state.h"

namespace {

constexpr int kShowTimeline = 1; // the timeline whose marker guards the set-up

// The grass field: x from -10.0 to 9.9, depth from -6.4 to -1.5 (never
// nearer than kNearestTuft), lean from -1.0 to 0.9, all in tenths.
constexpr int32_t kColumns = 200;
constexpr long double kLeftmost = 10;
constexpr float kNearestTuft = 1.5f;
constexpr int32_t kDepths = 60;
constexpr long double kDepthOffset = 0.5L;
constexpr int32_t kLeans = 20;
constexpr long double kLeanOffset = 1;
constexpr long double kTenth = 10;
constexpr float kTuftHalfWidth = 0.5f;
constexpr float kTuftHeight = 1;

// Floor: 20 x 20 on y = 0 with the picture repeated 12 times each way.
constexpr Quad kFloorQuad = {
    {0, 12, -10, 0, -10}, {12, 12, 10, 0, -10}, {12, 0, 10, 0, 10}, {0, 0, -10, 0, 10}};

// Back wall: the lower part of the picture only.
constexpr Quad kBackWallQuad = {{0, 1, -10, -0.02f, -10},
                                {1, 1, 10, -0.02f, -10},
                                {1, 0.6f, 10, 6, -10},
                                {0, 0.6f, -10, 6, -10}};

// The crowd, each picture twice, the second copy mirrored.
constexpr Quad kCrowdBack[] = {
    {{0, 1, -1.8f, 0, -3}, {1, 1, -0.8f, 0, -3}, {1, 0, -0.8f, 1, -3}, {0, 0, -1.8f, 1, -3}},
    {{0, 1, 3, 0, -4}, {1, 1, 2, 0, -4}, {1, 0, 2, 1, -4}, {0, 0, 3, 1, -4}}};
constexpr Quad kCrowdMiddle[] = {
    {{0, 1, -0.2f, 0, -2}, {1, 1, 0.8f, 0, -2}, {1, 0, 0.8f, 1, -2}, {0, 0, -0.2f, 1, -2}},
    // Leaning back: its top 0.3 further away than its foot.
    {{0, 1, 1.7f, 0, -1.2f},
     {1, 1, 0.8f, 0, -1.2f},
     {1, 0, 0.8f, 1, -1.5f},
     {0, 0, 1.7f, 1, -1.5f}}};
constexpr Quad kCrowdTall[] = {{{0, 1, 0.4f, 0, -2.5f},
                                {1, 1, 1.6f, 0, -2.5f},
                                {1, 0, 1.6f, 1.2f, -2.5f},
                                {0, 0, 0.4f, 1.2f, -2.5f}},
                               {{1, 1, -2.4f, 0, -2.5f},
                                {0, 1, -1.6f, 0, -2.5f},
                                {0, 0, -1.6f, 1.2f, -2.5f},
                                {1, 0, -2.4f, 1.2f, -2.5f}}};

// The logo, small, at the upper right in front of everything.
constexpr Quad kLogoQuad = {
    {0, 1, 0.8f, 1, 0.5f}, {1, 1, 1, 1, 0.5f}, {1, 0, 1, 1.2f, 0.5f}, {0, 0, 0.8f, 1.2f, 0.5f}};

// Glowing grass around the performers' feet.
constexpr Quad kGlowingGrass[] = {
    {{0, 1, -0.2f, 0, -0.05f},
     {1, 1, 0.8f, 0, -0.05f},
     {1, 0, 0.8f, 1, -0.05f},
     {0, 0, -0.2f, 1, -0.05f}},
    {{0, 1, 0.6f, 0, 0}, {1, 1, 1.6f, 0, 0}, {1, 0, 1.6f, 1, 0}, {0, 0, 0.6f, 1, 0}},
    {{1, 1, -0.8f, 0, 0.1f}, {0, 1, 0.2f, 0, 0.1f}, {0, 0, 0.2f, 1, 0.1f}, {1, 0, -0.8f, 1, 0.1f}}};

// The sway: the eye circles around (0, kEyeHeight) in the plane z = kEyeDepth.
constexpr double kSwayPeriod = 4000; // ms per radian
constexpr double kSwayDivisor = 4;   // a circle of radius 1 / 4
constexpr double kEyeHeight = 0.7;
constexpr float kEyeDepth = 2.0f;
constexpr float kCentreX = 0.3f, kCentreZ = -1.0f;
constexpr double kCentreY = 0.4;
// The bounce: the centre rises by up to 1 / kBounceDivisor, every kBouncePeriod x pi ms.
constexpr double kBouncePeriod = 100;
constexpr double kBounceDivisor = 5;

void neutralView() {
    setView(camera, 0, 0, 0, 0, 0, -1, 0, 1, 0);
    apply(camera);
    setActive(camera, true);
}

// Random tenths, computed in extended precision and stored as floats.
float tenths(int32_t range, long double offset) {
    return float(random(range) / kTenth + offset);
}

void sway(float centreY) {
    const double t = playTime;
    const float eyeX = float(std::sin(t / kSwayPeriod) / kSwayDivisor);
    const float eyeY = float(std::cos(t / kSwayPeriod) / kSwayDivisor + kEyeHeight);
    setView(camera, eyeX, eyeY, kEyeDepth, kCentreX, centreY, kCentreZ, 0, 1, 0);
    apply(camera);
}

} // namespace

void scatterGrass(ParticleSystem& system) {
    for (int32_t i = kFirstTuft; i <= kLastTuft; ++i) {
        Particle& tuft = system.particles[i];
        tuft.x = tenths(kColumns, -kLeftmost);
        tuft.y = 0;
        // Redrawn until far enough away; the record starts at 0, so at least once.
        while (kNearestTuft > tuft.z) tuft.z = tenths(kDepths, kDepthOffset);
        tuft.z = -tuft.z;
        tuft.lean = tenths(kLeans, -kLeanOffset);
    }
}

// One block for the whole field: foot at depth z + lean, top at z - lean.
void drawGrassField() {
    if (!particleSystem) return;
    beginQuads();
    for (int32_t i = kFirstTuft; i <= kLastTuft; ++i) {
        const Particle& tuft = particleSystem->particles[i];
        const float left = tuft.x - kTuftHalfWidth, right = tuft.x + kTuftHalfWidth;
        const float foot = tuft.z + tuft.lean, top = tuft.z - tuft.lean;
        emitCorner({0, 1, left, 0, foot});
        emitCorner({1, 1, right, 0, foot});
        emitCorner({1, 0, right, kTuftHeight, top});
        emitCorner({0, 0, left, kTuftHeight, top});
    }
    glEnd();
}

void sceneSetup() {
    Timeline* timeline = timelineSlots[kShowTimeline];
    if (!timeline || timeline->setupMarker == kSetupDone) return;
    timeline->setupMarker = kSetupDone;
    neutralView();
    if (particleSystem) scatterGrass(*particleSystem);
}

void drawStage() {
    useOpaqueWhite();
    bindTexture(kFloor);
    drawQuad(kFloorQuad);
    bindTexture(kBackground);
    drawQuad(kBackWallQuad);
    bindTexture(kGrass);
    drawGrassField();

    blendOver();
    bindTexture(kPeople2);
    drawQuads(kCrowdBack);
    bindTexture(kPeople1);
    drawQuads(kCrowdMiddle);
    bindTexture(kPeople3);
    drawQuads(kCrowdTall);
}

void drawForeground() {
    useOpaqueWhite();
    bindTexture(kLogo);
    drawQuad(kLogoQuad);
    blendAdditive();
    bindTexture(kGrass);
    drawQuads(kGlowingGrass);
}

void swayCamera() {
    sway(float(kCentreY));
}

void swayCameraBounce() {
    const double t = playTime;
    sway(float(std::abs(std::sin(t / kBouncePeriod) / kBounceDivisor) + kCentreY));
}
