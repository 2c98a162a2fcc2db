// The capture tool's clock and lead-up: which play times it renders, and
// which frames before the first kept one it runs to rebuild the state a
// full run would hand over.
#include <gtest/gtest.h>

#include <vector>

#include "sequencing/timeline.h"
#include "tools/capture_plan.h"

namespace {

void start() {}
void draw() {}
void afterSwap() {}

class LeadUpTest : public testing::Test {
  protected:
    Scene* scene = nullptr;

    void SetUp() override {
        scene = createScene("S", start, draw, afterSwap);
        timelineSlots[1] = createTimeline("T", 5000);
        ASSERT_NE(timelineSlots[1], nullptr);
    }
    void TearDown() override {
        destroyScene(scene);
        destroyTimeline(timelineSlots[1]);
        timelineSlots[1] = nullptr;
    }
    void place(int32_t from, int32_t to) { placeScene(timelineSlots[1], scene, from, to); }
};

std::vector<int32_t> times(std::initializer_list<int32_t> list) {
    return list;
}

} // namespace

TEST(CaptureClock, FrameTimesAreWholeMillisecondsFromTheStart) {
    // 60 fps: 16.67 ms a frame, rounded down from the start, not step by step.
    EXPECT_EQ(captureFrameTime(0, 1, 60), 16);
    EXPECT_EQ(captureFrameTime(0, 2, 60), 33);
    EXPECT_EQ(captureFrameTime(0, 3, 60), 50);
    EXPECT_EQ(captureFrameTime(1000, 59, 60), 1983);
    EXPECT_EQ(captureFrameTime(0, 137113LL * 1000, kMaxCaptureFps), 137113LL * 1000);

    // Frames up to, not including, the end.
    EXPECT_EQ(captureFrameCount(0, 1000, 60), 60);
    EXPECT_EQ(captureFrameCount(0, 1001, 60), 61);
    EXPECT_EQ(captureFrameCount(0, 1000, 7), 7);
    EXPECT_EQ(captureFrameCount(100, 101, 1), 1);
    EXPECT_EQ(captureFrameCount(500, 500, 60), 0);
    EXPECT_EQ(captureFrameCount(500, 400, 60), 0);
    // The last frame counted lies below the end, the next one does not.
    for (int32_t fps : {1, 24, 30, 60, 144, 1000}) {
        const int64_t count = captureFrameCount(250, 137113, fps);
        EXPECT_LT(captureFrameTime(250, count - 1, fps), 137113) << fps;
        EXPECT_GE(captureFrameTime(250, count, fps), 137113) << fps;
    }
}

TEST_F(LeadUpTest, SetUpFrameThenTheFramesFromTheLastDrawingOne) {
    place(0, 500);
    place(1000, 1500);
    // 20 fps: the grid is every 50 ms. Inside a placement: the set-up frame
    // at 0, then the frame just before.
    EXPECT_EQ(leadUpTimes(1200, 20, LeadUp::Short), times({0, 1150}));
    // The first frame of a placement: the last frame of the one before.
    EXPECT_EQ(leadUpTimes(1000, 20, LeadUp::Short),
              times({0, 500, 550, 600, 650, 700, 750, 800, 850, 900, 950}));
    // Right after the set-up frame, once.
    EXPECT_EQ(leadUpTimes(50, 20, LeadUp::Short), times({0}));
    // Nothing before the show's first frame.
    EXPECT_TRUE(leadUpTimes(0, 20, LeadUp::Short).empty());
    // Off the grid (60 fps): the grid frames below the first kept one.
    EXPECT_EQ(leadUpTimes(40, 60, LeadUp::Short), times({0, 33}));
}

TEST_F(LeadUpTest, NoSceneBeforeTheFirstFrameMeansNoLeadUp) {
    place(1000, 1500);
    EXPECT_TRUE(leadUpTimes(1000, 20, LeadUp::Short).empty());
    EXPECT_TRUE(leadUpTimes(800, 20, LeadUp::Short).empty());
    EXPECT_EQ(leadUpTimes(1100, 20, LeadUp::Short), times({1000, 1050}));
}

TEST_F(LeadUpTest, SetUpAfterTheLastDrawingFrameKeepsItsPlace) {
    // 5 fps, a frame every 200 ms. The first placement's start window
    // (30 to 130) holds no frame; the second one's (590 to 690) holds 600,
    // where nothing draws any more (it ends at 595).
    place(30, 500);
    place(590, 595);
    EXPECT_EQ(leadUpTimes(1000, 5, LeadUp::Short), times({400, 600, 800}));
    EXPECT_EQ(leadUpTimes(500, 5, LeadUp::Short), times({400}));
}

TEST_F(LeadUpTest, FullLeadUpIsEveryGridFrameFromZero) {
    place(0, 100);
    EXPECT_EQ(leadUpTimes(100, 60, LeadUp::Full), times({0, 16, 33, 50, 66, 83}));
    EXPECT_TRUE(leadUpTimes(0, 60, LeadUp::Full).empty());
}
