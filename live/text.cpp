#include "live/text.h"

#include <GL/gl.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/open_file.h"

namespace {

// Characters beyond printable ASCII that the overlay writes.
constexpr char32_t kExtraCharacters[] = {U'\u2013', U'\u2026'}; // en dash, ellipsis
constexpr char32_t kFallback = U'?';
// Wide enough for a few rows of glyphs at overlay sizes; heights are powers
// of two, which OpenGL 1.1 asks of every texture.
constexpr int32_t kAtlasWidth = 256;

// The next character of UTF-8 `text` at byte `i`, which moves past it. A
// malformed sequence gives the fallback and skips one byte.
char32_t nextCharacter(std::string_view text, size_t& i) {
    const auto lead = uint8_t(text[i++]);
    if (lead < 0x80) return lead;
    const int extra = lead >= 0xf0 ? 3 : lead >= 0xe0 ? 2 : lead >= 0xc0 ? 1 : 0;
    if (extra == 0 || i + extra > text.size()) return kFallback;
    char32_t code = lead & (0x3f >> extra);
    for (int k = 0; k < extra; ++k) {
        const auto next = uint8_t(text[i + k]);
        if ((next & 0xc0) != 0x80) return kFallback;
        code = code << 6 | (next & 0x3f);
    }
    i += extra;
    return code;
}

struct Glyph {
    int32_t left = 0, top = 0; // bitmap's top left from the pen on the baseline, y up
    int32_t width = 0, height = 0;
    int32_t advance = 0;
    float s0 = 0, t0 = 0, s1 = 0, t1 = 0; // place in the atlas
};

// Releases FreeType on every way out of loadFont.
struct FreeTypeFace {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ~FreeTypeFace() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

} // namespace

struct Font {
    GLuint texture = 0;
    int32_t ascent = 0;
    int32_t height = 0;
    std::unordered_map<char32_t, Glyph> glyphs;

