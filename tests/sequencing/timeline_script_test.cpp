// Timeline tables (creation limits, placements slot by slot, one frame's
// dispatch order) and the script reader on files in a temporary folder (line
// ends, Ctrl-Z, the 255-character cut, command words, numbers, every message).
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <unistd.h>

#include "sequencing/script.h"
#include "sequencing/timeline.h"

namespace {

std::vector<std::string> events;

// record<'d', 3> logs "d3": the draw callback of scene 3, and so on.
template <char Kind, int Id> void record() {
    events.push_back(Kind + std::to_string(Id));
}
template <int Id> Scene* recordingScene(const char* name) {
    return createScene(name, record<'s', Id>, record<'d', Id>, record<'a', Id>);
}
void swapBuffers() {
    events.push_back("swap");
}

// What each slot calls: "d3" for scene 3's draw, "-" for noOp, "0" for null.
std::string slots(const Callback* table, std::initializer_list<int32_t> times) {
    std::string calls;
    for (int32_t t : times) {
        if (!calls.empty()) calls += ' ';
        if (!table[t] || table[t] == noOp) {
            calls += table[t] ? "-" : "0";
        } else {
            table[t]();
            calls += events.back();
        }
    }
    return calls;
}

using Events = std::vector<std::string>;

class TimelineTest : public ::testing::Test {
  protected:
    void SetUp() override { events.clear(); }
    void TearDown() override { releaseSlots(); }
};

TEST_F(TimelineTest, CreationFillsZeroToLengthAndRefusesMoreThanTenMinutes) {
    TimelineError error;
    Timeline* full = timelineSlots[1] = createTimeline("full", kMaxTimelineLength, &error);
    ASSERT_NE(full, nullptr);
    EXPECT_TRUE(error.ok());
    EXPECT_EQ(slots(full->startTable, {0, kMaxTimelineLength}), "- -");
    EXPECT_EQ(slots(full->afterSwapTable, {0}), "-");
    EXPECT_EQ(full->setupMarker, 0);
    Timeline* shortOne = timelineSlots[2] = createTimeline(std::string(300, 'n'), 1000);
    EXPECT_EQ(shortOne->name.size(), kMaxNameLength);
    EXPECT_EQ(slots(shortOne->drawTable, {1000, 1001}), "- 0");

    EXPECT_EQ(createTimeline("big", kMaxTimelineLength + 1, &error), nullptr);
    EXPECT_EQ(error.module, "kglTimeline");
    EXPECT_EQ(error.message, "Timeline is too big for buffer!");
    EXPECT_EQ(createTimeline("negative", -1, &error), nullptr);
    EXPECT_TRUE(error);
}

TEST_F(TimelineTest, PlacementsWriteTheirSlotsAndLaterOnesWin) {
    Timeline* tl = timelineSlots[1] = createTimeline("t", 20000);
    Scene* a = sceneSlots[1] = recordingScene<1>("A");
    Scene* b = sceneSlots[2] = recordingScene<2>("B");
    Scene* c = sceneSlots[3] = recordingScene<3>("C");
    placeScene(tl, a, 0, 10000);
    placeScene(tl, b, 5000, 15000);
    placeScene(tl, c, 17000, 16000); // end before start: start slots only
    placeScene(tl, c, 18000, 18050); // a short placement keeps all 101 start slots
    EXPECT_EQ(slots(tl->startTable, {100, 101, 5000, 5100, 5101, 17100, 18100, 18101}),
              "s1 - s2 s2 - s3 s3 -");
    EXPECT_EQ(slots(tl->drawTable, {0, 4999, 5000, 15000, 15001, 17000, 18050, 18051}),
              "d1 d1 d2 d2 - - d3 -");
    EXPECT_EQ(slots(tl->afterSwapTable, {4999, 15000, 15001}), "a1 a2 -");

    // Nothing is written past the filled slots, whatever the times.
    placeScene(tl, a, 19950, 30000);
    placeScene(tl, b, INT32_MAX - 10, INT32_MAX);
    placeScene(tl, b, INT32_MIN, -1);
    EXPECT_EQ(slots(tl->drawTable, {0, 20000, 20001}), "d1 d1 0");
    EXPECT_EQ(slots(tl->startTable, {0, 20001}), "s1 0");
}

// Timeline 3 is the shorter one: beyond its filled slots it is skipped.
TEST_F(TimelineTest, StepRunsStartsAndDrawsThenSwapsThenAfterSwapsInSlotOrder) {
    sceneSlots[1] = recordingScene<1>("one");
    sceneSlots[2] = recordingScene<2>("two");
    timelineSlots[7] = createTimeline("second", 10000);
    timelineSlots[3] = createTimeline("first", 6000);
    placeScene(timelineSlots[7], sceneSlots[2], 5000, 10000);
    placeScene(timelineSlots[3], sceneSlots[1], 5050, 6000);
    timelineSlots[3]->startTable[6001] = record<'x', 0>; // must stay unreached above length
    const std::pair<int32_t, Events> frames[] = {
        {5100, {"s1", "d1", "s2", "d2", "swap", "a1", "a2"}},
        {5101, {"s1", "d1", "d2", "swap", "a1", "a2"}},
        {6001, {"d2", "swap", "a2"}},
        // clang-format off
        {-1, {"swap"}}, {10001, {"swap"}}, {kMaxTimelineLength + 1, {"swap"}},
        {INT32_MIN, {"swap"}}, {INT32_MAX, {"swap"}}};
    // clang-format on
    for (const auto& [t, expected] : frames) {
        events.clear();
        stepTimelines(t, swapBuffers);
        EXPECT_EQ(events, expected) << "play time " << t;
    }
    events.clear();
    stepTimelines(9001, nullptr); // no swap to call
    EXPECT_EQ(events, (Events{"d2", "a2"}));
}

TEST_F(TimelineTest, FindSceneMatchesExactlyAndPrefersTheHighestSlot) {
    sceneSlots[4] = createScene("Twin", noOp, noOp, noOp);
    sceneSlots[90] = createScene("Twin", noOp, nullptr, noOp);
    EXPECT_EQ(findScene("Twin"), sceneSlots[90]);
    EXPECT_EQ(findScene("twin"), nullptr);
    EXPECT_EQ(findScene("Twin "), nullptr);
    // A null callback is stored and simply not called.
    timelineSlots[1] = createTimeline("t", 10);
    placeScene(timelineSlots[1], sceneSlots[90], 0, 10);
    stepTimelines(5, swapBuffers);
    EXPECT_EQ(events, Events{"swap"});
}

const std::string kWrong = "Something is wrong with the Script! ";

class ScriptTest : public TimelineTest {
  protected:
    MusicSettings music;

