// From score to samples: the sections are unrolled into timed notes per
// instrument; part by part, each instrument is played into a bus of its own
// and the buses are mixed; then the effects, the fade and the limiter run
// over the whole (track_parts.h).
#include <cmath>

#include "content/synth/synth.h"
#include "content/synth/track_parts.h"

namespace synth {

namespace {

constexpr int32_t kMinRate = 8000, kMaxRate = 48000;
constexpr double kMsPerSecond = 1000;

} // namespace

int64_t framesForMs(double ms, int32_t rate) {
    return int64_t(std::ceil(ms * double(rate) / kMsPerSecond));
}

Track renderParsedScore(const Score& score, int32_t rate) {
    const TrackPlan plan = planTrack(score, rate);
    Track track = silentTrack(plan);
    assembleTrack(
        score, plan, [&](size_t part, DryPart dry) { renderPart(score, plan, part, dry); }, track);
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
