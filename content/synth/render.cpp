// From score to samples: the sections are unrolled into timed notes per
// instrument, each instrument is played into a bus of its own, and the
// buses are mixed with the effects, faded and limited.
#include <algorithm>
#include <cmath>
#include <deque>

#include "content/synth/dsp.h"
#include "content/synth/effects.h"
#include "content/synth/instruments.h"
#include "content/synth/mixer.h"
#include "content/synth/synth.h"

namespace synth {

namespace {

constexpr int32_t kMinRate = 8000, kMaxRate = 48000;
constexpr double kMsPerSecond = 1000;

struct Unrolled {
    std::vector<std::vector<NoteEvent>> events; // per instrument, in time order
    std::deque<CutoffRamp> ramps;               // stable addresses for the events
};

int64_t frameAt(double ms, double rate) {
    return int64_t(std::llround(ms * rate / kMsPerSecond));
}

void unrollPlacement(const Score& score, const Section& section, const Placement& placement,
                     double rate, Unrolled& out) {
    const Pattern& pattern = score.patterns[size_t(placement.pattern)];
    const int32_t perBar = pattern.stepsPerBar;
    const int64_t firstBar = int64_t(section.startBar) + placement.atBar;
    const int64_t endBar = firstBar + placement.bars;
    const double endMs = barStartMs(score, double(endBar));
    const CutoffRamp* ramp = nullptr;
    if (placement.cutoff) {
        out.ramps.push_back({frameAt(barStartMs(score, double(firstBar)), rate),
                             frameAt(endMs, rate), (*placement.cutoff)[0], (*placement.cutoff)[1]});
        ramp = &out.ramps.back();
    }
    const double gain = dbGain(placement.levelDb);
    std::vector<NoteEvent>& events = out.events[size_t(placement.instrument)];
    const size_t count = pattern.steps.size();
    for (int64_t patternBar = firstBar; patternBar < endBar; patternBar += pattern.bars) {
        for (size_t s = 0; s < count; ++s) {
            const Step& step = pattern.steps[s];
            if (step.kind == Step::Kind::Rest || step.kind == Step::Kind::Hold) continue;
            const int64_t bar = patternBar + int64_t(s) / perBar;
            if (bar >= endBar) break;
            size_t length = 1;
            while (s + length < count && pattern.steps[s + length].kind == Step::Kind::Hold)
                ++length;
            const size_t after = s + length;
            const double startMs = stepStartMs(score, bar, int32_t(s % size_t(perBar)), perBar);
            const double stopMs =
                std::min(endMs, stepStartMs(score, patternBar + int64_t(after) / perBar,
                                            int32_t(after % size_t(perBar)), perBar));
            NoteEvent event;
            event.start = frameAt(startMs, rate);
            event.gate = std::max<int64_t>(frameAt(stopMs, rate) - event.start, 1);
            event.velocity = float(step.velocity * gain);
            event.noteCount = step.noteCount;
            for (uint8_t n = 0; n < step.noteCount; ++n)
                event.notes[n] = int8_t(step.notes[n] + placement.transpose);
            event.ramp = ramp;
            events.push_back(event);
        }
    }
}

Unrolled unroll(const Score& score, double rate) {
    Unrolled out;
    out.events.resize(score.instruments.size());
    for (const Section& section : score.sections)
        for (const Placement& placement : section.placements)
            unrollPlacement(score, section, placement, rate, out);
    for (size_t i = 0; i < out.events.size(); ++i) {
        std::vector<NoteEvent>& events = out.events[i];
        std::stable_sort(events.begin(), events.end(),
                         [](const NoteEvent& a, const NoteEvent& b) { return a.start < b.start; });
        if (score.instruments[i].sound.mono == 0) continue;
        for (size_t e = 0; e + 1 < events.size(); ++e) events[e].cut = events[e + 1].start;
    }
    return out;
}

void playInstrument(const Instrument& instrument, uint32_t index,
                    const std::vector<NoteEvent>& events, Bus bus) {
    for (size_t e = 0; e < events.size(); ++e) {
        const NoteEvent& event = events[e];
        const uint32_t seed = mixSeed(index + 1, uint32_t(e));
        if (isDrum(instrument.type)) {
            renderDrumHit(instrument, event.start, event.velocity, seed, bus);
            continue;
        }
        for (uint8_t n = 0; n < event.noteCount; ++n)
            renderNote(instrument, event, event.notes[n], mixSeed(seed, n), bus);
    }
}

} // namespace

int64_t framesForMs(double ms, int32_t rate) {
    return int64_t(std::ceil(ms * double(rate) / kMsPerSecond));
}

Track renderParsedScore(const Score& score, int32_t rate) {
    const double r = rate;
    Track track;
    track.rate = rate;
    const int64_t frames = framesForMs(scoreLengthMs(score), rate);
    track.samples.assign(size_t(frames) * 2, 0.0f);

    const Unrolled unrolled = unroll(score, r);
    std::vector<int64_t> kicks;
    for (size_t i = 0; i < score.instruments.size(); ++i)
        if (score.instruments[i].type == InstrumentType::Kick)
            for (const NoteEvent& event : unrolled.events[i]) kicks.push_back(event.start);
    const double beatFrames = beatMs(score) * r / kMsPerSecond;
    const std::vector<float> pump = kickPump(kicks, frames, beatFrames, r);

    std::vector<float> reverbSend(size_t(frames), 0.0f), delaySend(size_t(frames), 0.0f);
    std::vector<float> bus(size_t(frames) * 2);
    for (size_t i = 0; i < score.instruments.size(); ++i) {
        const Instrument& instrument = score.instruments[i];
        if (unrolled.events[i].empty()) continue;
        std::fill(bus.begin(), bus.end(), 0.0f);
        playInstrument(instrument, uint32_t(i), unrolled.events[i], Bus{bus, r});
        const Sound& sound = instrument.sound;
        mixBus(bus, {dbGain(sound.levelDb), sound.pan, sound.duck, sound.reverb, sound.delay}, pump,
               track.samples, reverbSend, delaySend);
    }
    const double delayFrames =
        score.delaySteps * barMs(score) / kSixteenthsPerBar * r / kMsPerSecond;
    addPingPongDelay(delaySend, delayFrames, score.delayFeedback, r, track.samples);
    addReverb(reverbSend, score.reverbSize, score.reverbDamping, r, track.samples);

    std::optional<std::pair<int64_t, int64_t>> fade;
    if (score.fadeMs) fade = {{frameAt((*score.fadeMs)[0], r), frameAt((*score.fadeMs)[1], r)}};
    applyGainAndFade(track.samples, dbGain(score.masterGainDb), fade);
    limit(track.samples, dbGain(score.ceilingDb), r);
    return track;
}

std::optional<ScoreError> renderScore(std::string_view scoreText, Track& track, int32_t rate) {
    if (rate < kMinRate || rate > kMaxRate)
        return ScoreError{0, 0,
                          "the rate must be " + std::to_string(kMinRate) + " to " +
                              std::to_string(kMaxRate) + " frames a second, not " +
                              std::to_string(rate)};
    Score score;
    if (std::optional<ScoreError> error = parseScore(scoreText, score)) return error;
    track = renderParsedScore(score, rate);
    return std::nullopt;
}

} // namespace synth
