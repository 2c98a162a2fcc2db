// The drums, each one a short recipe: a swept sine for the kick, a tuned
// body with noise for the snare, bursts of band-passed noise for the clap,
// detuned square waves and noise through a highpass for the hat.
#include <algorithm>
#include <cmath>

#include "content/synth/dsp.h"
#include "content/synth/instruments.h"

namespace synth {

namespace {

// Kick: the pitch starts this many times above the tune and falls to it
// within the sweep time; the first samples carry a short click.
constexpr double kKickSweepRatio = 3.5;
constexpr double kKickSweepSeconds = 0.03;
constexpr double kKickHoldSeconds = 0.015;
constexpr double kKickClickSeconds = 0.003;
constexpr double kKickClickHz = 3000;
constexpr double kKickDrive = 1.8;

// Snare: a second body partial above the first, and a shorter body decay.
constexpr double kSnareOvertone = 1.62;
constexpr double kSnareBodyShare = 0.45;
constexpr double kSnareBodyDrop = 0.25; // the body's pitch falls by this share
constexpr double kSnareNoiseHz = 1800;

// Clap: three hands in quick succession, then the room.
constexpr double kClapBursts[] = {0.0, 0.011, 0.023};
constexpr double kClapBurstSeconds = 0.005;
constexpr double kClapTailStart = 0.03;
constexpr double kClapResonance = 0.35;

// Hat: six square waves at inharmonic ratios give the metal.
constexpr double kHatPartials[] = {1.0, 1.4827, 1.8003, 2.5460, 2.6303, 3.8967};
constexpr double kHatPartialHz = 410;
constexpr double kHatReferenceTune = 7500;
constexpr double kHatResonance = 0.2;

constexpr double kTailFloor = 1e-4; // -80 dB: the hit is over

void addMono(Bus& bus, int64_t frame, double value) {
    bus.add(frame, value, value);
}

// How long each kind of hit lasts at most; its tail reaches -80 dB at 4/3
// of the decay.
double hitSeconds(InstrumentType type, const Sound& sound) {
    switch (type) {
    case InstrumentType::Kick:
        return kKickHoldSeconds + sound.decay * 4.0 / 3.0;
    case InstrumentType::Clap:
        return kClapTailStart + sound.decay * 4.0 / 3.0;
    default:
        return sound.decay * 4.0 / 3.0;
    }
}

int64_t hitLength(InstrumentType type, const Sound& sound, double rate) {
    return std::max(int64_t(std::ceil(hitSeconds(type, sound) * rate)), int64_t(0));
}

int64_t hitFrames(const Bus& bus, InstrumentType type, const Sound& sound, int64_t start) {
    return std::min(hitLength(type, sound, bus.rate), std::max<int64_t>(bus.frames() - start, 0));
}

void kick(const Sound& sound, int64_t start, double velocity, uint32_t seed, Bus& bus) {
    // The tail is exponential after a short hold.
    const int64_t frames = hitFrames(bus, InstrumentType::Kick, sound, start);
    const double bodyFactor = sixtyDbFactor(sound.decay, bus.rate);
    const double sweepFactor = std::exp(-1.0 / (kKickSweepSeconds * bus.rate));
    const double clickFactor = std::exp(-1.0 / (kKickClickSeconds * bus.rate));
    const int64_t holdFrames = int64_t(kKickHoldSeconds * bus.rate);
    Noise noise(seed);
    OnePole clickFilter;
    clickFilter.tune(kKickClickHz, bus.rate);
    double phase = 0, sweep = 1, body = 1, click = sound.tone;
    const double norm = 1.0 / std::tanh(kKickDrive);
    for (int64_t i = 0; i < frames; ++i) {
        const double hz = sound.tune * (1.0 + (kKickSweepRatio - 1.0) * sweep);
        const double value =
            std::sin(kTwoPi * phase) * body + clickFilter.low(noise.next()) * click;
        addMono(bus, start + i, velocity * norm * std::tanh(kKickDrive * value));
        phase += hz / bus.rate;
        if (phase >= 1.0) phase -= 1.0;
        sweep *= sweepFactor;
        click *= clickFactor;
        if (i >= holdFrames) body *= bodyFactor;
    }
}

void snare(const Sound& sound, int64_t start, double velocity, uint32_t seed, Bus& bus) {
    const int64_t frames = hitFrames(bus, InstrumentType::Snare, sound, start);
    const double noiseFactor = sixtyDbFactor(sound.decay, bus.rate);
    const double bodyFactor = sixtyDbFactor(sound.decay * kSnareBodyShare, bus.rate);
    const double dropFactor = sixtyDbFactor(sound.decay, bus.rate);
    Noise noise(seed);
    Svf filter;
    filter.tune(kSnareNoiseHz, 0.1, bus.rate);
    double phase1 = 0, phase2 = 0, body = 1, hiss = 1, drop = 1;
    for (int64_t i = 0; i < frames; ++i) {
        const double pitch = 1.0 - kSnareBodyDrop * (1.0 - drop);
        const double tone = (std::sin(kTwoPi * phase1) + 0.5 * std::sin(kTwoPi * phase2)) * body;
        const double rattle = filter.process(noise.next()).high * hiss;
        addMono(bus, start + i, velocity * (sound.tone * tone + (1.0 - sound.tone) * rattle));
        phase1 += sound.tune * pitch / bus.rate;
        phase2 += sound.tune * kSnareOvertone * pitch / bus.rate;
        phase1 -= std::floor(phase1);
        phase2 -= std::floor(phase2);
        body *= bodyFactor;
        hiss *= noiseFactor;
        drop *= dropFactor;
    }
}

void clap(const Sound& sound, int64_t start, double velocity, uint32_t seed, Bus& bus) {
    const int64_t frames = hitFrames(bus, InstrumentType::Clap, sound, start);
    const double burstFactor = sixtyDbFactor(kClapBurstSeconds, bus.rate);
    const double tailFactor = sixtyDbFactor(sound.decay, bus.rate);
    Noise noise(seed);
    Svf filter;
    filter.tune(sound.tune, kClapResonance, bus.rate);
    double bursts = 0, tail = 0;
    size_t nextBurst = 0;
    const int64_t tailStart = int64_t(kClapTailStart * bus.rate);
    for (int64_t i = 0; i < frames; ++i) {
        if (nextBurst < std::size(kClapBursts) && i >= int64_t(kClapBursts[nextBurst] * bus.rate)) {
            bursts = 1;
            ++nextBurst;
        }
        if (i == tailStart) tail = 1;
        const double envelope = sound.tone * bursts + (1.0 - sound.tone) * tail;
        addMono(bus, start + i, velocity * 2.0 * filter.process(noise.next()).band * envelope);
        bursts *= burstFactor;
        tail *= tailFactor;
    }
}

void hat(const Sound& sound, int64_t start, double velocity, uint32_t seed, Bus& bus) {
    const int64_t frames = hitFrames(bus, InstrumentType::Hat, sound, start);
    const double factor = sixtyDbFactor(sound.decay, bus.rate);
    Noise noise(seed);
    Svf filter;
    filter.tune(sound.tune, kHatResonance, bus.rate);
    double phases[std::size(kHatPartials)] = {};
    for (double& phase : phases) phase = noise.unit();
    const double baseHz = kHatPartialHz * sound.tune / kHatReferenceTune;
    double level = 1;
    for (int64_t i = 0; i < frames && level > kTailFloor; ++i) {
        double metal = 0;
        for (size_t p = 0; p < std::size(kHatPartials); ++p) {
            metal += phases[p] < 0.5 ? 1.0 : -1.0;
            phases[p] += baseHz * kHatPartials[p] / bus.rate;
            if (phases[p] >= 1.0) phases[p] -= 1.0;
        }
        metal /= double(std::size(kHatPartials));
        const double source = sound.tone * metal + (1.0 - sound.tone) * noise.next();
        addMono(bus, start + i, velocity * filter.process(source).high * level);
        level *= factor;
    }
}

} // namespace

int64_t drumHitEnd(const Instrument& instrument, int64_t start, double rate) {
    return start + hitLength(instrument.type, instrument.sound, rate);
}

void renderDrumHit(const Instrument& instrument, int64_t start, float velocity, uint32_t seed,
                   Bus bus) {
    if (start < 0 || start >= bus.frames()) return;
    switch (instrument.type) {
    case InstrumentType::Kick:
        kick(instrument.sound, start, velocity, seed, bus);
        break;
    case InstrumentType::Snare:
        snare(instrument.sound, start, velocity, seed, bus);
        break;
    case InstrumentType::Clap:
        clap(instrument.sound, start, velocity, seed, bus);
        break;
    case InstrumentType::Hat:
        hat(instrument.sound, start, velocity, seed, bus);
        break;
    default:
        break;
    }
}

} // namespace synth
