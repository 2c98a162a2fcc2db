#include "live/placements.h"

#include <algorithm>

int placementAt(const ScenePlacements& placements, int32_t time) {
    for (int i = int(placements.size()) - 1; i >= 0; --i) {
        const ScenePlacement& p = placements[size_t(i)];
        if (p.start <= time && time <= p.end) return i;
    }
    return -1;
}

int32_t previousPlacementStart(const ScenePlacements& placements, int32_t time) {
    const int playing = placementAt(placements, time);
    const int32_t before = playing >= 0 ? placements[size_t(playing)].start : time;
    int32_t found = 0;
    for (const ScenePlacement& p : placements) {
        if (p.start < before) found = std::max(found, p.start);
    }
    return found;
}

int32_t nextPlacementStart(const ScenePlacements& placements, int32_t time, int32_t otherwise) {
    int32_t found = otherwise;
    bool any = false;
    for (const ScenePlacement& p : placements) {
        if (p.start > time && (!any || p.start < found)) {
            found = p.start;
            any = true;
        }
    }
    return found;
}
