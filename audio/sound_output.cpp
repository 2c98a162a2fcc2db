// The outputs and the mixer: SDL's audio device, or a silent output that
// consumes frames at the pace of the monotonic clock. Both call mixOutput
// on their own thread, which sums the playing streams, keeps the mono
// history for the spectrum and publishes how far every stream has got.
#include <SDL.h>
#include <algorithm>
#include <chrono>
#include <cstring>

#include "audio/sound_state.h"

#ifndef _WIN32
#include <alsa/asoundlib.h>
#endif

namespace {

constexpr int kDeviceBlockFrames = 1024; // a common period; SDL may give another
// SDL queues about two periods: the one being heard and the one just handed.
constexpr int kDevicePeriodsQueued = 2;
constexpr int kSilentBlockFrames = 512;
// A silent output held up longer than this (a suspended machine) starts
// afresh instead of mixing the whole gap at once.
constexpr int64_t kSilentMaxLagNs = 250 * 1000000LL;
constexpr const char* kSilentName = "silent";
// SDL drivers that consume at a roughly timed pace and are heard by nobody.
constexpr const char* kUntimedDrivers[] = {"dummy", "disk"};

void mixChunk(SoundSystem& sound, float* out, size_t frames, int64_t nowNs) {
    std::fill(out, out + frames * kOutputChannels, 0.0f);
    for (SoundStream* stream : sound.channels) {
        if (!stream || stream->muted) continue;
        const size_t got = ringRead(stream->ring, sound.mixScratch.data(), frames);
        for (size_t i = 0; i < got * kOutputChannels; ++i) out[i] += sound.mixScratch[i];
        stream->framesHanded += int64_t(got);
        publishSnapshot(stream->handed, stream->framesHanded, nowNs);
    }
    for (size_t f = 0; f < frames; ++f) {
        float& left = out[f * kOutputChannels];
        float& right = out[f * kOutputChannels + 1];
        left = std::clamp(left, -1.0f, 1.0f);
        right = std::clamp(right, -1.0f, 1.0f);
        const int64_t slot = (sound.framesMixed + int64_t(f)) % kHistoryFrames;
        sound.history[slot].store(0.5f * (left + right), std::memory_order_relaxed);
    }
    sound.framesMixed += int64_t(frames);
}

// Fills `out` (interleaved stereo) with the next `frames` frames; `nowNs`
// is the moment the first of them starts to be heard, less the latency.
void mixOutput(SoundSystem& sound, float* out, size_t frames, int64_t nowNs) {
    const std::lock_guard<std::mutex> lock(sound.mixLock);
    const size_t chunk = sound.mixScratch.size() / kOutputChannels;
    for (size_t done = 0; done < frames; done += chunk) {
        mixChunk(sound, out + done * kOutputChannels, std::min(chunk, frames - done), nowNs);
    }
    sound.framesMixedShared.store(sound.framesMixed, std::memory_order_relaxed);
    publishSnapshot(sound.mixed, sound.framesMixed, nowNs);
}

void deviceCallback(void* user, Uint8* bytes, int length) {
    SoundSystem& sound = *static_cast<SoundSystem*>(user);
    const size_t frames = size_t(length) / (sizeof(float) * kOutputChannels);
    mixOutput(sound, reinterpret_cast<float*>(bytes), frames, monotonicNs());
}

// Block n is mixed at start + n blocks of time and is heard from then, so
// the time handed over always runs one block ahead of the clock.
void runSilentOutput(SoundSystem& sound) {
    const int64_t blockNs = kSilentBlockFrames * kNsPerSecond / sound.mixRate;
    int64_t due = monotonicNs();
    while (!sound.silentStop.load(std::memory_order_relaxed)) {
        const int64_t now = monotonicNs();
        if (now < due) {
            std::this_thread::sleep_for(std::chrono::nanoseconds(due - now));
            continue;
        }
        if (now - due > kSilentMaxLagNs) due = now;
        mixOutput(sound, sound.silentBlock.data(), kSilentBlockFrames, due);
        due += blockNs;
    }
}

bool failOutput(SoundSystem& sound, std::string detail) {
    sound.error = kSoundErrorInit;
    sound.errorDetail = std::move(detail);
    return false;
}

#ifdef _WIN32
// SDL's first choice on Windows, WASAPI, takes about 8 s to give up when
// there is no sound device (a machine without one, Wine on a server), and
// the show would wait that long for its first frame. DirectSound and WinMM
// play on every Windows and fail at once: try them in that order, then the
// silent output takes over. A driver named in SDL_AUDIODRIVER still wins.
constexpr const char* kWindowsDrivers = "directsound,winmm";

void quietDriverSearch() {
    SDL_SetHint(SDL_HINT_AUDIODRIVER, kWindowsDrivers);
}
#else
// ALSA prints every step of a failed device search on stderr (eight lines
// without a sound card); SDL's error, reported by us, says it in one.
void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

void quietDriverSearch() {
    snd_lib_error_set_handler(ignoreAlsaMessage);
}
#endif

bool openDevice(SoundSystem& sound) {
    quietDriverSearch();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return failOutput(sound, std::string("no audio output: ") + SDL_GetError());
    }
    const char* deviceName = nullptr;
    if (sound.driver > 0) {
        if (sound.driver > SDL_GetNumAudioDevices(0)) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return failOutput(sound, "no audio device number " + std::to_string(sound.driver));
        }
        deviceName = SDL_GetAudioDeviceName(sound.driver - 1, 0);
    }
    SDL_AudioSpec wanted{};
    wanted.freq = sound.mixRate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = kOutputChannels;
    wanted.samples = kDeviceBlockFrames;
    wanted.callback = deviceCallback;
    wanted.userdata = &sound;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the device wants.
    sound.device = SDL_OpenAudioDevice(deviceName, 0, &wanted, &obtained, 0);
    if (sound.device == 0) {
        std::string cause = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return failOutput(sound, "cannot open the audio device: " + cause);
    }
    sound.outputName = SDL_GetCurrentAudioDriver();
    sound.latencyFrames = int64_t(obtained.samples) * kDevicePeriodsQueued;
    sound.deviceIsClock = true;
    for (const char* untimed : kUntimedDrivers) {
        if (sound.outputName == untimed) sound.deviceIsClock = false;
    }
    SDL_PauseAudioDevice(sound.device, 0);
    return true;
}

} // namespace

