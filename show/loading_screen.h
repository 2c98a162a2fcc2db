// The loading screen: one picture with a white progress bar, shown while the
// show loads. Its set-up also sets the render state the whole show keeps.
//
//   TextureResult loading = initLoadingScreen(width, height);
//   if (!loading.ok()) fatalError(loading.module, loading.message);
//   drawLoadingProgress(*loading.texture, 0.1); // draws and presents
//   ...
//   loading.texture.reset();                    // after the frame for 1.0
//
// Needs the window's context current.
#pragma once

#include <cstdint>

#include "images/texture.h"

inline constexpr const char* kLoadingPicture = "data/loading.hwl";

// Viewport width x height, the fixed 4:3 perspective, identity model-view,
// black clear colour, smooth shading, depth test off (depth clear 1, test
// LEQUAL), nicest perspective correction, white colour, additive blending
// on; then loads kLoadingPicture (3 components, no mipmaps) for the caller
// to keep and destroy.
TextureResult initLoadingScreen(int32_t viewportWidth, int32_t viewportHeight);

// One full frame from a cleared screen: the picture, and over its lower
// half a bar from its left edge to `progress` (0 to 1) of its width.
// Draws into the back buffer without presenting it.
void drawLoadingFrame(const Texture& picture, double progress);

// drawLoadingFrame, then presents the frame. Handles no window events.
void drawLoadingProgress(const Texture& picture, double progress);
