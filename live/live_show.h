// The live mode's frame loop: the show's frame function on a clock that the
// person pauses, seeks and loops with keys and the mouse, the overlay drawn
// over each frame, and one line on standard output per event.
//
//   loadShow(music, start, &placements);   // as the show program loads
//   enableSpectrum();
//   runLiveShow(music, placements, options.at);  // until Escape or the window closes
#pragma once

#include <cstdint>

#include "sequencing/script.h"

void runLiveShow(const MusicSettings& music, const ScenePlacements& placements, int32_t startAt);
