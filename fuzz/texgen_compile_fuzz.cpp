// Fuzz target: any bytes as a texture program. Compiling must give a
// description or an error, never crash; a program that compiles prints as
// text that compiles back to the same description.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "texgen/layers.h"
#include "texgen/text_compile.h"
#include "texgen/text_export.h"

namespace {

std::vector<uint8_t> encoded(const texgen::TextureDescription& description) {
    std::vector<uint8_t> bytes(texgen::kDescriptionBytes);
    texgen::encodeDescription(description, bytes.data());
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view source(reinterpret_cast<const char*>(data), size);
    auto description = std::make_unique<texgen::TextureDescription>();
    if (texgen::compileDescription(source, *description)) return 0;
    auto again = std::make_unique<texgen::TextureDescription>();
    if (texgen::compileDescription(texgen::descriptionToText(*description), *again) ||
        encoded(*again) != encoded(*description))
        std::abort();
    return 0;
}
