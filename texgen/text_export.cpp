#include "texgen/text_export.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "texgen/operator_table.h"
#include "texgen/validate.h"

namespace texgen {

namespace {

constexpr int kSignificantDigits = 15;
constexpr int32_t kMandelbrotOpcode = 7;
constexpr double kInt64Limit = 9223372036854775808.0; // 2^63

std::string formatInteger(float stored) {
    const double truncated = std::trunc(static_cast<double>(stored));
    char buffer[400]; // enough for any double in fixed notation
    std::to_chars_result result;
    if (truncated > -kInt64Limit && truncated < kInt64Limit) {
        // Through int64 so that -0.5 (truncated to -0.0) prints "0".
        result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<int64_t>(truncated));
    } else {
        // Only invalid descriptions hold such values; still print all digits.
        result =
            std::to_chars(buffer, buffer + sizeof buffer, truncated, std::chars_format::fixed, 0);
    }
    return std::string(buffer, result.ptr);
}

std::string formatStored(float stored, NumberStyle style) {
    return style == NumberStyle::Shortest ? formatShortest(stored) : formatFloat(stored);
}

void appendArgument(std::string& line, ParamKind kind, float stored, NumberStyle style) {
    switch (kind) {
    case ParamKind::Layer:
    case ParamKind::Int:
        line += formatInteger(stored);
        break;
    case ParamKind::Float:
        line += formatStored(stored, style);
        break;
    case ParamKind::Bool:
        line += stored == 1.0f ? "true" : "false";
        break;
    }
}

// mandelBrot shows its window as left, width, top, height; the differences
// are exact (two floats subtracted in double) and the escape limit is fixed.
// The width and height are no stored floats: they stay exact in either style,
// so that the compiler finds the same far edges again.
std::string mandelbrotText(const OperatorInfo& info, const ParameterRecord& params,
                           NumberStyle style) {
    const double left = params.value[1];
    const double top = params.value[2];
    const double width = static_cast<double>(params.value[3]) - left;
    const double height = static_cast<double>(params.value[4]) - top;
    return std::string(info.name) + "(" + formatInteger(params.value[0]) + "," +
           formatStored(params.value[1], style) + "," + formatFloat(width) + "," +
           formatStored(params.value[2], style) + "," + formatFloat(height) + "," +
           formatFloat(kMandelbrotEscapeLimit) + ");";
}

} // namespace

std::string formatFloat(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::general, kSignificantDigits);
    return std::string(buffer, result.ptr);
}

std::string formatShortest(float value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string operationToText(int32_t opcode, const ParameterRecord& params, NumberStyle style) {
    const OperatorInfo* info = findOperator(opcode);
    if (!info) return " ";
    if (opcode == kMandelbrotOpcode) return mandelbrotText(*info, params, style);
    std::string line = info->name;
    line += '(';
    for (int32_t slot = 0; slot < info->paramCount; ++slot) {
        if (slot > 0) line += ',';
        appendArgument(line, info->params[slot].kind, params.value[slot], style);
    }
    line += ");";
    return line;
}

std::string descriptionToText(const TextureDescription& description, TextFaults* faults) {
    TextFaults found;
    std::string text;
    for (int layer = 0; layer < kLayerCount; ++layer) {
        const OperationList& list = description.lists[layer];
        if (layer > 0) text += '\n';
        text += "layer " + std::to_string(layer) + ":\n";
        const int32_t count = std::clamp(list.count, 0, kMaxOperations);
        if (count != list.count) {
            ++found.counts;
            text += "// operation count " + std::to_string(list.count) + " is outside 0.." +
                    std::to_string(kMaxOperations) + ": the layer cannot run; its first " +
                    std::to_string(count) + " operations follow\n";
        }
        for (int32_t i = 0; i < count; ++i) {
            if (findOperator(list.opcode[i])) {
                if (Status status = validateOperation(list.opcode[i], list.params[i]);
                    !status.ok()) {
                    ++found.operations;
                    text += "// cannot run: " + status.message + "\n";
                }
                text += operationToText(list.opcode[i], list.params[i]);
            } else {
                // Unused opcodes run as nothing; keep the slot visible.
                text += "// opcode " + std::to_string(list.opcode[i]) + " is unused and skipped";
            }
            text += '\n';
        }
    }
    if (faults) *faults = found;
    return text;
}

} // namespace texgen
