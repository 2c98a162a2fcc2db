// End-to-end runs of the capture tool on a small show directory: PNG frames,
// one frame on its own, the same pixels on every run, a video with the
// music, and clear failures. Pictures are small: the renderer is software.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "support/show_data.h"
#include "tools/png_io.h"
#include "tools/tool_fixture.h"

namespace {

// Four placements, so that frames meet the carried state: the grass set-up
// in the first frame, Scene11 leaving ordinary transparency behind for
// Scene6, and a gap with nothing placed.
const std::string kScript = "@scene Scene1 1 0 300 \n"
                            "@scene Scene11 1 301 600 \n"
                            "@scene Scene6 1 601 900 \n"
                            "@scene Scene3 1 1000 1300 \n"
                            "@music tune tune.wav 0 1400 0\n";

constexpr int kMusicMs = 2000;
constexpr const char* kSize = "--size 160x120";
constexpr const char* kChildSanitizer = ":detect_leaks=0";

class CaptureTest : public ToolTest {
  protected:
    CaptureTest() : ToolTest("capture") {}

    std::string show;

    void SetUp() override {
        ToolTest::SetUp();
        // The GL driver, unloaded at exit, leaves allocations the leak checker
        // cannot attribute; the tool's own code is checked in-process.
        const std::string sanitizer = kChildSanitizer;
        const char* options = std::getenv("ASAN_OPTIONS");
        std::string current = options ? options : "";
        if (current.find(sanitizer) == std::string::npos) {
            setenv("ASAN_OPTIONS", (current + sanitizer).c_str(), 1);
        }
        show = path("show");
        makeShowDirectory(show, kScript);
        writeTune(show + "/tune.wav", kMusicMs / 1000.0);
    }

    ToolRun capture(const std::string& arguments) const {
        return run("'" + show + "' " + kSize + " " + arguments);
    }

    PngImage frame(const std::string& file) const {
        PngImage image;
        EXPECT_TRUE(readPng(file, image).ok()) << file;
        return image;
    }

    std::string frameFile(const std::string& folder, int n) const {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06d.png", n);
        return path(folder) + "/" + name;
    }

    // ffprobe's answer for one entry of the first stream of a kind.
    std::string probe(const std::string& file, const std::string& stream,
                      const std::string& entry) const {
        const std::string out = path("probe.txt");
        const std::string command = "ffprobe -v error -count_frames -select_streams " + stream +
                                    ":0 -show_entries stream=" + entry +
                                    " -of default=nokey=1:noprint_wrappers=1 '" + file + "' > " +
                                    out + " 2>&1";
        if (std::system(command.c_str()) != 0) return "ffprobe failed: " + readText(out);
        std::string text = readText(out);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        return text;
    }
};

bool samePixels(const PngImage& a, const PngImage& b) {
    return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}

bool allBlack(const PngImage& image) {
    for (uint8_t value : image.pixels) {
        if (value != 0) return false;
    }
    return true;
}

} // namespace

TEST_F(CaptureTest, RangeToNumberedFramesAndOneFrameToAFile) {
    // 20 fps from 100 to 400 ms: 100, 150, ... 350.
    const ToolRun range = capture("--fps 20 --from 100 --to 400 --out '" + path("frames") + "'");
    ASSERT_EQ(range.exitCode, 0) << range.err;
    EXPECT_TRUE(range.out.empty());
    for (int n = 0; n < 6; ++n) {
        const PngImage image = frame(frameFile("frames", n));
        EXPECT_EQ(image.width, 160);
        EXPECT_EQ(image.height, 120);
        EXPECT_EQ(image.channels, 3);
        EXPECT_FALSE(allBlack(image)) << n;
    }
    EXPECT_FALSE(fs::exists(frameFile("frames", 6)));
    // Not a terminal: plain lines, the last one complete; the count takes
    // in the two lead-up frames (0 and 50 ms).
    EXPECT_NE(range.err.find("8/8 frames\n"), std::string::npos) << range.err;

    const ToolRun single = capture("--fps 20 --at 250 --out " + path("one.png"));
    ASSERT_EQ(single.exitCode, 0) << single.err;
    EXPECT_TRUE(samePixels(frame(path("one.png")), frame(frameFile("frames", 3))));
    // The gap between placements shows the cleared screen.
    ASSERT_EQ(capture("--at 950 --out " + path("gap.png")).exitCode, 0);
    EXPECT_TRUE(allBlack(frame(path("gap.png"))));
}

// Without --to the capture runs to the show's end: the "@music" end time,
// the music's length for an end of 0, the timeline's 137113 ms without music.
TEST_F(CaptureTest, WholeShowEndsWhereTheShowDoes) {
    auto framesUpTo = [&](const std::string& script, const std::string& fps) {
        makeShowDirectory(show, script);
        writeTune(show + "/tune.wav", kMusicMs / 1000.0);
        const std::string out = path("whole_" + fps);
        fs::remove_all(out);
        const ToolRun result = run("'" + show + "' --size 8x8 --fps " + fps + " --out " + out);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return std::distance(fs::directory_iterator(out), fs::directory_iterator());
    };
    EXPECT_EQ(framesUpTo(kScript, "5"), 7);                                     // 0 ... 1200 ms
    EXPECT_EQ(framesUpTo("@music tune tune.wav 0 0 0\n", "5"), kMusicMs / 200); // 0 ... 1800 ms
    EXPECT_EQ(framesUpTo("@scene Scene1 1 0 99 \n", "1"), 138);                 // 0 ... 137000 ms
}

TEST_F(CaptureTest, SamePixelsOnEveryRun) {
    ASSERT_EQ(capture("--fps 25 --from 560 --to 680 --out " + path("first")).exitCode, 0);
    ASSERT_EQ(capture("--fps 25 --from 560 --to 680 --out " + path("second")).exitCode, 0);
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(readText(frameFile("first", n)), readText(frameFile("second", n))) << n;
    }
}

