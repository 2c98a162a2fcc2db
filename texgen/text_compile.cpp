#include "texgen/text_compile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "texgen/operator_table.h"
#include "texgen/text_export.h"
#include "texgen/validate.h"

namespace texgen {

namespace {

constexpr int32_t kMandelbrotOpcode = 7;
constexpr int kMandelbrotTextArguments = 6; // dst, left, width, top, height, escape limit
constexpr int kCornerSearchSteps = 16;      // floats tried on each side of the first guess
// Bytes of a token that a message quotes: enough to recognise it, however
// long the token (a missing comma can make one of a whole file).
constexpr size_t kExcerptBytes = 32;

// The text arguments of mandelBrot, which differ from its stored slots.
constexpr const char* kMandelbrotTextNames[kMandelbrotTextArguments] = {
    "dst", "left", "width", "top", "height", "escapeLimit"};
// Stored slot -> text argument: the right edge comes from the width, the
// bottom edge from the height.
constexpr int kMandelbrotArgumentOfSlot[5] = {0, 1, 3, 2, 4};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}
bool isWordStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool isWordChar(char c) {
    return isWordStart(c) || (c >= '0' && c <= '9');
}

// Reading position in one line.
struct Cursor {
    std::string_view text;
    size_t pos = 0;

    void skipSpaces() {
        while (pos < text.size() && isSpace(text[pos])) ++pos;
    }
    bool atEnd() const { return pos >= text.size(); }
    bool atComment() const { return text.substr(pos).starts_with("//") || peek() == '#'; }
    bool atLineEnd() const { return atEnd() || atComment(); }
    char peek() const { return atEnd() ? '\0' : text[pos]; }
    int32_t column() const { return static_cast<int32_t>(pos) + 1; }
    bool accept(char c) {
        if (peek() != c) return false;
        ++pos;
        return true;
    }
    std::string_view word() {
        const size_t start = pos;
        if (!atEnd() && isWordStart(text[pos])) {
            while (!atEnd() && isWordChar(text[pos])) ++pos;
        }
        return text.substr(start, pos - start);
    }
    std::string_view digits() {
        const size_t start = pos;
        while (!atEnd() && text[pos] >= '0' && text[pos] <= '9') ++pos;
        return text.substr(start, pos - start);
    }
    // An argument runs to the next separator or space.
    std::string_view argument() {
        const size_t start = pos;
        while (!atEnd() && text[pos] != ',' && text[pos] != ')' && text[pos] != ';' &&
               !isSpace(text[pos])) {
            ++pos;
        }
        return text.substr(start, pos - start);
    }
};

struct Argument {
    std::string_view token;
    int32_t column;
};

// Empty message on success.
struct Parsed {
    double value = 0.0;
    std::string error;
};

// The token as messages show it: its first kExcerptBytes, with bytes that
// are not printable ASCII as \xHH (a terminal shows them as garbage or not
// at all), and its length when cut.
std::string quoted(std::string_view text) {
    std::string out = "'";
    for (size_t i = 0; i < std::min(text.size(), kExcerptBytes); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x7f) {
            out += static_cast<char>(byte);
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
        out += escaped;
    }
    if (text.size() <= kExcerptBytes) return out + "'";
    return out + "...' (" + std::to_string(text.size()) + " bytes)";
}

std::string_view withoutPlus(std::string_view token) {
    return token.starts_with('+') ? token.substr(1) : token;
}

// A decimal integer that a float stores exactly.
Parsed parseInteger(std::string_view token) {
    const std::string_view digits = withoutPlus(token);
    int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error == std::errc::result_out_of_range) return {0, quoted(token) + " is out of range"};
    if (error != std::errc() || end != digits.data() + digits.size() || digits.empty()) {
        return {0, "expected an integer, found " + quoted(token)};
    }
    const auto stored = static_cast<float>(value);
    if (static_cast<double>(stored) != static_cast<double>(value)) {
        return {0, quoted(token) + " cannot be stored exactly as a float (nearest: " +
                       formatFloat(stored) + ")"};
    }
    return {static_cast<double>(value), {}};
}

template <typename Real> Parsed parseReal(std::string_view token) {
    const std::string_view text = withoutPlus(token);
    Real value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (error == std::errc::result_out_of_range) return {0, quoted(token) + " is out of range"};
    if (error != std::errc() || end != text.data() + text.size() || text.empty() ||
        !std::isfinite(value)) {
        return {0, "expected a number, found " + quoted(token)};
    }
    return {static_cast<double>(value), {}};
}

Parsed parseBool(std::string_view token) {
    if (token == "true") return {1.0, {}};
    if (token == "false") return {0.0, {}};
    return {0, "expected true or false, found " + quoted(token)};
}

