// The grass field: the one set of quads the scene files do not spell out,
// since its places come from the show's random generator. The scene steps
// "scatter" and "tufts" run these.
#pragma once

#include <cstdint>

#include "effects/particles.h"

// The grass field: particle records 1 to 150.
constexpr int32_t kFirstTuft = 1;
constexpr int32_t kLastTuft = 150;

// The timeline whose setupMarker guards the once-only steps, and its value
// once they have run.
constexpr int kOnceTimeline = 1;
constexpr int32_t kSetupDone = 10;

// The tufts scattered over the floor from random(n): x from -10.0 to 9.9,
// depth from -6.4 to -1.5, lean from -1.0 to 0.9, all in tenths.
void scatterGrass(ParticleSystem& system);

// The field as one block of quads, with the texture bound now: each tuft
// 1 wide and 1 tall, its foot at depth z + lean and its top at z - lean.
// Nothing without a particle system.
void drawGrassField();
