// The live mode's overlay: it leaves the GL state as it found it, writes its
// status, draws the play head where stripTime finds its time, whole at the
// strip's ends too, and labels a placement too short for its name.
#include "gl_fixture.h"
#include "live/overlay.h"
#include "live/text.h"

namespace {

constexpr int32_t kEnd = 137113;

class OverlayDrawing : public OffscreenContext {
  protected:
    void SetUp() override {
        OverlayResult made = createOverlay();
        ASSERT_TRUE(made.overlay) << made.error;
        overlay = made.overlay;
    }
    void TearDown() override { destroyOverlay(overlay); }

    OverlayView view(int32_t timeMs) const {
        OverlayView view;
        view.width = kWidth;
        view.height = kHeight;
        view.timeMs = timeMs;
        view.endMs = kEnd;
        return view;
    }

    // The overlay alone on black: every lit pixel is its own.
    Frame draw(const OverlayView& view) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        drawOverlay(*overlay, view);
        return readBackBuffer();
    }

    Overlay* overlay = nullptr;
    const StripArea strip = timelineStrip(kWidth, kHeight);
};

// Window rows from the top down, as the overlay lays them out.
Rgb pixel(const Frame& frame, int x, int y) {
    return frame.at(x, frame.height - 1 - y);
}

} // namespace

TEST_F(OverlayDrawing, LeavesTheGlStateAsItFoundIt) {
    const GLenum switches[] = {GL_TEXTURE_2D, GL_DEPTH_TEST, GL_ALPHA_TEST,
                               GL_CULL_FACE,  GL_LIGHTING,   GL_FOG};
    for (const GLenum on : switches) glEnable(on);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glMatrixMode(GL_TEXTURE);
    glScalef(2, 3, 1);
    glMatrixMode(GL_PROJECTION);
    gluPerspective(45, 4.0 / 3.0, 0.1, 100);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(1, 2, -5);
    glMatrixMode(GL_TEXTURE);
    glColor4f(0.2f, 0.4f, 0.6f, 0.8f);
    glViewport(3, 4, 100, 80);

    // clang-format off
    std::vector<GLenum> names = {
        GL_MODELVIEW_MATRIX, GL_PROJECTION_MATRIX, GL_TEXTURE_MATRIX, GL_MODELVIEW_STACK_DEPTH,
        GL_PROJECTION_STACK_DEPTH, GL_TEXTURE_STACK_DEPTH, GL_MATRIX_MODE, GL_BLEND, GL_BLEND_SRC,
        GL_BLEND_DST, GL_TEXTURE_BINDING_2D, GL_CURRENT_COLOR, GL_VIEWPORT};
    // clang-format on
    names.insert(names.end(), std::begin(switches), std::end(switches));
    const auto state = [&] { // each read into 16 values, as many as a matrix has
        std::vector<std::vector<float>> values;
        for (const GLenum name : names) glGetFloatv(name, values.emplace_back(16).data());
        return values;
    };
    const std::vector<std::vector<float>> before = state();
    const ScenePlacements placements = {{"One", 1, 0, 60000}, {"Two", 1, 60001, kEnd}};
    const std::vector<float> loudness(200, 0.5f);
    OverlayView full = view(65040);
    full.placements = &placements;
    full.current = 1;
    full.loudness = &loudness;
    full.loudnessStepMs = 1000;
    full.paused = full.looping = true;
    full.message = "a message";
    drawOverlay(*overlay, full);
    const std::vector<std::vector<float>> after = state();
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(after[i], before[i]) << names[i];
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    glDeleteTextures(1, &texture);
    for (const GLenum on : switches) glDisable(on);
    glViewport(0, 0, kWidth, kHeight);
}

// Text is glyphs, not blocks: of the pixels between the first and last lit
// ones of the status, a part is lit, far from all. The message adds a line.
TEST_F(OverlayDrawing, WritesTheStatusAndTheMessage) {
    const auto ink = [&](const Frame& frame) {
        int lit = 0, top = kHeight, bottom = -1, left = kWidth, right = -1;
        for (int y = 0; y < strip.y / 2; ++y) // the status, above the head's cap
            for (int x = 0; x < kWidth; ++x) {
                const Rgb c = pixel(frame, x, y);
                if (c.r + c.g + c.b < 3 * 96) continue;
                ++lit;
                top = std::min(top, y), bottom = std::max(bottom, y);
                left = std::min(left, x), right = std::max(right, x);
            }
        const double area = double(bottom - top + 1) * (right - left + 1);
        return std::pair{lit, lit / std::max(area, 1.0)};
    };
    OverlayView status = view(65040);
    status.looping = true;
    const auto [lit, share] = ink(draw(status));
    EXPECT_GT(share, 0.05);
    EXPECT_LT(share, 0.3);
    status.message = "cannot read scene.txt";
    EXPECT_GT(ink(draw(status)).first, lit + 50);
}

