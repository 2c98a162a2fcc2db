#include "content/synth/mixer.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <numbers>

#include "content/synth/dsp.h"

namespace synth {

namespace {

// The dip: in within a few milliseconds so the kick's attack stays clean,
// out over most of a beat, easing back.
constexpr double kPumpAttackSeconds = 0.004;
constexpr double kPumpReleaseBeats = 0.8;

constexpr double kLimiterLookaheadSeconds = 0.002;
constexpr double kLimiterReleaseSeconds = 0.08;

} // namespace

void kickPump(const std::vector<int64_t>& kickFrames, int64_t first, double beatFrames, double rate,
              std::span<float> pump) {
    std::fill(pump.begin(), pump.end(), 0.0f);
    const int64_t end = first + int64_t(pump.size());
    const double attack = kPumpAttackSeconds * rate;
    const double release = kPumpReleaseBeats * beatFrames;
    const int64_t length = int64_t(std::ceil(attack + release));
    for (const int64_t kick : kickFrames) {
        for (int64_t i = std::max<int64_t>(first - kick, 0); i < length; ++i) {
            const int64_t frame = kick + i;
            if (frame >= end) break;
            double depth = 1;
            if (double(i) < attack) {
                depth = double(i) / attack;
            } else {
                const double left = 1.0 - (double(i) - attack) / release;
                depth = std::max(left, 0.0) * std::max(left, 0.0);
            }
            float& at = pump[size_t(frame - first)];
            at = std::max(at, float(depth));
        }
    }
}

void mixBus(std::span<const float> bus, const BusMix& mix, std::span<const float> pump,
            std::span<float> master, std::span<float> reverbSend, std::span<float> delaySend) {
    // Constant-power pan, unity in the middle.
    const double angle = (mix.pan + 1.0) * kPi / 4;
    const double left = mix.gain * std::cos(angle) * std::numbers::sqrt2;
    const double right = mix.gain * std::sin(angle) * std::numbers::sqrt2;
    const size_t frames = std::min({bus.size() / 2, master.size() / 2, pump.size()});
    for (size_t i = 0; i < frames; ++i) {
        const double duck = 1.0 - mix.duck * pump[i];
        const double l = bus[2 * i] * left * duck;
        const double r = bus[2 * i + 1] * right * duck;
        master[2 * i] += float(l);
        master[2 * i + 1] += float(r);
        const double mono = (l + r) * 0.5;
        if (mix.reverb > 0) reverbSend[i] += float(mono * mix.reverb);
        if (mix.delay > 0) delaySend[i] += float(mono * mix.delay);
    }
}

void applyGainAndFade(std::span<float> master, int64_t first, double gain,
                      std::optional<std::pair<int64_t, int64_t>> fadeFrames) {
    const int64_t frames = int64_t(master.size() / 2);
    for (int64_t at = 0; at < frames; ++at) {
        const int64_t i = first + at;
        double g = gain;
        if (fadeFrames && i >= fadeFrames->first) {
            const double span = double(fadeFrames->second - fadeFrames->first);
            const double left = std::max(0.0, 1.0 - double(i - fadeFrames->first) / span);
            // Squared, so the ear hears a steady fade rather than a late drop.
            g *= left * left;
        }
        master[size_t(2 * at)] = float(master[size_t(2 * at)] * g);
        master[size_t(2 * at + 1)] = float(master[size_t(2 * at + 1)] * g);
    }
}

Limiter::Limiter(double ceiling, double rate)
    : ceiling(ceiling), recovery(1.0 - std::exp(-1.0 / (kLimiterReleaseSeconds * rate))),
      window(std::max<size_t>(size_t(kLimiterLookaheadSeconds * rate), 1)), needed(window + 1),
      gain(window + 1) {}

void Limiter::settle(std::span<float> master, size_t made) {
    const size_t frames = master.size() / 2;
    const size_t ring = window + 1;
    // The gain each frame needs on its own, worked out a window ahead of
    // where the gain is applied: those frames are still as they came in.
    const auto neededAt = [&](size_t i) {
        const double peak = std::max(std::fabs(master[2 * i]), std::fabs(master[2 * i + 1]));
        return peak > ceiling ? float(ceiling / peak) : 1.0f;
    };
    // The lowest need within the lookahead window, from each frame on; then
    // an exponential recovery. Averaging that over the window ramps the gain
    // down before a peak, and every average that covers a peak frame is at
    // most that frame's need.
    for (; settled < frames && (made >= frames || settled + window <= made); ++settled) {
        const size_t i = settled;
        for (; next < std::min(i + window, frames); ++next) {
            needed[next % ring] = neededAt(next);
            while (!lowest.empty() && needed[lowest.back() % ring] >= needed[next % ring])
                lowest.pop_back();
            lowest.push_back(next);
        }
        while (lowest.front() < i) lowest.pop_front();
        held = std::min<double>(needed[lowest.front() % ring], held + (1.0 - held) * recovery);
        gain[i % ring] = float(held);
        sum += gain[i % ring];
        if (i >= window) sum -= gain[(i - window) % ring];
        const double smooth = sum / double(std::min(i + 1, window));
        // The average guarantees the ceiling up to rounding; the clamp takes
        // that last bit.
        for (size_t c = 0; c < 2; ++c) {
            const double value = master[2 * i + c] * smooth;
            master[2 * i + c] = float(std::clamp(value, -ceiling, ceiling));
        }
    }
}

void limit(std::vector<float>& master, double ceiling, double rate) {
    Limiter limiter(ceiling, rate);
    limiter.settle(master, master.size() / 2);
}

} // namespace synth
