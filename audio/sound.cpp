// The sound layer's calls: set-up, streams, play position and spectrum.
#include "audio/sound.h"

#include <SDL.h>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "audio/sound_state.h"

namespace {

constexpr int32_t kMinMixRate = 8000;
constexpr int32_t kMaxMixRate = 192000;
constexpr int32_t kMaxChannels = 64;
constexpr int32_t kMinBufferMs = 50;
constexpr int32_t kMaxBufferMs = 10000;
constexpr double kMsPerSecond = 1000;
constexpr double kNsPerMs = 1e6;
// Decoding threads top their buffer up this often; far within any buffer.
constexpr auto kFeedPeriod = std::chrono::milliseconds(10);
constexpr size_t kDecodeChunkFrames = 4096;
// A seek decodes this much itself, a few output blocks; the feeder, woken at
// once, decodes the rest.
constexpr size_t kSeekStartFrames = 4096;
// The ring holds at least a few device periods, whatever the buffer size.
constexpr size_t kMinRingFrames = 8192;
constexpr uint32_t kKnownModes =
    kSoundLoopOff | kSoundLoopNormal | kSound16Bits | kSoundMono | kSoundSigned;
constexpr std::array<float, kSoundSpectrumSize> kSilence{};

SoundSystem& sound = soundSystem;

void clearError() {
    sound.error = kSoundOk;
    sound.errorDetail.clear();
}

// Records a failure; returns `result` so that calls can end with it.
template <typename T> T fail(int32_t code, std::string detail, T result) {
    sound.error = code;
    sound.errorDetail = std::move(detail);
    return result;
}

double framesToMs(int64_t frames) {
    return double(frames) * kMsPerSecond / sound.mixRate;
}

// Decodes up to `most` frames into the ring, as many as fit; 0 when it is
// full or the music has ended. Under decodeLock.
size_t decodeChunk(SoundStream& stream, size_t most) {
    if (stream.decoderDone) return 0;
    const size_t wanted = std::min({ringSpace(stream.ring), kDecodeChunkFrames, most});
    if (wanted == 0) return 0;
    const size_t got = decodeFrames(*stream.decoder, stream.decoded.data(), wanted);
    ringWrite(stream.ring, stream.decoded.data(), got);
    if (got < wanted) stream.decoderDone = true;
    return got;
}

// Decodes until the ring is full or the music has ended, a chunk at a time
// so that a seek waits for one chunk at most.
void topUp(SoundStream& stream) {
    while (!stream.seeking.load(std::memory_order_relaxed)) {
        const std::lock_guard<std::mutex> lock(stream.decodeLock);
        if (decodeChunk(stream, kDecodeChunkFrames) == 0) return;
    }
}

void feed(SoundStream& stream) {
    std::unique_lock<std::mutex> lock(stream.feederLock);
    while (!stream.stopping) {
        stream.refill = false;
        lock.unlock();
        topUp(stream);
        lock.lock();
        stream.feederWake.wait_for(lock, kFeedPeriod,
                                   [&] { return stream.stopping || stream.refill; });
    }
}

// Takes the stream out of the mix or puts it back; `restart` also starts its
// count of frames handed over again.
void setMuted(SoundStream& stream, bool muted, bool restart) {
    const std::lock_guard<std::mutex> lock(sound.mixLock);
    stream.muted = muted;
    if (!restart) return;
    stream.framesHanded = 0;
    publishSnapshot(stream.handed, 0, monotonicNs());
}

// Moves a playing stream to `ms`. Out of the mix, the output no longer
// reads its ring and the feeder stops between chunks; the ring is emptied,
// the decoder moved and the first blocks decoded here; then the clock counts
// again from `ms`, from the moment the stream is back in the mix (a device's
// clock from the moment its first new frame is heard).
void reposition(SoundStream& stream, double ms) {
    setMuted(stream, true, true);
    stream.seeking = true;
    {
        const std::lock_guard<std::mutex> lock(stream.decodeLock);
        ringClear(stream.ring);
        stream.decoderDone = !decoderSeek(*stream.decoder, ms);
        decodeChunk(stream, kSeekStartFrames);
    }
    stream.seeking = false;
    {
        const std::lock_guard<std::mutex> lock(stream.feederLock);
        stream.refill = true;
    }
    stream.feederWake.notify_one();
    stream.originMs = ms;
    stream.pausedMs = ms;
    stream.clock = PlayClock{};
    stream.reportsSeen = readSnapshot(stream.handed).count;
    if (!stream.paused) setMuted(stream, false, false);
    stream.playStartNs = monotonicNs();
}

void stopPlaying(SoundStream& stream) {
    if (stream.channel < 0) return;
    const std::lock_guard<std::mutex> lock(sound.mixLock);
    sound.channels[stream.channel] = nullptr;
    stream.channel = -1;
}

void release(SoundStream& stream) {
    stopPlaying(stream);
    if (stream.feeder.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(stream.feederLock);
            stream.stopping = true;
        }
        stream.feederWake.notify_one();
        stream.feeder.join();
    }
}

