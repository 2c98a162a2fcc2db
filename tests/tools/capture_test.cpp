// End-to-end runs of the capture tool on a small show directory: PNG frames,
// one frame on its own (the same pixels as in a full run), a video with the
// music, and clear failures. Pictures are small: the renderer is software.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <tuple>

#include "support/show_data.h"
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

class CaptureTest : public ToolTest {
  protected:
    CaptureTest() : ToolTest("capture") {}

    std::string show;

    void SetUp() override {
        ToolTest::SetUp();
        if (HasFatalFailure()) return; // no folder of our own: write nothing
        show = path("show");
        makeShow(show, kScript);
    }
    void makeShow(const std::string& folder, const std::string& script) const {
        makeShowDirectory(folder, script);
        writeTune(folder + "/tune.wav", kMusicMs / 1000.0);
    }

    // Runs capture on the show at 160 x 120 and expects it to succeed.
    void capture(const std::string& arguments, const std::string& folder = "") const {
        const ToolRun result =
            run("'" + (folder.empty() ? show : folder) + "' --size 160x120 " + arguments);
        ASSERT_EQ(result.exitCode, 0) << arguments << ": " << result.err;
    }
    std::string frameFile(const std::string& folder, int n) const {
        char name[32];
        std::snprintf(name, sizeof name, "/frame_%06d.png", n);
        return path(folder) + name;
    }
    bool samePixels(const std::string& a, const std::string& b) const {
        const PngImage first = readPngFile(a), second = readPngFile(b);
        return first.width == second.width && first.pixels == second.pixels;
    }
    bool allBlack(const std::string& file) const {
        const std::vector<uint8_t> pixels = readPngFile(file).pixels;
        return std::count(pixels.begin(), pixels.end(), 0) == std::ssize(pixels);
    }
    // ffprobe's key=value lines for every stream of a file.
    std::string probe(const std::string& file) const {
        const std::string out = path("probe.txt");
        const std::string command = "ffprobe -v error -count_frames -show_entries "
                                    "stream=codec_type,width,height,nb_read_frames,duration -of "
                                    "default=noprint_wrappers=1 '" +
                                    file + "' > " + out + " 2>&1";
        return std::system(command.c_str()) == 0 ? readText(out)
                                                 : "ffprobe failed: " + readText(out);
    }
};

} // namespace

TEST_F(CaptureTest, RangeToNumberedFramesAndOneFrameToAFile) {
    // 20 fps from 100 to 400 ms: 100, 150, ... 350.
    const ToolRun range = run("'" + show + "' --size 160x120 --fps 20 --from 100 --to 400 --out '" +
                              path("frames") + "'");
    ASSERT_EQ(range.exitCode, 0) << range.err;
    EXPECT_TRUE(range.out.empty());
    for (int n = 0; n < 6; ++n) {
        const PngImage image = readPngFile(frameFile("frames", n));
        EXPECT_EQ(std::tie(image.width, image.height, image.channels), std::tuple(160, 120, 3));
        EXPECT_FALSE(allBlack(frameFile("frames", n))) << n;
    }
    EXPECT_FALSE(fs::exists(frameFile("frames", 6)));
    // Not a terminal: plain lines, the last one complete, counting the
    // frames written (not the lead-up's).
    EXPECT_NE(range.err.find("6/6 frames\n"), std::string::npos) << range.err;

    // The same frame again, in a run of its own: the same pixels.
    capture("--fps 20 --at 250 --out " + path("one.png"));
    EXPECT_TRUE(samePixels(path("one.png"), frameFile("frames", 3)));
    // The gap between placements shows the cleared screen.
    capture("--at 950 --out " + path("gap.png"));
    EXPECT_TRUE(allBlack(path("gap.png")));
}

