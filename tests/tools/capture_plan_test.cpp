// The capture tool's pieces in-process: its clock (which play times it
// renders), its lead-up (which frames before the first kept one it runs to
// rebuild the state a full run would hand over) and its sound track (the
// script's music from a play time on, read at the script's byte offset,
// looping like the show's stream).
#include <cstring>
#include <vector>

#include "content/capture/sound_track.h"
#include "sequencing/timeline.h"
#include "show/frame_replay.h"
#include "show/scene_interpreter.h"
#include "tools/tool_fixture.h"

namespace {

using Times = std::vector<int32_t>;

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

// Scenes from text in the interpreter's slots. Nothing is drawn: the lead-up
// is worked out from what their steps hand on to later frames.
constexpr const char* kLeadUpScenes = R"(
piece setup
    once
        camera on
        scatter
    end
end
piece square
    plain
        0 0 0
        1 0 0
        1 1 0
        0 1 0
    end
end
scene Stage  # sets all it draws with, but the picture and the field
    start
        include setup
    end
    draw
        identity
        texturing off
        blend add
        colour 1 1 (t / 1000) 1
        include square
    end
    after
        view 0 0 1  0 0 0  0 1 0
    end
end
scene Lean  # draws with what the frames before it left
    draw
        include square
    end
end
scene Wind  # the field scattered anew every frame
    draw
        scatter
        tufts
    end
end
)";

class LeadUpTest : public testing::Test {
  protected:
    void SetUp() override {
        scenes::SceneSet set;
        ASSERT_FALSE(scenes::readSceneSet({{"scenes/lead.scene", kLeadUpScenes}}, set));
        installSceneSet(std::move(set), {});
        timelineSlots[1] = createTimeline("T", 5000);
    }
    void TearDown() override {
        releaseSlots();
        releaseSceneSet();
    }
    void clearTimeline() {
        destroyTimeline(timelineSlots[1]);
        timelineSlots[1] = createTimeline("T", 5000);
    }
    void place(int slot, int32_t from, int32_t to) {
        placeScene(timelineSlots[1], sceneSlots[slot], from, to);
    }
    static constexpr int kStage = 1, kLean = 2, kWind = 3;
};

TEST_F(LeadUpTest, TheSetUpThenTheLastFramesThatSetWhatIsSeen) {
    place(kStage, 0, 500);
    place(kStage, 1000, 1500);
    // 20 fps: the grid is every 50 ms. Inside a placement: the set-up frame
    // at 0, then the frame just before, which sets all the rest.
    EXPECT_EQ(leadUpTimes(1200, 20, LeadUp::Short), (Times{0, 1150}));
    // The first frame of a placement: the last frame of the one before (the
    // frames after it run nothing), also from far past the timelines' end.
    EXPECT_EQ(leadUpTimes(1000, 20, LeadUp::Short), (Times{0, 500}));
    EXPECT_EQ(leadUpTimes(2000000000, 20, LeadUp::Short), (Times{0, 1500}));
    // Right after the set-up frame, once; nothing before the show's first frame.
    EXPECT_EQ(leadUpTimes(50, 20, LeadUp::Short), Times{0});
    EXPECT_TRUE(leadUpTimes(0, 20, LeadUp::Short).empty());
    // Off the grid (60 fps): the grid frames below the first kept one.
    EXPECT_EQ(leadUpTimes(40, 60, LeadUp::Short), (Times{0, 33}));
    EXPECT_EQ(leadUpTimes(100, 60, LeadUp::Full), (Times{0, 16, 33, 50, 66, 83}));
    // Nothing placed before the first frame: nothing to replay.
    clearTimeline();
    EXPECT_TRUE(leadUpTimes(0, 20, LeadUp::Short).empty());
}

TEST_F(LeadUpTest, AFrameThatSetsNothingLeavesTheReplayToTheFramesBeforeIt) {
    // Lean draws with the blend function, colour and view Stage left: its
    // frames change nothing, Stage's last one sets them.
    place(kStage, 0, 500);
    place(kLean, 1000, 1500);
    EXPECT_EQ(leadUpTimes(1200, 20, LeadUp::Short), (Times{0, 500}));
    // Where the set-up is not the first frame: the frames before it set
    // nothing it needs.
    clearTimeline();
    place(kLean, 0, 500);
    place(kStage, 1000, 1500);
    EXPECT_EQ(leadUpTimes(1100, 20, LeadUp::Short), (Times{1000, 1050}));
}

