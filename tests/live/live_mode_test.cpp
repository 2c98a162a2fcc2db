// The show's live mode end to end on the test display: keys and a click on
// the strip give their event lines on stdout, a paused frame after a seek or
// a reload, with the overlay hidden, is the picture capture renders for that
// time, and edits saved the way editors save (a temporary file renamed) are
// taken up once each, while broken ones keep the last good version.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "common/png_io.h"
#include "images/hwl_encode.h"
#include "live/overlay.h"
#include "show/show_setup.h"
#include "support/show_data.h"
#include "support/x_driver.h"

namespace {

constexpr int32_t kWidth = 320, kHeight = 240;
constexpr int32_t kTuneSeconds = 12;
constexpr int kSolidSide = 16;

struct Colour {
    uint8_t r, g, b;
};

// An HWL picture all in one colour.
std::string solidPicture(Colour colour) {
    std::vector<uint8_t> rgb;
    for (int i = 0; i < kSolidSide * kSolidSide; ++i)
        rgb.insert(rgb.end(), {colour.r, colour.g, colour.b});
    hwl::HwlEncodeSettings settings;
    settings.levels = 1;
    std::vector<uint8_t> bytes;
    if (hwl::encodeHwl(bytes, {rgb.data(), kSolidSide, kSolidSide, 3}, settings)) return "";
    return std::string(bytes.begin(), bytes.end());
}

constexpr const char* kLiveTitle = "Zorvath in da house! - live";
const std::string kScript = "@scene Scene1 1 0 2999 \n"
                            "@scene Scene2 1 3000 5999 \n"
                            "@scene Scene3 1 6000 11999 \n"
                            "@music tune tune.wav 0 0 0\n";

class LiveMode : public testing::Test {
  protected:
    std::string dir = testing::TempDir() + "live_test";
    std::string display = testDisplay();
    pid_t pid = -1;
    unsigned long window = 0;
    size_t linesSeen = 0;
    bool lineMissed = false;

    void SetUp() override {
        makeShowDirectory(dir, kScript);
        writeTune(dir + "/tune.wav", kTuneSeconds);
    }
    void start(const std::string& arguments) {
        pid = startProgram(dir, display,
                           std::string("'") + TEST_SHOW_EXE + "' --live --mute --size 320x240 " +
                               arguments + " > events.txt 2> errors.txt");
        window = waitForWindow(display, kLiveTitle, pid);
        ASSERT_NE(window, 0u) << readFile(dir + "/errors.txt");
    }
    void TearDown() override {
        if (pid > 0 && waitForExit(pid, 1) < 0) kill(-pid, SIGKILL);
    }

