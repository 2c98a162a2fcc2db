// The show program end to end on small data sets, always through its
// configuration dialog on the test display, and the dialog alone
// (config_dialog_probe prints how it ended and the settings it left).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "support/show_data.h"
#include "support/x_driver.h"

namespace {

const char* const kExe = std::getenv("TEST_SHOW_EXE");
const std::string kOffscreen = "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=";
using Drive = std::function<void(unsigned long dialog)>;

// Centres of the dialog's controls, "X Y" in pixels (its units are 1.5
// pixels across and 1.625 down: an 8-point font at 96 dpi).
const std::string kFullScreen = "57 100", kTrueColour = "57 120", kMusic = "57 139",
                  kCancel = "165 191";

void click(unsigned long dialog, const std::string& at) {
    xdotool(testDisplay(), "mousemove --window " + std::to_string(dialog) + " " + at + " click 1");
}
void keys(unsigned long dialog, const std::string& names) {
    pressKeys(testDisplay(), dialog, names);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the list opens or closes
}

// A show folder with `script` and a one-second tune in "tune.wav".
std::string makeShow(const std::string& script) {
    const std::string dir = testing::TempDir() + "show_test";
    makeShowDirectory(dir, script);
    writeTune(dir + "/tune.wav", 1);
    return dir;
}

// Enter on the dialog, after clicking Music off unless `music`: the exit
// code and the seconds from "Go!" to the end.
std::pair<int, double> runShow(const std::string& dir, const std::string& environment,
                               bool music = true) {
    const ShowProcess show = startShow(dir, testDisplay(), kExe, environment);
    if (show.dialog && !music) click(show.dialog, kMusic);
    if (show.dialog) pressKeys(testDisplay(), show.dialog, "Return");
    const auto go = std::chrono::steady_clock::now();
    const int exitCode = waitForExit(show.pid);
    return {exitCode, std::chrono::duration<double>(std::chrono::steady_clock::now() - go).count()};
}

std::string report(const std::string& module, const std::string& message) {
    return "Sorry, but the following module had something to say:\r\n\r\n" + module + "\r\n" +
           message + "\r\n";
}

} // namespace

// Tab, Tab reaches the list; space opens it on "800 x 600" whatever the
// settings; the arrows move along its entries; Return picks one. A click
// flips a box and its setting; Escape does nothing; Enter is "Go!".
TEST(ConfigDialog, OpensWithTheSettingsAndGoStoresWhatWasChosen) {
    const std::tuple<const char*, Drive, const char*> runs[] = {
        {"",
         [](unsigned long dialog) {
             const std::string geometry = "getwindowgeometry --shell " + std::to_string(dialog);
             EXPECT_NE(
                 xdotool(testDisplay(), geometry).find("X=150\nY=163\nWIDTH=213\nHEIGHT=213\n"),
                 std::string::npos);
             keys(dialog, "Escape");
             EXPECT_NE(findWindow(testDisplay(), "--name '^Config$'"), 0u);
             keys(dialog, "Tab Tab space");
             keys(dialog, "Up Return");
             for (const std::string& box : {kFullScreen, kFullScreen, kTrueColour, kMusic})
                 click(dialog, box);
         },
         "go 640x480x16 fullscreen=1 music=0\n"},
        {"640 480 24 0 0", // any depth but 32 leaves "True Color" unticked
         [](unsigned long dialog) {
             keys(dialog, "Tab Tab space");
             keys(dialog, "Down Down Return");
             click(dialog, kTrueColour);
         },
         "go 1280x960x32 fullscreen=0 music=0\n"},
    };
    for (const auto& [arguments, drive, printed] : runs) {
        const std::string dir = makeShow("");
        const ShowProcess probe = startShow(dir, testDisplay(), TEST_DIALOG_PROBE, "", arguments);
        ASSERT_NE(probe.dialog, 0u) << readFile(dir + "/show.log");
        drive(probe.dialog);
        pressKeys(testDisplay(), probe.dialog, "Return");
        EXPECT_EQ(waitForExit(probe.pid, 60), 0);
        EXPECT_EQ(readFile(dir + "/show.log"), printed) << arguments;
    }
}

// A cancelled show ends at once, without a report; the folder has no
// script, so a start-up that went on would fail loudly.
TEST(ConfigDialog, CancelEnterOnCancelAndCloseEndTheShowAtOnce) {
    const Drive endings[] = {
        [](unsigned long dialog) { click(dialog, kCancel); },
        [](unsigned long dialog) { pressKeys(testDisplay(), dialog, "Tab Return"); },
        [](unsigned long dialog) { requestClose(testDisplay(), dialog); },
    };
    for (const Drive& end : endings) {
        const std::string dir = makeShow("");
        std::filesystem::remove(dir + "/script.sqx");
        const ShowProcess show = startShow(dir, testDisplay(), kExe);
        ASSERT_NE(show.dialog, 0u) << readFile(dir + "/show.log");
        end(show.dialog);
        EXPECT_EQ(waitForExit(show.pid, 60), 0) << readFile(dir + "/show.log");
        EXPECT_FALSE(std::filesystem::exists(dir + "/error.txt"));
    }
}

