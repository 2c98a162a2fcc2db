#include "live/overlay.h"

#include <GL/gl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

#include "live/placements.h"
#include "live/text.h"
#include "platform/font_file.h"

struct Overlay {
    Font* font = nullptr;
};

namespace {

// One size for every drawable: 13 px reads well at 800 x 600; on smaller
// drawables the status wraps rather than the text shrinking into a blur.
constexpr int32_t kFontPixels = 13;
constexpr int32_t kMessageLines = 4; // a longer message ends in an ellipsis

constexpr TextColour kText = {1, 1, 1, 1};
constexpr TextColour kDim = {0.72f, 0.75f, 0.8f, 1};
constexpr TextColour kSceneText = {1, 0.78f, 0.45f, 1};
constexpr TextColour kPausedText = {1, 0.85f, 0.3f, 1};
constexpr TextColour kLoopText = {0.45f, 0.85f, 1, 1};
constexpr TextColour kMessageText = {1, 0.55f, 0.45f, 1};
constexpr TextColour kBox = {0, 0, 0, 0.6f};
constexpr TextColour kStripBackground = {0, 0, 0, 0.55f};
constexpr TextColour kLoudness = {1, 1, 1, 0.16f};
constexpr TextColour kBlockTints[] = {{0.25f, 0.42f, 0.75f, 0.6f}, {0.18f, 0.58f, 0.52f, 0.6f}};
constexpr TextColour kCurrentBlock = {0.95f, 0.55f, 0.15f, 0.75f};
constexpr TextColour kHead = {1, 1, 1, 1};
constexpr TextColour kHeadShadow = {0, 0, 0, 0.7f};
constexpr int32_t kLabelPadding = 4; // between a block's edge and its label
// The head's cap: 2 * kCapHalf + 1 wide, kCapHeight high, kCapRise of it
// above the strip.
constexpr int32_t kCapHalf = 3;
constexpr int32_t kCapHeight = 4;
constexpr int32_t kCapRise = 2;

// Gaps scale with the drawable a little, within limits that keep them visible.
int32_t marginFor(int32_t height) {
    return std::clamp(height / 150, 2, 8);
}

void fillRect(int32_t x, int32_t y, int32_t width, int32_t height, TextColour colour) {
    if (width <= 0 || height <= 0) return;
    glColor4f(colour.r, colour.g, colour.b, colour.a);
    glRectf(float(x), float(y), float(x + width), float(y + height));
}

std::string clockText(int32_t ms) {
    ms = std::max(ms, 0);
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d.%03d", ms / 60000, ms / 1000 % 60, ms % 1000);
    return text;
}

// Saves every piece of state the overlay could touch and sets up drawing in
// window pixels; the destructor puts it all back. The show's frames carry
// the blend function, the camera matrix and the texture binding from one
// frame to the next, so anything left behind would change the picture.
class PixelDrawing {
  public:
    PixelDrawing(int32_t width, int32_t height) {
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
        glMatrixMode(GL_TEXTURE);
        glPushMatrix();
        glLoadIdentity();
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(0, width, height, 0, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glViewport(0, 0, width, height);
        for (const GLenum capability :
             {GL_DEPTH_TEST, GL_ALPHA_TEST, GL_STENCIL_TEST, GL_SCISSOR_TEST, GL_CULL_FACE,
              GL_LIGHTING, GL_FOG, GL_TEXTURE_1D, GL_TEXTURE_2D, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T,
              GL_COLOR_LOGIC_OP, GL_POLYGON_STIPPLE})
            glDisable(capability);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }
    ~PixelDrawing() {
        glMatrixMode(GL_TEXTURE);
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        glPopClientAttrib();
        glPopAttrib(); // the matrix mode among the rest
    }
    PixelDrawing(const PixelDrawing&) = delete;
    PixelDrawing& operator=(const PixelDrawing&) = delete;
};

struct Run {
    std::string text;
    TextColour colour;
};
using Piece = std::vector<Run>; // kept on one line
struct PlacedRun {
    int32_t x, y;
    const Run* run;
};

// `text` broken into lines at most `width` wide, at spaces where it can,
// at most `maxLines` of them.
std::vector<std::string> wrapText(const Font& font, std::string_view text, int32_t width,
                                  int maxLines) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const size_t lineEnd = std::min(text.find('\n'), text.size());
        size_t cut = fittingPrefix(font, text.substr(0, lineEnd), width);
        if (cut < lineEnd) {
            const size_t space = text.substr(0, cut + 1).rfind(' ');
            if (space != std::string_view::npos && space > 0) cut = space;
        }
        if (cut == 0) // narrower than one character: one a line
            while (++cut < text.size() && (uint8_t(text[cut]) & 0xc0) == 0x80) {
            }
        if (int(lines.size()) == maxLines - 1 && cut < text.size()) {
            const std::string_view ellipsis = "\u2026";
            const int32_t room = width - textWidth(font, ellipsis);
            const std::string_view last = text.substr(0, lineEnd);
            lines.emplace_back(std::string(last.substr(0, fittingPrefix(font, last, room))) +
                               std::string(ellipsis));
            break;
        }
        lines.emplace_back(text.substr(0, cut));
        text.remove_prefix(cut);
        while (!text.empty() && (text[0] == ' ' || text[0] == '\n')) text.remove_prefix(1);
    }
    return lines;
}

