#include "texgen/validate.h"

#include <cmath>
#include <string>

#include "texgen/operator_table.h"
#include "texgen/text_export.h"

namespace texgen {

namespace {

constexpr int32_t kMandelbrotOpcode = 7;

std::string range(double min, double max) {
    return formatFloat(min) + ".." + formatFloat(max);
}

// Empty when the stored value suits the parameter.
std::string checkParam(const ParamSpec& info, float stored) {
    const double value = stored;
    switch (info.kind) {
    case ParamKind::Bool:
        return {}; // every value has a meaning: 1.0 is true, the rest false
    case ParamKind::Layer:
    case ParamKind::Int: {
        if (!std::isfinite(value)) return "is not a finite number";
        const double truncated = std::trunc(value);
        if (truncated >= info.min && truncated <= info.max) return {};
        const char* what = info.kind == ParamKind::Layer ? "not a layer " : "outside ";
        return "is " + formatFloat(truncated) + ", " + what + range(info.min, info.max);
    }
    case ParamKind::Float: {
        if (!std::isfinite(value)) return "is not a finite number";
        if (value < info.min || value > info.max) {
            return "is " + formatFloat(value) + ", outside " + range(info.min, info.max);
        }
        if (std::fabs(value) < info.minMagnitude) {
            return "is " + formatFloat(value) +
                   ", too close to 0 (it divides; magnitude at least " +
                   formatFloat(info.minMagnitude) + ")";
        }
        return {};
    }
    }
    return "has an unknown kind";
}

// The interpreter passes right - left and bottom - top, rounded to single.
std::string checkMandelbrotWindow(const ParameterRecord& params) {
    const float width = params.value[3] - params.value[1];
    const float height = params.value[4] - params.value[2];
    if (!std::isfinite(width)) return "the window width (right - left) is not finite";
    if (!std::isfinite(height)) return "the window height (bottom - top) is not finite";
    return {};
}

} // namespace

Status validateOperation(int32_t opcode, const ParameterRecord& params, int32_t* badSlot) {
    if (badSlot) *badSlot = kNoSlot;
    const OperatorInfo* info = findOperator(opcode);
    if (!info) return {}; // unused opcodes run as nothing
    for (int32_t slot = 0; slot < info->paramCount; ++slot) {
        const ParamSpec& param = info->params[slot];
        const std::string fault = checkParam(param, params.value[slot]);
        if (fault.empty()) continue;
        if (badSlot) *badSlot = slot;
        return failure(ErrorKind::Invalid, std::string(info->name) + ": parameter " +
                                               std::to_string(slot) + " (" + param.name + ") " +
                                               fault);
    }
    if (opcode == kMandelbrotOpcode) {
        const std::string fault = checkMandelbrotWindow(params);
        if (!fault.empty())
            return failure(ErrorKind::Invalid, std::string(info->name) + ": " + fault);
    }
    return {};
}

Status validateList(int layer, const OperationList& list) {
    const std::string where = "layer " + std::to_string(layer);
    if (list.count < 0 || list.count > kMaxOperations) {
        return failure(ErrorKind::Invalid, where + ": operation count " +
                                               std::to_string(list.count) + " is outside 0.." +
                                               std::to_string(kMaxOperations));
    }
    for (int32_t i = 0; i < list.count; ++i) {
        Status status = validateOperation(list.opcode[i], list.params[i]);
        if (!status.ok()) {
            status.message = where + ", operation " + std::to_string(i) + ": " + status.message;
            return status;
        }
    }
    return {};
}

Status validateDescription(const TextureDescription& description) {
    for (int layer = 0; layer < kLayerCount; ++layer) {
        Status status = validateList(layer, description.lists[layer]);
        if (!status.ok()) return status;
    }
    return {};
}

} // namespace texgen
