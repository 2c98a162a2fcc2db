// Finding one's way among placements: a later line wins where two overlap,
// Page Up goes to the placement before the one playing, Page Down to the
// next start, and gaps between placements belong to none.
#include <gtest/gtest.h>

#include "live/placements.h"

TEST(Placements, PlayingPreviousAndNextFollowTheTimeline) {
    const ScenePlacements placements = {
        {"A", 1, 0, 999}, {"B", 1, 1000, 2999}, {"C", 1, 1500, 1999}, {"D", 1, 4000, 4999}};
    const struct {
        int32_t time;
        int playing;
        int32_t previous, next;
    } cases[] = {
        {0, 0, 0, 1000},    {999, 0, 0, 1000},      {1000, 1, 0, 1500},    {1700, 2, 1000, 4000},
        {2500, 1, 0, 4000}, {3500, -1, 1500, 4000}, {4000, 3, 1500, 9999}, {6000, -1, 4000, 9999},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(placementAt(placements, c.time), c.playing) << c.time;
        EXPECT_EQ(previousPlacementStart(placements, c.time), c.previous) << c.time;
        EXPECT_EQ(nextPlacementStart(placements, c.time, 9999), c.next) << c.time;
    }
}