// Top left: the status pieces, wrapped where the drawable is narrow, and
// the message under them, on one translucent box.
void drawStatus(const Font& font, const OverlayView& view) {
    const int32_t margin = marginFor(view.height), padding = margin + 2;
    const int32_t line = lineHeight(font), gap = textWidth(font, "   ");
    const int32_t left = margin + padding, right = view.width - margin - padding;

    std::vector<Piece> pieces = {{{clockText(view.timeMs), kText}}};
    if (view.placements && view.current >= 0 && view.current < int(view.placements->size())) {
        const ScenePlacement& p = (*view.placements)[size_t(view.current)];
        pieces.push_back({{p.scene + "  ", kSceneText},
                          {clockText(p.start) + " \u2013 " + clockText(p.end), kDim}});
    }
    // Paused, nothing is drawn again until something changes: no rate to show.
    if (view.paused) {
        pieces.push_back({{"PAUSED", kPausedText}});
    } else {
        char fps[32];
        std::snprintf(fps, sizeof fps, "%.1f fps", view.fps);
        pieces.push_back({{fps, kDim}});
    }
    if (view.looping) pieces.push_back({{"LOOP", kLoopText}});

    std::vector<PlacedRun> placed;
    int32_t x = left, y = margin + padding, widest = 0;
    for (const Piece& piece : pieces) {
        int32_t width = 0;
        for (const Run& run : piece) width += textWidth(font, run.text);
        if (x > left && x + width > right) {
            x = left;
            y += line;
        }
        for (const Run& run : piece) {
            placed.push_back({x, y, &run});
            x += textWidth(font, run.text);
        }
        widest = std::max(widest, x - left);
        x += gap;
    }
    y += line;
    std::vector<Run> messageLines;
    if (!view.message.empty())
        for (std::string& text : wrapText(font, view.message, right - left, kMessageLines))
            messageLines.push_back({std::move(text), kMessageText});
    for (const Run& run : messageLines) {
        placed.push_back({left, y, &run});
        widest = std::max(widest, textWidth(font, run.text));
        y += line;
    }

    fillRect(margin, margin, widest + 2 * padding, y - margin + padding, kBox);
    for (const PlacedRun& p : placed) drawText(font, p.x, p.y, p.run->text, p.run->colour);
}

