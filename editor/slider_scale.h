// Where a parameter's slider stands for a value, and back. Ranges that span
// several powers of ten (a step of 1..4096, an amplitude of 0..32768) are
// logarithmic, so that the small values people mostly want get most of the
// slider's length; narrower ones are linear.
#pragma once

#include "texgen/operator_table.h"

namespace editor {

bool isLogarithmic(const texgen::ParamSpec& param);

// Position 0..1 to value (integers rounded) and value to position, inside the range.
double sliderValue(const texgen::ParamSpec& param, double position);
double sliderPosition(const texgen::ParamSpec& param, double value);

} // namespace editor
