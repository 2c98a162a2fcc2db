#include "show/show_textures.h"

#include "images/hwl_format.h"
#include "show/show_state.h"

namespace {

enum class AlphaSource {
    None,      // plain: the picture as it is
    Companion, // alpha from the "_alpha" file's blue channel
    OwnBlue,   // alpha from the picture's own blue channel
};

struct TextureEntry {
    const char* file;
    AlphaSource alpha;
    int32_t components;
    bool mipmapped;
};

// In loading order; the index is TextureIndex.
constexpr TextureEntry kTextureTable[kTextureCount] = {
    {"data/quopple1.hwl", AlphaSource::Companion, 4, false},
    {"data/vesk1.hwl", AlphaSource::Companion, 4, false},
    {"data/ombrit1.hwl", AlphaSource::Companion, 4, false},
    {"data/quopple2.hwl", AlphaSource::Companion, 4, false},
    {"data/ombrit2.hwl", AlphaSource::Companion, 4, false},
    {"data/vesk2.hwl", AlphaSource::Companion, 4, false},
    {"data/ppl1.hwl", AlphaSource::Companion, 4, false},
    {"data/ppl2.hwl", AlphaSource::Companion, 4, false},
    {"data/ppl3.hwl", AlphaSource::Companion, 4, false},
    {"data/grass.hwl", AlphaSource::Companion, 4, false},
    {"data/bplogo.hwl", AlphaSource::OwnBlue, 4, false},
    {"data/standup.hwl", AlphaSource::OwnBlue, 4, false},
    {"data/sucks.hwl", AlphaSource::OwnBlue, 4, false},
    {"data/whoops.hwl", AlphaSource::OwnBlue, 4, false},
    {"data/move.hwl", AlphaSource::OwnBlue, 4, false},
    {"data/love.hwl", AlphaSource::OwnBlue, 4, false},
    {"data/seeyou.hwl", AlphaSource::OwnBlue, 4, false},
    {"data/speakers.hwl", AlphaSource::Companion, 4, false},
    {"data/floor.hwl", AlphaSource::None, 3, true},
    {"data/background.hwl", AlphaSource::None, 3, false},
};

using Opener = TextureResult (*)(const std::string& fileName, int32_t components, bool mipmapped);

ShowError textureFailure(std::string message, std::string detail = "") {
    return ShowError{kTextureModule, std::move(message), std::move(detail)};
}

// The picture with its alpha as the table says, opened by `open` (with or
// without OpenGL).
ShowError readTexture(int index, Opener open, std::unique_ptr<Texture>& result) {
    const TextureEntry& entry = kTextureTable[index];
    TextureResult colour = open(entry.file, entry.components, entry.mipmapped);
    if (!colour.ok()) return ShowError{colour.module, colour.message, ""};
    Texture& texture = *colour.texture;
    if (entry.alpha == AlphaSource::Companion) {
        TextureResult mask = open(hwl::alphaCompanionName(entry.file), 4, false);
        if (!mask.ok()) return ShowError{mask.module, mask.message, ""};
        setAlpha(texture.image, 255);
        if (!copyAlpha(texture.image, mask.texture->image)) {
            return textureFailure(kTextureLoadFailed, std::string(entry.file) +
                                                          ": the alpha companion differs in size");
        }
    } else if (entry.alpha == AlphaSource::OwnBlue) {
        setAlpha(texture.image, 255);
        copyAlpha(texture.image, texture.image);
    }
    result = std::move(colour.texture);
    return {};
}

} // namespace

ShowError loadShowTexture(int index) {
    std::unique_ptr<Texture> texture;
    if (ShowError error = readTexture(index, createTexture, texture)) return error;
    // The alpha changed the pixels after the first upload.
    if (kTextureTable[index].alpha != AlphaSource::None) texture->upload();
    textures[index] = std::move(texture);
    return {};
}

ShowError decodeShowTexture(int index, std::unique_ptr<Texture>& texture) {
    return readTexture(index, decodeTexture, texture);
}

int showTextureFor(const std::string& file) {
    for (int i = 0; i < kTextureCount; ++i) {
        const std::string picture = kTextureTable[i].file;
        if (file == picture || file == hwl::alphaCompanionName(picture)) return i;
    }
    return -1;
}
