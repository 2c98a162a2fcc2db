// Edits appearing in the running show. The show directory is watched, and
// with an assets folder the sources too:
//
//   data/*.hwl    a picture the scenes draw with (or its alpha companion):
//                 decoded again off the render thread, then put into the
//                 same OpenGL texture between frames
//   script.sqx    read again into fresh timelines (the old ones stay if it fails)
//   scenes/       the set read again; a picture it names for the first time
//                 loads then (one not there yet: again when a picture comes)
//   the music     opened again at the same millisecond
//   a source      makeshow rebuilds what it affects in the background; its
//                 outputs then change in the show directory and load as above
//
// A file that does not read never ends the show: the last good version
// stays, an "error" line is printed and the overlay shows it until the file
// loads again ("mended"). Each action prints its line (see events.h).
//
//   LiveReload* reload = startLiveReload(showDir, assetsDir);
//   each frame: ReloadOutcome outcome = pollLiveReload(*reload, music, placements);
//   stopLiveReload(reload);
#pragma once

#include <string>

#include "sequencing/script.h"

struct LiveReload;

struct ReloadOutcome {
    bool scriptChanged = false;  // `music` and `placements` hold the new script
    bool musicChanged = false;   // another music stream plays
    bool pictureChanged = false; // a texture holds new pixels
};

// `assetsDir` empty: the sources are not watched. Both absolute.
LiveReload* startLiveReload(const std::string& showDir, const std::string& assetsDir);

// Between frames on the render thread: takes up settled changes, starts the
// work they need and installs what has finished. A change settling and work
// finishing wake a waitForInput in progress (window.h), so a paused loop may
// rest there without a timeout.
ReloadOutcome pollLiveReload(LiveReload& reload, MusicSettings& music, ScenePlacements& placements);

// The script's warnings as loading found them; a reload of the script
// replaces them.
void setScriptWarnings(LiveReload& reload, const ScriptWarnings& warnings);

// For the overlay: the latest error still standing, then the script's
// warnings, one a line; empty when there are none.
std::string reloadMessage(const LiveReload& reload);

// Stops a running rebuild and the background work.
void stopLiveReload(LiveReload* reload);
