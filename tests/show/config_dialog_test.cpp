// The configuration dialog on the test display, driven with keys and clicks:
// alone (config_dialog_probe prints how it ended and the settings it left)
// and in front of the show program.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "show/show_directory.h"
#include "show/x_driver.h"

namespace {

using Drive = std::function<void(const std::string& display, unsigned long dialog)>;

constexpr const char* kDefaultsChosen = "go 800x600x32 fullscreen=1 music=1\n";

// Centres of controls, in pixels: the design's dialog units at 1.5 pixels
// across and 1.625 down (8-point font at 96 dpi).
struct Point {
    int x, y;
};
constexpr Point unitsCentre(int x, int y, int width, int height) {
    return {(2 * x + width) * 3 / 4, (2 * y + height) * 13 / 16};
}
constexpr Point kFullScreenBox = unitsCentre(12, 58, 53, 8);
constexpr Point kTrueColourBox = unitsCentre(12, 70, 53, 8);
constexpr Point kMusicBox = unitsCentre(12, 82, 53, 8);
constexpr Point kCancelButton = unitsCentre(85, 111, 50, 14);

std::string testDir(const std::string& name) {
    return testing::TempDir() + "dialog_" + name;
}

void click(const std::string& display, unsigned long dialog, Point at) {
    clickAt(display, dialog, at.x, at.y);
}

// Runs the probe with `arguments`, drives its dialog once it shows and
// returns what it printed, or what went wrong. Leak checks stay off for the
// probe as for the show: the toolkit's font library keeps caches to the end.
std::string runProbe(const std::string& name, const Drive& drive,
                     const std::string& arguments = "") {
    const std::string display = testDisplay();
    if (display.empty()) return "needs an X display";
    const std::string dir = testDir(name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const pid_t probe = startProgram(dir, display,
                                     std::string(kChildSanitizer) + " '" + TEST_DIALOG_PROBE +
                                         "' " + arguments + " > out.txt 2> err.txt");
    const unsigned long dialog = waitForWindow(display, "Config", probe);
    if (dialog) drive(display, dialog);
    const int exitCode = waitForExit(probe, dialog ? 60 : 0);
    if (!dialog || exitCode != 0) {
        return "dialog " + std::to_string(dialog) + ", exit code " + std::to_string(exitCode) +
               ": " + readFile(dir + "/err.txt");
    }
    return readFile(dir + "/out.txt");
}

void pressEnter(const std::string& display, unsigned long dialog) {
    pressKeys(display, dialog, "Return");
}

} // namespace

TEST(ConfigDialog, OpensAtItsPlaceAndSizeWithTheDefaultsAndEscapeDoesNothing) {
    const auto drive = [](const std::string& display, unsigned long dialog) {
        const WindowRect rect = windowRect(display, dialog);
        // (100, 100) and 142 x 131 dialog units.
        EXPECT_EQ(rect.x, 150);
        EXPECT_EQ(rect.y, 163);
        EXPECT_EQ(rect.width, 213);
        EXPECT_EQ(rect.height, 213);
        pressKeys(display, dialog, "Escape");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_TRUE(windowShown(display, "Config"));
        pressEnter(display, dialog);
    };
    EXPECT_EQ(runProbe("defaults", drive), kDefaultsChosen);
}

TEST(ConfigDialog, EachClickFlipsItsBoxAndItsSetting) {
    const auto once = [](const std::string& display, unsigned long dialog) {
        for (Point box : {kFullScreenBox, kTrueColourBox, kMusicBox}) click(display, dialog, box);
        pressEnter(display, dialog);
    };
    EXPECT_EQ(runProbe("once", once), "go 800x600x16 fullscreen=0 music=0\n");

    const auto twice = [](const std::string& display, unsigned long dialog) {
        for (Point box : {kFullScreenBox, kTrueColourBox, kMusicBox}) {
            click(display, dialog, box);
            click(display, dialog, box);
        }
        pressEnter(display, dialog);
    };
    EXPECT_EQ(runProbe("twice", twice), kDefaultsChosen);
}

// The boxes follow the settings, the list does not: it opens on "800 x 600".
TEST(ConfigDialog, OpensOnTheBoxesOfTheSettingsAnd800x600) {
    EXPECT_EQ(runProbe("settings", pressEnter, "1024 768 16 0 0"),
              "go 800x600x16 fullscreen=0 music=0\n");
    // Any depth but 32 leaves "True Color" unticked; ticking it gives 32.
    const auto tickTrueColour = [](const std::string& display, unsigned long dialog) {
        click(display, dialog, kTrueColourBox);
        pressEnter(display, dialog);
    };
    EXPECT_EQ(runProbe("depth24", tickTrueColour, "640 480 24 1 1"),
              "go 800x600x32 fullscreen=1 music=1\n");
}

// Tab, Tab reaches the list; space opens it on "800 x 600"; the arrows move
// along the four entries in order; Return picks one and then means "Go!".
TEST(ConfigDialog, GoStoresTheChosenResolution) {
    const struct {
        const char* keys;
        const char* expected;
    } cases[] = {
        {"Up", "go 640x480x32 fullscreen=1 music=1\n"},
        {"Down", "go 1024x768x32 fullscreen=1 music=1\n"},
        {"Down Down", "go 1280x960x32 fullscreen=1 music=1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        const auto choose = [&c](const std::string& display, unsigned long dialog) {
            pressKeys(display, dialog, "Tab Tab space");
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            pressKeys(display, dialog, std::string(c.keys) + " Return");
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            pressEnter(display, dialog);
        };
        EXPECT_EQ(runProbe("resolution", choose), c.expected);
    }
}

TEST(ConfigDialog, CancelClickEnterOnCancelAndCloseAllCancel) {
    const auto clickCancel = [](const std::string& display, unsigned long dialog) {
        click(display, dialog, kTrueColourBox); // discarded with the dialog
        click(display, dialog, kCancelButton);
    };
    EXPECT_EQ(runProbe("cancel", clickCancel), "cancel\n");
    const auto enterOnCancel = [](const std::string& display, unsigned long dialog) {
        pressKeys(display, dialog, "Tab Return");
    };
    EXPECT_EQ(runProbe("enter_on_cancel", enterOnCancel), "cancel\n");
    const auto close = [](const std::string& display, unsigned long dialog) {
        requestClose(display, dialog);
    };
    EXPECT_EQ(runProbe("close", close), "cancel\n");
}

// Cancel and close end the show program at once: exit code 0, no report. The
// directory has no script, so a start-up that went on would fail loudly.
TEST(ShowDialog, CancelOrCloseEndsTheProgramAtOnce) {
    const std::string display = testDisplay();
    ASSERT_FALSE(display.empty()) << "needs an X display";
    const std::function<void(unsigned long)> endings[] = {
        [&](unsigned long dialog) { click(display, dialog, kCancelButton); },
        [&](unsigned long dialog) { requestClose(display, dialog); },
    };
    int index = 0;
    for (const auto& end : endings) {
        SCOPED_TRACE(index);
        const std::string dir = testDir("show_ending" + std::to_string(index++));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        const pid_t show = startProgram(dir, display,
                                        std::string(kChildSanitizer) + " '" +
                                            std::getenv("TEST_SHOW_EXE") + "' > show.log 2>&1");
        const unsigned long dialog = waitForWindow(display, "Config", show);
        EXPECT_NE(dialog, 0u);
        if (dialog) end(dialog);
        EXPECT_EQ(waitForExit(show, dialog ? 60 : 0), 0) << readFile(dir + "/show.log");
        EXPECT_FALSE(std::filesystem::exists(dir + "/error.txt"));
    }
}

TEST(ShowDialog, WithoutADisplayTheDialogIsAFatalError) {
    const std::string dir = testDir("no_display");
    makeShowDirectory(dir, "@scene Scene1 1 0 100 \n");
    EXPECT_EQ(runShow(dir, "env -u DISPLAY"), 1);
    EXPECT_EQ(readFile(dir + "/error.txt"),
              "Sorry, but the following module had something to say:\r\n\r\n"
              "Startup Dialog\r\nCan`t create startup dialog\r\n");
}
