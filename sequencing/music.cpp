#include "sequencing/music.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>

#include "audio/sound.h"
#include "sequencing/music_wave.h"

namespace {

constexpr int32_t kSoftwareChannels = 16;
constexpr uint32_t kInitFlags = 0;
constexpr int32_t kDefaultDriver = 0;
constexpr int32_t kStreamBufferMs = 800;
constexpr uint32_t kMusicMode = kSoundLoopNormal | kSound16Bits | kSoundMono | kSoundSigned;
constexpr int32_t kWholeFile = 0;

constexpr const char* kErrorTexts[] = {
    "No errors",
    "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first",
    "This command failed because FSOUND_Init was not called",
    "Error initializing output device",
    "The output device is already in use and cannot be reused",
    "Playing the sound failed",
    "Soundcard does not support the features needed for this soundsystem (16bit stereo output)",
    "Error setting cooperative level for hardware",
    "Error creating hardware sound buffer",
    "File not found",
    "Unknown file format",
    "Error loading file",
    "Not enough memory or resources",
    "The version number of this file format is not supported",
    "An invalid parameter was passed to this function",
    "Tried to use an EAX command on a non EAX enabled channel or output",
    "Failed to allocate a new channel",
    "Recording is not supported on this machine",
    "Required Mediaplayer codec is not installed",
};
constexpr const char* kUnknownError = "Unknown error";

SoundStream* musicStream = nullptr;
int32_t musicChannel = -1;
bool paused = false;
bool soundEnabled = false; // the choice startMusic was given, for a reopen

// The clock of a show without music: it starts with the first frame, and
// pauses and seeks like the music's.
struct SilentClock {
    std::optional<std::chrono::steady_clock::time_point> start;
    double originMs = 0; // the time at `start`, or while paused
} silentClock;

double silentClockMs() {
    if (paused) return silentClock.originMs;
    const auto now = std::chrono::steady_clock::now();
    if (!silentClock.start) silentClock.start = now;
    return silentClock.originMs +
           std::chrono::duration<double, std::milli>(now - *silentClock.start).count();
}

MusicError lastSoundError() {
    const int32_t code = soundGetError();
    return MusicError{kMusicModule, fmodErrorText(code), soundGetErrorDetail()};
}

} // namespace

MusicError startMusic(bool enabled, MusicSettings& music) {
    std::string note;
    paused = false; // the new stream plays
    soundEnabled = enabled;
    soundSetOutput(enabled ? kSoundOutputDevice : kSoundOutputNoSound);
    soundSetDriver(kDefaultDriver);
    if (!soundInit(kMusicMixRate, kSoftwareChannels, kInitFlags)) {
        // A machine without a sound card plays the show silently, unless a
        // device was asked for by name.
        if (!enabled || soundGetError() != kSoundErrorInit || soundDeviceRequested()) {
            return lastSoundError();
        }
        note = std::string("no usable audio device (") + soundGetErrorDetail() +
               "): the music plays silently";
        soundSetOutput(kSoundOutputNoSound);
        if (!soundInit(kMusicMixRate, kSoftwareChannels, kInitFlags)) return lastSoundError();
    }
    soundStreamSetBufferSize(kStreamBufferMs);
    const std::string file = music.musicFile.value_or("");
    musicStream = soundStreamOpen(file.c_str(), kMusicMode, music.musicStart, kWholeFile);
    if (!musicStream) return lastSoundError();
    musicChannel = soundStreamPlay(kSoundFreeChannel, musicStream);
    if (musicChannel < 0) return lastSoundError();
    if (music.musicEnd == 0) music.musicEnd = soundStreamGetLengthMs(musicStream);
    return MusicError{"", "", note};
}

int32_t musicLength() {
    return musicStream ? soundStreamGetLengthMs(musicStream) : 0;
}

MusicError reopenMusic(MusicSettings& music) {
    const int32_t at = musicTime();
    const bool wasPaused = paused;
    if (!musicStream) {
        MusicError error = startMusic(soundEnabled, music);
        if (!error) {
            seekMusic(at);
            pauseMusic(wasPaused);
        }
        return error;
    }
    const std::string file = music.musicFile.value_or("");
    SoundStream* fresh = soundStreamOpen(file.c_str(), kMusicMode, music.musicStart, kWholeFile);
    if (!fresh) return lastSoundError();
    // Started beside the old one and moved at once: the two overlap for a
    // moment too short to hear, and the old plays on if the new cannot.
    const int32_t channel = soundStreamPlay(kSoundFreeChannel, fresh);
    if (channel < 0) {
        MusicError error = lastSoundError();
        soundStreamClose(fresh);
        return error;
    }
    soundStreamSetTime(fresh, at);
    soundStreamSetPaused(fresh, wasPaused);
    soundStreamClose(musicStream);
    musicStream = fresh;
    musicChannel = channel;
    if (music.musicEnd == 0) music.musicEnd = soundStreamGetLengthMs(fresh);
    return {};
}

void enableSpectrum() {
    soundDspSetActive(soundGetSpectrumUnit(), true);
}

int32_t musicTime() {
    if (musicStream) return soundStreamGetTime(musicStream);
    return int32_t(std::min(std::floor(silentClockMs()), double(INT32_MAX)));
}

void readSpectrum(float* buffer) {
    const float* spectrum = soundGetSpectrum();
    std::copy(spectrum, spectrum + kMusicSpectrumSize, buffer);
}

void stopMusic() {
    soundStreamClose(musicStream);
    soundClose();
    musicStream = nullptr;
    musicChannel = -1;
    paused = false;
}

void pauseMusic(bool pause) {
    if (musicStream) {
        soundStreamSetPaused(musicStream, pause);
    } else if (pause != paused) {
        silentClock.originMs = silentClockMs();
        silentClock.start = std::chrono::steady_clock::now();
    }
    paused = pause;
}

bool musicPaused() {
    return paused;
}

void seekMusic(int32_t ms) {
    if (musicStream) {
        soundStreamSetTime(musicStream, std::max(ms, 0));
        return;
    }
    silentClock.originMs = std::max(ms, 0);
    silentClock.start = std::chrono::steady_clock::now();
}

const char* fmodErrorText(int32_t code) {
    constexpr int32_t kCodes = int32_t(std::size(kErrorTexts));
    return code >= 0 && code < kCodes ? kErrorTexts[code] : kUnknownError;
}
