// End-to-end runs of the show program in a temporary directory holding a
// small data set. Without X (SDL's offscreen driver) the show runs to its
// end time; under Xvfb a real key ends it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include "show/show_directory.h"

namespace {

// Scene placements across a short show; the music line sets the end time
// (no music is played yet: the show's own clock runs).
const std::string kShortScript = "# a short show\n"
                                 "@scene Scene1 1 0 200 \n"
                                 "@scene Scene2 1 201 400 \n"
                                 "@music tune none.ogg 0 400 0\n";

std::string testDir(const std::string& name) {
    return testing::TempDir() + "show_" + name;
}

std::string expectedReport(const std::string& module, const std::string& message) {
    return "Sorry, but the following module had something to say:\r\n\r\n" + module + "\r\n" +
           message + "\r\n";
}

const char* kOffscreen = "SDL_VIDEODRIVER=offscreen";

} // namespace

TEST(ShowProgram, PlaysToTheEndTimeAndExitsCleanly) {
    const std::string dir = testDir("plays");
    makeShowDirectory(dir, kShortScript);
    EXPECT_EQ(runShow(dir, kOffscreen), 0) << readFile(dir + "/show.log");
    EXPECT_FALSE(std::filesystem::exists(dir + "/error.txt"));
}

TEST(ShowProgram, FailuresEndWithTheExactReportAndExitCodeOne) {
    struct Case {
        const char* name;
        const char* script;      // null: no script file at all
        const char* removedFile; // a data file to delete, or null
        const char* module;
        const char* message; // the report's message; "" checks only the module
    } cases[] = {
        {"no_script", nullptr, nullptr, "kglTimeline", "Could not load Script file!"},
        {"bad_line", "@scene Scene1 1 zero 100 \n", nullptr, "kglTimeline",
         "Something is wrong with the Script! (Could not read Scene Start Time)"},
        {"unknown_scene", "@scene Scene12 1 0 100 \n", nullptr, "kglTimeline",
         "Something is wrong with the Script! (Could not read out the Scene Name)"},
        {"missing_texture", kShortScript.c_str(), "data/ppl2.hwl", "kglTexture", ""},
        {"missing_companion", kShortScript.c_str(), "data/grass_alpha.hwl", "kglTexture", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = testDir(c.name);
        makeShowDirectory(dir, c.script ? c.script : "");
        if (!c.script) std::filesystem::remove(dir + "/script.sqx");
        if (c.removedFile) std::filesystem::remove(dir + "/" + c.removedFile);
        // An older report is replaced completely.
        std::FILE* old = std::fopen((dir + "/error.txt").c_str(), "wb");
        std::fputs("an old report that is much longer than the new one\r\n\r\n\r\n\r\n\r\n", old);
        std::fclose(old);

        EXPECT_EQ(runShow(dir, kOffscreen), 1) << readFile(dir + "/show.log");
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

// Under Xvfb (whose one screen mode is the show's default 800 x 600 full
// screen): a show with no end in sight stops on Escape, tears down and exits
// with 0; any other key changes nothing.
TEST(ShowProgram, EscapeEndsTheShowUnderX) {
    if (std::system("command -v xvfb-run > /dev/null && command -v xdotool > /dev/null") != 0) {
        GTEST_SKIP() << "xvfb-run and xdotool are needed";
    }
    const std::string dir = testDir("escape");
    makeShowDirectory(dir, "@scene Scene1 1 0 137000 \n");
    // Waits for the window, presses space (the show must go on), then Escape.
    std::FILE* drive = std::fopen((dir + "/drive.sh").c_str(), "w");
    std::fputs("show=$1\n"
               "for i in $(seq 1 150); do\n"
               "  wid=$(xdotool search --name '^Zorvath in da house!$' 2>/dev/null | head -1)\n"
               "  [ -n \"$wid\" ] && break; kill -0 \"$show\" || exit 3; sleep 0.2\n"
               "done\n"
               "sleep 1; xdotool windowfocus --sync \"$wid\"; xdotool key space; sleep 0.5\n"
               "kill -0 \"$show\" || exit 3\n"
               "xdotool key Escape\n",
               drive);
    std::fclose(drive);
    const std::string command =
        "cd '" + dir + "' && " + kChildSanitizer +
        " timeout 120 xvfb-run -a -s '-screen 0 800x600x24' sh -c '\"" +
        std::getenv("TEST_SHOW_EXE") +
        "\" > show.log 2>&1 & pid=$!; sh drive.sh $pid || exit 3; wait $pid'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << readFile(dir + "/show.log");
    EXPECT_EQ(WEXITSTATUS(status), 0) << readFile(dir + "/show.log");
    EXPECT_FALSE(std::filesystem::exists(dir + "/error.txt"));
}
