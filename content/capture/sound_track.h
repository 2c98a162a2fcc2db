// The show's music as a capture hears it: decoded by the show's own decoder
// from the script's file at its byte offset, looping, at the show's mixing
// rate, so that play time t of a capture is the music at t.
//
//   int64_t length = 0;
//   std::string error = musicLengthMs(music, length); // for an "@music" end of 0
//   error = writeSoundTrack(music, fromMs, frames, "track.wav");
#pragma once

#include <cstdint>
#include <string>

#include "sequencing/music_wave.h"

// Frames a second of the show's mixed music.
inline constexpr int32_t kSoundTrackRate = kMusicMixRate;

// One pass of the script's music in milliseconds (0 when the format does
// not say). Empty on success, otherwise the music module's error text and
// the file's trouble.
std::string musicLengthMs(const MusicSettings& music, int64_t& lengthMs);

// Writes `frames` stereo frames of the music from play time `fromMs` on to
// `wavFile` (32-bit float WAV at kSoundTrackRate). Empty on success.
std::string writeSoundTrack(const MusicSettings& music, int64_t fromMs, int64_t frames,
                            const std::string& wavFile);
