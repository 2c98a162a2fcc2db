// The mixer: instrument buses into the master and the effect sends, the
// kick's pumping, the master fade and the limiter that keeps every sample
// under the ceiling.
#pragma once

#include <cstdint>
#include <deque>
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
// keeps silence after). `master` holds the track's frames from `first` on.
void applyGainAndFade(std::span<float> master, int64_t first, double gain,
                      std::optional<std::pair<int64_t, int64_t>> fadeFrames);

// Lowers the gain just before loud peaks (looking a few milliseconds ahead)
// and lets it recover smoothly, so that no sample exceeds `ceiling`. It can
// follow a track as it is made: settle(master, made) settles the frames
// whose lookahead has been made; once made reaches the end, all of them.
struct Limiter {
    Limiter(double ceiling, double rate);
    void settle(std::span<float> master, size_t made);

    double ceiling;
    double recovery;                 // share of the way back to unity gain per frame
    size_t window;                   // frames of lookahead, and of the gain's smoothing
    size_t settled = 0;              // frames that are final
    size_t next = 0;                 // the first frame whose need is not yet known
    double held = 1;                 // the gain before smoothing
    double sum = 0;                  // of the gains over the smoothing window
    std::vector<float> needed, gain; // rings a window long
    std::deque<size_t> lowest;       // frames ahead, their needs rising
};

// The limiter over a whole track at once.
void limit(std::vector<float>& master, double ceiling, double rate);

} // namespace synth
