#include "content/makeshow/makeshow_hash.h"

#include <cstdio>
#include <cstring>

void ContentHash::addBytes(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
        value ^= bytes[i];
        value *= kPrime;
    }
}

void ContentHash::addField(std::string_view text) {
    addNumber(int64_t(text.size()));
    addBytes(text.data(), text.size());
}

void ContentHash::addNumber(int64_t number) {
    uint8_t bytes[sizeof number];
    for (size_t i = 0; i < sizeof number; ++i) bytes[i] = uint8_t(uint64_t(number) >> (8 * i));
    addBytes(bytes, sizeof bytes);
}

void ContentHash::addNumber(double number) {
    int64_t bits = 0;
    std::memcpy(&bits, &number, sizeof bits);
    addNumber(bits);
}

uint64_t hashBytes(const std::vector<uint8_t>& bytes) {
    ContentHash hash;
    hash.addBytes(bytes.data(), bytes.size());
    return hash.value;
}

std::string hashText(uint64_t hash) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

bool parseHashText(std::string_view text, uint64_t& hash) {
    constexpr size_t kDigits = 16;
    if (text.size() != kDigits) return false;
    uint64_t value = 0;
    for (char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        value = value << 4 | uint64_t(digit);
    }
    hash = value;
    return true;
}