// The loudest value of the envelope over the times that column `column`
// of the strip stands for (half a column either side), so short peaks show.
float loudnessAt(const OverlayView& view, const StripArea& strip, int32_t column) {
    const std::vector<float>& values = *view.loudness;
    const int64_t span = strip.width - 1, x = column - strip.x;
    const int64_t from = std::max<int64_t>(0, (2 * x - 1) * view.endMs / (2 * span));
    const int64_t to = (2 * x + 1) * view.endMs / (2 * span);
    const int64_t first = from / view.loudnessStepMs;
    const int64_t last = std::min<int64_t>(to / view.loudnessStepMs, int64_t(values.size()) - 1);
    float loudest = 0;
    for (int64_t i = first; i <= last; ++i) loudest = std::max(loudest, values[size_t(i)]);
    return std::clamp(loudest, 0.0f, 1.0f);
}

// The envelope as a light veil from the strip's bottom edge, over the
// blocks so that it shows whatever their tint.
void drawLoudness(const OverlayView& view, const StripArea& strip) {
    if (!view.loudness || view.loudness->empty() || view.loudnessStepMs <= 0) return;
    const int32_t bottom = strip.y + strip.height - 1, tallest = strip.height - 2;
    glColor4f(kLoudness.r, kLoudness.g, kLoudness.b, kLoudness.a);
    glBegin(GL_QUADS);
    for (int32_t x = strip.x; x < strip.x + strip.width; ++x) {
        const auto top = float(bottom) - loudnessAt(view, strip, x) * float(tallest);
        glVertex2f(float(x), top);
        glVertex2f(float(x), float(bottom));
        glVertex2f(float(x + 1), float(bottom));
        glVertex2f(float(x + 1), top);
    }
    glEnd();
}

// The label of a placement `width` pixels wide: the scene's name where it
// fits, else its first letter and its number ("S4" for Scene4), else none.
std::string blockLabel(const Font& font, const std::string& scene, int32_t width) {
    const int32_t room = width - 2 * kLabelPadding;
    if (textWidth(font, scene) <= room) return scene;
    size_t digits = scene.size();
    while (digits > 1 && std::isdigit(static_cast<unsigned char>(scene[digits - 1]))) --digits;
    const std::string brief = scene.substr(0, 1) + scene.substr(digits);
    return textWidth(font, brief) <= room ? brief : "";
}

// The head: one bright column with a dark one either side, so it shows over
// bright blocks and labels too, and a cap standing out over the strip's top
// edge to find it at a glance. Shadow and cap stay inside the strip's width,
// so that at 0 and at the end the head is not taken for the strip's edge.
void drawHead(const StripArea& strip, int32_t head) {
    const int32_t first = strip.x, last = strip.x + strip.width - 1;
    const int32_t capLeft = std::max(first, std::min(head - kCapHalf, last - 2 * kCapHalf));
    const int32_t capTop = strip.y - kCapRise;
    fillRect(capLeft - 1, capTop - 1, 2 * kCapHalf + 3, kCapHeight + 2, kHeadShadow);
    const int32_t shadowLeft = std::max(head - 1, first), shadowRight = std::min(head + 1, last);
    fillRect(shadowLeft, strip.y, shadowRight + 1 - shadowLeft, strip.height, kHeadShadow);
    fillRect(head, capTop, 1, strip.y + strip.height - capTop, kHead);
    fillRect(capLeft, capTop, 2 * kCapHalf + 1, kCapHeight, kHead);
}

// Above the strip where the pointer rests: the scene under it and its
// placement's start and end, for blocks too short for their name.
void drawHoverLabel(const Font& font, const OverlayView& view, const StripArea& strip) {
    if (!view.placements || view.hoverX < 0) return;
    const int i = placementAt(*view.placements, stripTime(strip, view.hoverX, view.endMs));
    if (i < 0) return;
    const ScenePlacement& p = (*view.placements)[size_t(i)];
    const std::string text = p.scene + "  " + clockText(p.start) + " \u2013 " + clockText(p.end);
    const int32_t padding = kLabelPadding, width = textWidth(font, text) + 2 * padding;
    const int32_t height = lineHeight(font) + padding;
    // Within the strip where it fits, else from its left end.
    const int32_t x =
        std::max(strip.x, std::min(view.hoverX - width / 2, strip.x + strip.width - width));
    const int32_t y = strip.y - kCapRise - 1 - height;
    fillRect(x, y, width, height, kBox);
    drawText(font, x + padding, y + padding / 2, text, kSceneText);
}

