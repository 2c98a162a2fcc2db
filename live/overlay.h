// The live mode's overlay: what the person making the show reads on top of
// the picture. Never part of a capture.
//
//   OverlayResult made = createOverlay();          // a current GL context first
//   if (!made.overlay) ... made.error ...
//   each frame, before the swap: drawOverlay(*made.overlay, view);
//   destroyOverlay(made.overlay);                  // while the context is current
//
// Top left: the play time as m:ss.mmm, the scene and its placement's start
// and end, frames per second, the paused and loop marks, and a message line
// when there is one. Along the bottom: the timeline strip, one labelled block
// per placement over the music's loudness envelope, and the play head.
// Text is drawn from a glyph atlas that FreeType rasterises once from a
// DejaVu font.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sequencing/script.h"

struct OverlayView {
    int32_t width = 0; // drawable pixels
    int32_t height = 0;
    int32_t timeMs = 0;
    int32_t endMs = 1;                           // the show's end: the strip spans 0 .. endMs
    const ScenePlacements* placements = nullptr; // the script's, in its order; may be null
    int current = -1;                            // placement playing, -1 none
    double fps = 0;
    bool paused = false;
    bool looping = false;
    // Loudness 0..1, one value per loudnessStepMs from time 0; may be null or empty.
    const std::vector<float>* loudness = nullptr;
    int32_t loudnessStepMs = 1;
    std::string message; // shown under the status line when not empty
    // The pointer's column when it rests over the strip, else -1: the
    // placement under it is named above the strip, however short its block.
    int32_t hoverX = -1;
};

struct Overlay;

struct OverlayResult {
    Overlay* overlay = nullptr; // null on failure
    std::string error;          // why, naming the font file
};

// Loads the font and builds the glyph atlas texture.
OverlayResult createOverlay();
void destroyOverlay(Overlay* overlay);

// Draws over whatever the frame holds and leaves every piece of GL state as
// it found it (matrices, blend function, enables, bound texture, colour),
// so the show's next frame is the same with or without the overlay.
void drawOverlay(Overlay& overlay, const OverlayView& view);

// The timeline strip in window pixels, origin at the top left (mouse
// coordinates), for a drawable of width x height.
struct StripArea {
    int32_t x = 0, y = 0, width = 0, height = 0;
};
StripArea timelineStrip(int32_t width, int32_t height);
bool insideStrip(const StripArea& strip, int32_t x, int32_t y);
// The play time under window column x, clamped to 0 .. endMs: the strip's
// first column is 0, its last endMs.
int32_t stripTime(const StripArea& strip, int32_t x, int32_t endMs);
// The column the play head stands in at timeMs (clamped to 0 .. endMs).
// stripTime undoes it: the time of the head's column is within a column's
// worth of ms of timeMs, and a column's time comes back to that column
// whenever endMs is at least the strip's width.
int32_t stripColumn(const StripArea& strip, int32_t timeMs, int32_t endMs);
