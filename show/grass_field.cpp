#include "show/grass_field.h"

#include <GL/gl.h>

#include "show/random_generator.h"
#include "show/show_state.h"

namespace {

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

// Random tenths, computed in extended precision and stored as floats.
float tenths(int32_t range, long double offset) {
    return float(random(range) / kTenth + offset);
}

void corner(float s, float t, float x, float y, float z) {
    glTexCoord2f(s, t);
    glVertex3f(x, y, z);
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

void drawGrassField() {
    if (!particleSystem) return;
    glBegin(GL_QUADS);
    glNormal3f(0, 0, 1);
    for (int32_t i = kFirstTuft; i <= kLastTuft; ++i) {
        const Particle& tuft = particleSystem->particles[i];
        const float left = tuft.x - kTuftHalfWidth, right = tuft.x + kTuftHalfWidth;
        const float foot = tuft.z + tuft.lean, top = tuft.z - tuft.lean;
        corner(0, 1, left, 0, foot);
        corner(1, 1, right, 0, foot);
        corner(1, 0, right, kTuftHeight, top);
        corner(0, 0, left, kTuftHeight, top);
    }
    glEnd();
}
