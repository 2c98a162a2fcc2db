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
};

// Renders the score file into Ogg Vorbis bytes, going through the file
// `scratchFile` (removed afterwards). Empty on success; otherwise one line
// naming the score (and its line and column for a score error).
std::string renderMusicFile(const std::string& scorePath, const std::string& scratchFile,
                            std::vector<uint8_t>& ogg, MusicSummary& summary);

// The length of a bar of the score in milliseconds; empty or one line.
std::string readBarLength(const std::string& scorePath, double& barMs);

// "music.ogg  137.11 s, 44100 Hz stereo, 2103.4 KiB, bar 1875 ms"
std::string describeMusic(const std::string& path, size_t bytes, const MusicSummary& summary);
