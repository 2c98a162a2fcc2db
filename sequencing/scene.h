// Scenes: a name and the three callbacks a timeline runs for it.
//
//   sceneSlots[1] = createScene("Scene1", sceneSetup, drawScene1, swayCamera);
//   ...                               // the script finds scenes by name
//   destroyScene(sceneSlots[1]);      // or releaseSlots() (timeline.h) at teardown
//   sceneSlots[1] = nullptr;
//
// Creating a scene never registers it: the caller stores it in its slot.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A procedure run by a timeline. It learns the time from the main program's
// play-time clock; nothing tells it when its scene started.
using Callback = void (*)();

// The empty callback: fills every slot of a new timeline, so a frame outside
// every placement draws nothing but the cleared screen.
void noOp();

// Names are short texts; longer input is cut to this many characters.
constexpr size_t kMaxNameLength = 255;

struct Scene {
    std::string name;     // matched exactly (case and length) by the script
    Callback onStart;     // each frame in the first 101 ms of a placement
    Callback onDraw;      // each frame of a placement, before the buffer swap
    Callback onAfterSwap; // each frame of a placement, after the buffer swap
};

constexpr int kSceneSlotCount = 100;

// Registered scenes, indices 1 to 100; index 0 is unused and stays null.
extern Scene* sceneSlots[kSceneSlotCount + 1];

// Copies the name (cut to kMaxNameLength) and the three callbacks in.
// A null callback is allowed and runs as nothing.
Scene* createScene(std::string_view name, Callback onStart, Callback onDraw, Callback onAfterSwap);
// Releases the scene (null is fine); no callback is called. Clear its slot yourself.
void destroyScene(Scene* scene);

// The registered scene with exactly this name; when several match, the one in
// the highest slot. Null when none does.
Scene* findScene(std::string_view name);
