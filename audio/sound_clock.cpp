#include "audio/sound_clock.h"

#include <algorithm>

namespace {

constexpr double kNsPerMs = 1e6;
// An error is pulled out over about this time: slower filters callback
// jitter better, faster follows a drifting device sooner.
constexpr double kSettleMs = 500;
// Real devices run within a fraction of a percent of the monotonic clock;
// the learned offset is bounded well beyond that.
constexpr double kMaxRateOffset = 0.05;
// Slewing never reverses the clock, so the rate stays within these.
constexpr double kMinRate = 0;
constexpr double kMaxRate = 2;
// A clock this far behind the device (it stalled, or the device skipped
// ahead) jumps to it rather than racing for seconds.
constexpr double kJumpAheadMs = 200;

double valueAt(const PlayClock& clock, int64_t ns) {
    return clock.baseMs + clock.rate * double(ns - clock.baseNs) / kNsPerMs;
}

} // namespace

void clockReport(PlayClock& clock, double positionMs, int64_t atNs) {
    if (!clock.started) {
        clock = PlayClock{true, positionMs, atNs, 1, 0, atNs, clock.lastResult};
        return;
    }
    const double error = positionMs - valueAt(clock, atNs);
    const double sinceMs = std::max(0.0, double(atNs - clock.lastReportNs) / kNsPerMs);
    clock.lastReportNs = atNs;
    if (error > kJumpAheadMs) {
        clock.baseMs = positionMs;
        clock.baseNs = atNs;
        clock.rate = 1 + clock.integral;
        return;
    }
    // Proportional-integral on the rate, critically damped (integral gain is
    // the square of the proportional gain over four). Reports far apart
    // (slow frames) would make the loop overshoot: never correct faster than
    // the gap between them.
    const double horizon = std::max(kSettleMs, sinceMs);
    clock.integral = std::clamp(clock.integral + error * sinceMs / (4 * horizon * horizon),
                                -kMaxRateOffset, kMaxRateOffset);
    clock.baseMs = valueAt(clock, atNs);
    clock.baseNs = atNs;
    clock.rate = std::clamp(1 + clock.integral + error / horizon, kMinRate, kMaxRate);
}

double clockTime(PlayClock& clock, int64_t nowNs, double limitMs) {
    if (!clock.started) return clock.lastResult;
    const double value = std::min(valueAt(clock, nowNs), limitMs);
    clock.lastResult = std::max(value, clock.lastResult);
    return clock.lastResult;
}
