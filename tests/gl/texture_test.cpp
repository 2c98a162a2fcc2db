// Textures from HWL files: what is uploaded and with which parameters, the
// alpha helpers the show's loading uses, and the files refused.
#include "images/texture.h"

#include "gl_fixture.h"
#include "images/hwl_decoder.h"

namespace {

constexpr int kSide = 8;

Rgb gradient(int x, int y) {
    return {uint8_t(30 * x), uint8_t(30 * y), uint8_t(10 + 20 * x)};
}

// The bound texture's pixels as stored, in the show's byte order.
std::vector<uint8_t> stored(int side = kSide, int level = 0) {
    std::vector<uint8_t> pixels(size_t(side) * side * 4);
    glGetTexImage(GL_TEXTURE_2D, level, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

std::vector<uint8_t> bytesOf(const TextureImage& image) {
    return {image.pixels.begin(), image.pixels.end()};
}

void expectLinearRepeat() {
    const std::pair<GLenum, GLint> expected[] = {{GL_TEXTURE_MIN_FILTER, GL_LINEAR},
                                                 {GL_TEXTURE_MAG_FILTER, GL_LINEAR},
                                                 {GL_TEXTURE_WRAP_S, GL_REPEAT},
                                                 {GL_TEXTURE_WRAP_T, GL_REPEAT}};
    for (const auto& [name, value] : expected) {
        GLint actual = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, name, &actual);
        EXPECT_EQ(actual, value) << "parameter " << name;
    }
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

TEST_F(TextureTest, CreationUploadsTheDecodedPixelsLeavesThemBoundAndDestructionDeletesThem) {
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
    std::vector<uint8_t> decoded;
    hwl::HwlHeader header{};
    ASSERT_TRUE(hwl::decodeHwl(decoded, header, "data/picture.hwl", true).ok());
    EXPECT_EQ(bytesOf(texture.image), decoded);
    EXPECT_EQ(stored(), decoded); // alpha 0 as decoded
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    const GLuint name = texture.textureName;
    result.texture.reset();
    EXPECT_EQ(glIsTexture(name), GL_FALSE);
}

// Parameters changed behind the texture's back are set again; three
// components drop the alpha byte.
TEST_F(TextureTest, UploadStoresTheImageUnderANewNameAndLeavesNothingBound) {
    for (int components : {4, 3}) {
        SCOPED_TRACE(components);
        TextureResult result = createTexture("data/picture.hwl", components, false);
        ASSERT_TRUE(result.ok()) << result.message;
        Texture& texture = *result.texture;
        const GLuint oldName = texture.textureName;
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
        std::vector<uint8_t> expected = bytesOf(texture.image);
        for (size_t i = 3; components == 3 && i < expected.size(); i += 4) expected[i] = 255;
        EXPECT_EQ(stored(), expected);
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
    const auto& pixels = result.texture->image.pixels;
    const int sum = pixels[0] + pixels[4] + pixels[kSide * 4] + pixels[kSide * 4 + 4];
    EXPECT_NEAR(stored(kSide / 2, 1)[0], sum / 4.0, 1.0);
}

// setAlpha touches only the alpha bytes; copyAlpha takes the source's blue
// bytes (a mask companion as the encoder makes it, or the image itself) and
// refuses images of another size.
TEST_F(TextureTest, AlphaComesFromACompanionOrFromTheBlueBytes) {
    std::vector<uint8_t> mask(kSide * kSide);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = uint8_t(i * 4);
    hwl::HwlEncodeOutcome companion;
    ASSERT_TRUE(hwl::encodeHwlMask(companion, mask.data(), kSide, kSide, 0).ok());
    writeBytes("data/picture_alpha.hwl", companion.bytes);
    writeBytes("data/small.hwl", encodePicture(kSide / 2, kSide, gradient));
    TextureResult colour = createTexture("data/picture.hwl", 4, false);
    TextureResult alpha = createTexture("data/picture_alpha.hwl", 4, false);
    TextureResult small = createTexture("data/small.hwl", 4, false);
    ASSERT_TRUE(colour.ok() && alpha.ok() && small.ok());
    TextureImage image = colour.texture->image;
    const std::vector<uint8_t> before = bytesOf(image);
    const auto expectBytes = [&](const std::function<uint8_t(size_t alphaByte)>& alphaOf) {
        for (size_t i = 0; i < before.size(); ++i)
            ASSERT_EQ(image.pixels[i], i % 4 == 3 ? alphaOf(i) : before[i]) << "byte " << i;
    };
    setAlpha(image, 255);
    expectBytes([](size_t) { return 255; });
    EXPECT_FALSE(copyAlpha(image, small.texture->image));
    EXPECT_FALSE(copyAlpha(small.texture->image, image));
    expectBytes([](size_t) { return 255; });

    ASSERT_TRUE(copyAlpha(image, alpha.texture->image));
    const auto& maskPixels = alpha.texture->image.pixels;
    expectBytes([&](size_t i) { return maskPixels[i - 3]; });
    for (size_t i = 0; i < mask.size(); ++i) EXPECT_NEAR(image.pixels[4 * i + 3], mask[i], 1) << i;
    ASSERT_TRUE(copyAlpha(image, image));
    expectBytes([&](size_t i) { return before[i - 3]; });
}

TEST_F(TextureTest, FilesThatGiveNoColourPictureAreRefused) {
    // Only the 36-byte header of a picture of width x height.
    const auto headerOnly = [](int width, int height, int bitsPerPixel) {
        std::vector<uint8_t> bytes(hwl::kHeaderSize, 0);
        bytes[0] = 'H', bytes[1] = 'W', bytes[2] = 'L';
        bytes[3] = uint8_t(width), bytes[5] = uint8_t(height), bytes[7] = uint8_t(bitsPerPixel);
        return bytes;
    };
    std::vector<uint8_t> shortFile = encodePicture(kSide, kSide, gradient);
    shortFile.resize(shortFile.size() - 5); // cut inside the streams
    writeBytes("data/short.hwl", shortFile);
    writeBytes("data/grey.hwl", encodePicture(kSide, kSide, gradient, true));
    writeBytes("data/deep.hwl", headerOnly(kSide, kSide, 32));
    std::vector<uint8_t> flat = headerOnly(kSide, 0, 24);
    flat.resize(flat.size() + 3 * 2 * sizeof(double), 0); // tables of three planes, level 0
    writeBytes("data/flat.hwl", flat);

    const std::pair<const char*, int32_t> files[] = {
        {"data/missing.hwl", 4}, {"data/short.hwl", 4}, {"data/grey.hwl", 4},
        {"data/deep.hwl", 4},    {"data/flat.hwl", 4},  {"data/picture.hwl", 2}};
    const std::string messages[] = {"Could not load Texture (data/missing.hwl: file not found)",
                                    "Could not load Texture (data/short.hwl: file ends early: ",
                                    "Could not load Texture",
                                    "Could not load Texture",
                                    "Could not load Texture",
                                    "Could not load Texture ("};
    for (size_t i = 0; i < std::size(files); ++i) {
        const auto [file, components] = files[i];
        const TextureResult result = createTexture(file, components, false);
        EXPECT_FALSE(result.ok()) << file;
        EXPECT_EQ(result.module, "kglTexture") << file;
        EXPECT_EQ(result.message.rfind(messages[i], 0), 0u) << result.message;
        if (i >= 2 && i <= 4) {
            EXPECT_EQ(result.message, messages[i]);
        }
        EXPECT_EQ(glInteger(GL_TEXTURE_BINDING_2D), 0) << file;
    }
}
