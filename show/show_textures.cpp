#include "show/show_textures.h"

#include <algorithm>

#include "images/hwl_format.h"
#include "show/show_state.h"

namespace {

// The show's twenty pictures, by TextureIndex: these load into `textures`,
// where the rest of the engine finds them.
constexpr const char* kShowPictureFiles[kTextureCount] = {
    "data/quopple1.hwl", "data/vesk1.hwl",    "data/ombrit1.hwl", "data/quopple2.hwl",
    "data/ombrit2.hwl",  "data/vesk2.hwl",    "data/ppl1.hwl",    "data/ppl2.hwl",
    "data/ppl3.hwl",     "data/grass.hwl",    "data/bplogo.hwl",  "data/standup.hwl",
    "data/sucks.hwl",    "data/whoops.hwl",   "data/move.hwl",    "data/love.hwl",
    "data/seeyou.hwl",   "data/speakers.hwl", "data/floor.hwl",   "data/background.hwl",
};

// OpenGL keeps an opaque picture as RGB, one with an alpha as RGBA.
constexpr int32_t kOpaqueComponents = 3;
constexpr int32_t kAlphaComponents = 4;

struct LoadedPicture {
    scenes::PictureEntry entry;
    Texture* texture = nullptr;
    std::unique_ptr<Texture> own; // null while `textures` holds it
};

// Every picture loaded since the show started, in loading order; the render
// thread's alone. Nothing leaves before the show ends: a set restored after
// a failed reload still draws with its pictures.
std::vector<LoadedPicture> loadedPictures;

bool samePicture(const scenes::PictureEntry& a, const scenes::PictureEntry& b) {
    return a.file == b.file && a.alpha == b.alpha && a.mipmap == b.mipmap;
}

// The slot of `textures` a file loads into; -1 for a picture of its own.
int showSlot(const std::string& file) {
    for (int i = 0; i < kTextureCount; ++i) {
        if (file == kShowPictureFiles[i]) return i;
    }
    return -1;
}

using Opener = TextureResult (*)(const std::string& fileName, int32_t components, bool mipmapped);

// The picture with its alpha as the set lists it, opened by `open` (with or
// without OpenGL).
ShowError readPicture(const scenes::PictureEntry& picture, Opener open,
                      std::unique_ptr<Texture>& result) {
    const int32_t components =
        picture.alpha == scenes::Alpha::None ? kOpaqueComponents : kAlphaComponents;
    TextureResult colour = open(picture.file, components, picture.mipmap);
    if (!colour.ok()) return ShowError{colour.module, colour.message, ""};
    Texture& texture = *colour.texture;
    if (picture.alpha == scenes::Alpha::Companion) {
        TextureResult mask = open(hwl::alphaCompanionName(picture.file), kAlphaComponents, false);
        if (!mask.ok()) return ShowError{mask.module, mask.message, ""};
        setAlpha(texture.image, 255);
        if (!copyAlpha(texture.image, mask.texture->image)) {
            return ShowError{kTextureModule, kTextureLoadFailed,
                             picture.file + ": the alpha companion differs in size"};
        }
    } else if (picture.alpha == scenes::Alpha::Blue) {
        setAlpha(texture.image, 255);
        copyAlpha(texture.image, texture.image);
    }
    result = std::move(colour.texture);
    return {};
}

} // namespace

ShowError loadShowPicture(const scenes::PictureEntry& picture) {
    if (showPicture(picture)) return {};
    std::unique_ptr<Texture> texture;
    if (ShowError error = readPicture(picture, createTexture, texture)) return error;
    // The alpha changed the pixels after the first upload.
    if (picture.alpha != scenes::Alpha::None) texture->upload();
    LoadedPicture loaded{picture, texture.get(), nullptr};
    if (const int slot = showSlot(picture.file); slot < 0) {
        loaded.own = std::move(texture);
    } else {
        for (LoadedPicture& other : loadedPictures) {
            if (!other.own && other.texture == textures[size_t(slot)].get())
                other.own = std::move(textures[size_t(slot)]);
        }
        textures[size_t(slot)] = std::move(texture);
    }
    loadedPictures.push_back(std::move(loaded));
    return {};
}

ShowError decodeShowPicture(const scenes::PictureEntry& picture,
                            std::unique_ptr<Texture>& texture) {
    return readPicture(picture, decodeTexture, texture);
}

Texture* showPicture(const scenes::PictureEntry& picture) {
    const auto found = std::find_if(
        loadedPictures.begin(), loadedPictures.end(),
        [&](const LoadedPicture& loaded) { return samePicture(loaded.entry, picture); });
    return found == loadedPictures.end() ? nullptr : found->texture;
}

std::vector<scenes::PictureEntry> showPicturesFor(const std::string& file) {
    std::vector<scenes::PictureEntry> pictures;
    for (const LoadedPicture& loaded : loadedPictures) {
        const scenes::PictureEntry& entry = loaded.entry;
        if (file == entry.file || (entry.alpha == scenes::Alpha::Companion &&
                                   file == hwl::alphaCompanionName(entry.file)))
            pictures.push_back(entry);
    }
    return pictures;
}

std::string pictureProblem(const std::string& file, const ShowError& error) {
    const std::string named = file + ": ";
    if (error.detail.starts_with(named)) return error.detail;
    const std::string lead = std::string(kTextureLoadFailed) + " (";
    std::string cause = error.message;
    if (cause.starts_with(lead) && cause.ends_with(")"))
        cause = cause.substr(lead.size(), cause.size() - lead.size() - 1);
    return cause.starts_with(named) ? cause : named + cause;
}

void releaseShowPictures() {
    loadedPictures.clear();
    for (auto& texture : textures) texture.reset();
}
