// The live mode's rebuilds end to end on the test display: a show file edited
// by hand is kept when its source is saved, the overlay and stdout say which
// source to edit instead, and the clash is mended once the source agrees; a
// picture's rebuild does not wait for the music's.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/show_data.h"
#include "support/x_driver.h"

namespace {

constexpr const char* kLiveWindowTitle = "Zorvath in da house! - live";
constexpr auto kLineWait = std::chrono::seconds(30);
constexpr const char* kProgram = "layer 4:\ncheckerBoardLayer(4,8,8,255,0,0,0,0,255);\n";

class LiveRebuild : public testing::Test {
  protected:
    std::string dir = testing::TempDir() + "live_rebuild_test";
    std::string display = testDisplay();
    pid_t pid = -1;
    unsigned long window = 0;
    size_t linesSeen = 0;

    void TearDown() override {
        if (pid > 0 && waitForExit(pid, 1) < 0) kill(-pid, SIGKILL);
    }
    // The next event line, waiting for it to be written.
    std::string nextLine() {
        const auto deadline = std::chrono::steady_clock::now() + kLineWait;
        while (std::chrono::steady_clock::now() < deadline) {
            const std::string events = readFile(dir + "/events.txt");
            size_t begin = 0;
            for (size_t line = 0; line < linesSeen; ++line) begin = events.find('\n', begin) + 1;
            if (const size_t end = events.find('\n', begin); end != std::string::npos) {
                ++linesSeen;
                return events.substr(begin, end - begin);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return "(no line)";
    }
    // Saved as editors do: a temporary file beside it, renamed over it.
    void save(const std::string& file, const std::string& bytes) {
        const std::string path = dir + "/" + file;
        const std::string scratch = path.substr(0, path.rfind('/') + 1) + ".saving.tmp";
        std::ofstream(scratch, std::ios::binary) << bytes;
        std::rename(scratch.c_str(), path.c_str());
    }
    const std::string script = "@scene Scene1 1 0 999 \n@music t tune.ogg 0 0 0\n";

    // A one-second show built from its own sources, playing paused in live mode.
    void startPaused() {
        std::filesystem::remove_all(dir);
        makeShowDirectory(dir, script);
        std::filesystem::create_directories(dir + "/assets/textures");
        std::filesystem::create_directories(dir + "/assets/music");
        std::ofstream(dir + "/assets/pictures.txt") << "floor textures/floor.txt 16x16 none\n";
        std::ofstream(dir + "/assets/textures/floor.txt") << kProgram;
        std::ofstream(dir + "/assets/music/score.txt") << score(1000);
        std::ofstream(dir + "/assets/script.sqx") << script;
        ASSERT_EQ(
            std::system(("ASAN_OPTIONS=${ASAN_OPTIONS}:detect_leaks=0 '" TEST_MAKESHOW_EXE "' '" +
                         dir + "' --overwrite --assets '" + dir + "/assets' > /dev/null 2>&1")
                            .c_str()),
            0);
        pid = startProgram(dir, display,
                           std::string("'") + TEST_SHOW_EXE +
                               "' --live --mute --size 320x240 --assets assets > events.txt 2> "
                               "errors.txt");
        window = waitForWindow(display, kLiveWindowTitle, pid);
        ASSERT_NE(window, 0u) << readFile(dir + "/errors.txt");
        EXPECT_EQ(nextLine().rfind("play ", 0), 0u);
        pressKeys(display, window, "space");
        EXPECT_EQ(nextLine().rfind("pause ", 0), 0u);
    }
    static std::string score(int lengthMs) {
        return "tempo 125\nlength " + std::to_string(lengthMs) + "\nsection quiet 0 1\n";
    }
    void quit() {
        pressKeys(display, window, "Escape");
        std::string line;
        do line = nextLine();
        while (line != "(no line)" && line.rfind("end ", 0) != 0);
        EXPECT_EQ(line.rfind("end ", 0), 0u) << line;
        EXPECT_EQ(waitForExit(pid), 0);
        pid = -1;
    }
};

TEST_F(LiveRebuild, AShowFileEditedByHandIsKeptAndTheClashNamesTheSourceToEdit) {
    startPaused();
    const std::string byHand = "@scene Scene2 1 0 999 \n@music t tune.ogg 0 0 0\n";
    save("script.sqx", byHand);
    EXPECT_EQ(nextLine(), "reload script.sqx");
    save("assets/script.sqx", "@scene Scene3 1 0 999 \n@music t tune.ogg 0 0 0\n");
    EXPECT_EQ(nextLine(), "rebuild script.sqx");
    const std::string expected =
        "error script.sqx: changed since makeshow wrote it; edit " +
        std::filesystem::canonical(dir).string() +
        "/assets/script.sqx instead (the source it is built from), or run makeshow with "
        "--overwrite to replace it";
    EXPECT_EQ(nextLine(), expected);
    EXPECT_EQ(readFile(dir + "/script.sqx"), byHand);
    // The source now says what the hand edit said: nothing left to clash.
    save("assets/script.sqx", byHand);
    EXPECT_EQ(nextLine(), "rebuild script.sqx");
    EXPECT_EQ(nextLine(), "mended script.sqx");
    quit();
}

// Five minutes of score take seconds to render; the picture saved just
// after it is on screen before the music is done, not after.
TEST_F(LiveRebuild, APictureSavedWhileTheScoreRendersDoesNotWaitForIt) {
    startPaused();
    save("assets/music/score.txt", score(300000));
    EXPECT_EQ(nextLine(), "rebuild music/score.txt");
    save("assets/textures/floor.txt", std::string(kProgram) + "invertLayer(4,4);\n");
    EXPECT_EQ(nextLine(), "rebuild textures/floor.txt");
    EXPECT_EQ(nextLine(), "reload data/floor.hwl");
    quit();
}

} // namespace
