// Textures: an HWL picture kept as 4-byte pixels and uploaded to OpenGL.
//
//   TextureResult colour = createTexture("data/grass.hwl", 4, false);
//   if (!colour.ok()) fatalError(colour.module, colour.message);
//   TextureResult mask = createTexture("data/grass_alpha.hwl", 4, false);
//   ...
//   setAlpha(colour.texture->image, 255);
//   copyAlpha(colour.texture->image, mask.texture->image); // alpha := mask's blue
//   colour.texture->upload();                              // changes show after this
//   mask.texture.reset();                                  // deletes its GL texture
//   glBindTexture(GL_TEXTURE_2D, colour.texture->textureName);
//
// Needs a current OpenGL context. Never reports errors itself: a failed load
// returns the module and message the show reports.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "images/hwl_format.h"

inline constexpr const char* kTextureModule = "kglTexture";
inline constexpr const char* kTextureLoadFailed = "Could not load Texture";
inline constexpr int32_t kTextureBytesPerPixel = 4;

// The pixels and their geometry; the alpha operations take it by value and
// change only the bytes it points to, never the OpenGL texture.
struct TextureImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t components = 0;    // how OpenGL stores it: 3 (RGB, alpha dropped) or 4 (RGBA)
    std::span<uint8_t> pixels; // blue, green, red, alpha; row-major, row 0 first
};

struct Texture {
    hwl::HwlHeader header{}; // as read from the file
    bool mipmapped = false;  // uploads build a mipmap chain
    TextureImage image;
    uint32_t textureName = 0;       // the OpenGL texture holding the pixels
    std::vector<uint8_t> pixelData; // owns image.pixels for the texture's life

    Texture() = default;
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;
    ~Texture(); // deletes the OpenGL texture

    // Replaces the OpenGL texture by a fresh one (a new name) holding the
    // current pixels, and leaves no texture bound.
    void upload();
};

struct TextureResult {
    std::unique_ptr<Texture> texture; // null on failure
    std::string module;               // kTextureModule on failure
    std::string message;              // the report's message

    bool ok() const { return texture != nullptr; }
};

// Decodes a 24-bit HWL file and uploads it (linear filtering, repeat
// wrapping), leaving the new texture bound. `components` is 3 or 4.
// A file that cannot be read names itself and the cause in the message; an
// empty, 8-bit or unknown-depth picture gives kTextureLoadFailed.
TextureResult createTexture(const std::string& fileName, int32_t components, bool mipmapped);

// The same without OpenGL (no texture name yet): safe on any thread, for
// pictures decoded while the show goes on drawing.
TextureResult decodeTexture(const std::string& fileName, int32_t components, bool mipmapped);

// Takes over `decoded`'s picture (any size) into `texture`'s own OpenGL
// texture, whose name stays; leaves no texture bound. Needs the context.
void replacePixels(Texture& texture, Texture&& decoded);

// Sets the fourth byte of each pixel to `alpha`.
void setAlpha(TextureImage image, uint8_t alpha);

// Each destination pixel's fourth byte becomes the source pixel's first
// (blue) byte; source and destination may be the same image. Returns false,
// changing nothing, when the two differ in size.
bool copyAlpha(TextureImage destination, TextureImage source);
