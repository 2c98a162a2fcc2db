// A track made in parts, so that after an edit only the parts it reaches
// need rendering again.
//
// The dry mix (the master and the two effect sends, before the effects) is
// cut at the first frame of each section. What a part of it holds depends
// only on the sounds that reach into it (its own notes and the tails ringing
// in from before), on their instruments, and on the kicks' pumping over it.
// The part's key hashes exactly those, so two parts with the same key hold
// the same samples, bit for bit. The effects, the fade and the limiter carry
// state along the whole track; finishTrack runs them over all of it, a small
// share of the work.
//
//   TrackPlan plan = planTrack(score, rate);
//   DryMix mix = silentDryMix(plan);
//   for (size_t p = 0; p < plan.parts.size(); ++p) renderPart(score, plan, p, mix);
//   Track track = finishTrack(score, plan, std::move(mix));  // == renderParsedScore
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "content/synth/instruments.h"
#include "content/synth/synth.h"

namespace synth {

struct DryMix {
    std::vector<float> master;     // interleaved stereo
    std::vector<float> reverbSend; // mono
    std::vector<float> delaySend;  // mono
};

struct TrackPart {
    int64_t first = 0; // frames of the track
    int64_t frames = 0;
    uint64_t key = 0;
    bool silent = true; // nothing sounds in it: its dry mix is all zeros
};

// The score unrolled into timed events, and the parts. Moved, never copied:
// the events point into `ramps`.
struct TrackPlan {
    TrackPlan() = default;
    TrackPlan(TrackPlan&&) = default;
    TrackPlan(const TrackPlan&) = delete;

    int32_t rate = kDefaultRate;
    int64_t frames = 0;
    std::vector<std::vector<NoteEvent>> events; // per instrument, in time order
    std::deque<CutoffRamp> ramps;
    std::vector<float> pump; // the kicks' pumping, a value a frame
    std::vector<TrackPart> parts;
};

TrackPlan planTrack(const Score& score, int32_t rate);

// A dry mix of the plan's length, all zeros.
DryMix silentDryMix(const TrackPlan& plan);

// Renders part `part` into its frames of `mix`, which must be silent there.
void renderPart(const Score& score, const TrackPlan& plan, size_t part, DryMix& mix);

// The effects, the master gain, the fade and the limiter over the whole mix.
Track finishTrack(const Score& score, const TrackPlan& plan, DryMix mix);

} // namespace synth
