// Shared helpers of the texgen tests: the layer store for one test, parameter
// records, and pixels as (red, green, blue) triples.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <tuple>
#include <utility>
#include <vector>

#include "texgen/helpers.h"
#include "texgen/layers.h"
#include "texgen/operators.h"

namespace texgen {

using Px = std::array<int, 3>;
using Picture = std::function<Px(int32_t, int32_t)>;

// Holds the global layer store for one test.
struct Layers {
    Layers(int32_t width, int32_t height) { EXPECT_TRUE(initLayers(width, height).ok()); }
    ~Layers() { freeLayers(); }
};
inline ParameterRecord record(std::initializer_list<float> values) {
    ParameterRecord params{};
    std::copy(values.begin(), values.end(), params.value);
    return params;
}

// The random state after `draws` draws from `seed`.
inline uint32_t stateAfter(uint32_t seed, int draws) {
    for (int i = 0; i < draws; ++i) seed *= 22695477u;
    return seed;
}
inline Px px(int layer, int32_t x, int32_t y) {
    const uint8_t* p = pixelAt(layer, x, y);
    return {p[0], p[1], p[2]};
}
inline Px grey(int v) {
    return {v, v, v};
}
inline void setPx(int layer, int32_t x, int32_t y, Px v) {
    for (int c = 0; c < 3; ++c) pixelAt(layer, x, y)[c] = static_cast<uint8_t>(v[c]);
}
inline void fillLayer(int layer, const Picture& colour) {
    for (int32_t y = 0; y < layerHeight; ++y)
        for (int32_t x = 0; x < layerWidth; ++x) setPx(layer, x, y, colour(x, y));
}
inline void fillLayer(int layer, Px colour) {
    fillLayer(layer, [&](int32_t, int32_t) { return colour; });
}

// Every byte value appears once the layer holds 256 bytes.
inline void fillRamp(int layer, int salt) {
    for (int64_t n = 0; n < layerByteCount(); ++n) layerData[layer][n] = uint8_t(n * 7 + salt);
}
inline std::vector<uint8_t> bytesOf(int layer) {
    return {layerData[layer], layerData[layer] + layerByteCount()};
}

// Every pixel must be `expected(x, y)`; reports the first mismatch.
inline void expectLayer(int layer, const Picture& expected) {
    for (int32_t y = 0; y < layerHeight; ++y)
        for (int32_t x = 0; x < layerWidth; ++x)
            ASSERT_EQ(px(layer, x, y), expected(x, y)) << "at (" << x << ", " << y << ")";
}
inline void expectLayer(int layer, Px colour) {
    expectLayer(layer, [&](int32_t, int32_t) { return colour; });
}

// Pixels of a layer against their colours, five numbers each: x, y, r, g, b.
inline void expectPixels(int layer, std::initializer_list<int> xyrgb) {
    for (auto p = xyrgb.begin(); p + 5 <= xyrgb.end(); p += 5)
        EXPECT_EQ(px(layer, p[0], p[1]), (Px{p[2], p[3], p[4]})) << p[0] << "," << p[1];
}

// A busy picture with every channel value in play, so nothing passes by accident.
inline Px busy(int32_t x, int32_t y) {
    return {(x * 53 + y * 29) & 255, (x * x * 7 + y * 91) & 255, (x * y * 13 + 200) & 255};
}

} // namespace texgen
