// The instruments: one call sounds one drum hit or one note into an
// instrument's stereo bus (interleaved left, right), added to what is there.
// Everything past the bus's end is left out.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "content/synth/score.h"

namespace synth {

inline constexpr int64_t kNoCut = std::numeric_limits<int64_t>::max();

// A filter sweep written on a placement: cutoff from `from` to `to` Hz
// between two frames.
struct CutoffRamp {
    int64_t start = 0;
    int64_t end = 0;
    double from = 0;
    double to = 0;

    double at(int64_t frame) const;
};

struct NoteEvent {
    int64_t start = 0;    // frame
    int64_t gate = 0;     // frames the note is held
    int64_t cut = kNoCut; // frame where a mono instrument's next note starts
    float velocity = 0;
    uint8_t noteCount = 0;
    std::array<int8_t, kMaxChordNotes> notes{};
    const CutoffRamp* ramp = nullptr;
};

struct Bus {
    std::vector<float>& samples; // interleaved stereo
    double rate;

    int64_t frames() const { return int64_t(samples.size() / 2); }
};

void renderDrumHit(const Instrument& instrument, int64_t start, float velocity, uint32_t seed,
                   Bus bus);

// One note of an event (a chord sounds each of its notes).
void renderNote(const Instrument& instrument, const NoteEvent& event, int32_t note, uint32_t seed,
                Bus bus);

} // namespace synth
