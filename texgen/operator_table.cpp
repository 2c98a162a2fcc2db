#include "texgen/operator_table.h"

#include <array>
#include <cfloat>
#include <initializer_list>

namespace texgen {

namespace {

// Ranges. Integers default to everything a 32-bit conversion can hold. The
// narrower limits keep arithmetic inside its types and loops short: offsets
// and shifts are added to coordinates or channel values, weights and factors
// multiply channel values before a conversion to integer, and hue changes
// bound the folding loops of the HSV conversion.
constexpr double kInt32Min = -2147483648.0;
constexpr double kInt32Max = 2147483647.0;
constexpr double kExactIntegerLimit = 16777216.0; // 2^24, floats hold every integer up to it
constexpr double kFactorLimit = 65536.0;
constexpr double kMaxStep = kMaxLayerSize; // grid step of subPlasma/perlinNoise
constexpr double kMaxLevels = 65536.0;     // draws are 16-bit
constexpr double kMaxAmplitude = 32768.0;  // perlinNoise amplitude and persistence
constexpr double kMaxRandScatter = 16.0;   // randCombineLayers draws W*H*1.5*weight pairs
constexpr double kMaxHueFactor = 16.0;
constexpr double kMaxHueOffset = 360.0 * 16.0;
constexpr double kMaxReach = 256.0; // motionBlur reads 2*reach+1 pixels each
constexpr double kMaxRadius = kMaxLayerSize;
constexpr double kMaxBits = 16.0; // noiseDistort shift is 16 - bits
constexpr double kMaxRotation = 8.0;
constexpr double kMinRadiusFactor = 1.0 / 1024.0; // twirlLayer divides by it

constexpr ParamSpec layer(const char* name) {
    return {name, ParamKind::Layer, 0.0, kLayerCount - 1.0, 0.0};
}
constexpr ParamSpec integer(const char* name, double min = kInt32Min, double max = kInt32Max) {
    return {name, ParamKind::Int, min, max, 0.0};
}
constexpr ParamSpec offset(const char* name) {
    return integer(name, -kExactIntegerLimit, kExactIntegerLimit);
}
constexpr ParamSpec real(const char* name, double min = -FLT_MAX, double max = FLT_MAX,
                         double minMagnitude = 0.0) {
    return {name, ParamKind::Float, min, max, minMagnitude};
}
constexpr ParamSpec factor(const char* name) {
    return real(name, -kFactorLimit, kFactorLimit);
}
constexpr ParamSpec amplitude(const char* name) {
    return real(name, -kExactIntegerLimit, kExactIntegerLimit);
}
constexpr ParamSpec boolean(const char* name) {
    return {name, ParamKind::Bool, 0.0, 1.0, 0.0};
}

constexpr OperatorInfo op(int32_t opcode, const char* name, Family family,
                          std::initializer_list<ParamSpec> params) {
    OperatorInfo info{opcode, name, family, static_cast<int32_t>(params.size()), {}};
    int slot = 0;
    for (const ParamSpec& param : params) info.params[slot++] = param;
    return info;
}

constexpr OperatorInfo combiner(int32_t opcode, const char* name) {
    return op(opcode, name, Family::Combiner,
              {layer("srcA"), layer("srcB"), layer("dst"), factor("weightA"), factor("weightB")});
}

constexpr OperatorInfo twoLayers(int32_t opcode, const char* name, Family family) {
    return op(opcode, name, family, {layer("src"), layer("dst")});
}

constexpr Family kGen = Family::Generator;
constexpr Family kCol = Family::Colour;
constexpr Family kFil = Family::Filter;
constexpr Family kDis = Family::Distortion;

constexpr std::array<OperatorInfo, kOperatorCount> kOperators = {
    op(0, "subPlasma", kGen,
       {layer("dst"), integer("step", 1, kMaxStep), integer("seed"),
        integer("levels", 0, kMaxLevels), boolean("colour")}),
    op(1, "sinePlasma", kGen,
       {layer("dst"), factor("xFrequency"), factor("yFrequency"), amplitude("amplitude")}),
    op(2, "perlinNoise", kGen,
       {layer("dst"), integer("step", 1, kMaxStep), integer("seed"),
        integer("amplitude", 0, kMaxAmplitude), integer("persistence", 0, kMaxAmplitude),
        integer("octaves"), boolean("colour")}),
    op(3, "particle", kGen, {layer("dst"), factor("falloff")}),
    op(4, "colorLayer", kGen, {layer("dst"), integer("red"), integer("green"), integer("blue")}),
    op(5, "checkerBoardLayer", kGen,
       {layer("dst"), integer("cellWidth", 1, kInt32Max), integer("cellHeight", 1, kInt32Max),
        integer("red1"), integer("green1"), integer("blue1"), integer("red2"), integer("green2"),
        integer("blue2")}),
    // Counts above 16 are clamped to 16 when the operation runs.
    op(6, "blobsLayer", kGen,
       {layer("dst"), integer("seed"), integer("count", 0, kInt32Max), boolean("colour")}),
    op(7, "mandelBrot", kGen,
       {layer("dst"), real("left"), real("top"), real("right"), real("bottom")}),
    op(8, "cellMachine", kGen, {layer("dst"), integer("seed"), integer("rule")}),
    combiner(10, "addLayers"),
    combiner(11, "mulLayers"),
    op(12, "randCombineLayers", Family::Combiner,
       {layer("srcA"), layer("srcB"), layer("dst"), real("weightA", 0.0, kMaxRandScatter),
        real("weightB", 0.0, kMaxRandScatter)}),
    combiner(13, "minCombineLayers"),
    combiner(14, "maxCombineLayers"),
    combiner(15, "xorLayers"),
    combiner(16, "orLayers"),
    combiner(17, "andLayers"),
    op(20, "scaleLayerRGB", kCol,
       {layer("src"), layer("dst"), factor("redFactor"), factor("greenFactor"),
        factor("blueFactor")}),
    op(21, "scaleLayerHSV", kCol,
       {layer("src"), layer("dst"), real("hueFactor", -kMaxHueFactor, kMaxHueFactor),
        factor("saturationFactor"), factor("valueFactor")}),
    op(22, "adjustLayerRGB", kCol,
       {layer("src"), layer("dst"), offset("redOffset"), offset("greenOffset"),
        offset("blueOffset")}),
    op(23, "adjustLayerHSV", kCol,
       {layer("src"), layer("dst"), real("hueOffset", -kMaxHueOffset, kMaxHueOffset),
        factor("saturationOffset"), factor("valueOffset")}),
    op(24, "sineLayerRGB", kCol,
       {layer("src"), layer("dst"), factor("redFrequency"), factor("greenFrequency"),
        factor("blueFrequency")}),
    twoLayers(25, "equalizeRGB", kCol),
    twoLayers(26, "stretchRGB", kCol),
    twoLayers(30, "invertLayer", kCol),
    twoLayers(31, "embossLayer", kFil),
    op(32, "woodLayer", kFil, {layer("src"), layer("dst"), integer("rotation", 0, kMaxRotation)}),
    twoLayers(33, "blurLayer", kFil),
    twoLayers(34, "sharpenLayer", kFil),
    twoLayers(35, "edgeHLayer", kFil),
    twoLayers(36, "edgeVLayer", kFil),
    op(37, "motionBlur", kFil, {layer("src"), layer("dst"), integer("reach", 0, kMaxReach)}),
    op(38, "makeTilable", kFil, {layer("src"), layer("dst"), integer("radius", 0, kMaxRadius)}),
    twoLayers(39, "medianLayer", kFil),
    op(40, "sineDistort", kDis,
       {layer("src"), layer("dst"), factor("rowFrequency"), amplitude("horizontalAmplitude"),
        factor("columnFrequency"), amplitude("verticalAmplitude")}),
    op(41, "twirlLayer", kDis,
       {layer("src"), layer("dst"), factor("strength"),
        real("radiusFactor", -kFactorLimit, kFactorLimit, kMinRadiusFactor)}),
    op(42, "mapDistort", kDis,
       {layer("src"), layer("map"), layer("dst"), factor("xFactor"), factor("yFactor")}),
    twoLayers(43, "tileLayer", kDis),
    op(44, "noiseDistort", kDis,
       {layer("src"), layer("dst"), integer("seed"), integer("bits", 0, kMaxBits)}),
    op(45, "moveDistort", kDis, {layer("src"), layer("dst"), offset("xShift"), offset("yShift")}),
    op(46, "kaleidLayer", kDis, {layer("src"), layer("dst"), integer("quadrant", 1, 4)}),
    op(47, "tunnelDistort", kDis, {layer("src"), layer("dst"), amplitude("depth")}),
    twoLayers(48, "sculptureLayer", kDis),
    twoLayers(49, "logPolLayer", kDis),
    twoLayers(50, "erodeLayer", kFil),
    twoLayers(51, "dilateLayer", kFil),
};

} // namespace

std::span<const OperatorInfo> operatorTable() {
    return kOperators;
}

const OperatorInfo* findOperator(int32_t opcode) {
    for (const OperatorInfo& info : kOperators) {
        if (info.opcode == opcode) return &info;
    }
    return nullptr;
}

const OperatorInfo* findOperator(std::string_view name) {
    for (const OperatorInfo& info : kOperators) {
        if (name == info.name) return &info;
    }
    return nullptr;
}

const char* paramKindName(ParamKind kind) {
    switch (kind) {
    case ParamKind::Layer:
        return "layer";
    case ParamKind::Int:
        return "int";
    case ParamKind::Float:
        return "float";
    case ParamKind::Bool:
        return "bool";
    }
    return "?";
}

const char* familyName(Family family) {
    switch (family) {
    case Family::Generator:
        return "generator";
    case Family::Combiner:
        return "combiner";
    case Family::Colour:
        return "colour";
    case Family::Filter:
        return "filter";
    case Family::Distortion:
        return "distortion";
    }
    return "?";
}

} // namespace texgen
