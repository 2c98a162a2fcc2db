// Content hashes for makeshow's up-to-date test: a 64-bit FNV-1a over the
// bytes that decide an output (its sources, its settings, the tool itself).
// Not a cryptographic hash: it only has to notice edits, not resist them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ContentHash {
    static constexpr uint64_t kOffsetBasis = 0xcbf29ce484222325u;
    static constexpr uint64_t kPrime = 0x100000001b3u;

    uint64_t value = kOffsetBasis;

    void addBytes(const void* data, size_t size);
    // Each field is length-prefixed, so ("ab", "c") and ("a", "bc") differ.
    void addField(std::string_view text);
    void addNumber(int64_t number);
    void addNumber(double number);
};

// Hash of a byte string on its own.
uint64_t hashBytes(const std::vector<uint8_t>& bytes);

// 16 lower-case hexadecimal digits, and back (false on anything else).
std::string hashText(uint64_t hash);
bool parseHashText(std::string_view text, uint64_t& hash);
