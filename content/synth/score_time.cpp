// Where beats, bars and steps fall in time.
#include <algorithm>

#include "content/synth/score.h"

namespace synth {

namespace {

constexpr double kMsPerMinute = 60000;
constexpr double kStraightSwing = 50;

} // namespace

double beatMs(const Score& score) {
    return kMsPerMinute / score.tempo;
}

double barMs(const Score& score) {
    return beatMs(score) * kBeatsPerBar;
}

double barStartMs(const Score& score, double bar) {
    return bar * barMs(score);
}

double stepStartMs(const Score& score, int64_t bar, int32_t step, int32_t stepsPerBar) {
    const double sixteenthMs = barMs(score) / kSixteenthsPerBar;
    // Position in 16ths; only the odd ones are swung, so that grids of 8ths
    // and beats stay on the beat and triplet grids are left alone.
    const int64_t scaled = int64_t(step) * kSixteenthsPerBar;
    double ms = barStartMs(score, double(bar)) + double(scaled) / stepsPerBar * sixteenthMs;
    if (scaled % stepsPerBar == 0 && (scaled / stepsPerBar) % 2 == 1)
        ms += (score.swing - kStraightSwing) / kStraightSwing * sixteenthMs;
    return ms;
}

double scoreLengthMs(const Score& score) {
    if (score.lengthMs) return *score.lengthMs;
    int32_t endBar = 0;
    for (const Section& section : score.sections)
        endBar = std::max(endBar, section.startBar + section.bars);
    return barStartMs(score, endBar);
}

} // namespace synth
