// Builds HWL files by hand for tests: header fields, tables, and streams
// given as unpacked symbols and values, packed here independently of the
// library's writers. Also the tests' picture and temporary files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

struct PlaneStreams {
    std::vector<double> table;
    std::vector<uint8_t> symbols;
    std::vector<uint32_t> values;
    int bits = 8;
};

struct FileBuilder {
    int width = 2, height = 2, bitsPerPixel = 8, levels = 0;
    std::vector<PlaneStreams> planes;

    static void put(std::vector<uint8_t>& out, size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out[at + i] = uint8_t(v >> (8 * i));
    }

    std::vector<uint8_t> build() const {
        std::vector<uint8_t> out(36, 0);
        std::memcpy(out.data(), "HWL", 3);
        put(out, 3, width, 2);
        put(out, 5, height, 2);
        out[7] = uint8_t(bitsPerPixel);
        out[8] = uint8_t(levels);
        for (size_t p = 0; p < planes.size(); ++p) {
            put(out, 9 + 4 * p, uint32_t(planes[p].symbols.size()), 4);
            put(out, 21 + 4 * p, uint32_t(planes[p].values.size()), 4);
            out[33 + p] = uint8_t(planes[p].bits);
        }
        for (const PlaneStreams& plane : planes) {
            const auto* table = reinterpret_cast<const uint8_t*>(plane.table.data());
            out.insert(out.end(), table, table + 8 * plane.table.size());
        }
        for (const PlaneStreams& plane : planes) {
            std::vector<uint8_t> packed((plane.symbols.size() + 3) / 4, 0);
            for (size_t i = 0; i < plane.symbols.size(); ++i)
                packed[i / 4] |= uint8_t((plane.symbols[i] & 3) << (2 * (i % 4)));
            out.insert(out.end(), packed.begin(), packed.end());
            std::vector<uint8_t> values((plane.values.size() * plane.bits + 7) / 8, 0);
            for (size_t bit = 0; bit < plane.values.size() * plane.bits; ++bit)
                values[bit / 8] |=
                    uint8_t((plane.values[bit / plane.bits] >> bit % plane.bits & 1) << bit % 8);
            out.insert(out.end(), values.begin(), values.end());
        }
        return out;
    }
};

// Interleaved R, G, B like a photograph: shading, a diagonal edge, noise.
inline std::vector<uint8_t> picture(int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double shade = 110 + 70 * std::sin(x * 0.11) * std::cos(y * 0.05);
            const double edge = x > y ? 50 : -30, noise = int(rng() % 11) - 5;
            uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            p[0] = uint8_t(std::clamp(shade + edge + noise, 0.0, 255.0));
            p[1] = uint8_t(std::clamp(shade * 0.7 + noise, 0.0, 255.0));
            p[2] = uint8_t(std::clamp(230 - shade + edge * 0.4, 0.0, 255.0));
        }
    return rgb;
}

inline std::string writeTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = testing::TempDir() + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}
