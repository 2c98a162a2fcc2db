// Scene files read into a set: tracks between and at their keys, a set
// whose pieces, pictures and tracks meet across files, and every mistake
// reported at its file, line and column.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "show/scene_folder.h"
#include "show/scene_set.h"

using namespace scenes;

namespace {

SceneSetError read(const std::vector<SceneSource>& files, SceneSet& set) {
    return readSceneSet(files, set);
}

std::string errorOf(const std::string& scene, const std::string& tracks = "") {
    SceneSet set;
    std::vector<SceneSource> files = {{"scenes/a.scene", scene}};
    if (!tracks.empty()) files.push_back({"scenes/a.tracks", tracks});
    return read(files, set).text();
}

std::string repeated(const std::string& line, int times) {
    std::string text;
    for (int k = 0; k < times; ++k) text += line;
    return text;
}

constexpr const char* kPictures = "pictures\n  data/floor.hwl none mipmap\n  data/ppl1.hwl "
                                  "companion\nend\n";

} // namespace

TEST(SceneTracks, FollowTheirKeysWithEachInterpolation) {
    const Track track{"lift",
                      {{0, 0, Interpolation::Linear},
                       {1000, 10, Interpolation::Smooth},
                       {2000, 20, Interpolation::Step},
                       {3000, 30, Interpolation::Ramp},
                       {4000, 40}}};
    const std::pair<double, double> cases[] = {
        {-5, 0},    {0, 0},     {500, 5},   {1000, 10}, {1250, 10 + 10 * 0.15625},
        {1500, 15}, {2000, 20}, {2999, 20}, {3000, 30}, {3500, 32.5},
        {4000, 40}, {1e9, 40},  {NAN, 0},
    };
    for (const auto& [time, expected] : cases) EXPECT_EQ(trackValue(track, time), expected) << time;
}

// Tracks come first whichever file names them; a piece may be written after
// the scene that includes it, in another file.
TEST(SceneSet, PiecesPicturesAndTracksMeetAcrossFiles) {
    const std::string scene = std::string(kPictures) +
                              "scene Pulse\n"
                              "  start\n    once\n      scatter\n    end\n  end\n"
                              "  draw\n    identity\n    include stage\n"
                              "    colour 1 1 1 (abs(sin(t / 1000)) * lift)\n"
                              "    plain\n      0 0 0\n      1 0 0\n      1 1 0\n      0 1 0\n"
                              "    end\n  end\n"
                              "  after\n    view 0 0.7 2  0.3 0.4 -1  0 1 0\n  end\n"
                              "end\n";
    const std::string stage = "piece stage  # the floor\n  texturing on\n  picture data/ppl1.hwl\n"
                              "  quad\n    0 12 -10 0 -10\n    12 12 10 0 -10\n"
                              "    12 0 10 0 10\n    0 0 -10 0 10\n  end\n  tufts\nend\n";
    SceneSet set;
    const SceneSetError error = read({{"scenes/b.scene", scene},
                                      {"scenes/c.scene", stage},
                                      {"scenes/lift.tracks", "track lift\n  0 1\nend\n"}},
                                     set);
    ASSERT_FALSE(error) << error.text();
    ASSERT_EQ(set.scenes.size(), 1u);
    const SceneEntry& pulse = set.scenes[0];
    EXPECT_EQ(pulse.name, "Pulse");
    const std::vector<Step>& draw = set.blocks[size_t(pulse.draw)].steps;
    ASSERT_EQ(draw.size(), 4u);
    EXPECT_EQ(draw[1].kind, StepKind::Include);
    const std::vector<Step>& stageSteps = set.blocks[size_t(draw[1].argument)].steps;
    ASSERT_EQ(stageSteps.size(), 4u);
    EXPECT_EQ(stageSteps[1].argument, 1) << "the second picture of the list";
    EXPECT_EQ(stageSteps[2].count, 20);
    EXPECT_EQ(stageSteps[3].kind, StepKind::Tufts);
    EXPECT_EQ(set.pictures[0].mipmap, true);
    EXPECT_EQ(set.pictures[1].alpha, Alpha::Companion);
    const Step& colour = draw[2];
    ASSERT_EQ(colour.count, 4);
    const double lift[] = {2};
    ExpressionInputs at{1000};
    at.tracks = lift;
    EXPECT_EQ(evaluate(set.pool, set.values[size_t(colour.first + 3)], at), std::sin(1.0) * 2);
    EXPECT_EQ(set.blocks[size_t(pulse.start)].steps[0].kind, StepKind::Once);
    EXPECT_EQ(set.blocks[size_t(pulse.after)].steps[0].count, 9);
}

