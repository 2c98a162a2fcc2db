#include "sequencing/scene.h"

Scene* sceneSlots[kSceneSlotCount + 1] = {};

void noOp() {}

Scene* createScene(std::string_view name, Callback onStart, Callback onDraw, Callback onAfterSwap) {
    return new Scene{std::string(name.substr(0, kMaxNameLength)), onStart, onDraw, onAfterSwap};
}

void destroyScene(Scene* scene) {
    delete scene;
}

Scene* findScene(std::string_view name) {
    // From the top down, so that the highest slot wins when names repeat.
    for (int i = kSceneSlotCount; i >= 1; --i) {
        if (sceneSlots[i] && sceneSlots[i]->name == name) return sceneSlots[i];
    }
    return nullptr;
}
