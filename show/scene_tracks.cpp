#include "show/scene_tracks.h"

#include <algorithm>

namespace scenes {

double trackValue(const Track& track, double time) {
    const std::vector<TrackKey>& keys = track.keys;
    if (keys.empty()) return 0;
    if (!(time > keys.front().time)) return keys.front().value; // NaN too
    if (time >= keys.back().time) return keys.back().value;
    // The last key at or before `time`; the one after it exists.
    const auto next = std::upper_bound(keys.begin(), keys.end(), time,
                                       [](double t, const TrackKey& key) { return t < key.time; });
    const TrackKey& from = *(next - 1);
    const TrackKey& to = *next;
    if (from.toNext == Interpolation::Step) return from.value;
    const double u = (time - from.time) / (to.time - from.time);
    double share = u;
    switch (from.toNext) {
    case Interpolation::Step:
        break; // returned above
    case Interpolation::Linear:
        break;
    case Interpolation::Smooth:
        share = u * u * (3 - 2 * u);
        break;
    case Interpolation::Ramp:
        share = u * u;
        break;
    }
    return from.value + (to.value - from.value) * share;
}

bool parseInterpolation(const std::string& word, Interpolation& interpolation) {
    constexpr std::pair<const char*, Interpolation> kWords[] = {{"step", Interpolation::Step},
                                                                {"linear", Interpolation::Linear},
                                                                {"smooth", Interpolation::Smooth},
                                                                {"ramp", Interpolation::Ramp}};
    for (const auto& [name, value] : kWords) {
        if (word == name) {
            interpolation = value;
            return true;
        }
    }
    return false;
}

} // namespace scenes
