#include "texgen/interpreter.h"

#include <algorithm>
#include <cmath>

#include "texgen/operators.h"
#include "texgen/validate.h"

namespace texgen {

namespace {

constexpr int32_t kMaxBlobs = 16; // larger counts are clamped, by design
constexpr float kEscapeLimit = 16.0f;

// Conversions of the stored floats, valid because the record was validated.
struct Arguments {
    const ParameterRecord& record;

    int32_t i(int slot) const { return static_cast<int32_t>(std::trunc(record.value[slot])); }
    float f(int slot) const { return record.value[slot]; }
    bool b(int slot) const { return record.value[slot] == 1.0f; }
};

bool layersReady() {
    return std::all_of(std::begin(layerData), std::end(layerData),
                       [](const uint8_t* data) { return data != nullptr; });
}

// One case per operator, in opcode order; the argument lists follow the
// slot layout of the operator table.
void dispatch(int32_t opcode, const Arguments& a) {
    switch (opcode) {
    case 0:
        subPlasma(a.i(0), a.i(1), a.i(2), a.i(3), a.b(4));
        break;
    case 1:
        sinePlasma(a.i(0), a.f(1), a.f(2), a.f(3));
        break;
    case 2:
        perlinNoise(a.i(0), a.i(1), a.i(2), a.i(3), a.i(4), a.i(5), a.b(6));
        break;
    case 3:
        particle(a.i(0), a.f(1));
        break;
    case 4:
        colorLayer(a.i(0), a.i(1), a.i(2), a.i(3));
        break;
    case 5:
        checkerBoardLayer(a.i(0), a.i(1), a.i(2), a.i(3), a.i(4), a.i(5), a.i(6), a.i(7), a.i(8));
        break;
    case 6:
        blobsLayer(a.i(0), a.i(1), std::min(a.i(2), kMaxBlobs), a.b(3));
        break;
    case 7:
        // The record holds the window's corners; the operator takes its size,
        // each difference rounded to single.
        mandelBrot(a.i(0), a.f(1), a.f(3) - a.f(1), a.f(2), a.f(4) - a.f(2), kEscapeLimit);
        break;
    case 8:
        cellMachine(a.i(0), a.i(1), a.i(2));
        break;
    case 10:
        addLayers(a.i(0), a.i(1), a.i(2), a.f(3), a.f(4));
        break;
    case 11:
        mulLayers(a.i(0), a.i(1), a.i(2), a.f(3), a.f(4));
        break;
    case 12:
        randCombineLayers(a.i(0), a.i(1), a.i(2), a.f(3), a.f(4));
        break;
    case 13:
        minCombineLayers(a.i(0), a.i(1), a.i(2), a.f(3), a.f(4));
        break;
    case 14:
        maxCombineLayers(a.i(0), a.i(1), a.i(2), a.f(3), a.f(4));
        break;
    case 15:
        xorLayers(a.i(0), a.i(1), a.i(2), a.f(3), a.f(4));
        break;
    case 16:
        orLayers(a.i(0), a.i(1), a.i(2), a.f(3), a.f(4));
        break;
    case 17:
        andLayers(a.i(0), a.i(1), a.i(2), a.f(3), a.f(4));
        break;
    case 20:
        scaleLayerRGB(a.i(0), a.i(1), a.f(2), a.f(3), a.f(4));
        break;
    case 21:
        scaleLayerHSV(a.i(0), a.i(1), a.f(2), a.f(3), a.f(4));
        break;
    case 22:
        adjustLayerRGB(a.i(0), a.i(1), a.i(2), a.i(3), a.i(4));
        break;
    case 23:
        adjustLayerHSV(a.i(0), a.i(1), a.f(2), a.f(3), a.f(4));
        break;
    case 24:
        sineLayerRGB(a.i(0), a.i(1), a.f(2), a.f(3), a.f(4));
        break;
    case 25:
        equalizeRGB(a.i(0), a.i(1));
        break;
    case 26:
        stretchRGB(a.i(0), a.i(1));
        break;
    case 30:
        invertLayer(a.i(0), a.i(1));
        break;
    case 31:
        embossLayer(a.i(0), a.i(1));
        break;
    case 32:
        woodLayer(a.i(0), a.i(1), a.i(2));
        break;
    case 33:
        blurLayer(a.i(0), a.i(1));
        break;
    case 34:
        sharpenLayer(a.i(0), a.i(1));
        break;
    case 35:
        edgeHLayer(a.i(0), a.i(1));
        break;
    case 36:
        edgeVLayer(a.i(0), a.i(1));
        break;
    case 37:
        motionBlur(a.i(0), a.i(1), a.i(2));
        break;
    case 38:
        makeTilable(a.i(0), a.i(1), a.i(2));
        break;
    case 39:
        medianLayer(a.i(0), a.i(1));
        break;
    case 40:
        sineDistort(a.i(0), a.i(1), a.f(2), a.f(3), a.f(4), a.f(5));
        break;
    case 41:
        twirlLayer(a.i(0), a.i(1), a.f(2), a.f(3));
        break;
    case 42:
        mapDistort(a.i(0), a.i(1), a.i(2), a.f(3), a.f(4));
        break;
    case 43:
        tileLayer(a.i(0), a.i(1));
        break;
    case 44:
        noiseDistort(a.i(0), a.i(1), a.i(2), a.i(3));
        break;
    case 45:
        moveDistort(a.i(0), a.i(1), a.i(2), a.i(3));
        break;
    case 46:
        kaleidLayer(a.i(0), a.i(1), a.i(2));
        break;
    case 47:
        tunnelDistort(a.i(0), a.i(1), a.f(2));
        break;
    case 48:
        sculptureLayer(a.i(0), a.i(1));
        break;
    case 49:
        logPolLayer(a.i(0), a.i(1));
        break;
    case 50:
        erodeLayer(a.i(0), a.i(1));
        break;
    case 51:
        dilateLayer(a.i(0), a.i(1));
        break;
    default:
        break; // unused opcodes run as nothing
    }
}

} // namespace

Status runOperation(int32_t opcode, const ParameterRecord& params) {
    if (!layersReady()) {
        return failure(ErrorKind::NotInitialised, "the layers are not initialised (initLayers)");
    }
    Status status = validateOperation(opcode, params);
    if (!status.ok()) return status;
    dispatch(opcode, Arguments{params});
    return {};
}

Status runList(const OperationList& list) {
    if (list.count < 0 || list.count > kMaxOperations) {
        return failure(ErrorKind::Invalid, "operation count " + std::to_string(list.count) +
                                               " is outside 0.." + std::to_string(kMaxOperations));
    }
    for (int32_t i = 0; i < list.count; ++i) {
        Status status = runOperation(list.opcode[i], list.params[i]);
        if (!status.ok()) {
            status.message = "operation " + std::to_string(i) + ": " + status.message;
            return status;
        }
    }
    return {};
}

} // namespace texgen