    const Glyph& glyph(char32_t c) const {
        const auto found = glyphs.find(c);
        return found != glyphs.end() ? found->second : glyphs.at(kFallback);
    }
};

FontResult loadFont(const std::string& fileName, int32_t pixelSize) {
    // Read here rather than by FreeType, so a missing file says why.
    std::ifstream in(utf8Path(fileName), std::ios::binary);
    if (!in)
        return {nullptr, "cannot read the font file " + fileName + " (" + strerror(errno) + ")"};
    const std::vector<FT_Byte> bytes(std::istreambuf_iterator<char>(in), {});

    const auto failed = [&](const std::string& what, FT_Error error) {
        return FontResult{nullptr, "font file " + fileName + ": " + what + " (FreeType error " +
                                       std::to_string(error) + ")"};
    };
    FreeTypeFace ft;
    if (FT_Error error = FT_Init_FreeType(&ft.library))
        return failed("FreeType did not start", error);
    if (FT_Error error =
            FT_New_Memory_Face(ft.library, bytes.data(), FT_Long(bytes.size()), 0, &ft.face))
        return failed("not a font", error);
    if (FT_Error error = FT_Set_Pixel_Sizes(ft.face, 0, FT_UInt(pixelSize)))
        return failed("no size of " + std::to_string(pixelSize) + " pixels", error);

    std::vector<char32_t> characters;
    for (char32_t c = 0x20; c < 0x7f; ++c) characters.push_back(c);
    characters.insert(characters.end(), std::begin(kExtraCharacters), std::end(kExtraCharacters));

    // Rasterise each glyph and pack it on shelves, one pixel apart so that
    // neighbours never bleed into each other.
    auto font = std::make_unique<Font>();
    std::vector<uint8_t> atlas;
    int32_t shelfX = 1, shelfY = 1, shelfHeight = 0;
    for (const char32_t c : characters) {
        if (FT_Error error = FT_Load_Char(ft.face, c, FT_LOAD_RENDER))
            return failed("cannot render character " + std::to_string(c), error);
        const FT_GlyphSlot slot = ft.face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        Glyph glyph{slot->bitmap_left, slot->bitmap_top, int32_t(bitmap.width),
                    int32_t(bitmap.rows), int32_t((slot->advance.x + 32) >> 6)};
        if (shelfX + glyph.width + 1 > kAtlasWidth) {
            shelfX = 1;
            shelfY += shelfHeight + 1;
            shelfHeight = 0;
        }
        atlas.resize(std::max(atlas.size(), size_t(shelfY + glyph.height) * kAtlasWidth));
        for (int32_t row = 0; row < glyph.height; ++row)
            std::memcpy(&atlas[size_t(shelfY + row) * kAtlasWidth + size_t(shelfX)],
                        bitmap.buffer + row * bitmap.pitch, size_t(glyph.width));
        glyph.s0 = float(shelfX) / kAtlasWidth;
        glyph.s1 = float(shelfX + glyph.width) / kAtlasWidth;
        glyph.t0 = float(shelfY); // rows until the atlas's height is known
        glyph.t1 = float(shelfY + glyph.height);
        font->glyphs[c] = glyph;
        shelfX += glyph.width + 1;
        shelfHeight = std::max(shelfHeight, glyph.height);
    }
    int32_t atlasHeight = 1;
    while (size_t(atlasHeight) * kAtlasWidth < atlas.size()) atlasHeight *= 2;
    atlas.resize(size_t(atlasHeight) * kAtlasWidth);
    for (auto& [c, glyph] : font->glyphs) {
        glyph.t0 /= float(atlasHeight);
        glyph.t1 /= float(atlasHeight);
    }
    font->ascent = int32_t(ft.face->size->metrics.ascender >> 6);
    font->height = int32_t(ft.face->size->metrics.height >> 6);

    // Glyphs land on whole pixels, so nearest sampling copies them 1:1.
    glPushAttrib(GL_TEXTURE_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glGenTextures(1, &font->texture);
    glBindTexture(GL_TEXTURE_2D, font->texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, kAtlasWidth, atlasHeight, 0, GL_ALPHA,
                 GL_UNSIGNED_BYTE, atlas.data());
    glPopClientAttrib();
    glPopAttrib();
    return {font.release(), ""};
}

void destroyFont(Font* font) {
    if (font) glDeleteTextures(1, &font->texture);
    delete font;
}

int32_t lineHeight(const Font& font) {
    return font.height;
}

int32_t textWidth(const Font& font, std::string_view text) {
    int32_t width = 0;
    for (size_t i = 0; i < text.size();) width += font.glyph(nextCharacter(text, i)).advance;
    return width;
}

size_t fittingPrefix(const Font& font, std::string_view text, int32_t width) {
    size_t fitting = 0;
    for (size_t i = 0; i < text.size();) {
        width -= font.glyph(nextCharacter(text, i)).advance;
        if (width < 0) break;
        fitting = i;
    }
    return fitting;
}

int32_t drawText(const Font& font, int32_t x, int32_t y, std::string_view text, TextColour colour) {
    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_CURRENT_BIT);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, font.texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(colour.r, colour.g, colour.b, colour.a);
    const int32_t baseline = y + font.ascent;
    glBegin(GL_QUADS);
    for (size_t i = 0; i < text.size();) {
        const Glyph& g = font.glyph(nextCharacter(text, i));
        const auto left = float(x + g.left), top = float(baseline - g.top);
        const auto right = left + float(g.width), bottom = top + float(g.height);
        glTexCoord2f(g.s0, g.t0);
        glVertex2f(left, top);
        glTexCoord2f(g.s0, g.t1);
        glVertex2f(left, bottom);
        glTexCoord2f(g.s1, g.t1);
        glVertex2f(right, bottom);
        glTexCoord2f(g.s1, g.t0);
        glVertex2f(right, top);
        x += g.advance;
    }
    glEnd();
    glPopAttrib();
    return x;
}
