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

// The walk reads both streams strictly in order, so the readers are
// sequential: next() returns the following symbol or value.

// One symbol or value per byte, as the public stages pass them.
struct UnpackedReader {
    const uint8_t* data;
    uint32_t next() { return *data++; }
};

// 2-bit symbols, four per byte, the first in bits 0-1. Reads whole 64-bit
// words while they lie inside the stream, single bytes at its end.
struct PackedSymbolReader {
    const uint8_t* data;
    uint64_t byteCount;
    uint64_t byteIndex = 0;
    uint64_t buffer = 0;
    int available = 0; // symbols left in the buffer

    uint32_t next() {
        if (available == 0) {
            if (byteIndex + sizeof buffer <= byteCount) {
                std::memcpy(&buffer, data + byteIndex, sizeof buffer);
                byteIndex += sizeof buffer;
                available = 4 * sizeof buffer;
            } else {
                buffer = data[byteIndex++];
                available = 4;
            }
        }
        const uint32_t symbol = uint32_t(buffer & 3u);
        buffer >>= 2;
        --available;
        return symbol;
    }
};

// b-bit values, least significant bit first; a value may straddle bytes.
// Never reads past `byteCount`.
struct PackedValueReader {
    const uint8_t* data;
    uint64_t byteCount;
    int bits;
    uint64_t byteIndex = 0;
    uint64_t buffer = 0;
    int available = 0; // bits left in the buffer

    uint32_t next() {
        if (available < bits) {
            while (available <= 56 && byteIndex < byteCount) {
                buffer |= uint64_t(data[byteIndex++]) << available;
                available += 8;
            }
        }
        const uint32_t value = uint32_t(buffer & ((uint64_t(1) << bits) - 1u));
        buffer >>= bits;
        available -= bits;
        return value;
    }
};

// Walks the symbols into `plane` (count coefficients) until the plane is full
// or the streams run out. A run cut at the plane's end writes only what fits;
// `coefficients` in the result still counts the run in full, so a caller can
// tell an overlong stream from an exact one.
template <typename Out, typename Symbols, typename Values>
ExpandResult walkSymbols(Out* plane, uint64_t count, Symbols& symbols, uint64_t symbolCount,
                         Values& values, uint64_t valueCount, int valueBits) {
    uint64_t i = 0, k = 0, j = 0;
    while (j < count && i < symbolCount) {
        const uint32_t symbol = symbols.next();
        if (symbol == kSymbolZero) {
            plane[j++] = Out(0);
            ++i;
            continue;
        }
        if (k >= valueCount) break; // the symbol needs a value and none is left
        if (symbol == kSymbolRun) {
            if (i + 1 >= symbolCount) break; // the run's high part is missing
            const uint64_t high = symbols.next();
            const uint64_t zeros = (high << valueBits) + values.next() + 1;
            const uint64_t end = (zeros > count - j) ? count : j + zeros;
            std::memset(static_cast<void*>(plane + j), 0, (end - j) * sizeof(Out));
            j += zeros;
            i += 2;
            ++k;
            continue;
        }
        const int32_t magnitude = static_cast<int32_t>(values.next());
        ++k;
        plane[j++] = Out(symbol == kSymbolPositive ? magnitude : -magnitude);
        ++i;
    }
    return ExpandResult{j, i, k};
}

} // namespace hwl
