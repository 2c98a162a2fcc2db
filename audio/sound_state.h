// Inside the sound layer: the state its calls share with the output thread
// (the SDL callback or the silent output) and the decoding threads.
// Only sound*.cpp include this.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/sound.h"
#include "audio/sound_clock.h"
#include "audio/sound_decoder.h"
#include "audio/sound_ring.h"
#include "audio/sound_spectrum.h"

inline constexpr int kOutputChannels = 2;
inline constexpr int64_t kNsPerSecond = 1000000000;

// A position and the moment it was true, written by the output thread and
// read by the controlling thread without locks (a sequence lock: the
// reader retries if a write overlapped its read).
struct SnapshotCell {
    std::atomic<uint64_t> sequence{0};
    std::atomic<int64_t> frames{0};
    std::atomic<int64_t> timeNs{0};
};
struct Snapshot {
    int64_t frames = 0;
    int64_t timeNs = 0;
    uint64_t count = 0; // how many were published; 0: none yet
};
void publishSnapshot(SnapshotCell& cell, int64_t frames, int64_t timeNs);
Snapshot readSnapshot(const SnapshotCell& cell);

struct SoundDspUnit {
    bool active = false;
};

struct SoundStream {
    SoundDecoderPtr decoder;
    bool loop = false;
    int64_t lengthMs = 0;

    // Decoding thread -> output thread. The decoder and the writing side of
    // the ring belong to whoever holds decodeLock: the feeder, or a seek on
    // the controlling thread while the stream is muted.
    FrameRing ring;
    std::mutex decodeLock;
    std::vector<float> decoded;       // scratch, under decodeLock
    bool decoderDone = false;         // under decodeLock
    std::atomic<bool> seeking{false}; // the feeder lets go of decodeLock between chunks
    std::thread feeder;
    std::mutex feederLock;
    std::condition_variable feederWake;
    bool stopping = false; // under feederLock
    bool refill = false;   // under feederLock: the ring was emptied, top it up now

    // The output thread's, under mixLock; published through `handed`.
    bool muted = false;       // paused or being moved: not mixed, the ring untouched
    int64_t framesHanded = 0; // this stream's frames given to the output since its start or seek
    SnapshotCell handed;

    // Controlling thread only.
    int32_t channel = -1; // while playing
    bool played = false;  // a stream plays once
    bool deviceClock = false;
    bool paused = false;
    double pausedMs = 0; // the time while paused
    double originMs = 0; // the time at the start or the last seek
    int64_t playStartNs = 0;
    PlayClock clock; // counts from originMs
    uint64_t reportsSeen = 0;
};

struct SoundSystem {
    ~SoundSystem(); // closes what is still open
    // Choices, kept across soundClose.
    int32_t output = kSoundOutputNoSound;
    int32_t driver = 0;
    int32_t bufferMs = 800;
    bool forceDeviceClock = false;

    int32_t error = kSoundOk;
    std::string errorDetail;

    bool initialised = false;
    int32_t mixRate = 0;
    std::vector<std::unique_ptr<SoundStream>> streams; // every open stream

    // The output.
    uint32_t device = 0;        // SDL's device id, 0 for the silent output
    bool deviceIsClock = false; // the device's pace is what is heard
    int64_t latencyFrames = 0;  // from handing a frame over to hearing it
    std::string outputName;
    std::thread silentOutput;
    std::atomic<bool> silentStop{false};

    // Mixing, on the output thread; `channels` changes under mixLock.
    std::mutex mixLock;
    std::vector<SoundStream*> channels;
    std::vector<float> mixScratch;
    std::vector<float> silentBlock;
    int64_t framesMixed = 0; // output thread only
    std::atomic<int64_t> framesMixedShared{0};
    SnapshotCell mixed;
    // The last frames heard, folded to mono, for the spectrum.
    std::unique_ptr<std::atomic<float>[]> history;

    SpectrumAnalyserPtr analyser;
    std::array<float, kSpectrumWindow> spectrumInput{};
    std::array<float, kSpectrumBins> spectrum{};
};

inline constexpr int64_t kHistoryFrames = 1 << 15; // covers any device latency plus a window

extern SoundSystem soundSystem;
extern SoundDspUnit soundSpectrumUnit;

int64_t monotonicNs();

// Starts the chosen output, or returns false with soundSystem.error set.
bool startOutput();
// Stops it; nothing is mixed afterwards.
void stopOutput();
