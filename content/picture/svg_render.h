// SVG drawings rendered with librsvg onto a cairo surface.
#pragma once

#include <string>

#include "content/picture/picture.h"

namespace picture {

// Renders `fileName` scaled to fill width x height (the drawing's own
// aspect-ratio rules apply) into RGBA pixels with straight, not
// premultiplied, alpha. Sides must be powers of two (isValidSide). Text in
// the drawing uses the system's fonts through fontconfig, which keeps its
// cache until the process ends: leak checkers report it at exit (the picture
// tests suppress "leak:libfontconfig.so").
PictureError renderSvg(const std::string& fileName, int width, int height, Picture& out);

} // namespace picture
