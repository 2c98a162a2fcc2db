// The music decoded once on a thread of its own, so that the show starts at
// once: its loudness envelope for the timeline strip, and its wave, from
// which paused and sought frames take the spectrum at their time. Both are
// used when ready.
//
//   LoudnessJob job = startLoudness(music, showEndMs, wakeInputWait);
//   each frame: const std::vector<float>* values = readyLoudness(job); // null until done
//               std::shared_ptr<const MusicWave> wave = readyWave(job);  // null until done
//   endLoudness(job);  // before another job replaces it, and at the end
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "sequencing/music_wave.h"

inline constexpr int32_t kLoudnessStepMs = 100;

struct LoudnessResult;
struct LoudnessJob {
    std::shared_ptr<LoudnessResult> result; // shared with the thread, which may outlive the job
};

// Nothing is decoded for a show without music; one pass at most, up to the
// show's end. `onDone` is called on the job's thread once the results are
// ready (a paused loop is woken to take them), unless the job was ended.
LoudnessJob startLoudness(const MusicSettings& music, int32_t showEndMs,
                          std::function<void()> onDone = nullptr);

// No onDone call after this returns; the thread itself may run on.
void endLoudness(LoudnessJob& job);

// The values once measured; null while measuring, without music, or when
// the file could not be decoded.
const std::vector<float>* readyLoudness(const LoudnessJob& job);

// The decoded music once done; null as for readyLoudness.
std::shared_ptr<const MusicWave> readyWave(const LoudnessJob& job);
