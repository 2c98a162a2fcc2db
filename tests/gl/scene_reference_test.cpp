// The show's frames, byte for byte, at some 350 play times in each of two
// sizes, against hashes recorded from the scenes as the show first drew
// them (scene_reference.txt). Whatever draws the scenes, the same script over
// the same pictures must give these bytes: the stage, every scene, the
// overlays' pulses, the camera's sway and bounce, the fade, and the state
// one frame hands the next (the blend function after Scene11, the view).
//
// SCENE_REFERENCE_RECORD=FILE writes the table to FILE instead of checking.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <set>

#include "gl_fixture.h"
#include "show/frame_replay.h"

namespace {

// The show's placements, with changes that make the carried state show: a
// gap before the first scene (nothing drawn, then the set-up and the neutral
// view), Scene11 early and followed by Scene3 (its fade leaves the blend
// over, not additive), and a gap before the closing Scene11.
constexpr const char* kScript = "@scene Scene1 1 500 15359 \n"
                                "@scene Scene2 1 15360 30719 \n"
                                "@scene Scene11 1 30720 31999 \n"
                                "@scene Scene3 1 32000 46079 \n"
                                "@scene Scene4 1 46080 53759 \n"
                                "@scene Scene5 1 53760 69119 \n"
                                "@scene Scene6 1 69120 84479 \n"
                                "@scene Scene7 1 84480 99839 \n"
                                "@scene Scene8 1 99840 115199 \n"
                                "@scene Scene9 1 115200 122879 \n"
                                "@scene Scene10 1 122880 129999 \n"
                                "@scene Scene11 1 130560 137113 \n";
constexpr int32_t kShowEnd = 137113;
constexpr int32_t kEvery = 500; // ms between single frames across the show
// Play times where something changes: the placements' edges and the fade.
constexpr int32_t kEdges[] = {500,   15360, 30720,  32000,  46080,  53760,  69120,
                              84480, 99840, 115200, 122880, 130000, 130560, 135000};
constexpr int32_t kFadeStep = 250;
// Runs of consecutive frames on the replay grid, from a seek to their start.
constexpr int32_t kRuns[] = {0, 31950, 69100, 129950, 136900};
constexpr int32_t kRunFrames = 8;
constexpr int32_t kSizes[][2] = {{320, 240}, {800, 600}};

constexpr int kPictureSide = 64;

// Every picture of the show with detail in every texel (ramps and a
// checker, each in its own colours), and alpha companions whose ramps cross
// from clear to opaque, so that a texture coordinate or a blend out of place
// changes the frame.
void writeDetailedShow() {
    using showtest::kColours;
    using showtest::kNames;
    for (int i = 0; i < kTextureCount; ++i) {
        const Rgb c = kColours[i];
        const std::string name = kNames[i];
        writeBytes("data/" + name + ".hwl",
                   encodePicture(kPictureSide, kPictureSide, [c, i](int x, int y) {
                       const bool checker = ((x / 8) + (y / 8) + i) % 2 == 0;
                       return Rgb{uint8_t(c.r / 2 + x * 2), uint8_t(c.g / 2 + y * 2),
                                  uint8_t(checker ? c.b : 255 - c.b)};
                   }));
        if (i > kGrass && i != kSpeakers) continue;
        writeBytes("data/" + name + "_alpha.hwl",
                   encodePicture(kPictureSide, kPictureSide, [](int x, int y) {
                       const uint8_t v = uint8_t(std::min(255, std::max(0, (x + y) * 4 - 128)));
                       return Rgb{v, v, v};
                   }));
    }
    writeBytes("data/loading.hwl", encodePicture(kPictureSide, kPictureSide, [](int x, int y) {
                   return Rgb{uint8_t(x * 4), uint8_t(y * 4), 90};
               }));
    std::ofstream("script.sqx") << kScript;
}

std::set<int32_t> singleTimes() {
    std::set<int32_t> times;
    for (int32_t t = 0; t <= kShowEnd; t += kEvery) times.insert(t);
    for (const int32_t edge : kEdges)
        for (const int32_t t : {edge - 1, edge, edge + 1}) times.insert(t);
    for (int32_t t = 135000; t <= kShowEnd; t += kFadeStep) times.insert(t);
    times.insert(kShowEnd);
    return times;
}

// FNV-1a over the frame's bytes taken eight at a time (as little-endian
// words): quick enough for the sanitizer build.
uint64_t hashFrame(const Frame& frame) {
    uint64_t hash = 14695981039346656037ull;
    const size_t words = frame.rgba.size() / sizeof(uint64_t);
    for (size_t k = 0; k < words; ++k) {
        uint64_t word = 0;
        std::memcpy(&word, frame.rgba.data() + k * sizeof word, sizeof word);
        hash = (hash ^ word) * 1099511628211ull;
    }
    for (size_t k = words * sizeof(uint64_t); k < frame.rgba.size(); ++k)
        hash = (hash ^ frame.rgba[k]) * 1099511628211ull;
    return hash;
}

// The frame at `time` as a seek (and capture --at) draws it: the state the
// frames before it hand over first.
Frame seekFrame(int32_t time) {
    replayCarriedState(leadUpTimes(time, kReplayFps, LeadUp::Short), nullptr);
    showFrame(time, nullptr, nullptr);
    return readBackBuffer();
}

// "WxH TIME HASH" for every frame of the table at one size.
std::vector<std::string> renderTable(int32_t width, int32_t height) {
    std::vector<std::string> lines;
    createWindow("scene reference", width, height, 32, false);
    settings.screenWidth = width;
    settings.screenHeight = height;
    restartRandom();
    MusicSettings music;
    const ShowError error = loadShow(music);
    EXPECT_FALSE(error) << error.module << ": " << error.message;
    const auto add = [&](const char* kind, int32_t time, const Frame& frame) {
        char line[80];
        std::snprintf(line, sizeof line, "%dx%d %s %d %016" PRIx64, width, height, kind, time,
                      hashFrame(frame));
        lines.push_back(line);
    };
    if (!error) {
        for (const int32_t time : singleTimes()) add("at", time, seekFrame(time));
        for (const int32_t start : kRuns) {
            add("run", start, seekFrame(start));
            for (int64_t n = 1; n < kRunFrames; ++n) {
                const int32_t time = int32_t(captureFrameTime(start, n, kReplayFps));
                showFrame(time, nullptr, nullptr);
                add("run", time, readBackBuffer());
            }
        }
    }
    releaseShow();
    closeWindow();
    return lines;
}

std::vector<std::string> readLines(const std::string& fileName) {
    std::ifstream in(fileName);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    return lines;
}

} // namespace

