// The table of the 46 operators: name, opcode and, per parameter slot, its
// name, its kind and the range of values that can run safely. Validation,
// text export, compilation and the tool's operator listing all read it, so
// the facts about an operator live in one place.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "texgen/layers.h"

namespace texgen {

enum class ParamKind {
    Layer, // layer index 0..4, truncated from the stored float
    Int,   // truncated toward zero
    Float, // passed as stored
    Bool,  // true exactly when the stored float is 1.0
};

struct ParamSpec {
    const char* name;
    ParamKind kind;
    // Inclusive range for Int (after truncation) and Float. Floats must
    // also be finite.
    double min;
    double max;
    // Floats whose magnitude must be at least this (a divisor); 0 for none.
    double minMagnitude;
};

enum class Family { Generator, Combiner, Colour, Filter, Distortion };

struct OperatorInfo {
    int32_t opcode;
    const char* name;
    Family family;
    int32_t paramCount; // slots 0..paramCount-1 are used
    ParamSpec params[kParameterCount];
};

constexpr int kOperatorCount = 46;
constexpr int32_t kFirstNonGenerator = 10; // opcodes below start a fresh list
constexpr double kMandelbrotEscapeLimit = 16.0;

// All operators in opcode order.
std::span<const OperatorInfo> operatorTable();

// nullptr for unused opcodes and unknown names.
const OperatorInfo* findOperator(int32_t opcode);
const OperatorInfo* findOperator(std::string_view name);

const char* paramKindName(ParamKind kind);
const char* familyName(Family family);

} // namespace texgen
