// The show's script as makeshow takes it from assets/: read the way the show
// reads it, so that a broken line fails the build rather than the show.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ScriptPlacement {
    std::string scene;
    int32_t start = 0; // ms
    int32_t end = 0;   // ms, inclusive
};

struct ScriptSummary {
    std::vector<ScriptPlacement> placements; // the "@scene" lines in order
    int scenes = 0;                          // different scenes placed
    int32_t firstStart = 0;                  // earliest placement start, ms
    int32_t lastEnd = 0;                     // latest placement end, ms
    std::string musicFile;                   // from the last "@music" line
    int32_t musicEnd = 0;
};

// Loads `text` with the show's reader onto scenes of these names and the
// show's timeline, and requires a music line naming a file inside the show
// folder. `name` labels the messages. Empty on success; otherwise one line.
std::string checkShowScript(std::string_view text, const std::string& name,
                            const std::vector<std::string>& sceneNames, ScriptSummary& summary);

// The times where a scene starts or the next one would start (an end + 1),
// other than the show's first start and last end, that are more than half a
// millisecond off the bar lines of bars `barMs` long, as "Scene3 starts at
// 12345 ms" lines.
std::vector<std::string> offBarLines(const ScriptSummary& summary, double barMs);

// "script.sqx  11 placements of 11 scenes, 0 to 137113 ms, music music.ogg"
std::string describeScript(const std::string& path, const ScriptSummary& summary);
