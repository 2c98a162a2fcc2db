// Source-like text of stored operations, one call per line, for example
// "subPlasma(0,8,1234,256,true);". Formatting never depends on the process
// locale and never changes it.
#pragma once

#include <cstdint>
#include <string>

#include "texgen/layers.h"

namespace texgen {

// How stored floats are written. Exact is what `texgen text` prints (15
// significant digits, every bit visible); Shortest is the shortest decimal
// that reads back to the same float ("0.6", not "0.600000023841858"), as
// people write them.
enum class NumberStyle { Exact, Shortest };

// The line for one operation; a single space for unused opcodes.
std::string operationToText(int32_t opcode, const ParameterRecord& params,
                            NumberStyle style = NumberStyle::Exact);

// A number in the general format with up to 15 significant digits, no
// trailing zeros and no point for integral values ("16", "0.5",
// "0.100000001490116" for the float 0.1). Reads back to the same float.
std::string formatFloat(double value);

// The shortest decimal that reads back to `value` ("0.6", "16", "1e+20").
std::string formatShortest(float value);

// What descriptionToText marked as unable to run.
struct TextFaults {
    int operations = 0; // operations the validator refuses
    int counts = 0;     // lists whose count is outside 0..100
};

// The whole description as a program: each layer under a header line
// "layer L:", its operations below, layers separated by a blank line. This
// is what compileDescription reads back. A description that cannot run
// prints too, so that it can be mended as text: a comment line in the
// validator's words goes before each operation it refuses (which the
// compiler then refuses with line and column), and a count outside 0..100
// is said in a comment under the header, and the operations up to 100 follow. `faults`, when given,
// receives how many there were.
std::string descriptionToText(const TextureDescription& description, TextFaults* faults = nullptr);

} // namespace texgen
