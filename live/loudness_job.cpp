#include "live/loudness_job.h"

#include <atomic>
#include <thread>

#include "sequencing/music.h"

struct LoudnessResult {
    std::atomic<bool> done{false};
    bool ok = false; // written before done
    std::vector<float> values;
};

LoudnessJob startLoudness(const MusicSettings& music, int32_t showEndMs) {
    LoudnessJob job;
    if (!music.musicFile) return job;
    job.result = std::make_shared<LoudnessResult>();
    // Detached: leaving the show must not wait for a long decode; the shared
    // result keeps what the thread writes alive.
    try {
        std::thread([result = job.result, music, showEndMs] {
            result->ok = musicLoudness(music, kLoudnessStepMs, showEndMs, result->values).empty();
            result->done.store(true, std::memory_order_release);
        }).detach();
    } catch (const std::system_error&) {
        job.result.reset(); // no thread, no envelope: the strip does without
    }
    return job;
}

const std::vector<float>* readyLoudness(const LoudnessJob& job) {
    if (!job.result || !job.result->done.load(std::memory_order_acquire)) return nullptr;
    return job.result->ok ? &job.result->values : nullptr;
}
