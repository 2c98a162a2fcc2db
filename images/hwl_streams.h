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

    // Tops the buffer up to at least 56 bits where the stream allows. A
    // whole 64-bit word is ORed in at once; its bytes beyond those counted
    // are the stream's own next bits, so ORing them in again later, at the
    // same place, changes nothing.
    void refill() {
        if (byteIndex + sizeof buffer <= byteCount) {
            uint64_t word;
            std::memcpy(&word, data + byteIndex, sizeof word);
            buffer |= word << available;
            const int bytes = (63 - available) >> 3;
            byteIndex += bytes;
            available += 8 * bytes;
            return;
        }
        while (available <= 56 && byteIndex < byteCount) {
            buffer |= uint64_t(data[byteIndex++]) << available;
            available += 8;
        }
    }

    uint32_t next() { return take(1); }

    // The next value when `count` is 1 (and consumes it), 0 when it is 0.
    uint32_t take(uint32_t count) {
        if (available < bits) refill();
        const uint32_t value = uint32_t(buffer & ((uint64_t(1) << bits) - 1u));
        const int used = bits * int(count);
        buffer >>= used;
        available -= used;
        return value & (0u - count);
    }
};

// Walks the symbols into `plane` (count coefficients) until the plane is full
// or the streams run out. A run cut at the plane's end writes only what fits;
// `coefficients` in the result still counts the run in full, so a caller can
// tell an overlong stream from an exact one. `from` resumes a walk.
template <typename Out, typename Symbols, typename Values>
ExpandResult walkSymbols(Out* plane, uint64_t count, Symbols& symbols, uint64_t symbolCount,
                         Values& values, uint64_t valueCount, int valueBits,
                         ExpandResult from = {}) {
    uint64_t i = from.symbolsUsed, k = from.valuesUsed, j = from.coefficients;
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

// The same walk into a plane that is already all zeros, so runs need not
// be written. While every symbol is sure to find its value and a run its
// second symbol, a zero or a coefficient costs no branch; the rest of the
// walk (the streams' last symbols) takes the careful path above.
template <typename Out>
ExpandResult walkSymbolsIntoZeros(Out* plane, uint64_t count, PackedSymbolReader& symbols,
                                  uint64_t symbolCount, PackedValueReader& values,
                                  uint64_t valueCount, int valueBits) {
    uint64_t i = 0, k = 0, j = 0;
    while (j < count && i + 2 <= symbolCount && k < valueCount) {
        const uint32_t symbol = symbols.next();
        if (symbol == kSymbolRun) {
            const uint64_t high = symbols.next();
            j += (high << valueBits) + values.next() + 1;
            i += 2;
            ++k;
            continue;
        }
        const uint32_t hasValue = symbol >> 1;         // 2 and 3 carry a magnitude
        const int32_t negative = -int32_t(symbol & 1); // all ones for 3
        const int32_t magnitude = int32_t(values.take(hasValue));
        plane[j++] = Out((magnitude ^ negative) - negative);
        ++i;
        k += hasValue;
    }
    return walkSymbols(plane, count, symbols, symbolCount, values, valueCount, valueBits,
                       ExpandResult{j, i, k});
}

} // namespace hwl
