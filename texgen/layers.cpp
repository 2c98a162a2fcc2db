#include "texgen/layers.h"

#include <cstring>

namespace texgen {

uint8_t* layerData[kBufferCount] = {};
OperationList operationLists[kLayerCount] = {};
int32_t layerWidth = 0;
int32_t layerHeight = 0;
int32_t wrapMaskX = 0;
int32_t wrapMaskY = 0;

void copyLayer(int from, int to) {
    if (from == to) return;
    std::memcpy(layerData[to], layerData[from], static_cast<size_t>(layerByteCount()));
}

}  // namespace texgen
