// The live mode's frame loop: the show's frame function on a clock that the
// person pauses, seeks and loops with keys and the mouse, the overlay drawn
// over each frame, and one line on standard output per event.
//
//   loadShow(music, start, &placements);   // as the show program loads
//   enableSpectrum();
//   runLiveShow(music, placements, options, warnings); // until Escape or the window closes
//
// The script and the music may change while it runs (live_reload.h), so it
// works on its own copies of what loading found.
#pragma once

#include "live/live_options.h"
#include "sequencing/script.h"

// `warnings`: the script's at loading, shown on the overlay until it is
// read again. The music, started by loading, is paused here until the first
// frame is drawn; `play T` then names the time it starts from.
void runLiveShow(MusicSettings music, ScenePlacements placements, const LiveOptions& options,
                 const ScriptWarnings& warnings);
