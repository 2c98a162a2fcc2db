// Checks that operations can run before anything runs: layer indices 0..4,
// integers and floats inside the ranges of the operator table (no division
// by zero, no endless or runaway loop, no arithmetic outside its types),
// counts 0..100. Unused opcodes are valid; they run as nothing.
#pragma once

#include <cstdint>

#include "texgen/layers.h"

namespace texgen {

// A slot that is not one parameter's fault (for example mandelBrot's window).
constexpr int32_t kNoSlot = -1;

// On failure the message names the operator and the parameter, for example
// "woodLayer: parameter 2 (rotation) is 9, outside 0..8", and `badSlot` (when
// given) receives the offending slot or kNoSlot.
Status validateOperation(int32_t opcode, const ParameterRecord& params, int32_t* badSlot = nullptr);

// Every list of the description; messages start with "layer L, operation I: ".
Status validateDescription(const TextureDescription& description);

// One list, as validateDescription checks it.
Status validateList(int layer, const OperationList& list);

} // namespace texgen
