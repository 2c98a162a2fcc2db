// The music's loudness envelope for the timeline strip, measured on a thread
// of its own so that the show starts at once; the strip draws it when ready.
//
//   LoudnessJob job = startLoudness(music, showEndMs);
//   each frame: const std::vector<float>* values = readyLoudness(job); // null until done
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sequencing/script.h"

inline constexpr int32_t kLoudnessStepMs = 100;

struct LoudnessResult;
struct LoudnessJob {
    std::shared_ptr<LoudnessResult> result; // shared with the thread, which may outlive the job
};

// Nothing is measured for a show without music.
LoudnessJob startLoudness(const MusicSettings& music, int32_t showEndMs);

// The values once measured; null while measuring, without music, or when
// the file could not be decoded.
const std::vector<float>* readyLoudness(const LoudnessJob& job);
