// Runs one stored operation: an opcode and its ten stored floats become a
// call of one of the 46 operators.
#pragma once

#include <cstdint>

#include "texgen/layers.h"

namespace texgen {

// Checks the operation (validateOperation), converts the parameters the
// operator takes (integers truncated toward zero, booleans true only for
// 1.0) and calls it. Unused and negative opcodes do nothing and succeed.
// Needs initLayers; refuses invalid operations without running them.
Status runOperation(int32_t opcode, const ParameterRecord& params);

// Runs operations 0..count-1 of `list` in order; stops at the first failure.
Status runList(const OperationList& list);

} // namespace texgen