    void SetUp() override {
        sceneSlots[1] = recordingScene<1>("Scene1");
        sceneSlots[3] = recordingScene<3>("Scene3");
        timelineSlots[1] = createTimeline("Timeline1", 137113);
    }
    TimelineError load(const std::string& text) { return loadScriptText(text, music); }
    std::string draws(std::initializer_list<int32_t> times) const {
        return slots(timelineSlots[1]->drawTable, times);
    }
};

// The reader on files: one that holds a script, one missing, and a folder.
TEST_F(ScriptTest, ScriptFilesAreReadWholeAndUnreadableOnesReported) {
    const std::string file = testing::TempDir() + "script_test_" + std::to_string(getpid());
    std::ofstream(file, std::ios::binary)
        << "@scene Scene3 1 12000 25000 \n@music Theme song.ogg 5 137000 1";
    const TimelineError read = loadScript(file, music);
    std::filesystem::remove(file);
    ASSERT_TRUE(read.ok()) << read.message;
    EXPECT_EQ(slots(timelineSlots[1]->startTable, {11999, 12000, 12100, 12101}), "- s3 s3 -");
    EXPECT_EQ(draws({11999, 12000, 25000, 25001}), "- d3 d3 -");
    EXPECT_EQ(slots(timelineSlots[1]->afterSwapTable, {25000}), "a3");
    EXPECT_EQ(std::tie(music.musicLabel, music.musicFile, music.musicStart, music.musicEnd),
              std::tuple("Theme", "song.ogg", 5, 137000));
    for (const std::string& unreadable : {file, testing::TempDir()}) {
        const TimelineError error = loadScript(unreadable, music);
        EXPECT_EQ(error.module, "kglTimeline") << unreadable;
        EXPECT_EQ(error.message, "Could not load Script file!") << unreadable;
    }
}

TEST_F(ScriptTest, EveryLineEndStyleReadsTheSame) {
    const std::string lines[] = {"# comment", "@scene Scene1 1 100 200 ", "",
                                 "@scene Scene3 1 150 300 "};
    for (const std::string end : {"\n", "\r\n", "\r", "\n\r"}) {
        std::string text;
        for (const std::string& line : lines) text += line + end;
        for (bool lastEnded : {true, false}) {
            if (!lastEnded) text.resize(text.size() - end.size());
            std::fill_n(timelineSlots[1]->drawTable, 400, noOp);
            ASSERT_TRUE(load(text).ok()) << testing::PrintToString(text);
            EXPECT_EQ(draws({99, 149, 300}), "- d1 d3") << testing::PrintToString(text);
        }
    }
}

TEST_F(ScriptTest, CtrlZStartingALineEndsTheFile) {
    EXPECT_TRUE(load("").ok());
    EXPECT_TRUE(load("\x1a@scene").ok());
    EXPECT_TRUE(load("@scene Scene1 1 0 10 \n\x1a@scene\n").ok());
    EXPECT_EQ(draws({10}), "d1");
    // Anywhere else it is an ordinary character.
    EXPECT_EQ(load("@scene Scene1 1 0 1\x1a ").message, kWrong + "(Could not read Scene End Time)");
}

TEST_F(ScriptTest, OnlyTheFirst255CharactersOfALineCount) {
    const std::string prefix = "@scene Scene1 1 0 "; // then the end field, zero-padded
    auto withSpaceAt = [&](size_t index) {
        return prefix + std::string(index - prefix.size() - 3, '0') + "500 ";
    };
    EXPECT_TRUE(load(withSpaceAt(254) + "\n").ok());
    EXPECT_EQ(draws({500}), "d1");
    EXPECT_EQ(load(withSpaceAt(255)).message, kWrong + "(Could not read Scene End Time)");
    // The skipped tail is not a line of its own, whatever it holds.
    EXPECT_TRUE(load("#" + std::string(254, 'x') + "@oops\r\n@scene Scene3 1 600 700 ").ok());
    EXPECT_EQ(draws({700}), "d3");
}

TEST_F(ScriptTest, EachBadLineGivesItsMessage) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"@scene", "Empty Command?"},
        {"@scene scene1 1 0 10 ", "Could not read out the Scene Name"},
        {"@scene Scene1", "Could not read out the Scene Name"}, // no space after it: empty
        {"@scene Scene1  1 0 10 ", "Could not read Timeline ID"},
        {"@scene Scene1 0 0 10 ", "Timeline ID out of range"},
        {"@scene Scene1 11 0 10 ", "Timeline ID out of range"},
        {"@scene Scene1 2 0 10 ", "No Timeline with this ID"},
        {"@scene Scene1 1 1000ms 2000 ", "Could not read Scene Start Time"},
        {"@scene Scene1 1 600001 10 ", "Scene time out of range"},
        {"@scene Scene1 1 0 10", "Could not read Scene End Time"},
        {"@scene Scene1 1 0 -5 ", "Scene time out of range"},
        {"@music a b c 0 0", "Could not read Module Start Time"},
        {"@music a b 0 100", "Could not read Module End Time"},
        {"@music a b 0 100 1 2", "Could not read Module State"}};
    // clang-format on
    for (const auto& [line, message] : cases) {
        const TimelineError error = load(std::string("# first\n") + line + "\n");
        EXPECT_EQ(error.module, "kglTimeline") << line;
        EXPECT_EQ(error.message, kWrong + "(" + message + ")") << line;
        EXPECT_NE(error.detail.find("line 2"), std::string::npos) << line;
    }
}

