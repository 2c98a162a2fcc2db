// Validation: what must not run is refused with a message that names the
// parameter, and everything the operator table accepts runs safely, even at
// its limits (the sanitizer build checks memory).
#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "texgen/interpreter.h"
#include "texgen/layer_fixture.h"
#include "texgen/operator_table.h"
#include "texgen/validate.h"

namespace texgen {
namespace {

// A valid record: layers 0, every other slot at the low end of its range
// (or its smallest magnitude where 0 is outside it).
ParameterRecord lowRecord(const OperatorInfo& info) {
    ParameterRecord params{};
    for (int32_t slot = 0; slot < info.paramCount; ++slot) {
        const ParamSpec& param = info.params[slot];
        const double value = std::clamp(0.0, param.min, param.max);
        params.value[slot] =
            float(std::fabs(value) < param.minMagnitude ? param.minMagnitude : value);
    }
    return params;
}

TEST(Validation, UnsafeParametersAreRefusedNamingTheParameter) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::tuple<int32_t, ParameterRecord, int32_t, const char*> refusals[] = {
        {0, record({0, 0, 1, 256, 1}), 1, "subPlasma: parameter 1 (step) is 0, outside 1..4096"},
        {5, record({0, 8, 0.5f}), 2,
         "checkerBoardLayer: parameter 2 (cellHeight) is 0, outside 1..2147483647"},
        {37, record({0, 1, -1}), 2, "motionBlur: parameter 2 (reach) is -1, outside 0..256"},
        {32, record({0, 1, 9}), 2, "woodLayer: parameter 2 (rotation) is 9, outside 0..8"},
        {44, record({0, 1, 5, 17}), 3, "noiseDistort: parameter 3 (bits) is 17, outside 0..16"},
        {46, record({0, 1, 0}), 2, "kaleidLayer: parameter 2 (quadrant) is 0, outside 1..4"},
        {42, record({0, 7, 1, 1, 1}), 1, "mapDistort: parameter 1 (map) is 7, not a layer 0..4"},
        {10, record({0, -1, 1, 1, 1}), 1, "addLayers: parameter 1 (srcB) is -1, not a layer 0..4"},
        {41, record({0, 1, 2, 0}), 3,
         "twirlLayer: parameter 3 (radiusFactor) is 0, too close to 0 "
         "(it divides; magnitude at least 0.0009765625)"},
        {40, record({0, 1, nan, 1, 1, 1}), 2,
         "sineDistort: parameter 2 (rowFrequency) is not a finite number"},
        {4, record({0, 3e9f, 0, 0}), 1,
         "colorLayer: parameter 1 (red) is 3000000000, outside -2147483648..2147483647"},
        {23, record({0, 1, 1e7f, 0, 0}), 2,
         "adjustLayerHSV: parameter 2 (hueOffset) is 10000000, outside -5760..5760"},
        {6, record({0, 7, -1, 1}), 2,
         "blobsLayer: parameter 2 (count) is -1, outside 0..2147483647"},
        {7, record({0, -3e38f, 0, 3e38f, 1}), kNoSlot,
         "mandelBrot: the window width (right - left) is not finite"},
    };
    for (const auto& [opcode, params, slot, message] : refusals) {
        int32_t badSlot = 99;
        const Status status = validateOperation(opcode, params, &badSlot);
        EXPECT_EQ(status.kind, ErrorKind::Invalid) << message;
        EXPECT_EQ(status.message, message);
        EXPECT_EQ(badSlot, slot) << message;
    }
    EXPECT_TRUE(validateOperation(6, record({0, 7, 1000, 1})).ok()); // blob counts are clamped
}

TEST(Validation, EveryLayerSlotOfEveryOperatorIsChecked) {
    int layerSlots = 0;
    for (const OperatorInfo& info : operatorTable()) {
        ASSERT_TRUE(validateOperation(info.opcode, lowRecord(info)).ok()) << info.name;
        for (int32_t slot = 0; slot < info.paramCount; ++slot) {
            if (info.params[slot].kind != ParamKind::Layer) continue;
            ++layerSlots;
            ParameterRecord params = lowRecord(info);
            for (float bad : {5.0f, -1.0f, 1e10f}) {
                params.value[slot] = bad;
                int32_t badSlot = kNoSlot;
                EXPECT_FALSE(validateOperation(info.opcode, params, &badSlot).ok()) << info.name;
                EXPECT_EQ(badSlot, slot) << info.name;
            }
            params.value[slot] = 4.9f; // truncates to layer 4
            EXPECT_TRUE(validateOperation(info.opcode, params).ok()) << info.name;
        }
    }
    EXPECT_EQ(operatorTable().size(), 46u);
    EXPECT_EQ(layerSlots, 92); // 9 generators, 9 three-layer operators, 28 src/dst pairs
}

// Every operator at both ends of every range runs on the smallest layers,
// square or not, without touching memory it does not own or running away.
TEST(Validation, EveryOperatorRunsAtTheLimitsOfItsRanges) {
    for (const auto& [width, height] : {std::pair{2, 2}, std::pair{4, 2}, std::pair{2, 8}}) {
        Layers layers(width, height);
        for (const OperatorInfo& info : operatorTable()) {
            for (int32_t slot = 0; slot < info.paramCount; ++slot) {
                const ParamSpec& param = info.params[slot];
                if (param.kind == ParamKind::Bool) continue;
                for (double end : {param.min, param.max}) {
                    // The largest grid steps are valid but slow; their
                    // arithmetic is the same at 256.
                    if (std::string(param.name) == "step") end = std::min(end, 256.0);
                    ParameterRecord params = lowRecord(info);
                    params.value[slot] = param.kind == ParamKind::Layer ? 4 : float(end);
                    if (!validateOperation(info.opcode, params).ok())
                        continue; // mandelBrot extremes
                    randomSeed = 1;
                    EXPECT_TRUE(runOperation(info.opcode, params).ok()) << info.name;
                }
            }
        }
    }
}

// Records made of awkward values: whatever validation lets through runs
// safely; nothing else runs.
TEST(Validation, AwkwardRecordsAreRefusedOrRunSafely) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = INFINITY;
    const float awkward[] = {0,  1,   -1,  0.5f, -0.5f, 2,    4,     4.99f, 5,   8,   9,    16,
                             17, 255, 256, -256, 1e-6f, 1e9f, -1e9f, 3e38f, nan, inf, -inf, 65536};
    std::mt19937 random(5);
    Layers layers(4, 4);
    int ran = 0;
    for (int round = 0; round < 20000; ++round) {
        const auto opcode = static_cast<int32_t>(random() % 56) - 2;
        ParameterRecord params{};
        for (float& value : params.value) value = awkward[random() % std::size(awkward)];
        for (int slot = 0; slot < 3; ++slot) // mostly layers, or almost nothing would pass
            if (random() % 4 != 0) params.value[slot] = static_cast<float>(random() % 5);
        if (!validateOperation(opcode, params).ok()) {
            EXPECT_FALSE(runOperation(opcode, params).ok());
            continue;
        }
        ASSERT_TRUE(runOperation(opcode, params).ok());
        ++ran;
    }
    EXPECT_GT(ran, 1000);
}

} // namespace
} // namespace texgen
