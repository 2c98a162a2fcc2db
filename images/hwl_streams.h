// Readers of the two coefficient streams and the symbol walk that turns
// them into coefficients. Shared by the decoder's public stages (unpacked
// streams, one symbol or value per byte) and its fast path (streams read
// straight from the packed file bytes).
#pragma once

#include <cstdint>
#include <cstring>

#include "images/hwl_format.h"

namespace hwl {

// What a symbol walk consumed; a valid plane uses every symbol and value and
// produces exactly W*H coefficients.
struct ExpandResult {
    uint64_t coefficients = 0; // coefficients produced (runs counted in full)
    uint64_t symbolsUsed = 0;
    uint64_t valuesUsed = 0;
};

// One symbol or value per byte, as the public stages pass them.
struct UnpackedStream {
    const uint8_t* data;
    uint32_t get(uint64_t index) const { return data[index]; }
};

// 2-bit symbols, four per byte, the first in bits 0-1.
struct PackedSymbols {
    const uint8_t* data;
    uint32_t get(uint64_t index) const { return (data[index >> 2] >> ((index & 3) * 2)) & 3u; }
};

// b-bit values, least significant bit first; a value may straddle two bytes.
// `byteCount` bounds the reads: the last value never touches the byte after.
struct PackedValues {
    const uint8_t* data;
    uint64_t byteCount;
    int bits;
    uint32_t get(uint64_t index) const {
        if (bits == 0) return 0;
        const uint64_t position = index * static_cast<uint64_t>(bits);
        const uint64_t byte = position >> 3;
        uint32_t window = data[byte];
        if (byte + 1 < byteCount) window |= uint32_t(data[byte + 1]) << 8;
        return (window >> (position & 7)) & ((1u << bits) - 1u);
    }
};

// Walks the symbols into `plane` (count coefficients) until the plane is full
// or the streams run out. A run cut at the plane's end writes only what fits;
// `coefficients` in the result still counts the run in full, so a caller can
// tell an overlong stream from an exact one.
template <typename Out, typename Symbols, typename Values>
ExpandResult walkSymbols(Out* plane, uint64_t count, Symbols symbols, uint64_t symbolCount,
                         Values values, uint64_t valueCount, int valueBits) {
    uint64_t i = 0, k = 0, j = 0;
    while (j < count && i < symbolCount) {
        const uint32_t symbol = symbols.get(i);
        if (symbol == kSymbolZero) {
            plane[j++] = Out(0);
            ++i;
            continue;
        }
        if (k >= valueCount) break; // the symbol needs a value and none is left
        if (symbol == kSymbolRun) {
            if (i + 1 >= symbolCount) break; // the run's high part is missing
            const uint64_t high = symbols.get(i + 1);
            const uint64_t zeros = (high << valueBits) + values.get(k) + 1;
            const uint64_t end = (zeros > count - j) ? count : j + zeros;
            std::memset(static_cast<void*>(plane + j), 0, (end - j) * sizeof(Out));
            j += zeros;
            i += 2;
            ++k;
            continue;
        }
        const int32_t magnitude = static_cast<int32_t>(values.get(k++));
        plane[j++] = Out(symbol == kSymbolPositive ? magnitude : -magnitude);
        ++i;
    }
    return ExpandResult{j, i, k};
}

} // namespace hwl
