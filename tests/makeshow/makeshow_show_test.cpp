// The show program on the directory makeshow built, in a real window on the
// shared Xvfb: through the dialog, loading every texture, the script and the
// music, playing the first scene, then ended with Escape.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "makeshow/makeshow_support.h"
#include "show/x_driver.h"
#include "tools/png_io.h"

namespace {

const char* const kShowTitle = "Zorvath in da house!";
// The GL driver leaves allocations at exit that the leak checker cannot
// attribute; the engine's own leaks are checked by the unit and GL tests.
const char* const kChildSanitizer = "ASAN_OPTIONS=${ASAN_OPTIONS}:detect_leaks=0";
// Long enough for loading and the first frames on a slow software renderer.
constexpr auto kPlayTime = std::chrono::seconds(4);

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Distinct colours in the screenshot: a stage with a crowd and three
// performers has many; an empty, black or single-colour screen has few.
size_t colourCount(const PngImage& image) {
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 2 < image.pixels.size(); i += size_t(image.channels))
        colours.insert(uint32_t(image.pixels[i]) << 16 | uint32_t(image.pixels[i + 1]) << 8 |
                       image.pixels[i + 2]);
    return colours.size();
}

} // namespace

TEST(ShowUnderX, PlaysTheMadeDirectoryUntilEscape) {
    const std::string display = testDisplay();
    ASSERT_FALSE(display.empty()) << "needs an X display";
    const std::string dir = scratchCopyOfShow("under_x");
    const pid_t show = startProgram(
        dir, display, std::string(kChildSanitizer) + " '" + TEST_SHOW_EXE + "' > show.log 2>&1");
    const unsigned long dialog = waitForWindow(display, "Config", show);
    if (dialog) pressKeys(display, dialog, "Return");
    const unsigned long window = waitForWindow(display, kShowTitle, show);
    if (!window) {
        waitForExit(show, 0);
        FAIL() << "no show window; dialog " << dialog << "\n" << readAll(dir + "/show.log");
    }
    std::this_thread::sleep_for(kPlayTime);
    ASSERT_TRUE(windowShown(display, kShowTitle)) << readAll(dir + "/show.log");
    const std::string shot = dir + "/screen.png";
    const std::string grab = "import -display " + display + " -window root " + shot;
    EXPECT_EQ(std::system(grab.c_str()), 0);
    pressKeys(display, window, "Escape");
    EXPECT_EQ(waitForExit(show), 0) << readAll(dir + "/show.log");
    EXPECT_FALSE(std::filesystem::exists(dir + "/error.txt")) << readAll(dir + "/error.txt");

    PngImage screen;
    ASSERT_TRUE(readPng(shot, screen).ok());
    EXPECT_GT(colourCount(screen), 1000u) << "the stage does not show";
}