// Without --to the capture runs to the show's end: the "@music" end time,
// the music's length for an end of 0, the timeline's 137113 ms without music.
TEST_F(CaptureTest, WholeShowEndsWhereTheShowDoes) {
    auto framesUpTo = [&](const std::string& script, const std::string& fps) {
        makeShow(show, script);
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

// A frame taken on its own matches the same frame of a capture from the
// show's start at 60 fps (whose steps alternate 16 and 17 ms), also where
// the state carried in matters: the first frame (grass set-up, neutral
// view), the first Scene11 frame, the first Scene6 frame after Scene11
// (ordinary transparency carried over) and the first frame after the gap.
// The short lead-up gives the same picture as running every frame before it.
TEST_F(CaptureTest, SingleFrameMatchesTheFrameOfAFullRun) {
    capture("--to 1001 --out " + path("all"));
    for (int n : {0, 19, 37, 60}) { // frame n is at floor(n x 1000 / 60) ms
        const std::string t = std::to_string(n * 1000 / 60);
        capture("--at " + t + " --out " + path("at_" + t + ".png"));
        EXPECT_TRUE(samePixels(path("at_" + t + ".png"), frameFile("all", n))) << "t = " << t;
    }
    capture("--at 616 --full-lead-up --out " + path("full.png"));
    EXPECT_TRUE(samePixels(path("at_616.png"), path("full.png")));
    // What Scene11 hands over shows: with Scene10 in its place, Scene6's
    // first frame starts from the additive blend function and looks different.
    std::string script = kScript;
    script.replace(script.find("Scene11"), 7, "Scene10");
    makeShow(path("other"), script);
    capture("--at 616 --out " + path("other.png"), path("other"));
    EXPECT_FALSE(samePixels(path("at_616.png"), path("other.png")));
}

// Scenes that follow the music hear it at each frame's time: without the
// music the same frame looks different. Still, placed after Pulse, draws
// through the camera that Pulse's last frame set from the music, so a frame
// of Still on its own needs a lead-up that hears the music too.
TEST_F(CaptureTest, SpectrumScenesHearTheMusicAtTheirFrameTime) {
    const std::string placements = "@scene Pulse 1 0 300 \n@scene Still 1 301 600 \n";
    makeShow(show, placements + "@music t tune.wav 0 1400 0\n");
    const std::string quad = "    plain\n      -0.5 -0.5 -1\n      0.5 -0.5 -1\n"
                             "      0.5 0.5 -1\n      -0.5 0.5 -1\n    end\n";
    fs::create_directories(show + "/scenes");
    std::ofstream(show + "/scenes/music.scene")
        << "scene Pulse\n  draw\n    identity\n    texturing off\n"
        << "    colour (spectrum(10)*16) 0.5 0.2 1\n"
        << quad << "  end\n  after\n    view (spectrum(10)*8) 0 1  0 0 -1  0 1 0\n  end\nend\n"
        << "scene Still\n  draw\n    identity\n    texturing off\n    colour 1 1 1 1\n"
        << quad << "  end\nend\n";
    capture("--to 400 --out " + path("range"));
    capture("--at 316 --out " + path("still.png")); // frame 19, Still's first
    EXPECT_TRUE(samePixels(path("still.png"), frameFile("range", 19)));
    std::ofstream(show + "/script.sqx") << placements;
    capture("--at 166 --out " + path("quiet.png")); // frame 10
    EXPECT_FALSE(samePixels(path("quiet.png"), frameFile("range", 10)));
}

// Every frame and the music's stretch; without a music line no sound track.
// Odd sizes are padded to even ones.
TEST_F(CaptureTest, VideoHasEveryFrameAndTheMusic) {
    capture("--fps 20 --from 200 --to 700 --video " + path("clip.mp4"));
    const std::string clip = probe(path("clip.mp4"));
    for (const char* entry : {"codec_type=video", "width=160", "height=120", "nb_read_frames=10"}) {
        EXPECT_NE(clip.find(entry), std::string::npos) << entry << " in " << clip;
    }
    const size_t duration = clip.find("duration=", clip.find("codec_type=audio"));
    ASSERT_NE(duration, std::string::npos) << "no sound track: " << clip;
    EXPECT_NEAR(std::atof(clip.c_str() + duration + 9), 0.5, 0.05) << clip;

    makeShowDirectory(show, "@scene Scene2 1 0 1000 \n");
    const ToolRun silent =
        run("'" + show + "' --size 81x61 --fps 10 --to 300 --video " + path("quiet.mkv"));
    ASSERT_EQ(silent.exitCode, 0) << silent.err;
    const std::string quiet = probe(path("quiet.mkv"));
    EXPECT_NE(quiet.find("nb_read_frames=3"), std::string::npos) << quiet;
    EXPECT_EQ(quiet.find("codec_type=audio"), std::string::npos) << quiet;
}

TEST_F(CaptureTest, FailuresSayWhatIsWrongInOneLine) {
    const std::string x = " --at 0 --out " + path("x.png");
    const std::pair<std::string, const char*> cases[] = {
        {"'" + path("nowhere") + "'" + x, "not a folder"},
        {"'" + show + "' --size 160by120" + x, "--size"},
        {"'" + show + "' --fps 0 --out '" + path("frames") + "'", "--fps"},
        {"'" + show + "' --from 0 --to 100", "nothing to write"},
        {"'" + show + "' --from 0" + x, "--from"},
        {"'" + show + "' --from 500 --to 500 --out " + path("frames"), "nothing to capture"},
        {"'" + show + "' --from 5000 --to 1000 --out " + path("frames.png"), "not before --to"},
        {"'" + show + "' --to 100 --out " + path("clip.png"), "give a folder name"},
        {"'" + show + "' --at 0 --out " + path("x.jpg"), "ending in .png"},
        {"'" + show + "' --at 0 --out " + path("ff/"), "ending in .png"},
        {"'" + show + "' --size 16x16 --at 2000000000" + x.substr(x.find(" --out")),
         "past the show's end at 1400 ms (0:01.400)"},
        {"'" + show + "' --size 16x16 --from 1400 --out " + path("late"), "--from 1400: past"},
        {"'" + show + "' --video '" + path("none/x.mp4") + "'", "no such folder"},
        {"'" + show + "' --size 16x16 --at 0 --out '" + path("none/x.png") + "'", "x.png"},
    };
    for (const auto& [arguments, cause] : cases) expectFailure(arguments, cause);

    // Show loading errors name the module and message; nothing is written
    // into the show's folder.
    fs::remove(show + "/data/ppl2.hwl");
    const ToolRun missing = expectFailure("'" + show + "' --size 16x16" + x, "kglTexture: ");
    EXPECT_NE(missing.err.find("ppl2.hwl"), std::string::npos) << missing.err;
    makeShowDirectory(show, "@scene Scene1 1 zero 100 \n");
    expectFailure(
        "'" + show + "' --size 16x16" + x,
        "kglTimeline: Something is wrong with the Script! (Could not read Scene Start Time)");
    EXPECT_FALSE(fs::exists(show + "/error.txt"));
    EXPECT_FALSE(fs::exists(path("x.png")));
    for (const char* name : {"frames.png", "clip.png", "ff", "late"})
        EXPECT_FALSE(fs::exists(path(name))) << name;
}

// A range past the show's end is cut there with a note, not filled with
// black; Ctrl+C or SIGTERM stops at once with the frames so far and says so.
TEST_F(CaptureTest, RangesEndWithTheShowOrASignal) {
    const ToolRun cut = run("'" + show + "' --size 16x16 --fps 5 --to 200000 --out " + path("cut"));
    ASSERT_EQ(cut.exitCode, 0) << cut.err;
    EXPECT_NE(cut.err.find("--to 200000 is past the show's end: capturing up to 1400 ms"),
              std::string::npos)
        << cut.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(path("cut")), fs::directory_iterator()), 7);

    makeShowDirectory(show, "@scene Scene2 1 0 137000 \n"); // long enough to be stopped
    for (const int signal : {SIGINT, SIGTERM}) {
        const std::string out = path("stopped" + std::to_string(signal));
        // Signalled once the first frame is there; the tool's own stderr
        // goes to a file of its own (the fixture's redirection takes `wait`).
        const std::string err = path("stop_err.txt");
        const ToolRun stopped =
            run("'" + show + "' --size 16x16 --out " + out + " 2>" + err + " & for i in $(seq " +
                "600); do [ -e " + out + "/frame_000000.png ] && break; sleep 0.05; done; kill -" +
                std::to_string(signal) + " $!; wait $!");
        const std::string said = readText(err);
        EXPECT_EQ(stopped.exitCode, 128 + signal) << said;
        const auto frames = std::distance(fs::directory_iterator(out), fs::directory_iterator());
        EXPECT_GT(frames, 0);
        EXPECT_LT(frames, 8000);
        EXPECT_NE(
            said.find("after " + std::to_string(frames) + " of 8227 frames: frame_000000.png"),
            std::string::npos)
            << said;
    }
}
