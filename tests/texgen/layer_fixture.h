// Shared helpers of the operator tests: the layer store for one test, and
// reading, writing and comparing pixels as (red, green, blue) triples.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "texgen/layers.h"

namespace texgen {

using Px = std::array<int, 3>;

// Holds the global layer store for one test.
struct Layers {
    Layers(int32_t width, int32_t height) { EXPECT_TRUE(initLayers(width, height).ok()); }
    ~Layers() { freeLayers(); }
};

inline Px px(int layer, int32_t x, int32_t y) {
    const uint8_t* p = pixelAt(layer, x, y);
    return {p[0], p[1], p[2]};
}

inline void setPx(int layer, int32_t x, int32_t y, Px v) {
    uint8_t* p = pixelAt(layer, x, y);
    for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(v[c]);
}

inline void fillLayer(int layer, const std::function<Px(int32_t, int32_t)>& colour) {
    for (int32_t y = 0; y < layerHeight; ++y)
        for (int32_t x = 0; x < layerWidth; ++x) setPx(layer, x, y, colour(x, y));
}

inline std::vector<uint8_t> bytesOf(int layer) {
    return {layerData[layer], layerData[layer] + layerByteCount()};
}

// Every pixel must be `expected(x, y)`; reports the first mismatch.
inline void expectLayer(int layer, const std::function<Px(int32_t, int32_t)>& expected) {
    for (int32_t y = 0; y < layerHeight; ++y)
        for (int32_t x = 0; x < layerWidth; ++x)
            ASSERT_EQ(px(layer, x, y), expected(x, y)) << "at (" << x << ", " << y << ")";
}

} // namespace texgen
