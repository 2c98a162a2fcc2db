// The mixer: instrument buses into the master and the effect sends, the
// kick's pumping, the master fade and the limiter that keeps every sample
// under the ceiling.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace synth {

// How deep the kicks push the ducked instruments at each frame from
// `first` on, for as many frames as `pump` holds: 1 just after a kick, back
// to 0 most of a beat later.
void kickPump(const std::vector<int64_t>& kickFrames, int64_t first, double beatFrames, double rate,
              std::span<float> pump);

struct BusMix {
    double gain = 1;
    double pan = 0;    // -1..1
    double duck = 0;   // 0..1
    double reverb = 0; // send amounts
    double delay = 0;
};

// Adds an interleaved stereo bus to the master and its mono sends, all
// over the same stretch of frames.
void mixBus(std::span<const float> bus, const BusMix& mix, std::span<const float> pump,
            std::span<float> master, std::span<float> reverbSend, std::span<float> delaySend);

// Multiplies by `gain`, then fades to silence between two frames (and
// keeps silence after).
void applyGainAndFade(std::vector<float>& master, double gain,
                      std::optional<std::pair<int64_t, int64_t>> fadeFrames);

// Lowers the gain just before loud peaks (looking a few milliseconds ahead)
// and lets it recover smoothly, so that no sample exceeds `ceiling`.
void limit(std::vector<float>& master, double ceiling, double rate);

} // namespace synth