TEST(OverlayFont, AMissingFileIsAnErrorNamingIt) {
    const std::string missing = "/nonexistent/font.ttf";
    EXPECT_NE(loadFont(missing, 13).error.find(missing), std::string::npos);
}

// A click on a column gives a time whose head stands in that column, the
// strip's ends and beyond giving 0 and the end; the head's column gives its
// time back within half a column's worth of ms.
TEST_F(OverlayDrawing, PlayHeadStandsWhereStripTimePutsItsTime) {
    const int32_t last = strip.x + strip.width - 1, row = strip.y + strip.height / 2;
    const auto headColumns = [&](int32_t time) {
        const Frame frame = draw(view(time));
        std::vector<int32_t> white;
        for (int32_t x = 0; x < kWidth; ++x)
            if (pixel(frame, x, row).r == 255 && pixel(frame, x, row).b == 255) white.push_back(x);
        return white;
    };
    const std::pair<int32_t, int32_t> clicks[] = {
        {-5, strip.x},        {strip.x, strip.x}, {strip.x + 1, strip.x + 1}, {80, 80},
        {last - 1, last - 1}, {last, last},       {kWidth + 5, last}};
    for (const auto& [click, column] : clicks)
        EXPECT_EQ(headColumns(stripTime(strip, click, kEnd)), std::vector{column}) << click;
    EXPECT_EQ(stripTime(strip, strip.x, kEnd), 0);
    EXPECT_EQ(stripTime(strip, last, kEnd), kEnd);
    for (const int32_t time : {1, 65040, kEnd - 1}) {
        const std::vector<int32_t> head = headColumns(time);
        ASSERT_EQ(head.size(), 1u) << time;
        EXPECT_NEAR(stripTime(strip, head[0], kEnd), time, kEnd / (2 * (strip.width - 1)) + 1);
    }
}

// The head's cap is as wide at 0 and at the end as in the middle (not cut
// off by the strip's edge); a block too narrow for "Scene4" still gets a
// label ("S4"), and its name above the strip while the pointer rests on it.
TEST_F(OverlayDrawing, HeadShowsWholeAtTheEndsAndShortBlocksGetShortLabels) {
    const auto capPixels = [&](int32_t time) {
        const Frame frame = draw(view(time));
        int white = 0;
        for (int32_t x = 0; x < kWidth; ++x) {
            const Rgb c = pixel(frame, x, strip.y - 1);
            white += c.r == 255 && c.g == 255 && c.b == 255;
        }
        return white;
    };
    const int middle = capPixels(kEnd / 2);
    EXPECT_GT(middle, 1);
    EXPECT_EQ(capPixels(0), middle);
    EXPECT_EQ(capPixels(kEnd), middle);

    const int32_t cut = kEnd / 4 * 3;
    const ScenePlacements placements = {{"Scene1", 1, 0, cut}, {"Scene4", 1, cut + 1, kEnd}};
    OverlayView labelled = view(0);
    labelled.placements = &placements;
    const Frame frame = draw(labelled);
    int ink = 0;
    for (int32_t y = strip.y; y < strip.y + strip.height; ++y)
        for (int32_t x = stripColumn(strip, cut + 1, kEnd); x < strip.x + strip.width; ++x) {
            const Rgb c = pixel(frame, x, y);
            ink += c.r > 200 && c.g > 200 && c.b > 200;
        }
    EXPECT_GT(ink, 10) << "the short block has no label";

    // The pointer resting on it names it above the strip.
    const auto inkAbove = [&](const Frame& frame) {
        int lit = 0;
        for (int32_t y = strip.y / 2; y < strip.y - 2; ++y)
            for (int32_t x = 0; x < kWidth; ++x) lit += pixel(frame, x, y).r > 200;
        return lit;
    };
    const int bare = inkAbove(frame);
    labelled.hoverX = strip.x + strip.width - 2;
    EXPECT_GT(inkAbove(draw(labelled)), bare + 20) << "no name on hover";
}
