#include "content/synth/effects.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "content/synth/dsp.h"

namespace synth {

namespace {

// Lows in an echo or a room only muddy the mix; highs fade with each pass.
constexpr double kDelayLowCutHz = 250;
constexpr double kDelayHighCutHz = 4500;
constexpr double kDelayReturn = 0.8;

// Line lengths at the middle size, mutually prime-ish so echoes never line up.
constexpr std::array<double, Reverb::kLines> kLineMs = {31.7, 37.9, 41.3, 45.1,
                                                        53.9, 58.7, 66.1, 71.3};
constexpr double kMinSizeScale = 0.6, kSizeScaleRange = 0.8;
constexpr double kMinDecaySeconds = 0.6, kDecaySecondsRange = 3.4;
constexpr double kPreDelayMs = 18;
constexpr double kReverbLowCutHz = 180;
// Damping 0..1 sets the loop's lowpass from open to about 2 kHz.
constexpr double kOpenDampingHz = 16000, kClosedDampingHz = 2000;
constexpr std::array<double, Reverb::kDiffusers> kDiffuserMs = {4.7, 11.3};
constexpr double kDiffuserGain = 0.6;
constexpr double kReverbReturn = 0.35;

size_t msFrames(double ms, double rate) {
    return size_t(std::lround(ms * rate / 1000.0));
}

} // namespace

Line::Line(size_t length) : buffer(std::max<size_t>(length, 1)) {}

PingPongDelay::PingPongDelay(double delayFrames, double feedback, double rate)
    : left(size_t(std::lround(delayFrames))), right(size_t(std::lround(delayFrames))),
      feedback(feedback) {
    lowCut.tune(kDelayLowCutHz, rate);
    highCut.tune(kDelayHighCutHz, rate);
}

void PingPongDelay::add(std::span<const float> send, std::span<float> master) {
    const size_t frames = std::min(send.size(), master.size() / 2);
    for (size_t i = 0; i < frames; ++i) {
        const double outLeft = left.read();
        const double outRight = right.read();
        left.write(lowCut.high(send[i]) + feedback * highCut.low(outRight));
        right.write(outLeft);
        master[2 * i] += float(outLeft * kDelayReturn);
        master[2 * i + 1] += float(outRight * kDelayReturn);
    }
}

Reverb::Reverb(double size, double damping, double rate) : preDelay(msFrames(kPreDelayMs, rate)) {
    const double scale = kMinSizeScale + kSizeScaleRange * size;
    const double decaySeconds = kMinDecaySeconds + kDecaySecondsRange * size;
    const double dampingHz = kOpenDampingHz * std::pow(kClosedDampingHz / kOpenDampingHz, damping);
    for (size_t i = 0; i < kLines; ++i) {
        const size_t length = msFrames(kLineMs[i] * scale, rate);
        lines.emplace_back(length);
        // Each pass through a line loses its share of 60 dB per decay time.
        gains[i] = std::pow(10.0, -3.0 * double(length) / (decaySeconds * rate));
        dampers[i].tune(dampingHz, rate);
    }
    for (const double ms : kDiffuserMs)
        diffusers.push_back({Line(msFrames(ms, rate)), kDiffuserGain});
    lowCut.tune(kReverbLowCutHz, rate);
}

void Reverb::add(std::span<const float> send, std::span<float> master) {
    const size_t frames = std::min(send.size(), master.size() / 2);
    std::array<double, kLines> outs{};
    for (size_t i = 0; i < frames; ++i) {
        double input = preDelay.read();
        preDelay.write(lowCut.high(send[i]));
        for (Allpass& diffuser : diffusers) input = diffuser.process(input);
        double sum = 0;
        for (size_t l = 0; l < kLines; ++l) {
            outs[l] = dampers[l].low(lines[l].read()) * gains[l];
            sum += outs[l];
        }
        const double reflect = 2.0 / kLines * sum;
        double left = 0, right = 0;
        for (size_t l = 0; l < kLines; ++l) {
            // Alternating signs keep the two sides apart and the sum free of DC.
            const double sign = (l / 2) % 2 == 0 ? 1.0 : -1.0;
            lines[l].write(outs[l] - reflect + sign * input);
            if (l % 2 == 0)
                left += sign * outs[l];
            else
                right += sign * outs[l];
        }
        master[2 * i] += float(left * kReverbReturn);
        master[2 * i + 1] += float(right * kReverbReturn);
    }
}

} // namespace synth
