// A deliberately plain decoder, written line by line from the format's
// definition with full-size buffers and unpacked streams. The library's
// decoder fuses and reorders these stages for speed; tests hold the two to
// identical bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace reference {

// Decodes a well-formed file held in memory. Returns false when the bytes
// are too short for what the header says. Grey: 1 byte a pixel; colour:
// blue, green, red, 0.
bool decode(const std::vector<uint8_t>& file, std::vector<uint8_t>& pixels);

} // namespace reference
