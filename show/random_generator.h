// The process-wide random numbers the grass field is scattered with. The
// show never seeds it, so the field comes out the same on every run.
//
//   int32_t column = random(200); // 0 to 199
//
// Three linear congruential generators summed and folded into [0, 1).
#pragma once

#include <cstdint>

// A number from 0 to n - 1 (0 when n is 0).
int32_t random(int32_t n);

// Assigns the seed; the next draw seeds the generator from it unless it
// equals the seed left by the last draw.
void setRandomSeed(uint32_t seed);

// Back to the state the process starts in: seed 0, seeding on the next draw.
void restartRandom();
