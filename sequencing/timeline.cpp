#include "sequencing/timeline.h"

#include <algorithm>
#include <new>

Timeline* timelineSlots[kTimelineSlotCount + 1] = {};

Timeline* createTimeline(std::string_view name, int32_t length, TimelineError* error) {
    const char* refusal = nullptr;
    if (length > kMaxTimelineLength) refusal = "Timeline is too big for buffer!";
    if (length < 0) refusal = "Timeline length is negative!";
    Timeline* timeline = refusal ? nullptr : new (std::nothrow) Timeline; // ~14 MB, zero-filled
    if (!refusal && !timeline) refusal = "Could not allocate Timeline!";
    if (refusal) {
        if (error) *error = timelineFailure(refusal, std::string(name));
        return nullptr;
    }
    timeline->name = std::string(name.substr(0, kMaxNameLength));
    timeline->length = length;
    std::fill_n(timeline->startTable, length + 1, noOp);
    std::fill_n(timeline->drawTable, length + 1, noOp);
    std::fill_n(timeline->afterSwapTable, length + 1, noOp);
    if (error) *error = {};
    return timeline;
}

void destroyTimeline(Timeline* timeline) {
    delete timeline;
}

// Writes `callback` into slots first..last of `table`, cut to 0..length.
// 64-bit bounds: start + 100 must not wrap for a start near the 32-bit limit.
static void fillSlots(Callback* table, int32_t length, int64_t first, int64_t last,
                      Callback callback) {
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>(last, length);
    for (int64_t t = first; t <= last; ++t) table[t] = callback;
}

void placeScene(Timeline* timeline, const Scene* scene, int32_t start, int32_t end) {
    if (!timeline || !scene) return;
    // Never past the table, even if someone raised `length` by hand.
    const int32_t length = std::min(timeline->length, kMaxTimelineLength);
    fillSlots(timeline->startTable, length, start, int64_t(start) + kStartWindow, scene->onStart);
    fillSlots(timeline->drawTable, length, start, end, scene->onDraw);
    fillSlots(timeline->afterSwapTable, length, start, end, scene->onAfterSwap);
}

// Slots above `length` are null and anything outside the table does not exist:
// such a play time is simply not dispatched.
static bool holdsTime(const Timeline* timeline, int32_t t) {
    return timeline && t >= 0 && t <= timeline->length && t <= kMaxTimelineLength;
}

static void run(Callback callback) {
    if (callback) callback();
}

void stepTimelines(int32_t playTime, Callback swapBuffers) {
    for (int i = 1; i <= kTimelineSlotCount; ++i) {
        const Timeline* timeline = timelineSlots[i];
        if (!holdsTime(timeline, playTime)) continue;
        run(timeline->startTable[playTime]);
        run(timeline->drawTable[playTime]);
    }
    run(swapBuffers);
    for (int i = 1; i <= kTimelineSlotCount; ++i) {
        const Timeline* timeline = timelineSlots[i];
        if (holdsTime(timeline, playTime)) run(timeline->afterSwapTable[playTime]);
    }
}

void releaseSlots() {
    for (Scene*& scene : sceneSlots) {
        destroyScene(scene);
        scene = nullptr;
    }
    for (Timeline*& timeline : timelineSlots) {
        destroyTimeline(timeline);
        timeline = nullptr;
    }
}
