// One entry of the picture list rendered from its source, in the form the
// HWL encoder takes for it.
#pragma once

#include <string>

#include "content/picture/manifest.h"
#include "content/picture/picture.h"

namespace picture {

// `assetsDir` is the folder the list's source paths are relative to.
// A companion entry comes back as RGBA, its colour spread under the clear
// parts (colour_spread.h). Every other entry comes back as RGB: a drawing
// is laid over black first, so that its clear parts are black, which for a
// "blue" entry is exactly the clear part of its own-blue alpha.
PictureError renderEntry(const ManifestEntry& entry, const std::string& assetsDir, Picture& out);

// Lays an RGBA picture over black and drops its alpha. RGB is left as it is.
void flattenOnBlack(Picture& picture);

} // namespace picture
