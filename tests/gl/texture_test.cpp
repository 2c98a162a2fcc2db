// Textures from HWL files: what is uploaded and with which parameters, the
// alpha helpers the show's loading uses, and the files refused.
#include "images/texture.h"

#include "gl_fixture.h"
#include "images/hwl_decoder.h"

namespace {

constexpr int kTextureSide = 8;

Rgb gradient(int x, int y) {
    return {uint8_t(30 * x), uint8_t(30 * y), uint8_t(10 + 20 * x)};
}

// The bound texture's pixels as stored, in the show's byte order.
std::vector<uint8_t> stored() {
    std::vector<uint8_t> pixels(kTextureSide * kTextureSide * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

std::vector<uint8_t> bytesOf(const TextureImage& image) {
    return {image.pixels.begin(), image.pixels.end()};
}

void expectLinearRepeat() {
    std::vector<GLint> values(4);
    const GLenum names[] = {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER, GL_TEXTURE_WRAP_S,
                            GL_TEXTURE_WRAP_T};
    for (int i = 0; i < 4; ++i) glGetTexParameteriv(GL_TEXTURE_2D, names[i], &values[i]);
    EXPECT_EQ(values, (std::vector<GLint>{GL_LINEAR, GL_LINEAR, GL_REPEAT, GL_REPEAT}));
}

class TextureTest : public OffscreenContext {
  protected:
    void SetUp() override {
        glBindTexture(GL_TEXTURE_2D, 0);
        writeBytes("data/picture.hwl", encodePicture(kTextureSide, kTextureSide, gradient));
    }
    ScratchDirectory scratch;
};

} // namespace

// A texture is created from the decoded pixels and left bound. Its upload
// stores the image under a new name, sets parameters changed behind its back
// again and leaves nothing bound; three components drop the alpha byte. A
// mipmapped texture still has a minification filter of linear.
TEST_F(TextureTest, UploadStoresTheImageAndDestructionDeletesIt) {
    std::vector<uint8_t> decoded;
    hwl::HwlHeader header{};
    ASSERT_TRUE(hwl::decodeHwl(decoded, header, "data/picture.hwl", true).ok());
    for (int components : {4, 3}) {
        TextureResult result = createTexture("data/picture.hwl", components, components == 3);
        ASSERT_TRUE(result.ok()) << result.message;
        Texture& texture = *result.texture;
        EXPECT_EQ(GLuint(glInteger(GL_TEXTURE_BINDING_2D)), texture.textureName);
        EXPECT_TRUE(components == 3 || stored() == decoded); // alpha 0 as decoded
        const GLuint oldName = texture.textureName;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        setAlpha(texture.image, 200);
        texture.upload();
        EXPECT_EQ(glInteger(GL_TEXTURE_BINDING_2D), 0) << components;
        // The old name is gone, unless OpenGL handed the same number out again.
        EXPECT_TRUE(texture.textureName == oldName || !glIsTexture(oldName)) << components;
        glBindTexture(GL_TEXTURE_2D, texture.textureName);
        expectLinearRepeat();
        std::vector<uint8_t> expected = bytesOf(texture.image);
        for (size_t i = 3; components == 3 && i < expected.size(); i += 4) expected[i] = 255;
        EXPECT_EQ(stored(), expected) << components;
        const GLuint name = texture.textureName;
        result.texture.reset();
        EXPECT_EQ(glIsTexture(name), GL_FALSE);
    }
}

// setAlpha touches only the alpha bytes; copyAlpha takes the source's blue
// bytes (a mask companion as the encoder makes it, or the image itself) and
// refuses images of another size.
TEST_F(TextureTest, AlphaComesFromACompanionOrFromTheBlueBytes) {
    std::vector<uint8_t> mask(kTextureSide * kTextureSide);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = uint8_t(i * 4);
    hwl::HwlEncodeOutcome companion;
    ASSERT_TRUE(hwl::encodeHwlMask(companion, mask.data(), kTextureSide, kTextureSide, 0).ok());
    writeBytes("data/picture_alpha.hwl", companion.bytes);
    writeBytes("data/small.hwl", encodePicture(kTextureSide / 2, kTextureSide, gradient));
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
    EXPECT_FALSE(copyAlpha(image, small.texture->image));
    EXPECT_FALSE(copyAlpha(small.texture->image, image));
    expectBytes([](size_t) { return 255; });
    ASSERT_TRUE(copyAlpha(image, alpha.texture->image));
    for (size_t i = 0; i < mask.size(); ++i) EXPECT_NEAR(image.pixels[4 * i + 3], mask[i], 1) << i;
    ASSERT_TRUE(copyAlpha(image, image));
    expectBytes([&](size_t i) { return before[i - 3]; });
}

// A grey picture (8 bits a pixel) decodes but gives no colour pixels. A
// missing or broken file is the decoder's (and the loading screen's, for the
// name in the message).
TEST_F(TextureTest, FilesThatGiveNoColourPictureAreRefused) {
    writeBytes("data/grey.hwl", encodePicture(kTextureSide, kTextureSide, gradient, true));
    const std::tuple<const char*, int32_t, std::string> cases[] = {
        {"data/grey.hwl", 4, "Could not load Texture"},
        {"data/picture.hwl", 2,
         "Could not load Texture (data/picture.hwl: 2 components, 3 or 4 "
         "expected)"}};
    for (const auto& [file, components, message] : cases) {
        const TextureResult result = createTexture(file, components, false);
        EXPECT_EQ(result.module, "kglTexture") << file;
        EXPECT_EQ(result.message, message);
        EXPECT_EQ(glInteger(GL_TEXTURE_BINDING_2D), 0) << file;
    }
}