// A frame taken on its own matches the same frame of a capture from the
// show's start at 60 fps (whose steps alternate 16 and 17 ms), also where
// the state carried in matters: the first frame (grass set-up, neutral
// view), the first Scene6 frame after Scene11 (ordinary transparency carried
// over) and the first frame after the gap. The short lead-up gives the same
// picture as running every frame before it.
TEST_F(CaptureTest, SingleFrameMatchesTheFrameOfAFullRun) {
    ASSERT_EQ(capture("--to 1100 --out " + path("all")).exitCode, 0);
    // Frame n is at floor(n x 1000 / 60) ms.
    const int frames[] = {0, 1, 18, 19, 37, 60, 61};
    for (int n : frames) {
        const int t = n * 1000 / 60;
        const std::string name = "at_" + std::to_string(t) + ".png";
        const ToolRun single = capture("--at " + std::to_string(t) + " --out " + path(name));
        ASSERT_EQ(single.exitCode, 0) << single.err;
        EXPECT_TRUE(samePixels(frame(path(name)), frame(frameFile("all", n)))) << "t = " << t;
    }
    ASSERT_EQ(capture("--at 616 --out " + path("short.png")).exitCode, 0);
    ASSERT_EQ(capture("--at 616 --full-lead-up --out " + path("full.png")).exitCode, 0);
    EXPECT_TRUE(samePixels(frame(path("short.png")), frame(path("full.png"))));
    // What Scene11 hands over shows: with Scene10 in its place, Scene6's
    // first frame starts from the additive blend function and looks different.
    const std::string other = path("other");
    std::string script = kScript;
    script.replace(script.find("Scene11"), 7, "Scene10");
    makeShowDirectory(other, script);
    ASSERT_EQ(run("'" + other + "' " + kSize + " --at 616 --out " + path("other.png")).exitCode, 0);
    EXPECT_FALSE(samePixels(frame(path("short.png")), frame(path("other.png"))));
}

TEST_F(CaptureTest, VideoHasEveryFrameAndTheMusic) {
    const ToolRun video = capture("--fps 20 --from 200 --to 700 --video " + path("clip.mp4"));
    ASSERT_EQ(video.exitCode, 0) << video.err;
    EXPECT_EQ(probe(path("clip.mp4"), "v", "nb_read_frames"), "10");
    EXPECT_EQ(probe(path("clip.mp4"), "v", "width,height"), "160\n120");
    EXPECT_EQ(probe(path("clip.mp4"), "a", "codec_type"), "audio");
    const double seconds = std::atof(probe(path("clip.mp4"), "a", "duration").c_str());
    EXPECT_NEAR(seconds, 0.5, 0.05);

    // No music line: no sound track. Odd sizes are padded to even ones.
    makeShowDirectory(show, "@scene Scene2 1 0 1000 \n");
    const ToolRun silent =
        run("'" + show + "' --size 81x61 --fps 10 --to 300 --video " + path("quiet.mkv"));
    ASSERT_EQ(silent.exitCode, 0) << silent.err;
    EXPECT_EQ(probe(path("quiet.mkv"), "v", "nb_read_frames"), "3");
    EXPECT_EQ(probe(path("quiet.mkv"), "a", "codec_type"), "");
}

TEST_F(CaptureTest, FailuresSayWhatIsWrongInOneLine) {
    struct Case {
        const char* name;
        std::string arguments;
        const char* expected; // part of the one line on stderr
    } cases[] = {
        {"no folder", "'" + path("nowhere") + "' --at 0 --out " + path("x.png"), "not a folder"},
        {"bad size", "'" + show + "' --size 160by120 --at 0 --out " + path("x.png"), "--size"},
        {"zero fps", "'" + show + "' --fps 0 --out '" + path("frames") + "'", "--fps"},
        {"no output", "'" + show + "' --from 0 --to 100", "nothing to write"},
        {"at and from", "'" + show + "' --at 10 --from 0 --out " + path("x.png"), "--from"},
        {"empty range", "'" + show + "' --from 500 --to 500 --out " + path("frames"),
         "nothing to capture"},
        {"video folder", "'" + show + "' --video '" + path("none/x.mp4") + "'", "no such folder"},
        {"unwritable", "'" + show + "' --size 16x16 --at 0 --out '" + path("none/x.png") + "'",
         "x.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolRun result = run(c.arguments);
        EXPECT_NE(result.exitCode, 0);
        EXPECT_EQ(lineCount(result.err), 1) << result.err;
        EXPECT_EQ(result.err.rfind("capture: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(c.expected), std::string::npos) << result.err;
    }

    // Show loading errors name the module and message; nothing is written
    // into the show's folder.
    std::filesystem::remove(show + "/data/ppl2.hwl");
    ToolRun broken = run("'" + show + "' --size 16x16 --at 0 --out " + path("x.png"));
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_NE(broken.err.find("kglTexture"), std::string::npos) << broken.err;
    EXPECT_NE(broken.err.find("ppl2.hwl"), std::string::npos) << broken.err;
    std::filesystem::remove(show + "/script.sqx");
    makeShowDirectory(show, "@scene Scene1 1 zero 100 \n");
    broken = run("'" + show + "' --size 16x16 --at 0 --out " + path("x.png"));
    EXPECT_EQ(broken.exitCode, 1);
    EXPECT_NE(broken.err.find("kglTimeline: Something is wrong with the Script! (Could not read "
                              "Scene Start Time)"),
              std::string::npos)
        << broken.err;
    EXPECT_FALSE(fs::exists(show + "/error.txt"));
    EXPECT_FALSE(fs::exists(path("x.png")));
}
