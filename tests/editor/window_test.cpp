// texedit in a real window on the shared Xvfb: the title names the file and
// its unsaved mark, and the preview shows the generator's own pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/x_driver.h"
#include "texgen/text_compile.h"

namespace {

constexpr int kSize = 256;

// The 256 x 256 texture of `program` as RGB bytes, as `texgen render` makes it.
std::vector<uint8_t> rendered(const std::string& program) {
    std::ifstream in(program);
    std::stringstream source;
    source << in.rdbuf();
    auto description = std::make_unique<texgen::TextureDescription>();
    EXPECT_FALSE(texgen::compileDescription(source.str(), *description));
    std::vector<uint32_t> words(kSize * kSize);
    EXPECT_TRUE(texgen::renderDescription(*description, kSize, kSize, words.data()).ok());
    std::vector<uint8_t> rgb;
    for (uint32_t word : words)
        rgb.insert(rgb.end(), {uint8_t(word >> 16), uint8_t(word >> 8), uint8_t(word)});
    return rgb;
}

// True when the window's pixels hold `picture` 1:1: its rows one under the
// other, at the same stride.
bool shows(const std::vector<uint8_t>& window, const std::vector<uint8_t>& picture) {
    const size_t row = kSize * 3;
    auto at = window.begin();
    ptrdiff_t stride = 0;
    for (size_t y = 0; y < kSize; ++y) {
        const auto found = std::search(y ? at + 1 : at, window.end(), picture.begin() + y * row,
                                       picture.begin() + (y + 1) * row);
        if (found == window.end()) return false;
        if (y == 1) stride = found - at;
        if (y > 1 && found - at != stride) return false;
        at = found;
    }
    return true;
}

// Waits until the window shows `picture` (or, with `shown` false, no longer does).
bool comesTo(bool shown, const std::string& display, unsigned long window,
             const std::vector<uint8_t>& picture) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (shows(grabWindow(display, window), picture) == shown) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

TEST(EditorWindow, ShowsTheProgramsTextureAndItsUnsavedMark) {
    const std::string display = testDisplay();
    const std::string program = TEST_ASSETS_DIR "/textures/floor.txt";
    const std::string dir = testing::TempDir();
    const pid_t pid =
        startProgram(dir, display, "'" TEST_TEXEDIT_EXE "' '" + program + "' 2> texedit.err");
    const unsigned long window = waitForWindow(display, "floor\\.txt - texedit", pid);
    ASSERT_NE(window, 0u) << readFile(dir + "/texedit.err");
    const auto texture = rendered(program);
    EXPECT_TRUE(comesTo(true, display, window, texture));

    pressKeys(display, window, "Delete"); // the last operation of layer 4
    EXPECT_NE(waitForWindow(display, "floor\\.txt \\* - texedit", pid, 20), 0u);
    EXPECT_TRUE(comesTo(false, display, window, texture));
    pressKeys(display, window, "ctrl+z");
    EXPECT_NE(waitForWindow(display, "floor\\.txt - texedit", pid, 20), 0u);
    EXPECT_TRUE(comesTo(true, display, window, texture));

    pressKeys(display, window, "ctrl+q");
    EXPECT_EQ(waitForExit(pid, 20), 0);
}

} // namespace
