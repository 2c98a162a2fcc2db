#include "content/picture/colour_spread.h"

#include <vector>

namespace picture {

namespace {

constexpr int kRgbaChannels = 4;

} // namespace

void spreadColourUnderTransparency(Picture& picture) {
    if (picture.channels != kRgbaChannels) return;
    const int width = picture.width;
    const int height = picture.height;
    uint8_t* pixels = picture.pixels.data();
    // Which pixels hold a colour that may be spread; grows by one ring a pass.
    std::vector<uint8_t> known(size_t(width) * height);
    std::vector<size_t> frontier;
    for (size_t i = 0; i < known.size(); ++i) {
        known[i] = pixels[i * kRgbaChannels + 3] >= kSpreadAlphaLimit;
        if (!known[i]) frontier.push_back(i);
    }
    if (frontier.size() == known.size()) return; // nothing to spread from

    std::vector<size_t> filled, waiting;
    while (!frontier.empty()) {
        filled.clear();
        waiting.clear();
        for (size_t i : frontier) {
            const int x = int(i % width);
            const int y = int(i / width);
            int sum[3] = {0, 0, 0};
            int count = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx;
                    const int ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
                    const size_t n = size_t(ny) * width + nx;
                    if (!known[n]) continue;
                    for (int c = 0; c < 3; ++c) sum[c] += pixels[n * kRgbaChannels + c];
                    ++count;
                }
            }
            if (count == 0) {
                waiting.push_back(i);
                continue;
            }
            for (int c = 0; c < 3; ++c) {
                pixels[i * kRgbaChannels + c] = uint8_t((sum[c] + count / 2) / count);
            }
            filled.push_back(i);
        }
        // A ring becomes a source only after the whole ring is coloured, so
        // the spread does not run ahead along the scan direction.
        for (size_t i : filled) known[i] = 1;
        frontier.swap(waiting);
    }
}

} // namespace picture
