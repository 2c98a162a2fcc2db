// Loading and releasing the show, shared by the show program and the
// capture tool:
//
//   createWindow(...);                      // a current OpenGL context first
//   ShowError error = loadShow(music);      // loading screen, textures, scenes, script
//                                           // (the show program also starts the music)
//   if (error) fatalError(error.module, error.message);
//   ... frames ...
//   releaseShow();                          // while the context is current
#pragma once

#include <cstdint>
#include <string>

#include "sequencing/script.h"

inline constexpr const char* kScriptFile = "script.sqx";
inline constexpr const char* kTimelineName = "Timeline1";
inline constexpr int32_t kTimelineLength = 137113; // ms: the range its tables cover
// The show stops with the first frame later than this before the end time.
inline constexpr int32_t kShowEndMargin = 100;

struct ShowError {
    std::string module;  // empty when all went well
    std::string message; // the report's text
    std::string detail;  // extra context for a terminal user, never in the report
    int32_t line = 0;    // the line of the file at fault, 0 when none

    explicit operator bool() const { return !module.empty(); }
};

// Whether loading starts the script's music, and on which output.
enum class MusicStart {
    None,      // no music is played (the capture tool has a clock of its own)
    WithSound, // the sound card, or silence where the machine has none
    Silent,    // the silent output: the same clock, no device
};

// Starts the script's music on the output `start` names (nothing without
// music or for MusicStart::None), as loadShow does; a note about the output
// goes to stderr.
ShowError startShowMusic(MusicSettings& music, MusicStart start);

// Runs the loading sequence into the show's state (show_state.h), drawing
// the progress frames 0.1 ... 0.7, 0.9 and 1.0: the loading screen, the
// particle system, the scene set (scenes/, or the built-in one) and the
// pictures it lists (show_textures.h; the frames 0.3 ... 0.7 after 3, 6,
// 10, 14 and 20 of twenty, ends scaled to another count), the camera, the
// set's scenes, "Timeline1" and the script, whose music settings land in `music`; then,
// if the script named music and `start` asks for it, starts the music
// (music.h), which turns an end time of 0 into the music's length. The
// script's placements go to `placements` when given, and its warnings
// (printed on stderr) to `warnings`.
ShowError loadShow(MusicSettings& music, MusicStart start = MusicStart::None,
                   ScenePlacements* placements = nullptr, ScriptWarnings* warnings = nullptr);

// The live mode's reload: reads the script again into fresh timelines. On
// success they replace the old ones (keeping the once-only set-up done) and
// `music` and `placements` hold what it says now; on failure nothing changes.
// Warnings go to stderr and, when given, to `warnings`.
ShowError reloadScript(MusicSettings& music, ScenePlacements& placements,
                       ScriptWarnings* warnings = nullptr);

// The live mode's reload of the scene files (scenes/, or the built-in set
// when there are none): the new set is checked, the pictures it names for
// the first time are loaded, the set installed and the script placed on it
// again. On failure (a broken file: the message names it with its line and
// column; a picture that does not load: kTextureModule, "data/NAME.hwl:
// CAUSE"; a scene the script places that the set lacks: the script's line)
// the previous set and timelines stay. A set with the same scenes in the
// same slots (names and parts) keeps the timelines: the script is not read
// again, and `music`, `placements` and `warnings` are left as they are.
ShowError reloadScenes(MusicSettings& music, ScenePlacements& placements,
                       ScriptWarnings* warnings = nullptr);

// Releases scenes, timeline, pictures and particle system.
void releaseShow();

// The time after which the show ends: the script's music end time when it
// gave one, otherwise the timeline's length.
int32_t showEndTime(const MusicSettings& music);