TEST_F(ScriptTest, OtherLinesAreIgnoredAndTextAfterTheLastField) {
    for (const char* line : {"@Scene Scene1 1 0 10", " @scene Scene1 1 0 10", "\t@scene",
                             "@scenery Scene1 1 0 10 ", "@ whatever", "scene Scene1 1 0 10 "}) {
        EXPECT_TRUE(load(line).ok()) << line;
    }
    EXPECT_EQ(draws({5}), "-");
    EXPECT_TRUE(load("@scene Scene1 1 $3e8 \t1000 and a remark").ok());
    EXPECT_EQ(draws({999, 1000}), "- d1");
    ASSERT_TRUE(load("@music a b $FFFFFFFF -$10 \t  -7").ok());
    EXPECT_EQ(std::tie(music.musicStart, music.musicEnd), std::tuple(-1, -16));
}

TEST_F(ScriptTest, LaterLinesWinAndReadingStopsAtTheFirstError) {
    ASSERT_TRUE(load("@music one 1.ogg 1 100 0\n@scene Scene1 1 0 10000 \n"
                     "@scene Scene3 1 5000 6000 \n@music two 2.ogg 2 200 0\n")
                    .ok());
    EXPECT_EQ(draws({4999, 6000, 6001}), "d1 d3 d1");
    EXPECT_EQ(std::tie(music.musicFile, music.musicEnd), std::tuple("2.ogg", 200));
    EXPECT_TRUE(load("@scene Scene3 1 20000 20000 \n@scene\n@scene Scene3 1 30000 30000 \n"));
    EXPECT_EQ(draws({20000, 30000}), "d3 -");
}

