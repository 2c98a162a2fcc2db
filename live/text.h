// Text for the live mode's overlay: one font at one size, its glyphs
// rasterised once by FreeType into an alpha texture, drawn as textured quads
// in window pixels (origin at the top left, y growing downwards).
//
//   FontResult made = loadFont(fontFile(kOverlayFont), 13); // a current GL context first
//   if (!made.font) ... made.error ...
//   drawText(*made.font, 10, 10, "1:05.040", {1, 1, 1, 1});
//   destroyFont(made.font);                          // while the context is current
//
// Text is UTF-8. The atlas holds printable ASCII, the en dash and the
// ellipsis; any other character draws as '?'. Layout uses the hinted
// advances only (no kerning), so digits keep their width and a running clock
// does not jitter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// platform/font_file.h says where it is found.
inline constexpr const char* kOverlayFont = "DejaVuSans.ttf";

struct TextColour {
    float r = 1, g = 1, b = 1, a = 1;
};

struct Font;

struct FontResult {
    Font* font = nullptr; // null on failure
    std::string error;    // why, naming the file
};

// Reads the font file and builds its atlas at `pixelSize` pixels per em.
FontResult loadFont(const std::string& fileName, int32_t pixelSize);
void destroyFont(Font* font);

// Distance between the tops of two lines.
int32_t lineHeight(const Font& font);
int32_t textWidth(const Font& font, std::string_view text);
// The length in bytes of the longest start of `text`, whole characters,
// that is at most `width` pixels wide.
size_t fittingPrefix(const Font& font, std::string_view text, int32_t width);

// Draws `text` with the top left of its line at (x, y), through the current
// matrices, which must map window pixels with the origin at the top left.
// Blending is the caller's (source alpha, one minus source alpha); the
// enables, bound texture, texture environment and colour are left as found.
// Returns the x where the next character would go.
int32_t drawText(const Font& font, int32_t x, int32_t y, std::string_view text, TextColour colour);
