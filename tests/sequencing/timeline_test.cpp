// Timeline tables: creation limits, placements slot by slot, and one frame's
// dispatch order.
#include <gtest/gtest.h>

#include <climits>

#include "recorder.h"
#include "sequencing/timeline.h"

namespace {

class TimelineTest : public ::testing::Test {
  protected:
    void SetUp() override { events.clear(); }
    void TearDown() override { releaseSlots(); }
};

TEST_F(TimelineTest, CreationFillsZeroToLengthAndRefusesMoreThanTenMinutes) {
    TimelineError error;
    Timeline* full = createTimeline("full", kMaxTimelineLength, &error);
    ASSERT_NE(full, nullptr);
    EXPECT_TRUE(error.ok());
    EXPECT_EQ(full->startTable[kMaxTimelineLength], noOp);
    EXPECT_EQ(full->afterSwapTable[0], noOp);
    EXPECT_EQ(full->setupMarker, 0);
    destroyTimeline(full);

    Timeline* shortOne = createTimeline(std::string(300, 'n'), 1000);
    EXPECT_EQ(shortOne->name.size(), kMaxNameLength);
    EXPECT_EQ(shortOne->drawTable[1000], noOp);
    EXPECT_EQ(shortOne->drawTable[1001], nullptr);
    destroyTimeline(shortOne);

    EXPECT_EQ(createTimeline("big", kMaxTimelineLength + 1, &error), nullptr);
    EXPECT_EQ(error.module, "kglTimeline");
    EXPECT_EQ(error.message, "Timeline is too big for buffer!");
    EXPECT_EQ(createTimeline("negative", -1, &error), nullptr);
    EXPECT_TRUE(error);
}

TEST_F(TimelineTest, PlacementsWriteTheirSlotsAndLaterOnesWin) {
    // Registered only so that TearDown releases them.
    Timeline* tl = timelineSlots[1] = createTimeline("t", 20000);
    Scene* a = sceneSlots[1] = recordingScene<1>("A");
    Scene* b = sceneSlots[2] = recordingScene<2>("B");
    Scene* c = sceneSlots[3] = recordingScene<3>("C");
    placeScene(tl, a, 0, 10000);
    placeScene(tl, b, 5000, 15000);
    placeScene(tl, c, 17000, 16000); // end before start: start slots only

    EXPECT_EQ(tl->startTable[100], a->onStart);
    EXPECT_EQ(tl->startTable[101], noOp);
    EXPECT_EQ(tl->drawTable[4999], a->onDraw);
    EXPECT_EQ(tl->afterSwapTable[4999], a->onAfterSwap);
    EXPECT_EQ(tl->startTable[5000], b->onStart);
    EXPECT_EQ(tl->startTable[5100], b->onStart);
    EXPECT_EQ(tl->startTable[5101], noOp);
    EXPECT_EQ(tl->drawTable[5000], b->onDraw);
    EXPECT_EQ(tl->afterSwapTable[15000], b->onAfterSwap);
    EXPECT_EQ(tl->drawTable[15001], noOp);
    EXPECT_EQ(tl->startTable[17100], c->onStart);
    EXPECT_EQ(tl->drawTable[17000], noOp);

    // A short placement keeps all 101 start slots.
    placeScene(tl, c, 18000, 18050);
    EXPECT_EQ(tl->startTable[18100], c->onStart);
    EXPECT_EQ(tl->drawTable[18051], noOp);

    // Nothing is written past the filled slots, whatever the times.
    placeScene(tl, a, 19950, 30000);
    EXPECT_EQ(tl->drawTable[20000], a->onDraw);
    EXPECT_EQ(tl->startTable[20001], nullptr);
    EXPECT_EQ(tl->drawTable[20001], nullptr);
    placeScene(tl, a, INT32_MAX - 10, INT32_MAX);
    placeScene(tl, a, INT32_MIN, -1);
    EXPECT_EQ(tl->drawTable[0], a->onDraw); // from the first placement only
}

void swapBuffers() {
    events.push_back("swap");
}

TEST_F(TimelineTest, StepRunsStartsAndDrawsThenSwapsThenAfterSwapsInSlotOrder) {
    sceneSlots[1] = recordingScene<1>("one");
    sceneSlots[2] = recordingScene<2>("two");
    timelineSlots[7] = createTimeline("second", 10000);
    timelineSlots[3] = createTimeline("first", 10000);
    placeScene(timelineSlots[7], sceneSlots[2], 5000, 9000);
    placeScene(timelineSlots[3], sceneSlots[1], 5050, 6000);

    stepTimelines(5100, swapBuffers);
    EXPECT_EQ(events, (std::vector<std::string>{"s1", "d1", "s2", "d2", "swap", "a1", "a2"}));
    events.clear();
    stepTimelines(5101, swapBuffers);
    EXPECT_EQ(events, (std::vector<std::string>{"s1", "d1", "d2", "swap", "a1", "a2"}));
    events.clear();
    stepTimelines(9001, nullptr);
    EXPECT_TRUE(events.empty());
}

TEST_F(TimelineTest, PlayTimesOutsideTheFilledSlotsAreNotDispatched) {
    sceneSlots[1] = recordingScene<1>("one");
    timelineSlots[1] = createTimeline("t", 1000);
    placeScene(timelineSlots[1], sceneSlots[1], 0, 1000);
    timelineSlots[1]->startTable[1001] = record<'x', 0>; // must stay unreached above length
    for (int32_t t : {-1, 1001, kMaxTimelineLength, kMaxTimelineLength + 1, INT32_MIN, INT32_MAX}) {
        events.clear();
        stepTimelines(t, swapBuffers);
        EXPECT_EQ(events, std::vector<std::string>{"swap"}) << "play time " << t;
    }
    events.clear();
    stepTimelines(1000, swapBuffers);
    EXPECT_EQ(events, (std::vector<std::string>{"d1", "swap", "a1"}));
}

TEST_F(TimelineTest, FindSceneMatchesExactlyAndPrefersTheHighestSlot) {
    sceneSlots[4] = createScene("Twin", noOp, noOp, noOp);
    sceneSlots[90] = createScene("Twin", noOp, nullptr, noOp);
    EXPECT_EQ(findScene("Twin"), sceneSlots[90]);
    EXPECT_EQ(findScene("twin"), nullptr);
    EXPECT_EQ(findScene("Twin "), nullptr);

    // A null callback is stored and simply not called.
    timelineSlots[1] = createTimeline("t", 10);
    placeScene(timelineSlots[1], sceneSlots[90], 0, 10);
    stepTimelines(5, swapBuffers);
    EXPECT_EQ(events, std::vector<std::string>{"swap"});
}

} // namespace
