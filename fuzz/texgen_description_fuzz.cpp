// Fuzz target: any bytes as a texture description file (short input is
// padded with zeros). Validation must refuse every description that cannot
// run; a valid one must render at a small size without touching memory
// outside the layers, and print as text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "texgen/layers.h"
#include "texgen/text_export.h"
#include "texgen/validate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr int32_t kSide = 16;
    std::vector<uint8_t> bytes(texgen::kDescriptionBytes, 0);
    std::copy_n(data, std::min(size, bytes.size()), bytes.begin());
    auto description = std::make_unique<texgen::TextureDescription>();
    texgen::decodeDescription(bytes.data(), *description);
    if (!texgen::validateDescription(*description).ok()) return 0;
    (void)texgen::descriptionToText(*description);
    std::vector<uint32_t> pixels(kSide * kSide);
    (void)texgen::renderDescription(*description, kSide, kSide, pixels.data());
    return 0;
}