TEST(SceneSet, MistakesNameTheirFileLineAndColumn) {
    const std::pair<std::string, std::string> cases[] = {
        {"scene A\n  draw\n    colour 1 1 1\n  end\nend\n", "3:16: expected 'colour R G B A'"},
        {"scene A\n  draw\n    colour 1 1 (1 +) 1\n  end\nend\n", "3:20: unexpected ')'"},
        {"scene A\n  draw\n    colour 1 1 (1 + 1\n  end\nend\n", "3:16: '(' without its ')'"},
        {"scene A\n  draw\n    wobble\n  end\nend\n", "3:5: unknown step 'wobble'"},
        {"scene A\n  draw\n    texturing maybe\n  end\nend\n", "3:15: expected 'on' or 'off'"},
        {"scene A\n  draw\n    identity\n", "2:1: 'draw' has no 'end'"},
        {"scene A\n  draw\n  end\n", "1:1: 'scene A' has no 'end'"},
        {"scene A\n  draw\n  end\n  draw\n  end\nend\n", "4:3: a second 'draw'"},
        {"scene A\nend\nscene A\nend\n", "3:7: a second scene 'A'"},
        {"scene A\n  middle\n  end\nend\n", "2:3: expected 'start', 'draw', 'after' or 'end'"},
        {"stage\n", "1:1: expected 'pictures', 'piece NAME' or 'scene NAME'"},
        {"piece p\n  quad\n    0 0 0 0 0\n  end\nend\n", "4:3: 1 corners: a quad has 4"},
        {"piece p\n  quads\n    0 0 0 0\n  end\nend\n", "3:11: a corner is 'S T X Y Z'"},
        {"piece p\n  plain\n    0 0 0 0\n  end\nend\n", "3:11: a corner is 'X Y Z'"},
        {"piece p\n  include q\nend\n", "2:11: no piece 'q'"},
        {"piece p\n  include p\nend\nscene A\n  draw\n    include p\n  end\nend\n",
         "4:1: pieces include each other more than 16 deep"},
        {"piece p\n  picture data/x.hwl\nend\n", "2:11: data/x.hwl is not in the pictures list"},
        {"pictures\n  data/x.png none\nend\n", "2:3: a picture is 'data/NAME.hwl'"},
        {"pictures\n  data/x.hwl none\n  data/x.hwl blue\nend\n",
         "3:3: data/x.hwl is listed twice"},
        {"pictures\n  data/x.hwl see-through\nend\n",
         "2:14: expected 'companion', 'blue' or 'none'"},
        {"piece p\n  once\n    once\n    end\n  end\nend\n", "3:5: 'once' inside 'once'"},
        {"piece p\n  colour 1 1 1 ) \nend\n", "2:16: ')' without its '('"},
        {"piece p\n  grid 3 0\n  end\nend\n",
         "2:10: a grid's columns and rows are whole numbers from 1"},
        {"piece p\n  grid 200 101\n  end\nend\n", "2:3: more than 20000 cells"},
        {"scene A\n  draw\n    grid 100 100\n      0 0 0 0 0\n      0 0 0 0 0\n      0 0 0 0 0\n"
         "      0 0 0 0 0\n    end\n    grid 100 101\n      0 0 0 0 0\n      0 0 0 0 0\n"
         "      0 0 0 0 0\n      0 0 0 0 0\n    end\n  end\nend\n",
         "1:1: the scene draws more than 20000 quads"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(errorOf(text), "scenes/a.scene:" + expected) << text;
    // A piece no scene includes may not include itself either; pieces
    // included many times over count every time, and are sized in one pass.
    EXPECT_EQ(errorOf("piece p\n  include p\nend\n"),
              "scenes/a.scene:2:11: pieces include each other more than 16 deep");
    std::string nested = "piece p0\n" + repeated("  identity\n", 100) + "end\n";
    for (int k = 1; k <= 4; ++k)
        nested += "piece p" + std::to_string(k) + "\n" +
                  repeated("  include p" + std::to_string(k - 1) + "\n", 10) + "end\n";
    const auto sceneLine = std::count(nested.begin(), nested.end(), '\n') + 1;
    EXPECT_EQ(errorOf(nested + "scene A\n  draw\n    include p4\n  end\nend\n"),
              "scenes/a.scene:" + std::to_string(sceneLine) +
                  ":1: the scene runs more than 100000 steps");
    const std::pair<std::string, std::string> tracks[] = {
        {"track t\n  0 1\nend\n", "1:7: 't' is taken"},
        {"track lift\n  0 1\n  0 2\nend\n", "3:3: keys go forward in time"},
        {"track lift\n  0 (t)\nend\n", "2:5: a key's time and value are numbers"},
        {"track lift\n  0 1 wobbly\nend\n", "2:7: expected 'step', 'linear', 'smooth' or 'ramp'"},
        {"track lift\nend\n", "2:1: a track needs a key"},
        {"scene A\nend\n", "1:1: expected 'track NAME'"},
    };
    for (const auto& [text, expected] : tracks)
        EXPECT_EQ(errorOf("", text), "scenes/a.tracks:" + expected) << text;
    EXPECT_EQ(errorOf(std::string("scene A\0", 8)), "scenes/a.scene: not a text file");
    EXPECT_EQ(errorOf(std::string(kMaxSceneFileBytes + 1, '#')),
              "scenes/a.scene: larger than 1048576 bytes");
}

// The example show's files are read by the same reader as any show's: they
// must stay valid as the format grows, and its script place only their scenes.
TEST(SceneSet, TheExampleShowReadsWholeAndItsScriptPlacesItsScenes) {
    const std::string garden = std::string(EXAMPLES_DIR) + "/garden";
    std::vector<SceneSource> files;
    bool own = false;
    ASSERT_EQ(readSceneFolder(garden + "/scenes", files, own), "");
    ASSERT_TRUE(own);
    SceneSet set;
    ASSERT_FALSE(read(files, set)) << read(files, set).text();
    std::set<std::string> names;
    for (const SceneEntry& scene : set.scenes) names.insert(scene.name);
    EXPECT_EQ(names, (std::set<std::string>{"Pump", "Flight"}));
    std::ifstream script(garden + "/script.sqx");
    std::string line;
    int placed = 0;
    while (std::getline(script, line)) {
        std::istringstream words(line);
        std::string command, name;
        if (!(words >> command >> name) || command != "@scene") continue;
        EXPECT_TRUE(names.count(name)) << line;
        ++placed;
    }
    EXPECT_EQ(placed, 2);
}
