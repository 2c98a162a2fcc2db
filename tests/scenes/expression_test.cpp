// Values of scene files: what expressions compute, where a wrong one is
// reported, and that nothing an expression does escapes as a non-number.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "show/scene_expression.h"

using namespace scenes;

namespace {

struct Parsed {
    ExpressionPool pool;
    ExpressionId id = -1;
    ExpressionError error;
};

Parsed parse(const std::string& text) {
    Parsed parsed;
    parsed.id = parseExpression(text, {{"lift", "sway"}}, parsed.pool, parsed.error);
    return parsed;
}

double value(const std::string& text, const ExpressionInputs& inputs = {}) {
    const Parsed parsed = parse(text);
    EXPECT_GE(parsed.id, 0) << text << ": " << parsed.error.message;
    return parsed.id < 0 ? NAN : evaluate(parsed.pool, parsed.id, inputs);
}

} // namespace

// The show's own motions come out as the doubles it computes them in.
TEST(SceneExpression, ComputesInDoublesWithTheUsualPrecedence) {
    ExpressionInputs at{135500, 250, 7};
    const double tracks[] = {2.5, -1};
    at.tracks = tracks;
    const std::pair<const char*, double> cases[] = {
        {"1 + 2 * 3 - 4 / 2", 5},
        {"-(2 - 5) * -2", -6},
        {"- -2", 2},
        {"1.5e3", 1500},
        {".25", 0.25},
        {"(t - 135000) / 2000", 0.25},
        {"abs(sin(t/1000))", std::abs(std::sin(135500 / 1000.0))},
        {"sin(t / 4000) / 4", std::sin(135500 / 4000.0) / 4},
        {"abs(sin(t / 100) / 5) + 0.4", std::abs(std::sin(135500 / 100.0) / 5) + 0.4},
        {"cos(pi)", -1},
        {"floor(-0.5)", -1},
        {"since + i", 257},
        {"lift * 2 + sway", 4},
        {"min(3, t)", 3},
        {"max(3, t)", 135500},
        {"clamp(7, 0, 5)", 5},
        {"clamp(-7, 0, 5)", 0},
        {"mix(10, 20, 0.25)", 12.5},
        {"smoothstep(0, 10, 5)", 0.5},
        {"smoothstep(0, 10, -1)", 0},
        {"smoothstep(0, 10, 11)", 1},
        {"smoothstep(3, 3, 2.9)", 0},
        {"smoothstep(3, 3, 3)", 1},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(value(text, at), expected) << text;
}

// Nothing that is not a finite number comes out; inside, IEEE rules.
TEST(SceneExpression, ResultsThatAreNotFiniteNumbersAreZero) {
    const std::pair<const char*, double> cases[] = {
        {"1 / 0", 0},
        {"-1 / 0", 0},
        {"0 / 0", 0},
        {"t / since", 0},
        {"clamp(1 / 0, 0, 1)", 1},
        {"min(1 / 0, 2)", 2},
        {"spectrum(0 / 0)", 0},
        {"1e308 * 10", 0},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(value(text), expected) << text;
}

// A bin, or the mean of a range, rounded down and kept inside the spectrum.
TEST(SceneExpression, ReadsTheSpectrumByBinAndByRange) {
    float spectrum[kSpectrumBins];
    for (int k = 0; k < kSpectrumBins; ++k) spectrum[k] = float(k) / 4;
    ExpressionInputs in;
    in.spectrum = spectrum;
    const std::pair<const char*, double> cases[] = {
        {"spectrum(8)", 2},
        {"spectrum(8.9)", 2},
        {"spectrum(-3)", 0},
        {"spectrum(9999)", 127.75},
        {"spectrum(4, 12)", 2},
        {"spectrum(12, 4)", 2},
        {"spectrum(510, 600)", (510 + 511) / 8.0},
        {"spectrum(t, t + 2) * 4", 1},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(value(text, in), expected) << text;
    EXPECT_EQ(value("spectrum(3) + spectrum(1, 2)"), 0) << "no spectrum";
}

TEST(SceneExpression, MistakesAreReportedWhereTheyAre) {
    const std::tuple<std::string, size_t, const char*> cases[] = {
        {"1 +", 3, "a value is missing"},
        {"sin(t", 5, "',' or ')' expected"},
        {"(1 + 2", 6, "')' expected"},
        {"1 2", 2, "unexpected '2'"},
        {"2x", 1, "a number runs into 'x'"},
        {"3 * nope", 4, "unknown name 'nope' (not t, since, i, pi or a track)"},
        {"tan(1)", 0, "unknown function 'tan'"},
        {"min(1)", 0, "min() does not take 1 argument"},
        {"spectrum(1, 2, 3)", 0, "spectrum() does not take 3 arguments"},
        {"1 $ 2", 2, "unexpected '$'"},
        {"1e999", 0, "not a number: '1e999'"},
        {std::string(40, '(') + "1" + std::string(40, ')'), 32, "nested more than 32 deep"},
        {std::string(20, '-') + std::string(20, '-') + "1", 32, "nested more than 32 deep"},
        {"1+" + std::string(1100, '1'), 0, "an expression of more than 1024 characters"},
    };
    for (const auto& [text, column, message] : cases) {
        const Parsed parsed = parse(text);
        EXPECT_LT(parsed.id, 0) << text;
        EXPECT_EQ(parsed.error.message, message) << text;
        EXPECT_EQ(parsed.error.column, column) << text;
        EXPECT_TRUE(parsed.pool.nodes.empty()) << text << ": a failed parse leaves nothing";
    }
}

// What depends on nothing is worked out once, as the evaluation would.
TEST(SceneExpression, ConstantsFoldIntoNumbers) {
    for (const char* text : {"-0.2", "2 * (3 + 4)", "sin(pi / 2) + abs(-1)", "1 / 0"}) {
        const Parsed parsed = parse(text);
        ASSERT_GE(parsed.id, 0) << text;
        EXPECT_TRUE(isNumber(parsed.pool, parsed.id)) << text;
    }
    for (const char* text : {"t * 0", "spectrum(1)", "lift", "i"})
        EXPECT_FALSE(isNumber(parse(text).pool, parse(text).id)) << text;
}
