// Draws a scene set (scene_set.h): its scenes go into the show's scene
// slots, in the set's order, and each frame their steps are issued as GL
// calls, in the order written, with the values' doubles handed to GL as
// floats.
//
//   installSceneSet(std::move(set), pictureTextures);  // after the pictures loaded
//   setScenePlacements(placements);                    // for "since"
//   ... the timelines run the scenes ...
//   releaseSceneSet();
#pragma once

#include <vector>

#include "images/texture.h"
#include "sequencing/scene.h"
#include "sequencing/script.h"
#include "show/scene_carried.h"
#include "show/scene_set.h"

// `pictures[k]` is the texture of the set's picture k (null: binds none).
// Registers scene k of the set as sceneSlots[k + 1].
void installSceneSet(scenes::SceneSet set, std::vector<const Texture*> pictures);

// What a timeline's callback hands on to later frames (scene_carried.h):
// for the interpreter's callbacks, the installed set's effect, with its
// first once-only block run when `onceMayRun` (which it then clears); any
// other function may do anything.
scenes::CarriedEffect callbackCarriedEffect(Callback callback, bool& onceMayRun);

// Whether the callback runs a once-only block.
bool callbackRunsOnce(Callback callback);

// The placements the script made, to tell each scene when its placement
// began (none: the time since is the play time).
void setScenePlacements(ScenePlacements placements);

// The set installed now (for reloads and checks); null before the first.
const scenes::SceneSet* installedSceneSet();

// Forgets the set; the scene slots are the caller's to clear.
void releaseSceneSet();
