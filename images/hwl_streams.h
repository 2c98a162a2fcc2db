// Readers of the two coefficient streams and the symbol walk that turns
// them into coefficients. Shared by the decoder's public stages (unpacked
// streams, one symbol or value per byte) and its fast path (streams read
// straight from the packed file bytes).
#pragma once

#include <algorithm>
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

    uint32_t next() {
        if (available < bits) refill();
        const uint32_t value = uint32_t(buffer & ((uint64_t(1) << bits) - 1u));
        buffer >>= bits;
        available -= bits;
        return value;
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

// The same walk from the packed streams into a plane that is already all
// zeros, so runs need not be written. Far from the streams' ends, symbols
// and values are read at their bit positions with whole-word loads and a
// zero or a coefficient costs no branch; the streams' last words take the
// careful path above.
template <typename Out>
ExpandResult walkPackedIntoZeros(Out* plane, uint64_t count, const uint8_t* symbolBytes,
                                 uint64_t symbolCount, const uint8_t* valueBytes,
                                 uint64_t valueCount, int valueBits) {
    constexpr uint64_t kWord = sizeof(uint64_t);
    const uint64_t symbolByteCount = symbolStreamBytes(symbolCount);
    const uint64_t valueByteCount = valueStreamBytes(valueCount, valueBits);
    auto load = [](const uint8_t* at) {
        uint64_t word;
        std::memcpy(&word, at, sizeof word);
        return word;
    };
    // Symbols i and i + 1, and value k, lie within a whole word of their streams.
    const uint64_t symbolLimit =
        symbolByteCount >= kWord ? std::min(symbolCount - 1, (symbolByteCount - kWord) * 4) : 0;
    const uint64_t valueLimit =
        valueBits > 0 && valueByteCount >= kWord
            ? std::min(valueCount, (valueByteCount - kWord) * 8 / uint64_t(valueBits))
            : 0;
    const uint64_t mask = (uint64_t(1) << valueBits) - 1u;
    uint64_t i = 0, k = 0, j = 0;
    while (j < count && i < symbolLimit && k < valueLimit) {
        const uint64_t symbols = load(symbolBytes + i / 4) >> (2 * (i % 4));
        const uint64_t bit = k * uint64_t(valueBits);
        const uint32_t value = uint32_t((load(valueBytes + bit / 8) >> (bit % 8)) & mask);
        const uint32_t symbol = uint32_t(symbols & 3u);
        if (symbol == kSymbolRun) {
            j += ((symbols >> 2 & 3u) << valueBits) + value + 1;
            i += 2;
            ++k;
            continue;
        }
        const uint32_t hasValue = symbol >> 1;         // 2 and 3 carry a magnitude
        const int32_t negative = -int32_t(symbol & 1); // all ones for 3
        const int32_t magnitude = int32_t(value & (0u - hasValue));
        plane[j++] = Out((magnitude ^ negative) - negative);
        ++i;
        k += hasValue;
    }
    PackedSymbolReader symbolReader{symbolBytes, symbolByteCount, i / 4};
    for (uint64_t skip = i % 4; skip > 0; --skip) symbolReader.next();
    const uint64_t bit = k * uint64_t(valueBits);
    PackedValueReader valueReader{valueBytes, valueByteCount, valueBits, bit / 8};
    if (bit % 8) {
        valueReader.buffer = valueBytes[valueReader.byteIndex++] >> (bit % 8);
        valueReader.available = int(8 - bit % 8);
    }
    return walkSymbols(plane, count, symbolReader, symbolCount, valueReader, valueCount, valueBits,
                       ExpandResult{j, i, k});
}

} // namespace hwl
