// The script reader: "@scene" lines place registered scenes on registered
// timelines, "@music" lines name the music.
//
//   MusicSettings music;
//   TimelineError error = loadScript("script.sqx", music);
//   if (error) fatalError(error.module.c_str(), error.message.c_str());
//   if (music.musicFile) startMusic(...);   // music.musicStart, music.musicEnd
//
// Scenes must be in sceneSlots and timelines in timelineSlots before the call.
// Lines before a bad one have already been applied; lines after it are not
// read. Errors carry the line number in `detail`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sequencing/timeline_error.h"

// What the last "@music" line said. Each field is stored as soon as it has
// been read, so a later line replaces an earlier one.
struct MusicSettings {
    std::string musicLabel;               // kept, used by nothing
    std::optional<std::string> musicFile; // unset until a music line is read
    int32_t musicStart = 0;               // offset handed to the stream open call
    int32_t musicEnd = 0;                 // ms; 0 means the length of the stream
};

// One "@scene" line as it was applied: the live mode lists and seeks by them.
struct ScenePlacement {
    std::string scene;
    int32_t timeline = 0;
    int32_t start = 0; // ms, first drawn
    int32_t end = 0;   // ms, last drawn
};
using ScenePlacements = std::vector<ScenePlacement>;

// A line the reader accepts as the show always has, but that is most likely
// a mistake: an unknown command word, a scene that ends before it starts,
// a second music line; and a script that places no scene at all (line 0).
struct ScriptWarning {
    int line = 0;
    std::string message;
};
using ScriptWarnings = std::vector<ScriptWarning>;

// Reads the whole file. "Could not load Script file!" when it cannot be
// opened or read, otherwise the first script error, or ok.
// Every placement applied is added to `placements` when given, and the
// warnings about the lines read to `warnings`.
TimelineError loadScript(const std::string& fileName, MusicSettings& music,
                         ScenePlacements* placements = nullptr, ScriptWarnings* warnings = nullptr);

// The same on script text already in memory; `name` only labels `detail`.
TimelineError loadScriptText(std::string_view text, MusicSettings& music,
                             std::string_view name = "script",
                             ScenePlacements* placements = nullptr,
                             ScriptWarnings* warnings = nullptr);

// "script.sqx:7: warning: ..." for each warning, on stderr.
void printScriptWarnings(const std::string& fileName, const ScriptWarnings& warnings);

// A script number: optional leading spaces or tabs, an optional "+" or "-",
// an optional base prefix ("$" hex, "%" binary, "&" octal), one or more
// digits and nothing after them. Decimal must fit in signed 32 bits; the
// other bases may use all 32 bits and give that bit pattern. False (and
// `value` untouched) when the text is not such a number.
bool parseScriptNumber(std::string_view text, int32_t& value);
