// Parts of a track (track_parts.h) kept in a folder between renders, one
// file a part named by its key, so that a render after an edit makes only
// the parts the edit reached.
//
// The folder is only a speed-up: a file that is missing, cut short or
// written by another build of the program is made again, and the track
// comes out the same either way, bit for bit.
#pragma once

#include <cstdint>
#include <string>

#include "content/synth/synth.h"

namespace synth {

struct PartCacheReport {
    int32_t made = 0;    // parts rendered
    int32_t reused = 0;  // parts read from the folder
    std::string trouble; // the first file that could not be written; empty when none
};

// renderParsedScore's track, reusing the parts found in `folder` and
// writing the ones it makes (the folder is made when missing). The files
// of parts this score no longer has are removed, so the folder holds about
// 16 bytes a frame of the track: 97 MB for 137 s at 44100.
Track renderWithPartCache(const Score& score, const std::string& folder, PartCacheReport& report,
                          int32_t rate = kDefaultRate);

// The same track written as Ogg Vorbis to `path` as it is made: the encoder
// follows the parts on a thread of its own. The file is byte for byte the
// one writeOggVorbis writes from renderWithPartCache's track, which comes
// back in `track`. Empty on success, otherwise one line.
std::string writeOggWithPartCache(const Score& score, const std::string& folder,
                                  const std::string& path, PartCacheReport& report, Track& track,
                                  int32_t rate = kDefaultRate, double quality = 0.6);

} // namespace synth
