// The track in parts: the score unrolled into events, the part each section
// starts, each part's key, its dry mix, and the effects over the whole.
#include "content/synth/track_parts.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <type_traits>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "content/synth/dsp.h"
#include "content/synth/effects.h"
#include "content/synth/mixer.h"

namespace synth {

namespace {

constexpr double kMsPerSecond = 1000;
// Raise when a change to the instruments or the mixer makes the same part
// sound different, so that keys from before the change no longer match.
constexpr uint64_t kPartFormat = 1;

int64_t frameAt(double ms, double rate) {
    return int64_t(std::llround(ms * rate / kMsPerSecond));
}

void unrollPlacement(const Score& score, const Section& section, const Placement& placement,
                     double rate, TrackPlan& out) {
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

void unroll(const Score& score, double rate, TrackPlan& out) {
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
}

// 64-bit FNV-1a over the bytes of everything a part is made from.
struct KeyHash {
    static constexpr uint64_t kOffset = 0xCBF29CE484222325ull;
    static constexpr uint64_t kPrime = 0x100000001B3ull;
    uint64_t value = kOffset;

    void bytes(const void* data, size_t size) {
        const auto* at = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i) value = (value ^ at[i]) * kPrime;
    }
    template <typename T> void add(const T& item) {
        static_assert(std::is_arithmetic_v<T>);
        bytes(&item, sizeof item);
    }
};

// Every field of a sound is a double, so its bytes are its settings (and a
// field added later is hashed without a word here).
static_assert(sizeof(Sound) % sizeof(double) == 0 && std::is_trivially_copyable_v<Sound>);

void hashEvent(const NoteEvent& event, size_t index, KeyHash& hash) {
    hash.add(uint64_t(index)); // the event's seed
    hash.add(event.start);
    hash.add(event.gate);
    hash.add(event.cut);
    hash.add(event.velocity);
    hash.add(event.noteCount);
    hash.bytes(event.notes.data(), event.noteCount);
    hash.add(uint8_t(event.ramp != nullptr));
    if (!event.ramp) return;
    hash.add(event.ramp->start);
    hash.add(event.ramp->end);
    hash.add(event.ramp->from);
    hash.add(event.ramp->to);
}

int64_t soundEnd(const Instrument& instrument, const NoteEvent& event, double rate) {
    return isDrum(instrument.type) ? drumHitEnd(instrument, event.start, rate)
                                   : noteEnd(instrument, event, rate);
}

// Calls `play(index, event)` for each event of an instrument that sounds
// within the frames [first, end), in the events' order.
template <typename Play>
void forEachEventIn(const Instrument& instrument, const std::vector<NoteEvent>& events,
                    int64_t first, int64_t end, double rate, Play play) {
    for (size_t e = 0; e < events.size() && events[e].start < end; ++e)
        if (soundEnd(instrument, events[e], rate) > first) play(e, events[e]);
}

void playEvent(const Instrument& instrument, uint32_t index, size_t number, const NoteEvent& event,
               Bus bus) {
    const uint32_t seed = mixSeed(index + 1, uint32_t(number));
    if (isDrum(instrument.type))
        return renderDrumHit(instrument, event.start, event.velocity, seed, bus);
    for (uint8_t n = 0; n < event.noteCount; ++n)
        renderNote(instrument, event, event.notes[n], mixSeed(seed, n), bus);
}

BusMix busMix(const Sound& sound) {
    return {dbGain(sound.levelDb), sound.pan, sound.duck, sound.reverb, sound.delay};
}

// The first frame of each part: the start of the track and of each section
// after the first.
std::vector<int64_t> partStarts(const Score& score, double rate, int64_t frames) {
    std::vector<int64_t> starts{0};
    for (size_t s = 1; s < score.sections.size(); ++s) {
        const int64_t start = frameAt(barStartMs(score, score.sections[s].startBar), rate);
        if (start > starts.back() && start < frames) starts.push_back(start);
    }
    return starts;
}

// A vector of zeros for a whole track. Touching fresh memory a page at a
// time costs more than the rendering on some machines: ask for large pages
// before the zeros go in.
std::vector<float> silence(size_t count) {
    std::vector<float> samples;
    samples.reserve(count);
#ifdef __linux__
    const uintptr_t start = reinterpret_cast<uintptr_t>(samples.data());
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t first = (start + page - 1) / page * page;
    const uintptr_t end = start + count * sizeof(float);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
    samples.resize(count, 0.0f);
    return samples;
}

std::vector<float> pumpOver(const TrackPlan& plan, const TrackPart& part) {
    std::vector<float> pump(size_t(part.frames));
    kickPump(plan.kicks, part.first, plan.beatFrames, plan.rate, pump);
    return pump;
}

void keyPart(const Score& score, const TrackPlan& plan, TrackPart& part) {
    const int64_t end = part.first + part.frames;
    KeyHash hash;
    hash.add(kPartFormat);
    hash.add(plan.rate);
    hash.add(part.first);
    hash.add(part.frames);
    for (size_t i = 0; i < score.instruments.size(); ++i) {
        const Instrument& instrument = score.instruments[i];
        bool sounds = false;
        forEachEventIn(instrument, plan.events[i], part.first, end, plan.rate,
                       [&](size_t e, const NoteEvent& event) {
                           if (!sounds) {
                               hash.add(uint64_t(i));
                               hash.add(int32_t(instrument.type));
                               hash.bytes(&instrument.sound, sizeof instrument.sound);
                           }
                           sounds = true;
                           hashEvent(event, e, hash);
                       });
        part.silent = part.silent && !sounds;
    }
    if (part.silent) return;
    const std::vector<float> pump = pumpOver(plan, part);
    hash.bytes(pump.data(), pump.size() * sizeof(float));
    part.key = hash.value;
}

} // namespace

TrackPlan planTrack(const Score& score, int32_t rate) {
    const double r = rate;
    TrackPlan plan;
    plan.rate = rate;
    plan.frames = framesForMs(scoreLengthMs(score), rate);
    unroll(score, r, plan);
    for (size_t i = 0; i < score.instruments.size(); ++i)
        if (score.instruments[i].type == InstrumentType::Kick)
            for (const NoteEvent& event : plan.events[i]) plan.kicks.push_back(event.start);
    plan.beatFrames = beatMs(score) * r / kMsPerSecond;

    const std::vector<int64_t> starts = partStarts(score, r, plan.frames);
    for (size_t p = 0; p < starts.size(); ++p) {
        TrackPart part;
        part.first = starts[p];
        part.frames = (p + 1 < starts.size() ? starts[p + 1] : plan.frames) - part.first;
        keyPart(score, plan, part);
        plan.parts.push_back(part);
    }
    return plan;
}

void renderPart(const Score& score, const TrackPlan& plan, size_t part, DryPart dry) {
    const TrackPart& at = plan.parts[part];
    const std::vector<float> pump = pumpOver(plan, at);
    std::vector<float> bus(size_t(at.frames) * 2);
    for (size_t i = 0; i < score.instruments.size(); ++i) {
        const Instrument& instrument = score.instruments[i];
        bool sounds = false;
        forEachEventIn(
            instrument, plan.events[i], at.first, at.first + at.frames, plan.rate,
            [&](size_t e, const NoteEvent& event) {
                if (!sounds) std::fill(bus.begin(), bus.end(), 0.0f);
                sounds = true;
                playEvent(instrument, uint32_t(i), e, event, Bus{bus, double(plan.rate), at.first});
            });
        // An instrument silent here would only add zeros.
        if (sounds)
            mixBus(bus, busMix(instrument.sound), pump, dry.master, dry.reverbSend, dry.delaySend);
    }
}

Track silentTrack(const TrackPlan& plan) {
    return {plan.rate, silence(size_t(plan.frames) * 2)};
}

void assembleTrack(const Score& score, const TrackPlan& plan,
                   const std::function<void(size_t, DryPart)>& makePart, Track& track,
                   const std::function<void(int64_t)>& settled) {
    const double r = plan.rate;
    size_t longest = 0;
    for (const TrackPart& part : plan.parts) longest = std::max(longest, size_t(part.frames));
    std::vector<float> reverbSend(longest), delaySend(longest);
    PingPongDelay delay(score.delaySteps * barMs(score) / kSixteenthsPerBar * r / kMsPerSecond,
                        score.delayFeedback, r);
    Reverb reverb(score.reverbSize, score.reverbDamping, r);
    std::optional<std::pair<int64_t, int64_t>> fade;
    if (score.fadeMs) fade = {{frameAt((*score.fadeMs)[0], r), frameAt((*score.fadeMs)[1], r)}};
    Limiter limiter(dbGain(score.ceilingDb), r);
    for (size_t p = 0; p < plan.parts.size(); ++p) {
        const size_t first = size_t(plan.parts[p].first), frames = size_t(plan.parts[p].frames);
        std::fill_n(reverbSend.begin(), frames, 0.0f);
        std::fill_n(delaySend.begin(), frames, 0.0f);
        const DryPart dry{std::span(track.samples).subspan(first * 2, frames * 2),
                          std::span(reverbSend).first(frames), std::span(delaySend).first(frames)};
        makePart(p, dry);
        // The effects run on as the parts come, the delay before the room;
        // then the master gain and the fade, and the limiter as far as it
        // can see ahead.
        delay.add(dry.delaySend, dry.master);
        reverb.add(dry.reverbSend, dry.master);
        applyGainAndFade(dry.master, int64_t(first), dbGain(score.masterGainDb), fade);
        limiter.settle(track.samples, first + frames);
        if (settled) settled(int64_t(limiter.settled));
    }
}

} // namespace synth
