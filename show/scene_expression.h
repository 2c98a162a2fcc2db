// Values in scene files: a number, or an expression of the play time, the
// time since the placement began, the music's spectrum and named tracks.
//
//   ExpressionPool pool;
//   ExpressionNames names{{"camera_x"}};           // the tracks, by index
//   ExpressionError error;
//   const ExpressionId alpha = parseExpression("abs(sin(t/1000))", names, pool, error);
//   if (alpha < 0) ... error.column, error.message ...
//   const double value = evaluate(pool, alpha, inputs);
//
// Grammar (spaces anywhere between tokens):
//   sum     := product (("+" | "-") product)*
//   product := unary (("*" | "/") unary)*
//   unary   := "-" unary | primary
//   primary := NUMBER | NAME | NAME "(" sum ("," sum)* ")" | "(" sum ")"
// Names: t (the play time, ms), since (ms since the placement began), i and
// j (the column and row of a grid's cell, else 0), pi, and the tracks. Functions:
// sin cos abs floor (one argument), min max (two), clamp(x, lo, hi),
// mix(a, b, u) = a + (b - a) u, smoothstep(e0, e1, x) (0 below e0, 1 above e1,
// 3u^2 - 2u^3 between; e0 = e1 steps at e0), spectrum(bin) and
// spectrum(first, last): a bin of the spectrum, or the mean of bins first to
// last (rounded down, kept within 0 to 511, either order).
//
// Arithmetic is IEEE double throughout, as the show computes its motions. An
// expression whose result is not a finite number (a division by zero, say)
// is worth 0; within it, infinities take part as IEEE says (clamp(1/0, 0, 1)
// is 1).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace scenes {

constexpr int32_t kSpectrumBins = 512;
// Nesting of parentheses, calls and signs, so that evaluation never runs deep.
constexpr int32_t kMaxExpressionDepth = 32;
constexpr size_t kMaxExpressionLength = 1024;

enum class Op : uint8_t {
    Number,
    Time,
    Since,
    Index,
    Row,
    Track,
    Negate,
    Add,
    Subtract,
    Multiply,
    Divide,
    Sin,
    Cos,
    Abs,
    Floor,
    Min,
    Max,
    Clamp,
    Mix,
    Smoothstep,
    SpectrumBin,
    SpectrumMean,
};

// One node; its operands are other nodes of the pool (a, b, c).
struct ExpressionNode {
    Op op = Op::Number;
    double number = 0; // Number's value
    int32_t a = -1, b = -1, c = -1;
    int32_t track = -1; // Track's index
};

using ExpressionId = int32_t; // a node of the pool; negative: none

struct ExpressionPool {
    std::vector<ExpressionNode> nodes;
};

// The tracks an expression may name, in the order of their values.
struct ExpressionNames {
    std::vector<std::string> tracks;
};

struct ExpressionError {
    size_t column = 0; // 0-based within the parsed text
    std::string message;
};

// What an expression is evaluated with.
struct ExpressionInputs {
    double time = 0;
    double since = 0;
    double index = 0;                // a grid cell's column
    double row = 0;                  // and row
    const float* spectrum = nullptr; // kSpectrumBins values; null: all 0
    const double* tracks = nullptr;  // the tracks' values now, by index
};

// Adds `text` to the pool and returns its root, or -1 with the error. An
// expression without names folds into one number.
ExpressionId parseExpression(std::string_view text, const ExpressionNames& names,
                             ExpressionPool& pool, ExpressionError& error);

double evaluate(const ExpressionPool& pool, ExpressionId id, const ExpressionInputs& inputs);

// Whether `text` is a name: a letter or '_', then letters, digits and '_'.
bool isName(std::string_view text);

// Whether the node is a plain number (no need to evaluate it each frame).
bool isNumber(const ExpressionPool& pool, ExpressionId id);

} // namespace scenes
