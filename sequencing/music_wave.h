// The script's music decoded as the show's output hears it, for what is made
// apart from its playing (capture's sound track and spectra, the live mode's
// still frames): the file at the script's byte offset, at the show's mixing
// rate, play time 0 at the start of the audio.
//
//   MusicWave wave;
//   std::string error = decodeMusicWave(music, showEndMs, wave);
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/sound_decoder.h"
#include "sequencing/script.h"

// Frames a second the show mixes its music at.
inline constexpr int32_t kMusicMixRate = 44100;

// The music's decoder (null on failure, with the sound layer's code), looping
// for ever or playing once.
DecoderOpening openMusicDecoder(const MusicSettings& music, bool loop);

// The music module's error text for a failed opening, with the file's trouble.
std::string musicDecoderError(const DecoderOpening& opening);

// The output's mono fold of the music from play time 0: each side clamped to
// -1 .. 1 as the mixer clamps, then their mean.
struct MusicWave {
    std::vector<float> mono;
    // `mono` is one whole pass, which the looping stream plays again and
    // again; otherwise it was cut at the time asked for and nothing follows.
    bool wholePass = false;
};

// Decodes one pass of the music, or its first `untilMs` if that is shorter.
// Without a music file the wave is empty. Empty on success, otherwise the
// music module's error text and the file's trouble (and `wave` is empty).
std::string decodeMusicWave(const MusicSettings& music, int32_t untilMs, MusicWave& wave);

// How loud the wave is along its length, for drawing it: one value per
// `stepMs` (above 0), the RMS of that step over the loudest step's, so 0 to 1
// (all 0 for silence; the last step may be shorter).
std::vector<float> waveLoudness(const MusicWave& wave, int32_t stepMs);
