// A queue of stereo frames between one writing thread (the decoder) and one
// reading thread (the output): neither ever waits for the other.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

struct FrameRing {
    std::vector<float> samples; // capacity frames, interleaved left and right
    size_t capacity = 0;        // frames
    std::atomic<uint64_t> written{0};
    std::atomic<uint64_t> read{0};
};

inline constexpr int kRingChannels = 2;

// Before either thread uses the ring.
inline void ringAllocate(FrameRing& ring, size_t frames) {
    ring.samples.assign(frames * kRingChannels, 0.0f);
    ring.capacity = frames;
}

// Empties the ring; only while neither thread uses it.
inline void ringClear(FrameRing& ring) {
    ring.read.store(0, std::memory_order_relaxed);
    ring.written.store(0, std::memory_order_relaxed);
}

// Writer side: frames that fit now.
inline size_t ringSpace(const FrameRing& ring) {
    return ring.capacity - size_t(ring.written.load(std::memory_order_relaxed) -
                                  ring.read.load(std::memory_order_acquire));
}

// Writer side: copies as many of `frames` as fit; returns how many.
inline size_t ringWrite(FrameRing& ring, const float* stereo, size_t frames) {
    const uint64_t at = ring.written.load(std::memory_order_relaxed);
    const size_t count = std::min(frames, ringSpace(ring));
    for (size_t i = 0; i < count; ++i) {
        const size_t slot = size_t((at + i) % ring.capacity) * kRingChannels;
        ring.samples[slot] = stereo[i * kRingChannels];
        ring.samples[slot + 1] = stereo[i * kRingChannels + 1];
    }
    ring.written.store(at + count, std::memory_order_release);
    return count;
}

// Reader side: takes up to `frames`; returns how many there were.
inline size_t ringRead(FrameRing& ring, float* stereo, size_t frames) {
    const uint64_t at = ring.read.load(std::memory_order_relaxed);
    const size_t held = size_t(ring.written.load(std::memory_order_acquire) - at);
    const size_t count = std::min(frames, held);
    for (size_t i = 0; i < count; ++i) {
        const size_t slot = size_t((at + i) % ring.capacity) * kRingChannels;
        stereo[i * kRingChannels] = ring.samples[slot];
        stereo[i * kRingChannels + 1] = ring.samples[slot + 1];
    }
    ring.read.store(at + count, std::memory_order_release);
    return count;
}