Parsed parseArgument(ParamKind kind, std::string_view token) {
    switch (kind) {
    case ParamKind::Layer:
    case ParamKind::Int:
        return parseInteger(token);
    case ParamKind::Float:
        return parseReal<float>(token);
    case ParamKind::Bool:
        return parseBool(token);
    }
    return {0, "unknown parameter kind"};
}

// The stored far edge (right or bottom) for a near edge and a written size.
// Exported text reads back exactly: a float whose exact difference prints
// as the written size wins. Otherwise the interpreter's single-precision
// difference should equal the size as a float; failing both, the nearest.
float solveFarEdge(float nearEdge, double size) {
    const std::string wanted = formatFloat(size);
    const auto guess = static_cast<float>(static_cast<double>(nearEdge) + size);
    if (!std::isfinite(guess)) return guess; // validation reports the window
    std::vector<float> candidates{guess};
    float below = guess, above = guess;
    for (int step = 0; step < kCornerSearchSteps; ++step) {
        below = std::nextafter(below, -INFINITY);
        above = std::nextafter(above, INFINITY);
        candidates.push_back(below);
        candidates.push_back(above);
    }
    for (float c : candidates) {
        if (formatFloat(static_cast<double>(c) - nearEdge) == wanted) return c;
    }
    for (float c : candidates) {
        if (c - nearEdge == static_cast<float>(size)) return c;
    }
    return guess;
}

class LineCompiler {
  public:
    LineCompiler(std::string_view text, int32_t line) : cursor_{text}, line_(line) {}

    std::optional<CompileError> operation(int32_t& opcode, ParameterRecord& params) {
        cursor_.skipSpaces();
        const int32_t nameColumn = cursor_.column();
        const std::string_view name = cursor_.word();
        if (name.empty()) return error(nameColumn, "expected an operator name");
        const OperatorInfo* info = findOperator(name);
        if (!info) return error(nameColumn, "unknown operator " + quoted(name));
        const bool mandelbrot = info->opcode == kMandelbrotOpcode;
        const int expected = mandelbrot ? kMandelbrotTextArguments : info->paramCount;

        cursor_.skipSpaces();
        if (!cursor_.accept('('))
            return error(cursor_.column(), "expected '(' after " + quoted(name));
        // Only the arguments the operator takes are kept; the rest are counted.
        std::vector<Argument> arguments;
        size_t count = 0;
        cursor_.skipSpaces();
        if (cursor_.peek() != ')') {
            for (;;) {
                cursor_.skipSpaces();
                const int32_t column = cursor_.column();
                const std::string_view token = cursor_.argument();
                if (token.empty()) return error(column, "expected an argument");
                if (count++ < static_cast<size_t>(expected)) arguments.push_back({token, column});
                cursor_.skipSpaces();
                if (!cursor_.accept(',')) break;
            }
        }
        if (cursor_.peek() != ')') {
            return error(cursor_.column(),
                         "expected ',' or ')' in the arguments of " + quoted(name));
        }
        if (count != static_cast<size_t>(expected)) {
            return error(cursor_.column(), std::string(info->name) + " takes " +
                                               std::to_string(expected) + " arguments, not " +
                                               std::to_string(count));
        }
        cursor_.accept(')');
        cursor_.skipSpaces();
        if (!cursor_.accept(';')) return error(cursor_.column(), "expected ';' after ')'");
        cursor_.skipSpaces();
        if (!cursor_.atLineEnd()) return error(cursor_.column(), "unexpected text after ';'");

        params = ParameterRecord{};
        opcode = info->opcode;
        auto converted = mandelbrot ? mandelbrotRecord(arguments, params)
                                    : plainRecord(*info, arguments, params);
        if (converted) return converted;

        int32_t badSlot = kNoSlot;
        Status status = validateOperation(opcode, params, &badSlot);
        if (status.ok()) return std::nullopt;
        int argument = badSlot;
        if (mandelbrot) argument = badSlot == kNoSlot ? 2 : kMandelbrotArgumentOfSlot[badSlot];
        const int32_t column = argument >= 0 ? arguments[argument].column : nameColumn;
        return error(column, status.message);
    }

    std::optional<CompileError> error(int32_t column, std::string message) const {
        return CompileError{line_, column, std::move(message)};
    }

  private:
    std::optional<CompileError> plainRecord(const OperatorInfo& info,
                                            const std::vector<Argument>& arguments,
                                            ParameterRecord& params) const {
        for (int32_t slot = 0; slot < info.paramCount; ++slot) {
            const ParamSpec& param = info.params[slot];
            const Parsed parsed = parseArgument(param.kind, arguments[slot].token);
            if (!parsed.error.empty()) return argumentError(arguments[slot], param.name, parsed);
            params.value[slot] = static_cast<float>(parsed.value);
        }
        return std::nullopt;
    }

