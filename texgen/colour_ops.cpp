// Colour operators: remap the colours of src into dst. Each output pixel
// depends only on the same source pixel (the histogram operators count the
// whole source first), so dst may be src.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "texgen/clamped_store.h"
#include "texgen/helpers.h"
#include "texgen/layers.h"
#include "texgen/operators.h"

namespace texgen {

namespace {

constexpr int32_t kMaxChannel = 255;
constexpr int kChannelValues = 256;
constexpr double kSineHalfRange = 127.5; // (sin + 1) * 127.5 spans 0..255
constexpr float kMaxSaturation = 1.0f;

using Histogram = uint32_t[kBytesPerPixel][kChannelValues];
using ChannelTables = uint8_t[kBytesPerPixel][kChannelValues];

// dst channel c of every pixel := channel(source value, c).
template <typename Channel> void mapChannels(int src, int dst, Channel channel) {
    const uint8_t* in = layerData[src];
    uint8_t* out = layerData[dst];
    const int64_t bytes = layerByteCount();
    for (int64_t n = 0; n < bytes; n += kBytesPerPixel) {
        for (int c = 0; c < kBytesPerPixel; ++c) out[n + c] = channel(in[n + c], c);
    }
}

// Through HSV and back: `change` edits (h, s, v) of each source pixel; the
// saturation and value are then clamped, the hue is left to hsvToRgb.
template <typename Change> void mapHsv(int src, int dst, Change change) {
    const uint8_t* in = layerData[src];
    uint8_t* out = layerData[dst];
    const int64_t bytes = layerByteCount();
    for (int64_t n = 0; n < bytes; n += kBytesPerPixel) {
        float h = 0.0f, s = 0.0f, v = 0.0f;
        // Bytes are never NaN: their own largest and smallest are what
        // fmax and fmin would give.
        const uint8_t red = in[n], green = in[n + 1], blue = in[n + 2];
        rgbToHsvInRange(red, green, blue, std::max({red, green, blue}),
                        std::min({red, green, blue}), h, s, v);
        change(h, s, v);
        s = std::clamp(s, 0.0f, kMaxSaturation);
        v = std::clamp(v, 0.0f, static_cast<float>(kMaxChannel));
        float r = 0.0f, g = 0.0f, b = 0.0f;
        hsvToRgb(h, s, v, r, g, b);
        out[n] = static_cast<uint8_t>(truncToInt32(r));
        out[n + 1] = static_cast<uint8_t>(truncToInt32(g));
        out[n + 2] = static_cast<uint8_t>(truncToInt32(b));
    }
}

void countValues(int src, Histogram& counts) {
    std::fill(&counts[0][0], &counts[0][0] + kBytesPerPixel * kChannelValues, 0u);
    const uint8_t* in = layerData[src];
    const int64_t bytes = layerByteCount();
    for (int64_t n = 0; n < bytes; n += kBytesPerPixel) {
        for (int c = 0; c < kBytesPerPixel; ++c) ++counts[c][in[n + c]];
    }
}

// Cumulative table: acc starts at `start` and grows by count * step per value
// (single precision); each entry is acc rounded half to even, low 8 bits.
void cumulativeTable(const uint32_t* counts, float start, double step, uint8_t* table) {
    float acc = start;
    for (int value = 0; value < kChannelValues; ++value) {
        acc = static_cast<float>(acc + counts[value] * step);
        table[value] = static_cast<uint8_t>(truncToInt32(std::nearbyint(acc)));
    }
}

} // namespace

void scaleLayerRGB(int src, int dst, float redFactor, float greenFactor, float blueFactor) {
    const float factors[kBytesPerPixel] = {redFactor, greenFactor, blueFactor};
    mapChannels(src, dst, [&](uint8_t s, int c) {
        return clampedStore(static_cast<double>(s) * factors[c]);
    });
}

void scaleLayerHSV(int src, int dst, float hueFactor, float saturationFactor, float valueFactor) {
    mapHsv(src, dst, [=](float& h, float& s, float& v) {
        h *= hueFactor;
        s *= saturationFactor;
        v *= valueFactor;
    });
}

void adjustLayerRGB(int src, int dst, int32_t redOffset, int32_t greenOffset, int32_t blueOffset) {
    const int64_t offsets[kBytesPerPixel] = {redOffset, greenOffset, blueOffset};
    mapChannels(src, dst, [&](uint8_t s, int c) {
        return static_cast<uint8_t>(std::clamp<int64_t>(s + offsets[c], 0, kMaxChannel));
    });
}

void adjustLayerHSV(int src, int dst, float hueOffset, float saturationOffset, float valueOffset) {
    // A grey pixel has hue -1 and is shifted like any other hue.
    mapHsv(src, dst, [=](float& h, float& s, float& v) {
        h += hueOffset;
        s += saturationOffset;
        v += valueOffset;
    });
}

void sineLayerRGB(int src, int dst, float redFrequency, float greenFrequency, float blueFrequency) {
    const float f[kBytesPerPixel] = {static_cast<float>(redFrequency * std::numbers::pi),
                                     static_cast<float>(greenFrequency * std::numbers::pi),
                                     static_cast<float>(blueFrequency * std::numbers::pi)};
    // Each channel's result depends only on its byte: one table per channel.
    ChannelTables tables;
    for (int c = 0; c < kBytesPerPixel; ++c) {
        for (int s = 0; s < kChannelValues; ++s) {
            const double value = (std::sin(static_cast<double>(s) * f[c]) + 1.0) * kSineHalfRange;
            tables[c][s] = static_cast<uint8_t>(truncToInt32(value));
        }
    }
    mapChannels(src, dst, [&](uint8_t s, int c) { return tables[c][s]; });
}

void equalizeRGB(int src, int dst) {
    Histogram counts;
    countValues(src, counts);
    // The table includes each value's own count, so the highest occupied
    // value maps to 255. W*H is a power of two, so k is exact.
    const double k = kMaxChannel / (static_cast<double>(layerWidth) * layerHeight);
    ChannelTables tables;
    for (int c = 0; c < kBytesPerPixel; ++c) cumulativeTable(counts[c], 0.0f, k, tables[c]);
    mapChannels(src, dst, [&](uint8_t s, int c) { return tables[c][s]; });
}

void stretchRGB(int src, int dst) {
    Histogram counts;
    countValues(src, counts);
    ChannelTables tables;
    for (int c = 0; c < kBytesPerPixel; ++c) {
        // Equalise within the occupied range lo..hi instead of 0..255.
        int lo = 0;
        while (lo < kMaxChannel && counts[c][lo] == 0) ++lo;
        int hi = kMaxChannel;
        while (hi > 0 && counts[c][hi] == 0) --hi;
        const double scale = (hi - lo) / (static_cast<double>(layerWidth) * layerHeight);
        cumulativeTable(counts[c], static_cast<float>(lo), scale, tables[c]);
    }
    mapChannels(src, dst, [&](uint8_t s, int c) { return tables[c][s]; });
}

void invertLayer(int src, int dst) {
    mapChannels(src, dst, [](uint8_t s, int) { return static_cast<uint8_t>(kMaxChannel - s); });
}

} // namespace texgen
