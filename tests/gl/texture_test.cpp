#include <GL/gl.h>

#include "gl_support.h"
#include "images/hwl_encode.h"
#include "images/texture.h"

namespace {

constexpr int kSide = 8;

Rgb gradient(int x, int y) {
    return {uint8_t(30 * x), uint8_t(30 * y), uint8_t(10 + 20 * x)};
}

std::vector<uint8_t> readTexture(GLenum format, int width, int height, int level = 0) {
    std::vector<uint8_t> pixels(size_t(width) * height * 4);
    glGetTexImage(GL_TEXTURE_2D, level, format, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

void expectLinearRepeat() {
    EXPECT_EQ(textureParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(textureParameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(textureParameter(GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(textureParameter(GL_TEXTURE_WRAP_T), GL_REPEAT);
}

class TextureTest : public OffscreenContext {
  protected:
    void SetUp() override {
        glBindTexture(GL_TEXTURE_2D, 0);
        writeBytes("data/picture.hwl", encodePicture(kSide, kSide, gradient));
    }
    ScratchDirectory scratch;
};

} // namespace

TEST_F(TextureTest, CreationUploadsTheDecodedPixelsAndLeavesThemBound) {
    TextureResult result = createTexture("data/picture.hwl", 4, false);
    ASSERT_TRUE(result.ok()) << result.message;
    const Texture& texture = *result.texture;
    EXPECT_EQ(texture.image.width, kSide);
    EXPECT_EQ(texture.image.height, kSide);
    EXPECT_EQ(texture.image.components, 4);
    EXPECT_EQ(texture.header.bitsPerPixel, 24);
    EXPECT_NE(texture.textureName, 0u);
    EXPECT_EQ(GLuint(glInteger(GL_TEXTURE_BINDING_2D)), texture.textureName);
    expectLinearRepeat();

    const std::vector<uint8_t> decoded = decodedPixels("data/picture.hwl");
    EXPECT_EQ(std::vector<uint8_t>(texture.image.pixels.begin(), texture.image.pixels.end()),
              decoded);
    EXPECT_EQ(readTexture(GL_BGRA, kSide, kSide), decoded); // alpha 0 as decoded
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureTest, ThreeComponentsDropTheFourthByte) {
    TextureResult result = createTexture("data/picture.hwl", 3, false);
    ASSERT_TRUE(result.ok()) << result.message;
    Texture& texture = *result.texture;
    setAlpha(texture.image, 7);
    texture.upload();
    glBindTexture(GL_TEXTURE_2D, texture.textureName);
    const std::vector<uint8_t> stored = readTexture(GL_BGRA, kSide, kSide);
    for (size_t i = 0; i < stored.size(); ++i) {
        const uint8_t expected = i % 4 == 3 ? 255 : texture.image.pixels[i];
        ASSERT_EQ(stored[i], expected) << "byte " << i;
    }
}

TEST_F(TextureTest, MipmappedTexturesHaveTheChainButStillAMinFilterOfLinear) {
    TextureResult result = createTexture("data/picture.hwl", 3, true);
    ASSERT_TRUE(result.ok()) << result.message;
    expectLinearRepeat();
    for (int level = 0, side = kSide; side >= 1; ++level, side /= 2) {
        GLint width = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
        EXPECT_EQ(width, side) << "level " << level;
    }
    // Level 1 averages 2 x 2 blocks of the picture.
    const std::vector<uint8_t> half = readTexture(GL_BGRA, kSide / 2, kSide / 2, 1);
    const auto& pixels = result.texture->image.pixels;
    const int sum = pixels[0] + pixels[4] + pixels[kSide * 4] + pixels[kSide * 4 + 4];
    EXPECT_NEAR(half[0], sum / 4.0, 1.0);
}

TEST_F(TextureTest, UploadReplacesTheNameAndLeavesNothingBound) {
    TextureResult result = createTexture("data/picture.hwl", 4, false);
    ASSERT_TRUE(result.ok()) << result.message;
    Texture& texture = *result.texture;
    const GLuint oldName = texture.textureName;
    // Change the parameters behind the texture's back: upload sets them again.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    setAlpha(texture.image, 200);
    texture.upload();

    EXPECT_EQ(glInteger(GL_TEXTURE_BINDING_2D), 0);
    EXPECT_EQ(glIsTexture(texture.textureName), GL_TRUE);
    // The old name is gone, unless OpenGL handed the same number out again.
    if (texture.textureName != oldName) {
        EXPECT_EQ(glIsTexture(oldName), GL_FALSE);
    }
    glBindTexture(GL_TEXTURE_2D, texture.textureName);
    expectLinearRepeat();
    const std::vector<uint8_t> stored = readTexture(GL_BGRA, kSide, kSide);
    EXPECT_EQ(stored,
              std::vector<uint8_t>(texture.image.pixels.begin(), texture.image.pixels.end()));
    EXPECT_EQ(stored[3], 200);
}

TEST_F(TextureTest, DestructionDeletesTheOpenGlTexture) {
    TextureResult result = createTexture("data/picture.hwl", 4, false);
    ASSERT_TRUE(result.ok()) << result.message;
    const GLuint name = result.texture->textureName;
    result.texture.reset();
    EXPECT_EQ(glIsTexture(name), GL_FALSE);
}

TEST_F(TextureTest, AlphaComesFromACompanionOrFromTheBlueBytes) {
    // A mask companion as the encoder makes it: its blue bytes are the alpha.
    std::vector<uint8_t> mask(kSide * kSide);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = uint8_t(i * 4);
    hwl::HwlEncodeOutcome companion;
    ASSERT_TRUE(hwl::encodeHwlMask(companion, mask.data(), kSide, kSide, 0).ok());
    writeBytes("data/picture_alpha.hwl", companion.bytes);

    TextureResult colour = createTexture("data/picture.hwl", 4, false);
    TextureResult alpha = createTexture("data/picture_alpha.hwl", 4, false);
    ASSERT_TRUE(colour.ok() && alpha.ok());
    TextureImage image = colour.texture->image;
    const std::vector<uint8_t> before(image.pixels.begin(), image.pixels.end());

    setAlpha(image, 255);
    for (size_t i = 0; i < before.size(); ++i)
        ASSERT_EQ(image.pixels[i], i % 4 == 3 ? 255 : before[i]) << "byte " << i;

    ASSERT_TRUE(copyAlpha(image, alpha.texture->image));
    const auto& maskPixels = alpha.texture->image.pixels;
    for (size_t i = 0; i < before.size(); ++i) {
        const uint8_t expected = i % 4 == 3 ? maskPixels[i - 3] : before[i];
        ASSERT_EQ(image.pixels[i], expected) << "byte " << i;
        if (i % 4 == 3) {
            EXPECT_NEAR(image.pixels[i], mask[i / 4], 1) << "pixel " << i / 4;
        }
    }

    // The image as its own source: each alpha becomes the pixel's own blue.
    ASSERT_TRUE(copyAlpha(image, image));
    for (size_t i = 0; i < before.size(); ++i)
        ASSERT_EQ(image.pixels[i], i % 4 == 3 ? before[i - 3] : before[i]) << "byte " << i;
}

TEST_F(TextureTest, CopyAlphaRefusesImagesOfAnotherSize) {
    writeBytes("data/small.hwl", encodePicture(kSide / 2, kSide, gradient));
    TextureResult colour = createTexture("data/picture.hwl", 4, false);
    TextureResult other = createTexture("data/small.hwl", 4, false);
    ASSERT_TRUE(colour.ok() && other.ok());
    const std::vector<uint8_t> before(colour.texture->pixelData);
    EXPECT_FALSE(copyAlpha(colour.texture->image, other.texture->image));
    EXPECT_FALSE(copyAlpha(other.texture->image, colour.texture->image));
    EXPECT_EQ(colour.texture->pixelData, before);
}

TEST_F(TextureTest, FilesThatGiveNoColourPictureAreRefused) {
    std::vector<uint8_t> shortFile = encodePicture(kSide, kSide, gradient);
    shortFile.erase(shortFile.end() - 5, shortFile.end()); // cut inside the streams
    writeBytes("data/short.hwl", shortFile);
    writeBytes("data/grey.hwl", encodePicture(kSide, kSide, gradient, true));
    writeBytes("data/deep.hwl", headerOnlyFile(kSide, kSide, 32));
    std::vector<uint8_t> flat = headerOnlyFile(kSide, 0, 24);
    flat.resize(flat.size() + 3 * 2 * sizeof(double), 0); // tables of three planes, level 0
    writeBytes("data/flat.hwl", flat);

    struct Case {
        const char* file;
        std::string message;
    };
    const Case cases[] = {
        {"data/missing.hwl", "Could not load Texture (data/missing.hwl: file not found)"},
        {"data/short.hwl", "Could not load Texture (data/short.hwl: file ends early: "},
        {"data/grey.hwl", "Could not load Texture"},
        {"data/deep.hwl", "Could not load Texture"},
        {"data/flat.hwl", "Could not load Texture"},
    };
    for (const Case& c : cases) {
        const TextureResult result = createTexture(c.file, 4, false);
        EXPECT_FALSE(result.ok()) << c.file;
        EXPECT_EQ(result.module, "kglTexture") << c.file;
        if (c.message == "Could not load Texture") {
            EXPECT_EQ(result.message, c.message) << c.file;
        } else {
            EXPECT_EQ(result.message.rfind(c.message, 0), 0u) << result.message;
        }
        EXPECT_EQ(glInteger(GL_TEXTURE_BINDING_2D), 0) << c.file;
    }
    const TextureResult badComponents = createTexture("data/picture.hwl", 2, false);
    EXPECT_FALSE(badComponents.ok());
    EXPECT_EQ(badComponents.module, "kglTexture");
}
