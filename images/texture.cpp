#include "images/texture.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <algorithm>

#include "images/hwl_decoder.h"

namespace {

constexpr int kRgbComponents = 3;
constexpr int kRgbaComponents = 4;
constexpr int kAlphaByte = 3;
constexpr int kBlueByte = 0;

// Pixels the image really holds, whatever its width and height claim.
size_t pixelCount(const TextureImage& image) {
    if (image.width <= 0 || image.height <= 0) return 0;
    const size_t claimed = size_t(image.width) * size_t(image.height);
    return std::min(claimed, image.pixels.size() / kTextureBytesPerPixel);
}

// Filtering, wrapping and pixels for the texture bound to GL_TEXTURE_2D.
// The minification filter stays GL_LINEAR even with mipmaps, so the chain
// is built but never sampled.
void storePixels(const Texture& texture) {
    const TextureImage& image = texture.image;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    if (texture.mipmapped) {
        gluBuild2DMipmaps(GL_TEXTURE_2D, image.components, image.width, image.height, GL_BGRA_EXT,
                          GL_UNSIGNED_BYTE, image.pixels.data());
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, image.components, image.width, image.height, 0, GL_BGRA_EXT,
                     GL_UNSIGNED_BYTE, image.pixels.data());
    }
}

TextureResult failure(std::string message) {
    return {nullptr, kTextureModule, std::move(message)};
}

} // namespace

Texture::~Texture() {
    if (textureName != 0) glDeleteTextures(1, &textureName);
}

void Texture::upload() {
    // Deleted first: OpenGL may hand the same number out again.
    glDeleteTextures(1, &textureName);
    glGenTextures(1, &textureName);
    glBindTexture(GL_TEXTURE_2D, textureName);
    storePixels(*this);
    glBindTexture(GL_TEXTURE_2D, 0);
}

TextureResult decodeTexture(const std::string& fileName, int32_t components, bool mipmapped) {
    if (components != kRgbComponents && components != kRgbaComponents) {
        return failure(std::string(kTextureLoadFailed) + " (" + fileName + ": " +
                       std::to_string(components) + " components, 3 or 4 expected)");
    }
    auto texture = std::make_unique<Texture>();
    const hwl::HwlError error = hwl::decodeHwl(texture->pixelData, texture->header, fileName, true);
    if (error) return failure(std::string(kTextureLoadFailed) + " (" + error.message + ")");
    // Only a 24-bit file gives the 4-byte pixels every upload reads; an
    // 8-bit file has one byte a pixel and an unknown depth none at all.
    const hwl::HwlHeader& header = texture->header;
    if (header.height == 0 || header.width == 0 || header.bitsPerPixel != hwl::kColourBitsPerPixel)
        return failure(kTextureLoadFailed);

    texture->mipmapped = mipmapped;
    texture->image = {header.width, header.height, components, texture->pixelData};
    return {std::move(texture), "", ""};
}

TextureResult createTexture(const std::string& fileName, int32_t components, bool mipmapped) {
    TextureResult result = decodeTexture(fileName, components, mipmapped);
    if (!result.ok()) return result;
    glGenTextures(1, &result.texture->textureName);
    glBindTexture(GL_TEXTURE_2D, result.texture->textureName);
    storePixels(*result.texture);
    return result;
}

void replacePixels(Texture& texture, Texture&& decoded) {
    texture.header = decoded.header;
    texture.mipmapped = decoded.mipmapped;
    texture.pixelData = std::move(decoded.pixelData); // the buffer, and so the span, moves along
    texture.image = decoded.image;
    decoded.image.pixels = {};
    if (texture.textureName == 0) glGenTextures(1, &texture.textureName);
    glBindTexture(GL_TEXTURE_2D, texture.textureName);
    storePixels(texture);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void setAlpha(TextureImage image, uint8_t alpha) {
    const size_t count = pixelCount(image);
    for (size_t i = 0; i < count; ++i) image.pixels[i * kTextureBytesPerPixel + kAlphaByte] = alpha;
}

bool copyAlpha(TextureImage destination, TextureImage source) {
    if (destination.width != source.width || destination.height != source.height) return false;
    const size_t count = std::min(pixelCount(destination), pixelCount(source));
    for (size_t i = 0; i < count; ++i) {
        destination.pixels[i * kTextureBytesPerPixel + kAlphaByte] =
            source.pixels[i * kTextureBytesPerPixel + kBlueByte];
    }
    return true;
}
