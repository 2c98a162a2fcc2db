// The eleven scenes of the show, registered in sceneSlots 1 to 11.
#pragma once

constexpr int kShowSceneCount = 11;

// Creates "Scene1" ... "Scene11" with their callbacks and stores them in
// sceneSlots 1 to 11.
void registerScenes();
