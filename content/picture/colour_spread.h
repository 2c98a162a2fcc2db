// Colour under the transparent parts of a cut-out.
//
// Textures are filtered linearly and stored un-premultiplied: a texel at the
// edge of a figure mixes the figure's colour with whatever colour the
// transparent texels next to it hold. Black there draws a dark seam around
// every figure; it also leaves a hard colour edge that the wavelet codec
// spends bits on. Spreading the edge colours outward avoids both.
#pragma once

#include "content/picture/picture.h"

namespace picture {

// Alpha below this counts as transparent: its colour is replaced.
constexpr uint8_t kSpreadAlphaLimit = 8;

// For an RGBA picture: every pixel whose alpha is below kSpreadAlphaLimit
// takes the average colour of its already-coloured 8 neighbours, growing
// ring by ring outward from the opaque parts. Alpha is left as it is. A
// picture with no opaque pixel, or one without alpha, is left unchanged.
void spreadColourUnderTransparency(Picture& picture);

} // namespace picture
