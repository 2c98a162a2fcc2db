// The stage every scene plays on, and the callbacks the scenes share:
//
//   start callback      sceneSetup        (once per run: camera, grass field)
//   draw callback       glLoadIdentity(); glEnable(GL_TEXTURE_2D);
//                       drawStage(); ...performers, overlay...; drawForeground();
//   after-swap callback swayCamera or swayCameraBounce (the view of the next frame)
//
// They work on the show's state (show_state.h) and Timeline1's setupMarker.
#pragma once

#include <cstdint>

#include "effects/particles.h"

// The grass field: particle records 1 to 150.
constexpr int32_t kFirstTuft = 1;
constexpr int32_t kLastTuft = 150;

// setupMarker's value once sceneSetup has run.
constexpr int32_t kSetupDone = 10;

// Once per run, guarded by Timeline1's setupMarker: the neutral view, then
// the grass field scattered from random(n).
void sceneSetup();

// Floor, back wall and grass field with the blend function the previous
// frame left, then the crowd with ordinary transparency, which stays set.
void drawStage();

// The logo with the blend function the scene left, then three glowing grass
// tufts with the additive blend, which stays set.
void drawForeground();

// The grass field's tufts scattered over the floor from random(n).
void scatterGrass(ParticleSystem& system);

// The grass field as one block of quads, with the texture bound now; nothing
// without a particle system.
void drawGrassField();

// Stores and loads the view for the next frame: the eye circles slowly in
// front of the stage.
void swayCamera();

// As swayCamera, with the point looked at bouncing up and down.
void swayCameraBounce();
