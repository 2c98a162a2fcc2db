// The real sources under assets/: every listed picture renders, and each
// kind has the transparency the show draws it with.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "tools/picture/manifest.h"
#include "tools/picture/render_entry.h"

namespace picture {
namespace {

struct Rendered {
    ManifestEntry entry;
    Picture picture;
};

// Rendered once for all tests of this file.
const std::vector<Rendered>& assets() {
    static const std::vector<Rendered> rendered = [] {
        std::vector<ManifestEntry> entries;
        const PictureError listError = readManifest(TEST_ASSETS_DIR "/pictures.txt", entries);
        EXPECT_TRUE(listError.ok()) << listError.message;
        std::vector<Rendered> result;
        for (const ManifestEntry& entry : entries) {
            Rendered r{entry, {}};
            const PictureError error = renderEntry(entry, TEST_ASSETS_DIR, r.picture);
            EXPECT_TRUE(error.ok()) << error.message;
            result.push_back(std::move(r));
        }
        return result;
    }();
    return rendered;
}

const uint8_t* at(const Picture& p, int x, int y) {
    return &p.pixels[(size_t(y) * p.width + x) * p.channels];
}

double luma(const uint8_t* p) {
    return 0.3 * p[0] + 0.59 * p[1] + 0.11 * p[2];
}

TEST(Assets, EveryPictureRendersAtItsSizeWithTheRightChannels) {
    ASSERT_FALSE(assets().empty());
    for (const Rendered& r : assets()) {
        SCOPED_TRACE(r.entry.name);
        EXPECT_EQ(r.picture.width, r.entry.width);
        EXPECT_EQ(r.picture.height, r.entry.height);
        EXPECT_EQ(r.picture.channels, r.entry.alpha == AlphaKind::Companion ? 4 : 3);
        EXPECT_EQ(r.picture.pixels.size(),
                  size_t(r.entry.width) * r.entry.height * r.picture.channels);
    }
}

// Cut-outs: clear corners, a solid figure, standing on the bottom edge but
// leaving the last rows clear (textures repeat: the bottom row would show
// along the top of the quad).
TEST(Assets, CutOutsAreClearAroundASolidFigureOnTheBottomEdge) {
    constexpr int kClearBottomRows = 2;
    constexpr int kFootReach = 16;
    for (const Rendered& r : assets()) {
        if (r.entry.alpha != AlphaKind::Companion) continue;
        SCOPED_TRACE(r.entry.name);
        const Picture& p = r.picture;
        const int w = p.width, h = p.height;
        for (auto [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}) {
            EXPECT_EQ(at(p, x, y)[3], 0) << "corner " << x << "," << y;
        }
        int solid = 0, lowest = -1;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                if (at(p, x, y)[3] > 128) ++solid, lowest = y;
            }
        }
        const double share = double(solid) / (w * h);
        EXPECT_GT(share, 0.05);
        EXPECT_LT(share, 0.8);
        EXPECT_GE(lowest, h - kFootReach);
        EXPECT_LT(lowest, h - kClearBottomRows);
    }
}

// Alpha from the picture's own blue: black around light lettering, and no
// colour that the blue channel would hide (yellow, red, green).
TEST(Assets, OwnBlueOverlaysAreLightOnBlack) {
    constexpr int kOpaqueBlue = 200;
    constexpr int kHiddenColour = 64; // red or green this far above blue
    for (const Rendered& r : assets()) {
        if (r.entry.alpha != AlphaKind::OwnBlue) continue;
        SCOPED_TRACE(r.entry.name);
        const Picture& p = r.picture;
        const int w = p.width, h = p.height;
        for (auto [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}) {
            EXPECT_LT(std::max({at(p, x, y)[0], at(p, x, y)[1], at(p, x, y)[2]}), 8);
        }
        int opaque = 0, hidden = 0;
        double opaqueLuma = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint8_t* px = at(p, x, y);
                if (px[2] >= kOpaqueBlue) ++opaque, opaqueLuma += luma(px);
                if (std::max(px[0], px[1]) > px[2] + kHiddenColour) ++hidden;
            }
        }
        const double share = double(opaque) / (w * h);
        EXPECT_GT(share, 0.03);
        EXPECT_LT(share, 0.5);
        EXPECT_GT(opaqueLuma / std::max(opaque, 1), 150.0);
        EXPECT_EQ(hidden, 0);
    }
}

const Rendered& find(const std::string& name) {
    for (const Rendered& r : assets()) {
        if (r.entry.name == name) return r;
    }
    ADD_FAILURE() << name << " is not listed";
    std::abort();
}

// Mean absolute difference between two pixel lines, `count` pixels apart by `step`.
double lineDifference(const Picture& p, const uint8_t* a, const uint8_t* b, int count,
                      size_t step) {
    double sum = 0;
    for (int i = 0; i < count; ++i) {
        for (int c = 0; c < p.channels; ++c) sum += std::abs(a[i * step + c] - b[i * step + c]);
    }
    return sum / count;
}

// The floor repeats 12 x 12: across each border the tile changes no more
// than between neighbouring pixels inside it.
TEST(Assets, FloorTileIsSeamless) {
    const Picture& p = find("floor").picture;
    const int w = p.width, h = p.height;
    const size_t rowStep = size_t(w) * p.channels;
    double insideColumns = 0, insideRows = 0;
    for (int x = 0; x + 1 < w; ++x) {
        insideColumns += lineDifference(p, at(p, x, 0), at(p, x + 1, 0), h, rowStep);
    }
    for (int y = 0; y + 1 < h; ++y) {
        insideRows += lineDifference(p, at(p, 0, y), at(p, 0, y + 1), w, p.channels);
    }
    insideColumns /= w - 1;
    insideRows /= h - 1;
    EXPECT_LE(lineDifference(p, at(p, w - 1, 0), at(p, 0, 0), h, rowStep), 2 * insideColumns + 2);
    EXPECT_LE(lineDifference(p, at(p, 0, h - 1), at(p, 0, 0), w, p.channels), 2 * insideRows + 2);
}

double meanLuma(const Picture& p, int firstRow, int endRow) {
    double sum = 0;
    for (int y = firstRow; y < endRow; ++y) {
        for (int x = 0; x < p.width; ++x) sum += luma(at(p, x, y));
    }
    return sum / (double(endRow - firstRow) * p.width);
}

// The white loading bar runs across the lower half: keep it darker.
TEST(Assets, LoadingPictureIsDarkerWhereTheBarRuns) {
    const Picture& p = find("loading").picture;
    EXPECT_LT(meanLuma(p, p.height / 2, p.height), meanLuma(p, 0, p.height / 2) * 0.6);
}

// The stage shows the back wall's lower 40 percent: it must hold a picture.
TEST(Assets, BackWallShowsSomethingInItsLowerPart) {
    const Picture& p = find("background").picture;
    const int top = p.height * 6 / 10;
    EXPECT_GT(meanLuma(p, top, p.height), 20.0);
    double lo = 255, hi = 0;
    for (int x = 0; x < p.width; ++x) {
        const double l = luma(at(p, x, (top + p.height) / 2));
        lo = std::min(lo, l), hi = std::max(hi, l);
    }
    EXPECT_GT(hi - lo, 30.0); // folds, not a flat colour
}

} // namespace
} // namespace picture