TEST_F(LeadUpTest, EveryScatterCountsForTheFieldAfterIt) {
    // Each scatter draws on the generator where the last one left it, so the
    // field at 1200 depends on every Wind frame and on the set-up's scatter.
    place(kWind, 0, 200);
    place(kStage, 1000, 1500);
    EXPECT_EQ(leadUpTimes(1200, 20, LeadUp::Short), (Times{0, 50, 100, 150, 200, 1000, 1150}));
}

constexpr int kRate = kSoundTrackRate;
constexpr int kJunk = 37; // bytes in front of the audio, as in a packed data file

// Sample i of the test music: a saw that never repeats within a second, in
// steps a float holds exactly after scaling by 1 / 32768.
int16_t sawSample(int i) {
    return int16_t((i * 7) % 30011 - 15000);
}

class SoundTrackTest : public testing::Test {
  protected:
    std::string dir = testing::TempDir() + "sound_track_" + std::to_string(getpid());
    std::string track = dir + "/track.wav";
    MusicSettings music{"", dir + "/packed.dat", kJunk, 0};

    // One second of mono 16-bit audio at the mixing rate behind kJunk bytes.
    void SetUp() override {
        std::filesystem::create_directories(dir);
        std::string bytes(kJunk, 'x');
        auto put = [&](uint32_t value, int size) {
            for (int i = 0; i < size; ++i) bytes += char(value >> 8 * i);
        };
        bytes += "RIFF";
        put(36 + kRate * 2, 4);
        bytes += "WAVEfmt ";
        for (uint32_t value : {16, 1 | 1 << 16, kRate, kRate * 2, 2 | 16 << 16}) put(value, 4);
        bytes += "data";
        put(kRate * 2, 4);
        for (int i = 0; i < kRate; ++i) put(uint16_t(sawSample(i)), 2);
        std::ofstream(*music.musicFile, std::ios::binary) << bytes;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(SoundTrackTest, StartsAtThePlayTimeAndLoops) {
    int64_t length = 0;
    ASSERT_EQ(musicLengthMs(music, length), "");
    EXPECT_EQ(length, 1000);

    // From 900 ms for 0.2 s: the last tenth of the music, then its start again.
    const int frames = kRate / 5;
    ASSERT_EQ(writeSoundTrack(music, 900, frames, track), "");
    const std::string bytes = readText(track);
    // A header other programs read: 32-bit float stereo at the mixing rate.
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(bytes[20], 3);                     // IEEE float
    EXPECT_EQ(bytes[22], 2);                     // channels
    constexpr size_t kHeader = 12 + 24 + 12 + 8; // RIFF, fmt, fact, data
    ASSERT_EQ(bytes.size(), kHeader + frames * 2 * sizeof(float));
    std::vector<float> samples(frames * 2);
    std::memcpy(samples.data(), bytes.data() + kHeader, samples.size() * sizeof(float));
    for (int n = 0; n < frames; ++n) {
        const float expected = float(sawSample((kRate * 9 / 10 + n) % kRate)) / 32768.0f;
        ASSERT_EQ(samples[2 * n], expected) << n;     // left
        ASSERT_EQ(samples[2 * n + 1], expected) << n; // right: mono on both
    }
}

TEST_F(SoundTrackTest, MusicErrorsAreTheMusicModulesTexts) {
    MusicSettings missing{"", dir + "/missing.ogg", 0, 0};
    int64_t length = 0;
    EXPECT_EQ(musicLengthMs(missing, length).rfind("FMOD: File not found (", 0), 0u);
    EXPECT_EQ(writeSoundTrack(missing, 0, 100, track).rfind("FMOD: File not found (", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(track));
    music.musicStart = 1 << 30; // an offset beyond the file
    EXPECT_NE(writeSoundTrack(music, 0, 100, track), "");
}

} // namespace
