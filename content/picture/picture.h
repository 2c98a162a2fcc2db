// Pictures made from the show's editable sources (SVG drawings and texture
// programs), as 8-bit pixels ready for the HWL encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace picture {

struct Picture {
    int width = 0;
    int height = 0;
    int channels = 0;            // 3 R G B, or 4 R G B A (alpha not premultiplied)
    std::vector<uint8_t> pixels; // row-major, row 0 at the top
};

// Empty message on success; otherwise one line naming the file and the cause
// (for the picture list, one such line for each bad line).
struct PictureError {
    std::string message;

    bool ok() const { return message.empty(); }
    explicit operator bool() const { return !ok(); } // true when there is an error
};

// Texture sides are powers of two; the generator's limits serve for SVGs too.
constexpr int kMinSide = 2;
constexpr int kMaxSide = 4096;

bool isValidSide(int side);

} // namespace picture
