#include "content/picture/render_entry.h"

#include "content/picture/colour_spread.h"
#include "content/picture/svg_render.h"
#include "content/picture/texgen_render.h"

namespace picture {

namespace {

constexpr int kRgbChannels = 3;
constexpr int kRgbaChannels = 4;

} // namespace

void flattenOnBlack(Picture& picture) {
    if (picture.channels != kRgbaChannels) return;
    const size_t count = size_t(picture.width) * picture.height;
    std::vector<uint8_t> rgb(count * kRgbChannels);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = &picture.pixels[i * kRgbaChannels];
        for (int c = 0; c < kRgbChannels; ++c) {
            rgb[i * kRgbChannels + c] = uint8_t((p[c] * p[3] + 127) / 255);
        }
    }
    picture.pixels.swap(rgb);
    picture.channels = kRgbChannels;
}

PictureError renderEntry(const ManifestEntry& entry, const std::string& assetsDir, Picture& out) {
    const std::string path = assetsDir.empty() ? entry.source : assetsDir + "/" + entry.source;
    if (entry.sourceKind == SourceKind::TextureProgram) {
        if (entry.alpha == AlphaKind::Companion) {
            return {path + ": a texture program has no alpha to make a companion from"};
        }
        return renderTexgenProgram(path, entry.width, entry.height, out);
    }
    if (PictureError error = renderSvg(path, entry.width, entry.height, out)) return error;
    if (entry.alpha == AlphaKind::Companion) {
        spreadColourUnderTransparency(out);
    } else {
        flattenOnBlack(out);
    }
    return {};
}

} // namespace picture
