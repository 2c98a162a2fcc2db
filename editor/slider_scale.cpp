#include "editor/slider_scale.h"

#include <algorithm>
#include <cmath>

namespace editor {

namespace {

// Ranges whose top is this many times their bottom (both counted from one
// below the bottom) are logarithmic: 1..4096 and 0..32768 are, 0..256 is not.
constexpr double kLogarithmicRatio = 1000.0;

} // namespace

bool isLogarithmic(const texgen::ParamSpec& spec) {
    return spec.min >= 0.0 && (spec.max + 1.0) / (spec.min + 1.0) >= kLogarithmicRatio;
}

// Logarithmic: value + 1 runs geometrically from min + 1 to max + 1, so that
// a range starting at 0 works too.
double sliderValue(const texgen::ParamSpec& spec, double position) {
    const double at = std::clamp(position, 0.0, 1.0);
    double value = isLogarithmic(spec)
                       ? (spec.min + 1.0) * std::pow((spec.max + 1.0) / (spec.min + 1.0), at) - 1.0
                       : spec.min + at * (spec.max - spec.min);
    if (spec.kind != texgen::ParamKind::Float) value = std::round(value);
    return std::clamp(value, spec.min, spec.max);
}

double sliderPosition(const texgen::ParamSpec& spec, double value) {
    const double inside = std::clamp(value, spec.min, spec.max);
    if (spec.max <= spec.min) return 0.0;
    if (isLogarithmic(spec)) {
        return std::log((inside + 1.0) / (spec.min + 1.0)) /
               std::log((spec.max + 1.0) / (spec.min + 1.0));
    }
    return (inside - spec.min) / (spec.max - spec.min);
}

} // namespace editor
