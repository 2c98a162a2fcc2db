// Ogg pages carry a stream serial number that the encoder library picks at
// random each run. Rewriting it to a fixed value (and each page's checksum
// with it) makes the same track give the same file, byte for byte.
#include "content/synth/ogg_pages.h"

#include <array>
#include <cstring>
#include <fstream>
#include <iterator>

namespace synth {

namespace {

constexpr size_t kHeaderBytes = 27;
constexpr size_t kSerialOffset = 14;
constexpr size_t kChecksumOffset = 22;
constexpr size_t kSegmentCountOffset = 26;
constexpr uint32_t kPolynomial = 0x04C11DB7u; // Ogg's CRC-32: not reflected, starts at 0

std::array<uint32_t, 256> crcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t value = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            value = value & 0x80000000u ? (value << 1) ^ kPolynomial : value << 1;
        table[i] = value;
    }
    return table;
}

uint32_t pageChecksum(const uint8_t* page, size_t size) {
    static const std::array<uint32_t, 256> table = crcTable();
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i) crc = (crc << 8) ^ table[((crc >> 24) ^ page[i]) & 0xFF];
    return crc;
}

void putLittleEndian(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

} // namespace

bool setOggSerial(std::vector<uint8_t>& bytes, uint32_t serial) {
    size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < kHeaderBytes || std::memcmp(&bytes[at], "OggS", 4) != 0)
            return false;
        const size_t segments = bytes[at + kSegmentCountOffset];
        if (bytes.size() - at < kHeaderBytes + segments) return false;
        size_t size = kHeaderBytes + segments;
        for (size_t s = 0; s < segments; ++s) size += bytes[at + kHeaderBytes + s];
        if (bytes.size() - at < size) return false;
        uint8_t* page = &bytes[at];
        putLittleEndian(page + kSerialOffset, serial);
        putLittleEndian(page + kChecksumOffset, 0);
        putLittleEndian(page + kChecksumOffset, pageChecksum(page, size));
        at += size;
    }
    return true;
}

std::string setOggFileSerial(const std::string& path, uint32_t serial) {
    std::vector<uint8_t> bytes;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) return path + ": cannot read the file back";
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (!setOggSerial(bytes, serial)) return path + ": not a sequence of Ogg pages";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) return path + ": cannot write the file";
    return "";
}

} // namespace synth
