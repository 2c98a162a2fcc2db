// The show's live mode end to end on the test display: keys and a click on
// the strip give their event lines on stdout, and a paused frame after a
// seek, with the overlay hidden, is the picture capture renders for that time.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "live/overlay.h"
#include "support/show_data.h"
#include "support/x_driver.h"
#include "tools/png_io.h"

namespace {

constexpr int32_t kWidth = 320, kHeight = 240;
constexpr int32_t kTuneSeconds = 12;
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

    void SetUp() override {
        makeShowDirectory(dir, kScript);
        writeTune(dir + "/tune.wav", kTuneSeconds);
        pid = startProgram(dir, display,
                           std::string("'") + TEST_SHOW_EXE +
                               "' --live --mute --size 320x240 > events.txt 2> errors.txt");
        window = waitForWindow(display, kLiveTitle, pid);
        ASSERT_NE(window, 0u) << readFile(dir + "/errors.txt");
    }
    void TearDown() override {
        if (pid > 0 && waitForExit(pid, 1) < 0) kill(-pid, SIGKILL);
    }

    // The next event line, waiting for it to be written.
    std::string nextLine() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
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
        return "(no line)";
    }
    void press(const std::string& key) { pressKeys(display, window, key); }
};

TEST_F(LiveMode, KeysAndTheStripGiveEventLinesAndAPausedSeekShowsTheCapturedFrame) {
    EXPECT_EQ(nextLine().rfind("play ", 0), 0u);
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
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // a frame or two drawn
    const std::vector<uint8_t> shown = grabWindow(display, window);
    const std::string capture = TEST_CAPTURE_EXE;
    const std::string png = dir + "/at.png";
    ASSERT_EQ(
        std::system(("ASAN_OPTIONS=${ASAN_OPTIONS}:detect_leaks=0 SDL_VIDEODRIVER=offscreen '" +
                     capture + "' '" + dir + "' --at " + std::to_string(seekTime) +
                     " --size 320x240 --out '" + png + "' > /dev/null 2>&1")
                        .c_str()),
        0);
    PngImage captured;
    ASSERT_FALSE(readPng(png, captured));
    EXPECT_TRUE(shown == captured.pixels) << "the paused frame differs from capture --at";

    press("space");
    EXPECT_EQ(nextLine(), "play " + std::to_string(seekTime));
    press("Escape");
    EXPECT_EQ(nextLine().rfind("end ", 0), 0u);
    EXPECT_EQ(waitForExit(pid), 0);
    pid = -1;
}

} // namespace