int64_t monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void publishSnapshot(SnapshotCell& cell, int64_t frames, int64_t timeNs) {
    const uint64_t sequence = cell.sequence.load(std::memory_order_relaxed);
    cell.sequence.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    cell.frames.store(frames, std::memory_order_relaxed);
    cell.timeNs.store(timeNs, std::memory_order_relaxed);
    cell.sequence.store(sequence + 2, std::memory_order_release);
}

Snapshot readSnapshot(const SnapshotCell& cell) {
    for (;;) {
        const uint64_t before = cell.sequence.load(std::memory_order_acquire);
        const Snapshot snapshot{cell.frames.load(std::memory_order_relaxed),
                                cell.timeNs.load(std::memory_order_relaxed), before / 2};
        std::atomic_thread_fence(std::memory_order_acquire);
        if (before % 2 == 0 && cell.sequence.load(std::memory_order_relaxed) == before) {
            return snapshot;
        }
    }
}

bool startOutput() {
    SoundSystem& sound = soundSystem;
    constexpr size_t kMixChunkFrames = 4096;
    sound.mixScratch.assign(kMixChunkFrames * kOutputChannels, 0.0f);
    sound.silentBlock.assign(kSilentBlockFrames * kOutputChannels, 0.0f);
    sound.history = std::make_unique<std::atomic<float>[]>(kHistoryFrames);
    for (int64_t i = 0; i < kHistoryFrames; ++i) sound.history[i].store(0.0f);
    sound.framesMixed = 0;
    sound.framesMixedShared = 0;
    sound.mixed.frames = 0;
    sound.mixed.timeNs = 0;
    sound.mixed.sequence = 0;
    if (sound.output == kSoundOutputDevice) return openDevice(sound);

    sound.outputName = kSilentName;
    sound.latencyFrames = kSilentBlockFrames;
    sound.deviceIsClock = false;
    sound.silentStop = false;
    try {
        sound.silentOutput = std::thread(runSilentOutput, std::ref(sound));
    } catch (const std::system_error& error) {
        sound.error = kSoundErrorMemory;
        sound.errorDetail = std::string("cannot start the silent output: ") + error.what();
        return false;
    }
    return true;
}

void stopOutput() {
    SoundSystem& sound = soundSystem;
    if (sound.device != 0) {
        SDL_CloseAudioDevice(sound.device); // returns once the callback has finished
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        sound.device = 0;
    }
    if (sound.silentOutput.joinable()) {
        sound.silentStop = true;
        sound.silentOutput.join();
    }
    sound.outputName.clear();
}
