// The instruments: one call sounds one drum hit or one note into an
// instrument's stereo bus (interleaved left, right), added to what is there.
// A bus may hold only a stretch of the track: a sound is worked out from its
// own start all the same, and what falls outside the stretch is left out.
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
    int64_t first = 0; // the track's frame that samples[0] holds

    // The frame just past the stretch.
    int64_t frames() const { return first + int64_t(samples.size() / 2); }
    void add(int64_t frame, double left, double right) {
        if (frame < first) return;
        const size_t at = size_t(frame - first) * 2;
        samples[at] += float(left);
        samples[at + 1] += float(right);
    }
};

// The frame just past the last one a hit or a note can sound in, however
// long the track: a part of the track needs only the sounds that reach it.
int64_t drumHitEnd(const Instrument& instrument, int64_t start, double rate);
int64_t noteEnd(const Instrument& instrument, const NoteEvent& event, double rate);

void renderDrumHit(const Instrument& instrument, int64_t start, float velocity, uint32_t seed,
                   Bus bus);

// One note of an event (a chord sounds each of its notes).
void renderNote(const Instrument& instrument, const NoteEvent& event, int32_t note, uint32_t seed,
                Bus bus);

} // namespace synth
