// One frame of the show for a given play time. The show program calls it
// with the music clock and a real buffer swap; the capture tool with a
// fixed-step clock and a swap that reads the picture back.
#pragma once

#include <cstdint>

#include "sequencing/scene.h"

// Clears colour and depth, stores `time` in playTime and `spectrumNow` (512
// floats, or null for silence) in spectrum, then runs the timelines: start
// and draw callbacks, `present`, after-swap callbacks.
void showFrame(int32_t time, const float* spectrumNow, Callback present);