bool anythingPlays() {
    return std::any_of(sound.channels.begin(), sound.channels.end(),
                       [](const SoundStream* stream) { return stream != nullptr; });
}

// The mono frames of the output that end where the listener is now.
void copyHeardWindow(float* window) {
    const Snapshot mixed = readSnapshot(sound.mixed);
    const double sinceFrames =
        double(monotonicNs() - mixed.timeNs) * sound.mixRate / double(kNsPerSecond);
    const int64_t oldestUnheard = mixed.frames - sound.latencyFrames;
    const int64_t end =
        std::clamp(oldestUnheard + int64_t(sinceFrames), oldestUnheard, mixed.frames);
    for (int i = 0; i < kSpectrumWindow; ++i) {
        const int64_t frame = end - kSpectrumWindow + i;
        window[i] = frame < 0
                        ? 0.0f
                        : sound.history[frame % kHistoryFrames].load(std::memory_order_relaxed);
    }
}

} // namespace

SoundSystem soundSystem;
SoundDspUnit soundSpectrumUnit;

// At process end (also after a fatal error) the threads stop before the
// memory they use goes.
SoundSystem::~SoundSystem() {
    soundClose();
}

bool soundSetOutput(int32_t output) {
    clearError();
    if (sound.initialised) return fail(kSoundErrorBusy, "the output is already running", false);
    if (output != kSoundOutputNoSound && output != kSoundOutputDevice) {
        return fail(kSoundErrorInvalidParam, "no output " + std::to_string(output), false);
    }
    sound.output = output;
    return true;
}

bool soundSetDriver(int32_t driver) {
    clearError();
    if (sound.initialised) return fail(kSoundErrorBusy, "the output is already running", false);
    if (driver < 0) return fail(kSoundErrorInvalidParam, "negative driver number", false);
    sound.driver = driver;
    return true;
}

bool soundInit(int32_t mixRate, int32_t maxChannels, uint32_t flags) {
    clearError();
    if (sound.initialised) return fail(kSoundErrorBusy, "the output is already running", false);
    if (mixRate < kMinMixRate || mixRate > kMaxMixRate || maxChannels < 1 ||
        maxChannels > kMaxChannels || flags != 0) {
        return fail(kSoundErrorInvalidParam, "mixing rate, channel count or flags out of range",
                    false);
    }
    sound.mixRate = mixRate;
    sound.channels.assign(size_t(maxChannels), nullptr);
    sound.analyser = createSpectrumAnalyser();
    if (!sound.analyser) return fail(kSoundErrorMemory, "no memory for the spectrum", false);
    if (!startOutput()) {
        sound.analyser.reset();
        return false;
    }
    sound.initialised = true;
    return true;
}

int32_t soundGetError() {
    return sound.error;
}

const char* soundGetErrorDetail() {
    return sound.errorDetail.c_str();
}

bool soundStreamSetBufferSize(int32_t milliseconds) {
    clearError();
    if (milliseconds < kMinBufferMs || milliseconds > kMaxBufferMs) {
        return fail(kSoundErrorInvalidParam, "buffer size out of range", false);
    }
    sound.bufferMs = milliseconds;
    return true;
}

SoundStream* soundStreamOpen(const char* name, uint32_t mode, int32_t offset, int32_t length) {
    clearError();
    if (!sound.initialised) return fail(kSoundErrorUninitialised, "no soundInit", nullptr);
    const bool loop = (mode & kSoundLoopNormal) != 0;
    if ((mode & ~kKnownModes) != 0 || (loop && (mode & kSoundLoopOff) != 0)) {
        return fail(kSoundErrorInvalidParam, "unknown or contradicting mode bits", nullptr);
    }
    DecoderOpening opening = openSoundDecoder(name, offset, length, sound.mixRate, loop);
    if (!opening.decoder) return fail(opening.error, std::move(opening.detail), nullptr);

    auto stream = std::make_unique<SoundStream>();
    stream->decoder = std::move(opening.decoder);
    stream->loop = loop;
    stream->lengthMs = decoderLengthMs(*stream->decoder);
    const size_t bufferFrames = size_t(int64_t(sound.bufferMs) * sound.mixRate / 1000);
    ringAllocate(stream->ring, std::max(bufferFrames, kMinRingFrames));
    stream->decoded.assign(kDecodeChunkFrames * kRingChannels, 0.0f);
    topUp(*stream); // full before it plays: playback starts at once
    try {
        stream->feeder = std::thread(feed, std::ref(*stream));
    } catch (const std::system_error& error) {
        return fail(kSoundErrorMemory, std::string("cannot start decoding: ") + error.what(),
                    nullptr);
    }
    sound.streams.push_back(std::move(stream));
    return sound.streams.back().get();
}

