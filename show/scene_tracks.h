// Tracks: named values that follow the play time through keys, for any
// expression of a scene to use by name (a camera path, a fade, a scale).
//
//   track camera_x              # in a .tracks file of scenes/
//       0      0     smooth     # time (ms), value, how it goes on to the next key
//       4000   1.5               # linear unless said
//       8000   -1    step
//   end
//
// step holds the value until the next key; linear runs straight to it;
// smooth eases in and out (3u^2 - 2u^3 of the way, u the fraction of the
// time between the keys); ramp eases in (u^2). Before the first key a track
// has the first key's value, from the last key on the last one's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace scenes {

constexpr size_t kMaxTrackKeys = 10000;

enum class Interpolation : uint8_t { Step, Linear, Smooth, Ramp };

struct TrackKey {
    double time = 0; // strictly rising from key to key
    double value = 0;
    Interpolation toNext = Interpolation::Linear;
};

struct Track {
    std::string name;
    std::vector<TrackKey> keys; // one at least
};

double trackValue(const Track& track, double time);

// "step", "linear", "smooth", "ramp"; false for anything else.
bool parseInterpolation(const std::string& word, Interpolation& interpolation);

} // namespace scenes
