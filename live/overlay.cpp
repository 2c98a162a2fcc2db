#include "live/overlay.h"

#include <algorithm>

struct Overlay {};

OverlayResult createOverlay() {
    return {new Overlay, ""};
}

void destroyOverlay(Overlay* overlay) {
    delete overlay;
}

void drawOverlay(Overlay&, const OverlayView&) {}

StripArea timelineStrip(int32_t width, int32_t height) {
    constexpr int32_t kStripHeight = 40;
    return {0, height - kStripHeight, width, kStripHeight};
}

bool insideStrip(const StripArea& strip, int32_t x, int32_t y) {
    return x >= strip.x && x < strip.x + strip.width && y >= strip.y && y < strip.y + strip.height;
}

int32_t stripTime(const StripArea& strip, int32_t x, int32_t endMs) {
    if (strip.width <= 0) return 0;
    const int64_t t = int64_t(x - strip.x) * endMs / strip.width;
    return int32_t(std::clamp<int64_t>(t, 0, endMs));
}
