// The building blocks every instrument shares: seeded noise, band-limited
// oscillators, an envelope, filters. Plain structs stepped one sample at a
// time; nothing depends on the clock or on anything outside its fields, so
// the same notes always give the same samples.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace synth {

inline constexpr double kPi = std::numbers::pi;
inline constexpr double kTwoPi = 2 * std::numbers::pi;
// ln(1000): an exponential that falls by this much in T seconds is 60 dB
// down after T, which is what every "decay" and "release" means here.
inline constexpr double kSixtyDbLog = 6.907755278982137;
inline constexpr int32_t kMidiA4 = 69;
inline constexpr double kHzA4 = 440;

inline double midiHz(double note) {
    return kHzA4 * std::exp2((note - kMidiA4) / 12.0);
}

inline double dbGain(double db) {
    return std::pow(10.0, db / 20.0);
}

// Per-sample factor of an exponential that falls 60 dB in `seconds`.
inline double sixtyDbFactor(double seconds, double rate) {
    return std::exp(-kSixtyDbLog / std::max(seconds * rate, 1.0));
}

// Mixes two numbers into a well-spread 32-bit seed.
inline uint32_t mixSeed(uint32_t a, uint32_t b) {
    uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u + (a << 6) + (a >> 2));
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

// White noise in [-1, 1) from a xorshift generator.
struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed) : state(seed ? seed : 0x2545F491u) {}
    float next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        constexpr float kScale = 1.0f / 2147483648.0f;
        return float(int32_t(state)) * kScale;
    }
    // Uniform in [0, 1).
    double unit() { return (double(next()) + 1.0) * 0.5; }
};

// The step a hard edge leaves behind, smoothed over one sample on each side:
// subtracting it from a naive saw removes most of the aliasing.
inline double polyBlep(double t, double dt) {
    if (t < dt) {
        const double x = t / dt;
        return x + x - x * x - 1.0;
    }
    if (t > 1.0 - dt) {
        const double x = (t - 1.0) / dt;
        return x * x + x + x + 1.0;
    }
    return 0.0;
}

// A saw that can turn into a square: shape 0 saw, 1 square (a saw minus a
// half-cycle-shifted saw), between them a blend.
struct Oscillator {
    double phase = 0; // 0..1
    double step = 0;  // cycles a sample

    double next(double shape) {
        const double saw = 2.0 * phase - 1.0 - polyBlep(phase, step);
        double out = saw;
        if (shape > 0) {
            double shifted = phase + 0.5;
            if (shifted >= 1.0) shifted -= 1.0;
            const double other = 2.0 * shifted - 1.0 - polyBlep(shifted, step);
            out = (1.0 - shape) * saw + shape * (saw - other);
        }
        phase += step;
        if (phase >= 1.0) phase -= 1.0;
        return out;
    }
};

// Attack (linear), decay to the sustain level and release (exponential).
struct Envelope {
    enum class Stage { Attack, Decay, Release };
    Stage stage = Stage::Attack;
    double level = 0;
    double attackStep = 1;
    double decayFactor = 0;
    double sustain = 0;
    double releaseFactor = 0;

    Envelope(double attack, double decay, double sustainLevel, double release, double rate)
        : attackStep(1.0 / std::max(attack * rate, 1.0)), decayFactor(sixtyDbFactor(decay, rate)),
          sustain(sustainLevel), releaseFactor(sixtyDbFactor(release, rate)) {}

    void noteOff() { stage = Stage::Release; }

    double next() {
        switch (stage) {
        case Stage::Attack:
            level += attackStep;
            if (level >= 1.0) {
                level = 1.0;
                stage = Stage::Decay;
            }
            break;
        case Stage::Decay:
            level = sustain + (level - sustain) * decayFactor;
            break;
        case Stage::Release:
            level *= releaseFactor;
            break;
        }
        return level;
    }
};

// State-variable filter in trapezoidal form: stable at any cutoff and
// resonance, and cheap to retune every few samples.
struct Svf {
    double ic1 = 0, ic2 = 0;
    double a1 = 0, a2 = 0, a3 = 0, k = 2;

    // resonance 0..1: from a soft slope (Q 0.5) to a sharp peak (Q about 16).
    void tune(double hz, double resonance, double rate) {
        constexpr double kMaxFraction = 0.45; // tan() grows without bound at Nyquist
        const double g = std::tan(kPi * std::clamp(hz, 10.0, kMaxFraction * rate) / rate);
        constexpr double kResonanceReach = 0.97;
        k = 2.0 * (1.0 - kResonanceReach * std::clamp(resonance, 0.0, 1.0));
        a1 = 1.0 / (1.0 + g * (g + k));
        a2 = g * a1;
        a3 = g * a2;
    }

    struct Out {
        double low, band, high;
    };

    Out process(double input) {
        const double v3 = input - ic2;
        const double v1 = a1 * ic1 + a2 * v3;
        const double v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2.0 * v1 - ic1;
        ic2 = 2.0 * v2 - ic2;
        return {v2, v1, input - k * v1 - v2};
    }
};

// One-pole smoothing: lowpass output, and input minus it for a highpass.
struct OnePole {
    double state = 0;
    double coefficient = 0; // share of the old state kept each sample

    void tune(double hz, double rate) { coefficient = std::exp(-kTwoPi * hz / rate); }
    double low(double input) {
        state = input + coefficient * (state - input);
        return state;
    }
    double high(double input) { return input - low(input); }
};

} // namespace synth
