// Timelines: three tables indexed by the millisecond of play time, each slot
// holding the callback to run at that time. Dispatch is a direct index.
//
//   TimelineError error;
//   timelineSlots[1] = createTimeline("Timeline1", 137113, &error);
//   if (!timelineSlots[1]) fatalError(error.module.c_str(), error.message.c_str());
//   placeScene(timelineSlots[1], sceneSlots[3], 12000, 25000); // or loadScript (script.h)
//   each frame:  stepTimelines(playTime, swapWindowBuffers);
//   teardown:    releaseSlots();
//
// The buffer swap is handed in as a plain function so that this library stays
// free of any window code; tests pass their own or null.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sequencing/scene.h"
#include "sequencing/timeline_error.h"

// Slots 0 to 600000: ten minutes, the largest timeline there is.
constexpr int32_t kMaxTimelineLength = 600000;
constexpr int32_t kTimelineTableSize = kMaxTimelineLength + 1;
// A placement's start callback covers its first millisecond and the 100 after it.
constexpr int32_t kStartWindow = 100;

struct Timeline {
    std::string name; // for identification only
    Callback startTable[kTimelineTableSize] = {};
    Callback drawTable[kTimelineTableSize] = {};
    Callback afterSwapTable[kTimelineTableSize] = {};
    int32_t setupMarker = 0; // never touched here: a once-only marker for scene callbacks
    int32_t length = 0;      // slots 0 to length are filled; the rest stay null
};

constexpr int kTimelineSlotCount = 10;

// Registered timelines, indices 1 to 10 (the script's timeline ID); index 0 is
// unused and stays null.
extern Timeline* timelineSlots[kTimelineSlotCount + 1];

// A zero-filled timeline whose slots 0 to `length` all hold noOp. Null on
// failure, with the reason in *error when given: "Timeline is too big for
// buffer!" above 600000, "Timeline length is negative!" below 0.
Timeline* createTimeline(std::string_view name, int32_t length, TimelineError* error = nullptr);
// Releases the timeline (null is fine). Clear its slot yourself.
void destroyTimeline(Timeline* timeline);

// One placement of `scene` from `start` to `end` ms, both inclusive:
// onStart into start..start+100 (101 slots whatever `end` is), onDraw and
// onAfterSwap into start..end (none when end < start). Overwrites what was
// there, so a later placement wins slot by slot. Slots outside 0..length are
// never written.
void placeScene(Timeline* timeline, const Scene* scene, int32_t start, int32_t end);

// One frame: for timelines 1 to 10 the start then the draw callback at
// `playTime`, then swapBuffers() (skipped when null), then for timelines 1 to
// 10 the after-swap callback. A timeline whose filled slots 0..length do not
// hold `playTime` runs nothing this frame.
void stepTimelines(int32_t playTime, Callback swapBuffers);

// Teardown: destroys every scene and timeline in the two registries and
// empties both.
void releaseSlots();