int32_t soundStreamPlay(int32_t channel, SoundStream* stream) {
    clearError();
    if (!sound.initialised) return fail(kSoundErrorUninitialised, "no soundInit", -1);
    const int32_t channelCount = int32_t(sound.channels.size());
    if (!stream || channel < kSoundFreeChannel || channel >= channelCount) {
        return fail(kSoundErrorInvalidParam, "no stream, or no such channel", -1);
    }
    if (stream->played) return fail(kSoundErrorPlay, "the stream has already been played", -1);
    if (channel == kSoundFreeChannel) {
        const auto free = std::find(sound.channels.begin(), sound.channels.end(), nullptr);
        if (free == sound.channels.end()) {
            return fail(kSoundErrorChannelAlloc, "every channel is busy", -1);
        }
        channel = int32_t(free - sound.channels.begin());
    } else if (SoundStream* previous = sound.channels[channel]) {
        stopPlaying(*previous);
    }
    stream->played = true;
    stream->channel = channel;
    stream->deviceClock =
        sound.output == kSoundOutputDevice && (sound.deviceIsClock || sound.forceDeviceClock);
    stream->playStartNs = monotonicNs();
    const std::lock_guard<std::mutex> lock(sound.mixLock);
    sound.channels[channel] = stream;
    return channel;
}

int32_t soundStreamGetLengthMs(SoundStream* stream) {
    clearError();
    if (!stream) return fail(kSoundErrorInvalidParam, "no stream", 0);
    return int32_t(std::min<int64_t>(stream->lengthMs, INT32_MAX));
}

SoundDspUnit* soundGetSpectrumUnit() {
    return &soundSpectrumUnit;
}

bool soundDspSetActive(SoundDspUnit* unit, bool active) {
    clearError();
    if (!unit) return fail(kSoundErrorInvalidParam, "no unit", false);
    unit->active = active;
    return true;
}

double soundStreamGetTimePrecise(SoundStream* stream) {
    clearError();
    if (!stream) return fail(kSoundErrorInvalidParam, "no stream", 0.0);
    if (!stream->played) return 0;
    const int64_t now = monotonicNs();
    double time = stream->originMs;
    if (stream->paused) {
        time = stream->pausedMs;
    } else if (stream->deviceClock) {
        const Snapshot handed = readSnapshot(stream->handed);
        if (handed.count != stream->reportsSeen) {
            stream->reportsSeen = handed.count;
            clockReport(stream->clock, framesToMs(handed.frames - sound.latencyFrames),
                        handed.timeNs);
        }
        time += clockTime(stream->clock, now, framesToMs(handed.frames));
    } else {
        time += double(now - stream->playStartNs) / kNsPerMs;
    }
    if (!stream->loop && stream->lengthMs > 0) time = std::min(time, double(stream->lengthMs));
    return time;
}

int32_t soundStreamGetTime(SoundStream* stream) {
    const double time = soundStreamGetTimePrecise(stream);
    return int32_t(std::min(std::floor(time), double(INT32_MAX)));
}

const float* soundGetSpectrum() {
    if (!soundSpectrumUnit.active || !sound.initialised || !anythingPlays()) {
        return kSilence.data();
    }
    copyHeardWindow(sound.spectrumInput.data());
    analyseSpectrum(*sound.analyser, sound.spectrumInput.data(), sound.spectrum.data());
    return sound.spectrum.data();
}

bool soundStreamSetPaused(SoundStream* stream, bool paused) {
    clearError();
    if (!stream || !stream->played) {
        return fail(kSoundErrorInvalidParam, "no stream, or one never played", false);
    }
    if (paused == stream->paused) return true;
    if (paused) {
        stream->pausedMs = soundStreamGetTimePrecise(stream);
        stream->paused = true;
        setMuted(*stream, true, false);
    } else {
        // What was handed to the output but not yet heard is gone: play on
        // from the very millisecond the time stood at.
        stream->paused = false;
        reposition(*stream, stream->pausedMs);
    }
    return true;
}

bool soundStreamSetTime(SoundStream* stream, int32_t ms) {
    clearError();
    if (!stream || !stream->played || ms < 0) {
        return fail(kSoundErrorInvalidParam, "no stream, one never played, or a negative time",
                    false);
    }
    reposition(*stream, ms);
    return true;
}

bool soundStreamClose(SoundStream* stream) {
    clearError();
    const auto found = std::find_if(sound.streams.begin(), sound.streams.end(),
                                    [&](const auto& open) { return open.get() == stream; });
    if (!stream || found == sound.streams.end()) {
        return fail(kSoundErrorInvalidParam, "no such stream", false);
    }
    release(*stream);
    sound.streams.erase(found);
    return true;
}

void soundClose() {
    if (!sound.initialised) return;
    for (auto& stream : sound.streams) release(*stream);
    sound.streams.clear();
    stopOutput();
    sound.channels.clear();
    sound.analyser.reset();
    sound.initialised = false;
}

const char* soundOutputName() {
    return sound.outputName.c_str();
}

bool soundDeviceRequested() {
    const char* driver = SDL_getenv("SDL_AUDIODRIVER");
    return driver != nullptr && *driver != '\0';
}

int64_t soundOutputFramesMixed() {
    return sound.initialised ? sound.framesMixedShared.load(std::memory_order_relaxed) : 0;
}

void soundForceDeviceClock(bool force) {
    sound.forceDeviceClock = force;
}
