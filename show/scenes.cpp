#include "show/scenes.h"

#include <string>

#include "sequencing/scene.h"
#include "show/scene_draws.h"
#include "show/stage.h"

void registerScenes() {
    constexpr int kBouncingScene = 6; // the one scene whose camera bounces
    for (int slot = 1; slot <= kShowSceneCount; ++slot) {
        const Callback afterSwap = slot == kBouncingScene ? swayCameraBounce : swayCamera;
        sceneSlots[slot] =
            createScene("Scene" + std::to_string(slot), sceneSetup, sceneDraw(slot), afterSwap);
    }
}
