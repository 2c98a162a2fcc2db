// The show program on the directory makeshow built, in a real window on the
// shared Xvfb (its one mode is the default 800 x 600 full screen): through
// the dialog, loading every texture, the script and the music, playing the
// first scene, where a key other than Escape changes nothing; then Escape.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "common/png_io.h"
#include "makeshow/makeshow_support.h"
#include "support/x_driver.h"

TEST(ShowUnderX, PlaysTheMadeDirectoryUntilEscape) {
    const std::string display = testDisplay(), dir = scratchCopyOfShow("under_x");
    const ShowProcess show = startShow(dir, display, TEST_SHOW_EXE);
    pressKeys(display, show.dialog, "Return");
    const unsigned long window = waitForWindow(display, kShowTitle, show.pid);
    if (!window) waitForExit(show.pid, 0); // ends it
    ASSERT_NE(window, 0u) << readFile(dir + "/show.log");
    // Long enough for loading and the first frames on a slow software renderer.
    std::this_thread::sleep_for(std::chrono::seconds(4));
    pressKeys(display, window, "space");
    const std::string grab = "import -display " + display + " -window root " + dir + "/screen.png";
    EXPECT_EQ(std::system(grab.c_str()), 0);
    EXPECT_NE(findWindow(display, std::string("--name '^") + kShowTitle + "$'"), 0u);
    pressKeys(display, window, "Escape");
    EXPECT_EQ(waitForExit(show.pid), 0) << readFile(dir + "/show.log");
    EXPECT_EQ(readFile(dir + "/error.txt"), "");

    // A stage with a crowd and three performers has many colours; an empty,
    // black or single-colour screen few.
    PngImage screen;
    ASSERT_TRUE(readPng(dir + "/screen.png", screen).ok());
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 2 < screen.pixels.size(); i += size_t(screen.channels))
        colours.insert(uint32_t(screen.pixels[i]) << 16 | screen.pixels[i + 1] << 8 |
                       screen.pixels[i + 2]);
    EXPECT_GT(colours.size(), 1000u) << "the stage does not show";
}