// The end is the script's end time or, with 0 there, the tune's length:
// never sooner, and never the timeline's end. Music on plays silently on a
// machine without a sound card; music off needs no device at all.
TEST(ShowProgram, EndsWithTheScriptOrTheMusicAndExitsCleanly) {
    const std::tuple<const char*, const char*, bool, double> runs[] = {
        {"@scene Scene1 1 0 200 \n@scene Scene2 1 201 400 \n@music tune tune.wav 0 400 0\n",
         "dummy", true, 0.3},
        {"@music tune tune.wav 0 0 0\n", "", true, 0.9},
        {"@music tune tune.wav 0 0 0\n", "no-such-driver", false, 0.9},
    };
    for (const auto& [script, audio, music, seconds] : runs) {
        const std::string dir = makeShow(script);
        const auto [exitCode, secondsAfterGo] = runShow(dir, kOffscreen + audio, music);
        EXPECT_EQ(exitCode, 0) << audio << readFile(dir + "/show.log");
        EXPECT_FALSE(std::filesystem::exists(dir + "/error.txt")) << audio;
        EXPECT_GE(secondsAfterGo, seconds) << audio;
        EXPECT_LT(secondsAfterGo, 60) << audio;
    }
}

// Each replaces an older, longer report and shows on the terminal too. A
// missing picture fails as its missing companion does.
TEST(ShowProgram, FailuresEndWithTheExactReportAndExitCodeOne) {
    const char* kScript = "@scene Scene1 1 0 200 \n@music tune tune.wav 0 400 0\n";
    const std::tuple<const char*, const char*, const char*, const char*, const char*> cases[] = {
        {kScript, "script.sqx", "kglTimeline", "Could not load Script file!", "dummy"},
        {"@scene Scene1 1 zero 100 \n", "", "kglTimeline",
         "Something is wrong with the Script! (Could not read Scene Start Time)", "dummy"},
        {kScript, "data/grass_alpha.hwl", "kglTexture",
         "Could not load Texture (data/grass_alpha.hwl: file not found)", "dummy"},
        {kScript, "tune.wav", "FMOD", "File not found", "dummy"},
        {kScript, "", "FMOD", "Error initializing output device", "no-such-driver"},
    };
    for (const auto& [script, removed, module, message, audio] : cases) {
        const std::string dir = makeShow(script);
        if (*removed) std::filesystem::remove(dir + "/" + removed);
        std::ofstream(dir + "/error.txt") << std::string(200, 'x');
        EXPECT_EQ(runShow(dir, kOffscreen + audio).first, 1) << readFile(dir + "/show.log");
        EXPECT_EQ(readFile(dir + "/error.txt"), report(module, message));
        EXPECT_NE(readFile(dir + "/show.log").find(message), std::string::npos) << message;
        EXPECT_EQ(readFile(dir + "/show.log").find("holds no show"), std::string::npos) << message;
    }
    // Only outside a show folder, and without a display, the terminal also
    // says what to do.
    const std::string dir = makeShow(kScript);
    std::filesystem::remove_all(dir + "/data");
    std::filesystem::remove(dir + "/script.sqx");
    EXPECT_EQ(runShow(dir, kOffscreen + "dummy").first, 1);
    EXPECT_NE(readFile(dir + "/show.log").find("this folder holds no show"), std::string::npos);
    EXPECT_EQ(runShow(dir, "env -u DISPLAY").first, 1);
    EXPECT_EQ(readFile(dir + "/error.txt"),
              report("Startup Dialog", "Can`t create startup dialog"));
    EXPECT_NE(readFile(dir + "/show.log").find("build/tools/capture build/showdir"),
              std::string::npos);
}

// Options are the live mode's; a mistaken one gets the help, not the show.
TEST(ShowProgram, UnknownOptionsPrintTheHelp) {
    const std::string command = std::string(kExe) + " --fullscreen 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string said;
    for (char buffer[256]; std::fgets(buffer, sizeof buffer, pipe);) said += buffer;
    EXPECT_EQ(WEXITSTATUS(pclose(pipe)), 1);
    EXPECT_EQ(said.rfind("indahouse: The following argument was not expected: --fullscreen", 0), 0u)
        << said;
    EXPECT_NE(said.find("--live"), std::string::npos) << said;
}
