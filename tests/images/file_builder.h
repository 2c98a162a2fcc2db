// Builds HWL files by hand for tests: header fields, tables, and streams
// given as unpacked symbols and values, packed here independently of the
// library's writers.
#pragma once

#include <cstdint>
#include <cstring>
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

    static void put16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
        out[at] = uint8_t(v);
        out[at + 1] = uint8_t(v >> 8);
    }
    static void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
    }

    std::vector<uint8_t> build() const {
        std::vector<uint8_t> out(36, 0);
        std::memcpy(out.data(), "HWL", 3);
        put16(out, 3, width);
        put16(out, 5, height);
        out[7] = uint8_t(bitsPerPixel);
        out[8] = uint8_t(levels);
        for (size_t p = 0; p < planes.size(); ++p) {
            put32(out, 9 + 4 * p, uint32_t(planes[p].symbols.size()));
            put32(out, 21 + 4 * p, uint32_t(planes[p].values.size()));
            out[33 + p] = uint8_t(planes[p].bits);
        }
        for (const PlaneStreams& plane : planes) {
            for (double d : plane.table) {
                uint8_t bytes[8];
                std::memcpy(bytes, &d, 8);
                out.insert(out.end(), bytes, bytes + 8);
            }
        }
        for (const PlaneStreams& plane : planes) {
            std::vector<uint8_t> packed((plane.symbols.size() + 3) / 4, 0);
            for (size_t i = 0; i < plane.symbols.size(); ++i)
                packed[i / 4] |= uint8_t((plane.symbols[i] & 3) << (2 * (i % 4)));
            out.insert(out.end(), packed.begin(), packed.end());
            std::vector<uint8_t> values((plane.values.size() * plane.bits + 7) / 8, 0);
            for (size_t i = 0; i < plane.values.size(); ++i)
                for (int k = 0; k < plane.bits; ++k)
                    if (plane.values[i] >> k & 1) {
                        const size_t bit = i * plane.bits + k;
                        values[bit / 8] |= uint8_t(1 << (bit % 8));
                    }
            out.insert(out.end(), values.begin(), values.end());
        }
        return out;
    }
};