// Lines the show keeps accepting but that are most likely mistakes come
// back as warnings with their line numbers, and only those.
TEST_F(ScriptTest, LikelyMistakesAreWarnedAboutByLine) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"@scene Scene1 1 0 10 \n@music a a.ogg 0 0 0\n", {}},
        {"", {"0: no @scene line"}},
        {"; only a remark\n@scen% Scene1 1 0 10\n", {"2: unknown command @scen%", "0: no @scene"}},
        {"@scene Scene3 1 2000 1000 \n", {"1: Scene3 ends at 1000 ms, before it starts at 2000"}},
        {"@music a a.ogg 0 0 0\n@scene Scene1 1 0 10 \n@music b b.ogg 0 0 0\n",
         {"3: a second @music line: it replaces the one on line 1"}},
    };
    for (const auto& [text, expected] : cases) {
        ScriptWarnings warnings;
        ASSERT_TRUE(loadScriptText(text, music, "s", nullptr, &warnings).ok()) << text;
        ASSERT_EQ(warnings.size(), expected.size()) << text;
        for (size_t i = 0; i < expected.size(); ++i) {
            const std::string said = std::to_string(warnings[i].line) + ": " + warnings[i].message;
            EXPECT_EQ(said.rfind(expected[i], 0), 0u) << said;
        }
    }
}

TEST(ScriptNumber, AcceptsExactlyTheScriptSyntax) {
    // Each base once, and each bound on both sides.
    // clang-format off
    const std::pair<const char*, int32_t> good[] = {
        {"+42", 42}, {" \t 42", 42}, {"000000000000012", 12}, {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN}, {"$FFFFFFFF", -1}, {"$aB", 171}, {"-$1", -1},
        {"$000000010", 16}, {"%101", 5}, {"&37777777777", -1}};
    const char* bad[] = {"2147483648", "-2147483649", "$100000000", "&40000000000", "%2", "",
                         "-", "5 ", "--5", "$-5", "0x10"};
    // clang-format on
    for (const auto& [text, expected] : good) {
        int32_t value = 12345;
        EXPECT_TRUE(parseScriptNumber(text, value)) << '"' << text << '"';
        EXPECT_EQ(value, expected) << '"' << text << '"';
    }
    for (const char* text : bad) {
        int32_t value = 12345;
        EXPECT_FALSE(parseScriptNumber(text, value)) << '"' << text << '"';
        EXPECT_EQ(value, 12345) << '"' << text << '"';
    }
}

} // namespace
