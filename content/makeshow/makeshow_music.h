// The show's music: the score in assets/ rendered by our synthesizer and
// written as Ogg Vorbis.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MusicSummary {
    double seconds = 0;
    int32_t rate = 0;
    double barMs = 0;
    int32_t partsMade = 0;    // parts of the track rendered this time
    int32_t partsReused = 0;  // and taken from the cache
    std::string cacheTrouble; // why the cache could not be kept; empty when it was
};

// The folder beside the scratch file where the parts of the rendered track
// are kept (content/synth/part_cache.h): after an edit to one section,
// only the parts it reached are rendered again, and the file is the same,
// byte for byte, as a render without the folder.
inline constexpr const char* kMusicCacheFolder = "makeshow.music.cache";

// Renders the score file into Ogg Vorbis bytes, going through the file
// `scratchFile` (removed afterwards) and keeping the parts of the track in
// kMusicCacheFolder beside it. Empty on success; otherwise one line naming
// the score (and its line and column for a score error).
std::string renderMusicFile(const std::string& scorePath, const std::string& scratchFile,
                            std::vector<uint8_t>& ogg, MusicSummary& summary);

// The length of a bar of the score in milliseconds; empty or one line.
std::string readBarLength(const std::string& scorePath, double& barMs);

// "music.ogg  137.11 s, 44100 Hz stereo, 2103.4 KiB, bar 1875 ms, 1 of 11 parts rendered"
std::string describeMusic(const std::string& path, size_t bytes, const MusicSummary& summary);
