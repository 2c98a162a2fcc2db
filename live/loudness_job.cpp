#include "live/loudness_job.h"

#include <atomic>
#include <mutex>
#include <thread>

struct LoudnessResult {
    std::atomic<bool> done{false};
    // Written before done.
    std::vector<float> values;
    std::shared_ptr<const MusicWave> wave; // null when the music could not be decoded
    std::mutex lock;
    std::function<void()> onDone; // under lock
};

LoudnessJob startLoudness(const MusicSettings& music, int32_t showEndMs,
                          std::function<void()> onDone) {
    LoudnessJob job;
    if (!music.musicFile) return job;
    job.result = std::make_shared<LoudnessResult>();
    job.result->onDone = std::move(onDone);
    // Detached: leaving the show must not wait for a long decode; the shared
    // result keeps what the thread writes alive.
    try {
        std::thread([result = job.result, music, showEndMs] {
            auto wave = std::make_shared<MusicWave>();
            if (decodeMusicWave(music, showEndMs, *wave).empty()) {
                result->values = waveLoudness(*wave, kLoudnessStepMs);
                result->wave = std::move(wave);
            }
            result->done.store(true, std::memory_order_release);
            const std::lock_guard<std::mutex> guard(result->lock);
            if (result->onDone) result->onDone();
        }).detach();
    } catch (const std::system_error&) {
        job.result.reset(); // no thread: the strip does without, still frames hear silence
    }
    return job;
}

const std::vector<float>* readyLoudness(const LoudnessJob& job) {
    if (!job.result || !job.result->done.load(std::memory_order_acquire)) return nullptr;
    return job.result->wave ? &job.result->values : nullptr;
}

std::shared_ptr<const MusicWave> readyWave(const LoudnessJob& job) {
    if (!job.result || !job.result->done.load(std::memory_order_acquire)) return nullptr;
    return job.result->wave;
}

void endLoudness(LoudnessJob& job) {
    if (!job.result) return;
    const std::lock_guard<std::mutex> guard(job.result->lock);
    job.result->onDone = nullptr;
}