// One test a size, so that the two run side by side.
class SceneReference : public testing::TestWithParam<int> {};

TEST_P(SceneReference, EveryFrameIsTheRecordedBytes) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    ScratchDirectory scratch;
    writeDetailedShow();
    const auto [width, height] = kSizes[GetParam()];
    const std::vector<std::string> lines = renderTable(width, height);
    if (const char* record = std::getenv("SCENE_REFERENCE_RECORD")) {
        // Both sizes go into one file: the first size starts it.
        std::ofstream out(record, GetParam() == 0 ? std::ios::trunc : std::ios::app);
        if (GetParam() == 0)
            out << "# size, single frame (at) or run, play time, FNV-1a of the RGBA words\n";
        for (const std::string& line : lines) out << line << "\n";
        GTEST_SKIP() << "recorded " << lines.size() << " frames in " << record;
    }
    const std::string size = std::to_string(width) + "x" + std::to_string(height) + " ";
    std::vector<std::string> expected;
    for (const std::string& line : readLines(SCENE_REFERENCE_FILE))
        if (line.rfind(size, 0) == 0) expected.push_back(line);
    ASSERT_GE(expected.size(), 300u);
    ASSERT_EQ(lines.size(), expected.size());
    int differing = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != expected[i] && ++differing <= 10)
            ADD_FAILURE() << lines[i] << ", recorded " << expected[i];
    }
    EXPECT_EQ(differing, 0) << "frames differ from the recorded ones";
}

INSTANTIATE_TEST_SUITE_P(Sizes, SceneReference, testing::Values(0, 1),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::to_string(kSizes[info.param][0]) + "x" +
                                    std::to_string(kSizes[info.param][1]);
                         });
