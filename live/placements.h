// Finding one's way among the script's scene placements: which one plays at
// a time, and where the one before and the one after start.
#pragma once

#include <cstdint>

#include "sequencing/script.h"

// The placement that draws at `time`: of those holding it, the last line,
// as a later line wins on the timeline. -1 when none does.
int placementAt(const ScenePlacements& placements, int32_t time);

// The start of the placement before the one playing at `time` (before
// `time` itself when none plays): the latest start earlier than that; 0
// when there is none.
int32_t previousPlacementStart(const ScenePlacements& placements, int32_t time);

// The earliest start later than `time`; `otherwise` when there is none.
int32_t nextPlacementStart(const ScenePlacements& placements, int32_t time, int32_t otherwise);