// Along the bottom: a block per placement, the loudness envelope, the
// scene names (or short labels) where they fit, and the play head; the
// placement under the pointer named above it.
void drawStrip(const Font& font, const OverlayView& view) {
    const StripArea strip = timelineStrip(view.width, view.height);
    if (strip.width < 2 || strip.height < 4 || view.endMs <= 0) return;
    fillRect(strip.x, strip.y, strip.width, strip.height, kStripBackground);

    const ScenePlacements none;
    const ScenePlacements& placements = view.placements ? *view.placements : none;
    const int32_t inset = std::max(strip.height / 12, 1), blockHeight = strip.height - 2 * inset;
    struct Block {
        int32_t x, width;
    };
    std::vector<Block> blocks;
    for (size_t i = 0; i < placements.size(); ++i) {
        const int32_t from = stripColumn(strip, placements[i].start, view.endMs);
        int32_t width = stripColumn(strip, placements[i].end, view.endMs) + 1 - from;
        if (width > 3) --width; // a column of the strip between neighbours
        blocks.push_back({from, width});
        fillRect(from, strip.y + inset, width, blockHeight,
                 int(i) == view.current ? kCurrentBlock : kBlockTints[i % 2]);
    }
    drawLoudness(view, strip);
    const int32_t textY = strip.y + (strip.height - lineHeight(font)) / 2;
    for (size_t i = 0; i < placements.size(); ++i) {
        const std::string label = blockLabel(font, placements[i].scene, blocks[i].width);
        if (!label.empty()) drawText(font, blocks[i].x + kLabelPadding, textY, label, kText);
    }
    drawHead(strip, stripColumn(strip, view.timeMs, view.endMs));
    drawHoverLabel(font, view, strip);
}

} // namespace

OverlayResult createOverlay() {
    FontResult font = loadFont(fontFile(kOverlayFont), kFontPixels);
    if (!font.font) return {nullptr, font.error};
    return {new Overlay{font.font}, ""};
}

void destroyOverlay(Overlay* overlay) {
    if (overlay) destroyFont(overlay->font);
    delete overlay;
}

void drawOverlay(Overlay& overlay, const OverlayView& view) {
    if (view.width <= 0 || view.height <= 0) return;
    const PixelDrawing pixels(view.width, view.height);
    drawStatus(*overlay.font, view);
    drawStrip(*overlay.font, view);
}

// About 48 px high on a 600 px drawable, never less than a label needs.
StripArea timelineStrip(int32_t width, int32_t height) {
    const int32_t margin = marginFor(height);
    const int32_t stripHeight = std::clamp(height * 2 / 25, 20, 96);
    return {margin, height - margin - stripHeight, std::max(width - 2 * margin, 0), stripHeight};
}

bool insideStrip(const StripArea& strip, int32_t x, int32_t y) {
    return x >= strip.x && x < strip.x + strip.width && y >= strip.y && y < strip.y + strip.height;
}

// 0 .. endMs spread over the first to the last column, rounded to the
// nearest on both ways, which makes the two mappings each other's inverse.
int32_t stripTime(const StripArea& strip, int32_t x, int32_t endMs) {
    if (strip.width < 2 || endMs <= 0) return 0;
    const int64_t span = strip.width - 1;
    const int64_t column = std::clamp<int64_t>(x - strip.x, 0, span);
    return int32_t((column * endMs + span / 2) / span);
}

int32_t stripColumn(const StripArea& strip, int32_t timeMs, int32_t endMs) {
    if (strip.width < 2 || endMs <= 0) return strip.x;
    const int64_t time = std::clamp<int64_t>(timeMs, 0, endMs);
    return strip.x + int32_t((time * (strip.width - 1) + endMs / 2) / endMs);
}
