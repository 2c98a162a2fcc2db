// Source-like text of stored operations, one call per line, for example
// "subPlasma(0,8,1234,256,true);". Formatting never depends on the process
// locale and never changes it.
#pragma once

#include <cstdint>
#include <string>

#include "texgen/layers.h"

namespace texgen {

// The line for one operation; a single space for unused opcodes.
std::string operationToText(int32_t opcode, const ParameterRecord& params);

// A number in the general format with up to 15 significant digits, no
// trailing zeros and no point for integral values ("16", "0.5",
// "0.100000001490116" for the float 0.1). Reads back to the same float.
std::string formatFloat(double value);

// The whole description as a program: each layer under a header line
// "layer L:", its operations below, layers separated by a blank line. This
// is what compileDescription reads back.
std::string descriptionToText(const TextureDescription& description);

} // namespace texgen
