// Script numbers: the integer syntax of every numeric field of the script.
#include <cstdint>
#include <string_view>

#include "sequencing/script.h"

namespace {

constexpr uint64_t kMaxDecimalMagnitude = 2147483647; // one more is allowed with "-"
constexpr uint64_t kMaxBitPattern = 0xFFFFFFFF;       // other bases use all 32 bits

// Value of `c` as a digit, or a value >= any base when it is not a digit.
uint32_t digitValue(char c) {
    constexpr uint32_t kNotADigit = 99;
    if (c >= '0' && c <= '9') return uint32_t(c - '0');
    if (c >= 'a' && c <= 'f') return uint32_t(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return uint32_t(c - 'A' + 10);
    return kNotADigit;
}

uint32_t basePrefix(char c) {
    switch (c) {
    case '$':
        return 16;
    case '%':
        return 2;
    case '&':
        return 8;
    default:
        return 0;
    }
}

} // namespace

bool parseScriptNumber(std::string_view text, int32_t& value) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint32_t base = 10;
    if (i < text.size() && basePrefix(text[i]) != 0) base = basePrefix(text[i++]);
    if (i == text.size()) return false; // no digits at all

    const uint64_t limit = base != 10 ? kMaxBitPattern : kMaxDecimalMagnitude + (negative ? 1 : 0);
    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const uint32_t digit = digitValue(text[i]);
        if (digit >= base) return false;
        magnitude = magnitude * base + digit;
        if (magnitude > limit) return false;
    }
    // Two's complement: "$FFFFFFFF" is -1, "-$1" is -1, "-2147483648" is itself.
    uint32_t bits = uint32_t(magnitude);
    if (negative) bits = 0u - bits;
    value = int32_t(bits);
    return true;
}