    // Text: dst, left, width, top, height, 16. Record: dst, left, top, right, bottom.
    std::optional<CompileError> mandelbrotRecord(const std::vector<Argument>& arguments,
                                                 ParameterRecord& params) const {
        Parsed parsed[kMandelbrotTextArguments];
        parsed[0] = parseInteger(arguments[0].token);
        parsed[1] = parseReal<float>(arguments[1].token);
        parsed[2] = parseReal<double>(arguments[2].token);
        parsed[3] = parseReal<float>(arguments[3].token);
        parsed[4] = parseReal<double>(arguments[4].token);
        parsed[5] = parseReal<double>(arguments[5].token);
        for (int i = 0; i < kMandelbrotTextArguments; ++i) {
            if (!parsed[i].error.empty()) {
                return argumentError(arguments[i], kMandelbrotTextNames[i], parsed[i]);
            }
        }
        if (parsed[5].value != kMandelbrotEscapeLimit) {
            return error(arguments[5].column, "mandelBrot: the escape limit is fixed at 16");
        }
        const auto left = static_cast<float>(parsed[1].value);
        const auto top = static_cast<float>(parsed[3].value);
        params.value[0] = static_cast<float>(parsed[0].value);
        params.value[1] = left;
        params.value[2] = top;
        params.value[3] = solveFarEdge(left, parsed[2].value);
        params.value[4] = solveFarEdge(top, parsed[4].value);
        return std::nullopt;
    }

    std::optional<CompileError> argumentError(const Argument& argument, const char* name,
                                              const Parsed& parsed) const {
        return error(argument.column, "argument " + std::string(name) + ": " + parsed.error);
    }

    Cursor cursor_;
    int32_t line_;
};

// "layer L:" with L 0..4; the cursor stands after the word "layer".
std::optional<CompileError> layerHeader(Cursor& cursor, int32_t line, int& layer) {
    cursor.skipSpaces();
    const int32_t column = cursor.column();
    const std::string_view token = cursor.digits();
    int value = -1;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    const bool number =
        !token.empty() && error == std::errc() && end == token.data() + token.size();
    if (!number || value < 0 || value >= kLayerCount) {
        return CompileError{line, column, "expected a layer number 0..4 after 'layer'"};
    }
    layer = value;
    cursor.skipSpaces();
    if (!cursor.accept(':'))
        return CompileError{line, cursor.column(),
                            "expected ':' after layer " + std::to_string(value)};
    cursor.skipSpaces();
    if (!cursor.atLineEnd())
        return CompileError{line, cursor.column(), "unexpected text after ':'"};
    return std::nullopt;
}

} // namespace

std::string formatCompileError(const CompileError& error) {
    return "line " + std::to_string(error.line) + ", column " + std::to_string(error.column) +
           ": " + error.message;
}

std::optional<CompileError> compileOperation(std::string_view text, int32_t& opcode,
                                             ParameterRecord& params) {
    return LineCompiler(text, 1).operation(opcode, params);
}

std::string parseParameter(ParamKind kind, std::string_view text, float& value) {
    const Parsed parsed = parseArgument(kind, text);
    if (parsed.error.empty()) value = static_cast<float>(parsed.value);
    return parsed.error;
}

std::optional<CompileError> compileDescription(std::string_view source,
                                               TextureDescription& description) {
    description = TextureDescription{};
    bool seen[kLayerCount] = {};
    int current = -1;
    int32_t lineNumber = 0;
    while (!source.empty()) {
        ++lineNumber;
        const size_t newline = source.find('\n');
        const std::string_view line = source.substr(0, newline);
        source =
            newline == std::string_view::npos ? std::string_view{} : source.substr(newline + 1);

        Cursor cursor{line};
        cursor.skipSpaces();
        if (cursor.atLineEnd()) continue;
        const int32_t column = cursor.column();
        Cursor lookahead = cursor;
        if (lookahead.word() == "layer") {
            int layer = -1;
            if (auto error = layerHeader(lookahead, lineNumber, layer)) return error;
            if (seen[layer]) {
                return CompileError{lineNumber, column,
                                    "layer " + std::to_string(layer) + " appears twice"};
            }
            seen[layer] = true;
            current = layer;
            continue;
        }
        if (current < 0) {
            return CompileError{lineNumber, column,
                                "operation outside a layer: start with a line 'layer L:'"};
        }
        OperationList& list = description.lists[current];
        if (list.count >= kMaxOperations) {
            return CompileError{lineNumber, column,
                                "layer " + std::to_string(current) + " already holds " +
                                    std::to_string(kMaxOperations) + " operations"};
        }
        LineCompiler compiler(line, lineNumber);
        if (auto error = compiler.operation(list.opcode[list.count], list.params[list.count])) {
            return error;
        }
        ++list.count;
    }
    return std::nullopt;
}

} // namespace texgen
