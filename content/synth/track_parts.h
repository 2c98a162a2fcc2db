// A track made in parts, so that after an edit only the parts it reaches
// need rendering again.
//
// The dry mix (the master and the two effect sends, before the effects) is
// cut at the first frame of each section. What a part of it holds depends
// only on the sounds that reach into it (its own notes and the tails ringing
// in from before), on their instruments, and on the kicks' pumping over it.
// The part's key hashes exactly those, so two parts with the same key hold
// the same samples, bit for bit. The effects, the fade and the limiter carry
// state along the whole track: they run on over the parts as they come, a
// small share of the work.
//
//   const TrackPlan plan = planTrack(score, rate);
//   Track track = silentTrack(plan);
//   assembleTrack(score, plan, [&](size_t part, DryPart dry) {
//       renderPart(score, plan, part, dry);  // or take it from an earlier render
//   }, track);                               // track == renderParsedScore(score, rate)
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

#include "content/synth/instruments.h"
#include "content/synth/synth.h"

namespace synth {

// The frames of one part: of the master (interleaved stereo) and of the
// two mono effect sends.
struct DryPart {
    std::span<float> master;
    std::span<float> reverbSend;
    std::span<float> delaySend;
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
    std::vector<int64_t> kicks; // frames where a kick starts, for the pumping
    double beatFrames = 0;
    std::vector<TrackPart> parts;
};

TrackPlan planTrack(const Score& score, int32_t rate);

// Renders part `part` into `dry`, which holds that part's frames, silent.
void renderPart(const Score& score, const TrackPlan& plan, size_t part, DryPart dry);

// A silent track of the plan's length.
Track silentTrack(const TrackPlan& plan);

// Makes `track` (silentTrack's): `makePart(part, dry)` fills in the dry mix
// of each part in turn, and the effects, the master gain, the fade and the
// limiter follow on. After each part, `settled(frames)` says how many frames
// from the start are final, for an encoder that follows behind.
void assembleTrack(const Score& score, const TrackPlan& plan,
                   const std::function<void(size_t, DryPart)>& makePart, Track& track,
                   const std::function<void(int64_t)>& settled = {});

} // namespace synth