    // The next event line, waiting for it to be written; after one line that
    // never came, no more waiting.
    std::string nextLine() {
        const auto deadline = std::chrono::steady_clock::now() +
                              (lineMissed ? std::chrono::seconds(0) : std::chrono::seconds(30));
        while (std::chrono::steady_clock::now() < deadline) {
            const std::string events = readFile(dir + "/events.txt");
            size_t begin = 0;
            for (size_t line = 0; line < linesSeen; ++line) begin = events.find('\n', begin) + 1;
            const size_t end = events.find('\n', begin);
            if (end != std::string::npos) {
                ++linesSeen;
                return events.substr(begin, end - begin);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        lineMissed = true;
        return "(no line)";
    }
    void press(const std::string& key) { pressKeys(display, window, key); }

    // The window's pixels, a few frames after the last event.
    std::vector<uint8_t> shown() {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        return grabWindow(display, window);
    }
    // capture's frame of the show directory as it is now.
    std::vector<uint8_t> captured(int32_t time) {
        const std::string png = dir + "/at.png";
        const std::string command = "SDL_VIDEODRIVER=offscreen '" TEST_CAPTURE_EXE "' '" + dir +
                                    "' --at " + std::to_string(time) + " --size 320x240 --out '" +
                                    png + "' > /dev/null 2>&1";
        PngImage image;
        if (std::system(command.c_str()) != 0 || readPng(png, image)) return {};
        return image.pixels;
    }
    // Saved as editors do: a temporary file beside it, renamed over it.
    void save(const std::string& file, const std::string& bytes) {
        const std::string path = dir + "/" + file;
        const std::string scratch = path.substr(0, path.rfind('/') + 1) + ".saving.tmp";
        std::ofstream(scratch, std::ios::binary) << bytes;
        std::rename(scratch.c_str(), path.c_str());
    }
    // Paused with the overlay hidden; the paused time.
    int32_t pauseBare() {
        EXPECT_EQ(nextLine(), "play 0"); // the time the music starts from
        press("space h");
        const std::string pause = nextLine();
        EXPECT_EQ(pause.rfind("pause ", 0), 0u) << pause;
        return std::atoi(pause.c_str() + 6);
    }
    void quit() {
        press("Escape");
        EXPECT_EQ(nextLine().rfind("end ", 0), 0u);
        EXPECT_EQ(waitForExit(pid), 0);
        pid = -1;
    }
};

TEST_F(LiveMode, KeysAndTheStripGiveEventLinesAndAPausedSeekShowsTheCapturedFrame) {
    start("--at 1500");
    EXPECT_EQ(nextLine(), "play 1500");
    press("Next");
    EXPECT_EQ(nextLine(), "seek 3000 Scene2");
    press("space");
    const std::string pause = nextLine();
    ASSERT_EQ(pause.rfind("pause ", 0), 0u) << pause;
    const int pausedAt = std::atoi(pause.c_str() + 6);
    EXPECT_GE(pausedAt, 3000);
    EXPECT_LT(pausedAt, 5999);
    press("l");
    EXPECT_EQ(nextLine(), "loop on Scene2 3000 5999");
    press("Home");
    EXPECT_EQ(nextLine(), "loop off");
    EXPECT_EQ(nextLine(), "seek 0 Scene1");

    // A click in the strip seeks to the time under it.
    const StripArea strip = timelineStrip(kWidth, kHeight);
    const int32_t x = strip.x + strip.width * 3 / 4, y = strip.y + strip.height / 2;
    xdotool(display, "mousemove --window " + std::to_string(window) + " " + std::to_string(x) +
                         " " + std::to_string(y) + " click 1");
    const int32_t clicked = stripTime(strip, x, kTuneSeconds * 1000);
    EXPECT_EQ(nextLine(), "seek " + std::to_string(clicked) + " Scene3");

    // Paused, overlay hidden: the picture after a seek is capture's.
    press("h");
    press("Left");
    const int32_t seekTime = clicked - 1000;
    EXPECT_EQ(nextLine(), "seek " + std::to_string(seekTime) + " Scene3");
    EXPECT_TRUE(shown() == captured(seekTime)) << "the paused frame differs from capture --at";

    press("space");
    EXPECT_EQ(nextLine(), "play " + std::to_string(seekTime));
    quit();
}

TEST_F(LiveMode, EditsInTheShowDirectoryAppearAndBrokenOnesKeepTheLastGoodFile) {
    start("");
    const int32_t paused = pauseBare();
    const std::vector<uint8_t> before = shown();
    const std::string otherPicture = readFile(dir + "/data/background.hwl");
    save("data/floor.hwl", otherPicture);
    EXPECT_EQ(nextLine(), "reload data/floor.hwl");
    const std::vector<uint8_t> after = shown();
    EXPECT_TRUE(after != before) << "the floor did not change";
    EXPECT_TRUE(after == captured(paused)) << "the new floor is not capture's";

    save("data/floor.hwl", otherPicture.substr(0, 40));
    EXPECT_EQ(nextLine().rfind("error data/floor.hwl: ", 0), 0u);
    EXPECT_TRUE(shown() == after) << "a truncated picture replaced the last good one";
    save("data/floor.hwl", otherPicture);
    EXPECT_EQ(nextLine(), "reload data/floor.hwl");
    EXPECT_EQ(nextLine(), "mended data/floor.hwl");

    // The scene playing moves: the frame is the new script's.
    save("script.sqx", "@scene Scene7 1 0 11999 \n@music tune tune.wav 0 0 0\n");
    EXPECT_EQ(nextLine(), "reload script.sqx");
    EXPECT_TRUE(shown() == captured(paused)) << "the frame does not follow the new script";
    save("script.sqx", "@scene Scene7 1 zero 11999 \n");
    EXPECT_EQ(nextLine(),
              "error script.sqx:1: Something is wrong with the Script! (Could not read Scene "
              "Start Time)");

    // A warning shows on the overlay until the script reads without one.
    const std::string script = "@scene Scene7 1 0 11999 \n@music tune tune.wav 0 0 0\n";
    save("script.sqx", "@sene Scene7 1 0 11999 \n" + script);
    EXPECT_EQ(nextLine(), "reload script.sqx");
    EXPECT_EQ(nextLine(), "mended script.sqx");
    press("h");
    const std::vector<uint8_t> warned = shown();
    save("script.sqx", script);
    EXPECT_EQ(nextLine(), "reload script.sqx");
    EXPECT_TRUE(shown() != warned) << "the overlay did not show the script's warning";

    // A scene file replaces the built-in scenes; a broken one keeps the last good set.
    press("h");
    const std::vector<uint8_t> builtIn = shown();
    const std::string scene = "pictures\n  data/floor.hwl none mipmap\nend\n"
                              "scene Scene7\n  draw\n    identity\n    texturing off\n"
                              "    colour 1 0 0 1\n    plain\n      -5 -5 -1\n      5 -5 -1\n"
                              "      5 5 -1\n      -5 5 -1\n    end\n  end\nend\n";
    std::filesystem::create_directories(dir + "/scenes");
    save("scenes/mine.scene", scene);
    EXPECT_EQ(nextLine(), "reload scenes/mine.scene");
    const std::vector<uint8_t> mine = shown();
    EXPECT_TRUE(mine != builtIn) << "the scene file drew nothing new";
    EXPECT_TRUE(mine == captured(paused)) << "the scene file's frame is not capture's";
    save("scenes/mine.scene", "scene Scene7\n  draw\n    wobble\n  end\nend\n");
    EXPECT_EQ(nextLine(), "error scenes/mine.scene:3:5: unknown step 'wobble'");
    EXPECT_TRUE(shown() == mine) << "a broken scene file replaced the last good set";
    save("scenes/mine.scene", scene);
    EXPECT_EQ(nextLine(), "reload scenes/mine.scene");
    EXPECT_EQ(nextLine(), "mended scenes/mine.scene");
    // A scene moved to another slot is placed again where it is now.
    const std::string blue = "scene Blue\n  draw\n    colour 0 0 1 1\n  end\nend\n";
    const size_t scenes = scene.find("scene ");
    for (const std::string& moved :
         {scene + blue, scene.substr(0, scenes) + blue + scene.substr(scenes)}) {
        save("scenes/mine.scene", moved);
        EXPECT_EQ(nextLine(), "reload scenes/mine.scene");
    }
    EXPECT_TRUE(shown() == mine) << "the script's scene lost its place when it moved";

    // A picture beyond the show's twenty, over the whole window: named before
    // it is there, the set waits for it; then it is drawn, as capture draws
    // it, and drawn anew when saved again.
    save("scenes/mine.scene", "pictures\n  data/extra.hwl none\nend\n"
                              "scene Scene7\n  draw\n    identity\n    texturing on\n"
                              "    colour 1 1 1 1\n    picture data/extra.hwl\n    quad\n"
                              "      0 0 -5 -5 -1\n      1 0 5 -5 -1\n      1 1 5 5 -1\n"
                              "      0 1 -5 5 -1\n    end\n  end\nend\n");
    EXPECT_EQ(nextLine(), "error scenes/mine.scene:2:3: data/extra.hwl: file not found");
    for (const Colour colour : {Colour{200, 40, 90}, Colour{30, 180, 60}}) {
        save("data/extra.hwl", solidPicture(colour));
        if (colour.r == 200) {
            EXPECT_EQ(nextLine(), "reload scenes/mine.scene");
            EXPECT_EQ(nextLine(), "mended scenes/mine.scene");
        } else {
            EXPECT_EQ(nextLine(), "reload data/extra.hwl");
        }
        const std::vector<uint8_t> extra = shown();
        ASSERT_EQ(extra.size(), size_t(kWidth * kHeight * 3));
        const uint8_t* middle = &extra[size_t(kHeight / 2 * kWidth + kWidth / 2) * 3];
        EXPECT_NEAR(middle[0], colour.r, 4);
        EXPECT_NEAR(middle[1], colour.g, 4);
        EXPECT_NEAR(middle[2], colour.b, 4);
        EXPECT_TRUE(extra == captured(paused)) << "the extra picture's frame is not capture's";
    }
    quit();
}

// Mistakes at the start are said plainly: a negative --at, one past the end
// (moved to the last frame, which pauses), a folder that holds no show (the
// live command in the hint, and no error.txt left there), a script error in
// the event lines' form.
TEST_F(LiveMode, StartingMistakesAreSaidPlainly) {
    // Leak checks off, as for the show elsewhere: the GL drivers' allocations.
    const std::string exe = std::string("ASAN_OPTIONS=${ASAN_OPTIONS}:detect_leaks=0 '") +
                            TEST_SHOW_EXE + "' --live --mute ";
    const std::string said = dir + "/said.txt";
    EXPECT_NE(std::system((exe + "--at -5 2> '" + said + "'").c_str()), 0);
    EXPECT_EQ(readFile(said), "indahouse: --at -5: a play time is 0 ms or more\n");
    const std::string empty = dir + "/empty";
    std::filesystem::create_directories(empty);
    EXPECT_NE(
        std::system(
            ("DISPLAY=" + display + " " + exe + "--dir '" + empty + "' 2> '" + said + "'").c_str()),
        0);
    EXPECT_NE(readFile(said).find("indahouse --live --dir SHOWDIR"), std::string::npos)
        << readFile(said);
    EXPECT_FALSE(std::filesystem::exists(empty + "/error.txt"));
    const std::string broken = dir + "/broken";
    makeShowDirectory(broken, "@scene Scene1 1 zero 999 \n");
    EXPECT_NE(
        std::system(("DISPLAY=" + display + " " + exe + "--dir '" + broken + "' 2> '" + said + "'")
                        .c_str()),
        0);
    EXPECT_EQ(readFile(said).rfind("script.sqx:1: Something is wrong with the Script!", 0), 0u)
        << readFile(said);

    start("--at 99999");
    const std::string last = std::to_string(kTuneSeconds * 1000 - kShowEndMargin);
    EXPECT_EQ(nextLine(), "play " + last);
    EXPECT_EQ(nextLine(), "pause " + last);
    EXPECT_NE(readFile(dir + "/errors.txt").find("--at 99999 is past the show's end"),
              std::string::npos);
    quit();
}

TEST_F(LiveMode, AnEditedSourceIsRebuiltAndTakenUp) {
    const std::string program = "layer 4:\ncheckerBoardLayer(4,8,8,255,0,0,0,0,255);\n";
    std::filesystem::create_directories(dir + "/assets/textures");
    std::filesystem::create_directories(dir + "/assets/music");
    std::ofstream(dir + "/assets/pictures.txt") << "floor textures/floor.txt 16x16 none\n";
    std::ofstream(dir + "/assets/textures/floor.txt") << program;
    std::ofstream(dir + "/assets/music/score.txt") << "tempo 125\nlength 1000\nsection quiet 0 1\n";
    std::ofstream(dir + "/assets/script.sqx")
        << "@scene Scene1 1 0 999 \n@music t tune.ogg 0 0 0\n";
    ASSERT_EQ(std::system(("ASAN_OPTIONS=${ASAN_OPTIONS}:detect_leaks=0 '" TEST_MAKESHOW_EXE "' '" +
                           dir + "' --overwrite --assets '" + dir + "/assets' > /dev/null 2>&1")
                              .c_str()),
              0);
    start("--assets assets");
    pauseBare(); // before the one-second show ends
    save("assets/textures/floor.txt", program + "invertLayer(4,4);\n");
    EXPECT_EQ(nextLine(), "rebuild textures/floor.txt");
    EXPECT_EQ(nextLine(), "reload data/floor.hwl");
    save("assets/textures/floor.txt", program + "nope(4);\n");
    EXPECT_EQ(nextLine(), "rebuild textures/floor.txt");
    EXPECT_EQ(nextLine().rfind("error textures/floor.txt:3:1: ", 0), 0u);
    save("assets/textures/floor.txt", program);
    EXPECT_EQ(nextLine(), "rebuild textures/floor.txt");
    // The rebuilt picture may be taken up before or after the build is seen to end.
    const std::set<std::string> lines = {nextLine(), nextLine()};
    EXPECT_EQ(lines, (std::set<std::string>{"mended textures/floor.txt", "reload data/floor.hwl"}));
    quit();
}

} // namespace
