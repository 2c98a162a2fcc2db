// Layer store of the texture generator.
//
// Five RGB layers of one common size W x H (both powers of two) plus a sixth
// buffer, the scratch buffer, which operators use as a temporary copy when
// they cannot work in place. A layer is W*H*3 bytes, row y at byte y*W*3,
// pixel x at +x*3, bytes red, green, blue.
//
// All state is global to the library: one texture is in progress at a time,
// single-threaded. Operators never allocate; they address the buffers below.
#pragma once

#include <cstdint>

namespace texgen {

constexpr int kLayerCount = 5;        // layers 0..4
constexpr int kScratchLayer = 5;      // index of the scratch buffer
constexpr int kBufferCount = 6;       // the five layers and the scratch buffer
constexpr int kMaxOperations = 100;   // slots per operation list
constexpr int kParameterCount = 10;   // floats per parameter record
constexpr int kBytesPerPixel = 3;     // red, green, blue
constexpr int kMinLayerSize = 2;      // smallest accepted width or height
constexpr int kMaxLayerSize = 4096;   // largest accepted width or height

// Every parameter is stored as a float, whatever the operator takes.
struct ParameterRecord {
    float value[kParameterCount];
};

struct OperationList {
    int32_t count;                          // valid operations, 0..100
    int32_t opcode[kMaxOperations];
    ParameterRecord params[kMaxOperations];
};

// The library state. Size and masks are set by initLayers.
extern uint8_t* layerData[kBufferCount];  // layers 0..4, then the scratch buffer
extern OperationList operationLists[kLayerCount];
extern int32_t layerWidth;
extern int32_t layerHeight;
extern int32_t wrapMaskX;  // layerWidth - 1
extern int32_t wrapMaskY;  // layerHeight - 1

// Address of pixel (x, y) of buffer `layer` (0..5). Coordinates must already
// be inside the layer (wrapped by the caller).
inline uint8_t* pixelAt(int layer, int32_t x, int32_t y) {
    return layerData[layer] + (static_cast<int64_t>(y) * layerWidth + x) * kBytesPerPixel;
}

inline int64_t layerByteCount() {
    return static_cast<int64_t>(layerWidth) * layerHeight * kBytesPerPixel;
}

// Copies buffer `from` into buffer `to` (either may be the scratch buffer).
void copyLayer(int from, int to);

}  // namespace texgen
