// End-to-end runs of the show program in a temporary directory holding a
// small data set, each through its configuration dialog on the test display.
// With SDL's offscreen driver the show runs to its end time; in a real X
// window a key ends it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "show/show_directory.h"
#include "show/x_driver.h"

namespace {

// Scene placements across a short show; the music line sets the end time,
// before the end of the one-second tune that makeShow writes.
const std::string kShortScript = "# a short show\n"
                                 "@scene Scene1 1 0 200 \n"
                                 "@scene Scene2 1 201 400 \n"
                                 "@music tune tune.wav 0 400 0\n";

std::string testDir(const std::string& name) {
    return testing::TempDir() + "show_" + name;
}

std::string expectedReport(const std::string& module, const std::string& message) {
    return "Sorry, but the following module had something to say:\r\n\r\n" + module + "\r\n" +
           message + "\r\n";
}

// SDL's stand-in for a sound card, for runs with music on.
const char* kOffscreenDummySound = "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy";
// An audio driver asked for by name that does not exist.
const char* kOffscreenNoSound = "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=no-such-driver";

// A show folder with the script and a tune of `tuneSeconds` in "tune.wav".
std::string makeShow(const std::string& name, const std::string& script, double tuneSeconds = 1) {
    const std::string dir = testDir(name);
    makeShowDirectory(dir, script);
    writeTune(dir + "/tune.wav", tuneSeconds);
    return dir;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
const char* kShowTitle = "Zorvath in da house!";

} // namespace

TEST(ShowProgram, PlaysToTheEndTimeAndExitsCleanly) {
    const std::string dir = makeShow("plays", kShortScript);
    EXPECT_EQ(runShow(dir, kOffscreenDummySound), 0) << readFile(dir + "/show.log");
    EXPECT_FALSE(std::filesystem::exists(dir + "/error.txt"));
}

// An end time of 0 is the music's length: a three-second tune ends the show
// once 2.9 s of it have played, never sooner, with music on (on SDL's
// stand-in device, and on whatever this machine has: a sound card, or
// silence where it has none) and with music off, which needs no device.
TEST(ShowProgram, TheMusicEndsTheShow) {
    // No scene: frames cost next to nothing, so the end shows the clock alone.
    const std::string dir = makeShow("music_end", "@music tune tune.wav 0 0 0\n", 3);
    struct Run {
        const char* name;
        const char* environment;
        bool music;
    } runs[] = {
        {"music on, dummy device", kOffscreenDummySound, true},
        {"music on, this machine's device", "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=", true},
        {"music off, no device", kOffscreenNoSound, false},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.name);
        const auto start = std::chrono::steady_clock::now();
        const int exitCode =
            run.music ? runShow(dir, run.environment) : runShowWithoutMusic(dir, run.environment);
        const double seconds = secondsSince(start);
        EXPECT_EQ(exitCode, 0) << readFile(dir + "/show.log");
        EXPECT_FALSE(std::filesystem::exists(dir + "/error.txt"));
        EXPECT_GE(seconds, 2.9);
        EXPECT_LT(seconds, 60) << "the show should end with its music, not the timeline";
    }
}

TEST(ShowProgram, FailuresEndWithTheExactReportAndExitCodeOne) {
    struct Case {
        const char* name;
        const char* script;      // null: no script file at all
        const char* removedFile; // a data file to delete, or null
        const char* module;
        const char* message; // the report's message; "" checks only the module
        const char* environment = kOffscreenDummySound;
    } cases[] = {
        {"no_script", nullptr, nullptr, "kglTimeline", "Could not load Script file!"},
        {"bad_line", "@scene Scene1 1 zero 100 \n", nullptr, "kglTimeline",
         "Something is wrong with the Script! (Could not read Scene Start Time)"},
        {"unknown_scene", "@scene Scene12 1 0 100 \n", nullptr, "kglTimeline",
         "Something is wrong with the Script! (Could not read out the Scene Name)"},
        {"missing_texture", kShortScript.c_str(), "data/ppl2.hwl", "kglTexture", ""},
        {"missing_companion", kShortScript.c_str(), "data/grass_alpha.hwl", "kglTexture", ""},
        {"missing_music", kShortScript.c_str(), "tune.wav", "FMOD", "File not found"},
        {"not_music", "@music tune data/grass.hwl 0 400 0\n", nullptr, "FMOD",
         "Unknown file format"},
        {"no_device", kShortScript.c_str(), nullptr, "FMOD", "Error initializing output device",
         kOffscreenNoSound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = makeShow(c.name, c.script ? c.script : "");
        if (!c.script) std::filesystem::remove(dir + "/script.sqx");
        if (c.removedFile) std::filesystem::remove(dir + "/" + c.removedFile);
        // An older report is replaced completely.
        std::FILE* old = std::fopen((dir + "/error.txt").c_str(), "wb");
        std::fputs("an old report that is much longer than the new one\r\n\r\n\r\n\r\n\r\n", old);
        std::fclose(old);

        EXPECT_EQ(runShow(dir, c.environment), 1) << readFile(dir + "/show.log");
        const std::string report = readFile(dir + "/error.txt");
        if (*c.message) {
            EXPECT_EQ(report, expectedReport(c.module, c.message));
        } else {
            // The message names the missing file.
            const std::string head = expectedReport(c.module, "");
            EXPECT_EQ(report.rfind(head.substr(0, head.size() - 2), 0), 0u) << report;
            EXPECT_NE(report.find(c.removedFile), std::string::npos) << report;
        }
        // A terminal user sees the report too.
        EXPECT_NE(readFile(dir + "/show.log").find(c.module), std::string::npos);
    }
}

// On the test display (whose one screen mode is the show's default 800 x 600
// full screen): Enter on the dialog starts the show; with no end in sight any
// key but Escape changes nothing, and Escape ends it: teardown, exit code 0.
TEST(ShowProgram, EscapeEndsTheShowUnderX) {
    const std::string display = testDisplay();
    ASSERT_FALSE(display.empty()) << "needs an X display";
    const std::string dir = testDir("escape");
    makeShowDirectory(dir, "@scene Scene1 1 0 137000 \n");
    const pid_t show = startProgram(dir, display,
                                    std::string(kChildSanitizer) + " '" +
                                        std::getenv("TEST_SHOW_EXE") + "' > show.log 2>&1");
    const unsigned long dialog = waitForWindow(display, "Config", show);
    if (dialog) pressKeys(display, dialog, "Return");
    const unsigned long window = waitForWindow(display, kShowTitle, show);
    if (!window) {
        waitForExit(show, 0);
        FAIL() << "no show window; dialog " << dialog << "\n" << readFile(dir + "/show.log");
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    pressKeys(display, window, "space");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(windowShown(display, kShowTitle)) << "the show must go on";
    pressKeys(display, window, "Escape");
    EXPECT_EQ(waitForExit(show), 0) << readFile(dir + "/show.log");
    EXPECT_FALSE(std::filesystem::exists(dir + "/error.txt"));
}
