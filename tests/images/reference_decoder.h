// A deliberately plain decoder, written line by line from the format's
// definition with full-size buffers and unpacked streams; the library's
// decoder fuses and reorders these stages for speed. Decodes a well-formed
// file held in memory (grey: 1 byte a pixel; colour: blue, green, red, 0);
// false when the bytes are too short for what the header says.
#pragma once

#include <cstdint>
#include <vector>

namespace reference {
bool decode(const std::vector<uint8_t>& file, std::vector<uint8_t>& pixels);
} // namespace reference
