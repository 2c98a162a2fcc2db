// What a scene's steps hand on from one frame to the next, worked out from
// the set alone, so that a frame taken out of the show's order (a seek, a
// capture from the middle) replays only the frames before it whose state it
// still sees.
//
// The carried state is the GL settings the steps leave set (blend function,
// colour, texturing, bound picture, matrices, texture coordinate) and the
// engine's own (the camera's stored view and switch, the grass field with the
// random generator behind it). Pixels are not carried: every frame clears.
//
// An effect says which parts steps may change, and on which parts before
// them each part's value after them depends: `blend add` makes the blend
// function depend on nothing; `scatter` changes the field from the generator's
// state before; a step that does not touch a part leaves it depending on
// itself. Effects compose, so a frame's effect is its callbacks' in order.
//
//   std::vector<BlockEffects> effects = blockEffects(set);
//   CarriedEffect frame = then(effects[a].onceSkipped, effects[b].onceSkipped);
//   if (frame.written & needed) ... the frame matters; needed = dependencies(frame, needed)
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "show/scene_set.h"

namespace scenes {

enum Carried : uint32_t {
    kCarriedBlend,
    kCarriedColour,
    kCarriedTexturing,
    kCarriedPicture,
    kCarriedModelView,
    kCarriedProjection,
    kCarriedStoredView, // the camera's view, loaded by "view" and "camera off"
    kCarriedCameraOn,
    kCarriedTexCoord, // the last texture coordinate: plain quads draw with it
    kCarriedGrass,    // the field and the random generator that scatters it
    kCarriedCount
};

using CarriedMask = uint32_t;
constexpr CarriedMask kAllCarried = (1u << kCarriedCount) - 1;

constexpr CarriedMask carriedBit(Carried part) {
    return 1u << part;
}

struct CarriedEffect {
    CarriedMask written = 0;                      // parts the steps may change
    std::array<CarriedMask, kCarriedCount> after; // part k after depends on after[k] before
};

// Changes nothing: each part depends on itself.
CarriedEffect noCarriedEffect();

// What code the set does not describe may do: anything, from anything.
CarriedEffect unknownCarriedEffect();

// `second` run after `first`.
CarriedEffect then(const CarriedEffect& first, const CarriedEffect& second);

// The parts before the steps that the parts `needed` after them depend on.
CarriedMask dependencies(const CarriedEffect& effect, CarriedMask needed);

// A block's effect when the show's once-only steps have run already (or
// never will), and when its first "once" block runs (the show's set-up).
struct BlockEffects {
    CarriedEffect onceSkipped;
    CarriedEffect onceRuns;
    bool hasOnce = false; // runs a "once" block, itself or through a piece
};

// One entry per block of the set.
std::vector<BlockEffects> blockEffects(const SceneSet& set);

} // namespace scenes
