#include "content/picture/texgen_render.h"

#include <fstream>
#include <memory>
#include <sstream>

#include "texgen/layers.h"
#include "texgen/text_compile.h"

namespace picture {

namespace {

constexpr int kRgbChannels = 3;

PictureError failure(const std::string& fileName, const std::string& cause) {
    return {fileName + ": " + cause};
}

} // namespace

PictureError renderTexgenProgram(const std::string& fileName, int width, int height, Picture& out) {
    if (!texgen::isValidLayerSize(width) || !texgen::isValidLayerSize(height)) {
        return failure(fileName, "size " + std::to_string(width) + "x" + std::to_string(height) +
                                     " is not a power of two from 2 to 4096 each way");
    }
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return failure(fileName, "cannot open the texture program");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return failure(fileName, "cannot read the texture program");

    // The lists are large (22 KB); keep them off the stack.
    auto description = std::make_unique<texgen::TextureDescription>();
    if (auto error = texgen::compileDescription(text.str(), *description)) {
        return failure(fileName, texgen::formatCompileError(*error));
    }
    std::vector<uint32_t> words(size_t(width) * height);
    const texgen::Status status =
        texgen::renderDescription(*description, width, height, words.data());
    if (!status.ok()) return failure(fileName, status.message);

    out.width = width;
    out.height = height;
    out.channels = kRgbChannels;
    out.pixels.resize(words.size() * kRgbChannels);
    for (size_t p = 0; p < words.size(); ++p) {
        out.pixels[kRgbChannels * p] = uint8_t(words[p] >> 16);
        out.pixels[kRgbChannels * p + 1] = uint8_t(words[p] >> 8);
        out.pixels[kRgbChannels * p + 2] = uint8_t(words[p]);
    }
    return {};
}

} // namespace picture
