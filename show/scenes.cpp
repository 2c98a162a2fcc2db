#include "show/scenes.h"

#include <string>

#include "sequencing/scene.h"

namespace {

// The stage and the scene draws join here as they are written; until then
// every scene shows the cleared screen and the camera stays still.
void sceneSetup() {}
void swayCamera() {}
void swayCameraBounce() {}
void drawScene() {}

} // namespace

void registerScenes() {
    constexpr int kBouncingScene = 6; // the one scene whose camera bounces
    for (int slot = 1; slot <= kShowSceneCount; ++slot) {
        const Callback afterSwap = slot == kBouncingScene ? swayCameraBounce : swayCamera;
        sceneSlots[slot] =
            createScene("Scene" + std::to_string(slot), sceneSetup, drawScene, afterSwap);
    }
}
