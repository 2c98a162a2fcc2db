// The script reader on files in a temporary folder: line ends, Ctrl-Z, the
// 255-character cut, command words, field extraction, numbers, every message.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "recorder.h"
#include "sequencing/script.h"
#include "sequencing/timeline.h"

namespace {

const std::string kWrong = "Something is wrong with the Script! ";

class ScriptTest : public ::testing::Test {
  protected:
    std::filesystem::path dir;
    MusicSettings music;

    void SetUp() override {
        char pattern[] = "/tmp/script_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        sceneSlots[1] = recordingScene<1>("Scene1");
        sceneSlots[3] = recordingScene<3>("Scene3");
        timelineSlots[1] = createTimeline("Timeline1", 137113);
    }
    void TearDown() override {
        releaseSlots();
        std::filesystem::remove_all(dir);
    }

    TimelineError load(const std::string& text) {
        const std::filesystem::path file = dir / "script.sqx";
        std::ofstream(file, std::ios::binary) << text;
        return loadScript(file.string(), music);
    }
    // Which scene draws at `t` on timeline 1: 1, 3, or 0 for none.
    int drawer(int32_t t) const {
        const Callback draw = timelineSlots[1]->drawTable[t];
        return draw == sceneSlots[1]->onDraw ? 1 : draw == sceneSlots[3]->onDraw ? 3 : 0;
    }
};

TEST_F(ScriptTest, SceneLinePlacesTheSceneAndMusicLineSetsTheMusic) {
    EXPECT_FALSE(music.musicFile);
    ASSERT_TRUE(load("@scene Scene3 1 12000 25000 \n@music Theme song.ogg 5 137000 1").ok());
    EXPECT_EQ(timelineSlots[1]->startTable[12100], sceneSlots[3]->onStart);
    EXPECT_EQ(timelineSlots[1]->startTable[12101], noOp);
    EXPECT_EQ(drawer(11999), 0);
    EXPECT_EQ(drawer(12000), 3);
    EXPECT_EQ(drawer(25000), 3);
    EXPECT_EQ(drawer(25001), 0);
    EXPECT_EQ(timelineSlots[1]->afterSwapTable[25000], sceneSlots[3]->onAfterSwap);
    EXPECT_EQ(music.musicLabel, "Theme");
    EXPECT_EQ(music.musicFile, "song.ogg");
    EXPECT_EQ(music.musicStart, 5);
    EXPECT_EQ(music.musicEnd, 137000);
}

TEST_F(ScriptTest, EveryLineEndStyleReadsTheSame) {
    const std::string lines[] = {"# comment", "@scene Scene1 1 100 200 ", "",
                                 "@scene Scene3 1 150 300 "};
    for (const std::string end : {"\n", "\r\n", "\r", "\n\r"}) {
        std::string text;
        for (const std::string& line : lines) text += line + end;
        for (bool lastEnded : {true, false}) {
            if (!lastEnded) text.resize(text.size() - end.size());
            destroyTimeline(timelineSlots[1]);
            timelineSlots[1] = createTimeline("Timeline1", 137113);
            ASSERT_TRUE(load(text).ok()) << testing::PrintToString(text);
            EXPECT_EQ(drawer(149), 1);
            EXPECT_EQ(drawer(300), 3);
        }
    }
}

TEST_F(ScriptTest, CtrlZStartingALineEndsTheFile) {
    EXPECT_TRUE(load("").ok());
    EXPECT_TRUE(load("\x1a@scene").ok());
    EXPECT_TRUE(load("@scene Scene1 1 0 10 \n\x1a@scene\n").ok());
    EXPECT_EQ(drawer(10), 1);
    // Anywhere else it is an ordinary character.
    EXPECT_EQ(load("@scene Scene1 1 0 1\x1a ").message, kWrong + "(Could not read Scene End Time)");
}

TEST_F(ScriptTest, OnlyTheFirst255CharactersOfALineCount) {
    const std::string prefix = "@scene Scene1 1 0 "; // then the end field, zero-padded
    auto withSpaceAt = [&](size_t index) {
        return prefix + std::string(index - prefix.size() - 3, '0') + "500 ";
    };
    EXPECT_TRUE(load(withSpaceAt(254) + "\n").ok());
    EXPECT_EQ(drawer(500), 1);
    EXPECT_EQ(load(withSpaceAt(255)).message, kWrong + "(Could not read Scene End Time)");
    // The skipped tail is not a line of its own, whatever it holds.
    EXPECT_TRUE(load("#" + std::string(254, 'x') + "@oops\r\n@scene Scene3 1 600 700 ").ok());
    EXPECT_EQ(drawer(700), 3);
}

struct BadLine {
    const char* line;
    std::string message;
};

TEST_F(ScriptTest, EachBadLineGivesItsMessage) {
    const BadLine cases[] = {
        {"@scene", "(Empty Command?)"},
        {"@", "(Empty Command?)"},
        {"@music", "(Empty Command?)"},
        {"@scene ", "(Could not read out the Scene Name)"},
        {"@scene scene1 1 0 10 ", "(Could not read out the Scene Name)"},
        {"@scene Scene2 1 0 10 ", "(Could not read out the Scene Name)"},
        {"@scene Scene1", "(Could not read out the Scene Name)"}, // no space after it: empty
        {"@scene Scene1 ", "(Could not read Timeline ID)"},
        {"@scene Scene1  1 0 10 ", "(Could not read Timeline ID)"},
        {"@scene Scene1 1x 0 10 ", "(Could not read Timeline ID)"},
        {"@scene Scene1 0 0 10 ", "(Timeline ID out of range)"},
        {"@scene Scene1 11 0 10 ", "(Timeline ID out of range)"},
        {"@scene Scene1 -1 0 10 ", "(Timeline ID out of range)"},
        {"@scene Scene1 2 0 10 ", "(No Timeline with this ID)"},
        {"@scene Scene1 1 1000ms 2000 ", "(Could not read Scene Start Time)"},
        {"@scene Scene1 1 -1 10 ", "(Scene time out of range)"},
        {"@scene Scene1 1 600001 10 ", "(Scene time out of range)"},
        {"@scene Scene1 1 0 ", "(Could not read Scene End Time)"},
        {"@scene Scene1 1 0 10", "(Could not read Scene End Time)"},
        {"@scene Scene1 1 0 -5 ", "(Scene time out of range)"},
        {"@music x", "(Could not read Module Start Time)"},
        {"@music a b c 0 0", "(Could not read Module Start Time)"},
        {"@music a b 0 100", "(Could not read Module End Time)"},
        {"@music a b 0 1e3 0", "(Could not read Module End Time)"},
        {"@music a b 0 100 ", "(Could not read Module State)"},
        {"@music a b 0 100 1 ", "(Could not read Module State)"},
        {"@music a b 0 100 1 2", "(Could not read Module State)"},
    };
    for (const BadLine& c : cases) {
        const TimelineError error = load(std::string("# first\n") + c.line + "\n");
        EXPECT_EQ(error.module, "kglTimeline") << c.line;
        EXPECT_EQ(error.message, kWrong + c.message) << c.line;
        EXPECT_NE(error.detail.find("line 2"), std::string::npos) << c.line;
    }
}

TEST_F(ScriptTest, OtherLinesAreIgnored) {
    const char* ignored[] = {
        "@Scene Scene1 1 0 10", " @scene Scene1 1 0 10", "\t@scene", "@scenery Scene1 1 0 10 ",
        "@ whatever",           "scene Scene1 1 0 10 "};
    for (const char* line : ignored) EXPECT_TRUE(load(line).ok()) << line;
    EXPECT_EQ(drawer(5), 0);
    // Whatever follows the end field's space is ignored.
    EXPECT_TRUE(load("@scene Scene1 1 0 10 and a remark").ok());
    EXPECT_EQ(drawer(10), 1);
}

TEST_F(ScriptTest, NumberFieldsTakeEveryBaseAndSign) {
    for (const char* start : {"1000", "+1000", "$3E8", "$3e8", "%1111101000", "&1750", "\t1000"}) {
        timelineSlots[1]->drawTable[1000] = noOp;
        ASSERT_TRUE(load(std::string("@scene Scene1 1 ") + start + " 1000 ").ok()) << start;
        EXPECT_EQ(drawer(1000), 1) << start;
    }
    ASSERT_TRUE(load("@music a b $FFFFFFFF -$10 \t  -7").ok());
    EXPECT_EQ(music.musicStart, -1);
    EXPECT_EQ(music.musicEnd, -16);
}

TEST_F(ScriptTest, LaterLinesWinAndReadingStopsAtTheFirstError) {
    ASSERT_TRUE(load("@music one 1.ogg 1 100 0\n@scene Scene1 1 0 10000 \n"
                     "@scene Scene3 1 5000 6000 \n@music two 2.ogg 2 200 0\n")
                    .ok());
    EXPECT_EQ(drawer(4999), 1);
    EXPECT_EQ(drawer(6000), 3);
    EXPECT_EQ(drawer(6001), 1);
    EXPECT_EQ(music.musicFile, "2.ogg");
    EXPECT_EQ(music.musicEnd, 200);

    EXPECT_TRUE(load("@scene Scene3 1 20000 20000 \n@scene\n@scene Scene3 1 30000 30000 \n"));
    EXPECT_EQ(drawer(20000), 3);
    EXPECT_EQ(drawer(30000), 0);
}

TEST_F(ScriptTest, UnreadableFilesAreReported) {
    const std::string cannot = "Could not load Script file!";
    EXPECT_EQ(loadScript((dir / "missing.sqx").string(), music).message, cannot);
    const TimelineError error = loadScript(dir.string(), music); // a folder
    EXPECT_EQ(error.module, "kglTimeline");
    EXPECT_EQ(error.message, cannot);
}

struct NumberCase {
    const char* text;
    bool ok;
    int32_t value;
};

TEST(ScriptNumber, AcceptsExactlyTheScriptSyntax) {
    const NumberCase cases[] = {
        {"0", true, 0},
        {"-0", true, 0},
        {"+42", true, 42},
        {" \t 42", true, 42},
        {"0000000000000000000012", true, 12},
        {"2147483647", true, INT32_MAX},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},
        {"-2147483649", false, 0},
        {"99999999999999999999999", false, 0},
        {"$FFFFFFFF", true, -1},
        {"$aB", true, 171},
        {"-$1", true, -1},
        {"-$FFFFFFFF", true, 1},
        {"$80000000", true, INT32_MIN},
        {"$000000010", true, 16},
        {"$100000000", false, 0},
        {"%101", true, 5},
        {"%2", false, 0},
        {"&777", true, 511},
        {"&37777777777", true, -1},
        {"&40000000000", false, 0},
        {"&8", false, 0},
        {"", false, 0},
        {" ", false, 0},
        {"+", false, 0},
        {"-", false, 0},
        {"$", false, 0},
        {"%", false, 0},
        {"5 ", false, 0},
        {"5\t", false, 0},
        {"--5", false, 0},
        {"- 5", false, 0},
        {"$-5", false, 0},
        {"0x10", false, 0},
        {"1,000", false, 0},
    };
    for (const NumberCase& c : cases) {
        int32_t value = 12345;
        EXPECT_EQ(parseScriptNumber(c.text, value), c.ok) << '"' << c.text << '"';
        EXPECT_EQ(value, c.ok ? c.value : 12345) << '"' << c.text << '"';
    }
}

} // namespace
