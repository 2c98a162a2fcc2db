#include "editor/slider_scale.h"

#include <algorithm>
#include <cmath>

namespace editor {

namespace {

// Ranges whose top is this many times their bottom (both counted from one
// below the bottom) are logarithmic: 1..4096 and 0..32768 are, 0..256 is not.
constexpr double kLogarithmicRatio = 1000.0;

} // namespace

bool isLogarithmic(const texgen::ParamSpec& param) {
    return param.min >= 0.0 && (param.max + 1.0) / (param.min + 1.0) >= kLogarithmicRatio;
}

// Logarithmic: value + 1 runs geometrically from min + 1 to max + 1, so that
// a range starting at 0 works too.
double sliderValue(const texgen::ParamSpec& param, double position) {
    const double at = std::clamp(position, 0.0, 1.0);
    double value =
        isLogarithmic(param)
            ? (param.min + 1.0) * std::pow((param.max + 1.0) / (param.min + 1.0), at) - 1.0
            : param.min + at * (param.max - param.min);
    if (param.kind != texgen::ParamKind::Float) value = std::round(value);
    return std::clamp(value, param.min, param.max);
}

double sliderPosition(const texgen::ParamSpec& param, double value) {
    const double inside = std::clamp(value, param.min, param.max);
    if (param.max <= param.min) return 0.0;
    if (isLogarithmic(param)) {
        return std::log((inside + 1.0) / (param.min + 1.0)) /
               std::log((param.max + 1.0) / (param.min + 1.0));
    }
    return (inside - param.min) / (param.max - param.min);
}

} // namespace editor
