// Our synthesizer: a score (score.h) in, stereo sound out.
//
//   synth::Track track;
//   if (auto error = synth::renderScore(text, track)) fail(synth::formatScoreError(*error));
//   std::string trouble = synth::writeOggVorbis("music.ogg", track.samples, track.rate);
//
// Rendering is deterministic: the same score gives the same samples, bit
// for bit, on every run.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "content/synth/score.h"

namespace synth {

inline constexpr int32_t kDefaultRate = 44100;

struct Track {
    int32_t rate = kDefaultRate;
    std::vector<float> samples; // interleaved left, right

    int64_t frames() const { return int64_t(samples.size() / 2); }
};

// Frames in `ms` milliseconds, rounded up, so that a track of that many
// frames lasts at least `ms`.
int64_t framesForMs(double ms, int32_t rate);

// Parses and renders. `rate` is 8000 to 48000 frames a second. Rendering
// holds the track (8 bytes a frame) and a section's worth of working
// buffers: about 60 MB for 137 seconds at 44100.
std::optional<ScoreError> renderScore(std::string_view scoreText, Track& track,
                                      int32_t rate = kDefaultRate);

// Renders a score that has parsed.
Track renderParsedScore(const Score& score, int32_t rate = kDefaultRate);

// Writes interleaved stereo through libsndfile. `quality` 0..1 is the
// encoder's variable bit-rate quality. Empty on success, otherwise one line.
// While another thread is still making the samples, `waitFor(frames)`
// returns once that many frames from the start are final; the encoder asks
// before each stretch it reads.
std::string writeOggVorbis(const std::string& path, const std::vector<float>& samples, int32_t rate,
                           double quality = 0.6, const std::function<void(int64_t)>& waitFor = {});
// The same as a 32-bit float WAV file, for inspection.
std::string writeWav(const std::string& path, const std::vector<float>& samples, int32_t rate);

// A track written as its name's extension says: ".ogg" Ogg Vorbis at
// `quality`, ".wav" 32-bit float WAV, ".flac" 24-bit FLAC (the case of the
// extension does not matter). Any other name is refused before anything is
// written: checkTrackFileName says so in one line, empty when it fits.
std::string checkTrackFileName(const std::string& path);
std::string writeTrackFile(const std::string& path, const std::vector<float>& samples, int32_t rate,
                           double quality = 0.6);

} // namespace synth
