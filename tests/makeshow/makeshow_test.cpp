// The show directory that makeshow builds from assets/ once per test run,
// as the show reads it; and makeshow itself on scratch copies.
#include <gtest/gtest.h>
#include <sndfile.hh>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "content/synth/synth.h"
#include "images/hwl_decoder.h"
#include "images/hwl_format.h"
#include "makeshow/makeshow_support.h"
#include "sequencing/scene.h"
#include "sequencing/script.h"
#include "sequencing/timeline.h"

namespace fs = std::filesystem;

namespace {

std::string scratchDir(const std::string& name) {
    const std::string dir = testing::TempDir() + "makeshow_" + name + std::to_string(getpid());
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string scratchCopy(const char* from, const std::string& name) {
    const std::string dir = scratchDir(name);
    fs::copy(from, dir, fs::copy_options::recursive);
    return dir;
}

// A copy of the sources with a show of its own: `pictures` as the list and a
// one-second score, so that a run takes moments even in the sanitizer build,
// whose makeshow did not make the show directory above. The sources' scenes
// draw with all twenty pictures: such a show plays the built-in set.
std::string smallAssets(const std::string& name, const std::string& pictures,
                        const char* tempo = "125") {
    const std::string assets = scratchCopy(TEST_ASSETS_DIR, name);
    fs::remove_all(assets + "/scenes");
    std::ofstream(assets + "/pictures.txt") << pictures;
    std::ofstream(assets + "/music/score.txt")
        << "tempo " << tempo << "\nlength 1000\nsection quiet 0 1\n";
    return assets;
}

std::tuple<int, std::string, std::string> runMakeshow(const std::string& arguments,
                                                      const std::string& tool = TEST_MAKESHOW_EXE) {
    const std::string out = scratchDir("stdout") + "/out.txt", err = out + ".err";
    const std::string command = "'" + tool + "' " + arguments + " >" + out + " 2>" + err;
    const int status = std::system(command.c_str());
    std::stringstream outText, errText;
    outText << std::ifstream(out).rdbuf();
    errText << std::ifstream(err).rdbuf();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, outText.str(), errText.str()};
}

// Every picture the show loads, and where its loader takes the alpha from: an
// "_alpha" companion (c), its own blue (b), none (-). All 256 x 256 but one.
const char* const kTextures =
    "quopple1 c vesk1 c ombrit1 c quopple2 c ombrit2 c vesk2 c ppl1 c ppl2 c ppl3 c grass c "
    "bplogo b standup b sucks b whoops b move b love b seeyou b speakers c floor - loading - "
    "background -";
const std::string kData = TEST_SHOW_DIR "/data/";
constexpr int32_t kShowLength = 137113, kFadeStart = 135000, kFadeEnd = 137000;
constexpr double kBarMs = 1920; // the score's bars at 125 beats a minute

// The blue byte of each pixel of NAME.hwl: the alpha the show takes from a
// companion or an overlay.
std::vector<uint8_t> decodedBlue(const std::string& name, int& side) {
    std::vector<uint8_t> pixels; // blue, green, red, 0
    hwl::HwlHeader header{};
    const hwl::HwlError error = hwl::decodeHwl(pixels, header, name + ".hwl", true);
    EXPECT_FALSE(error) << name << ": " << error.message;
    EXPECT_EQ(int(header.bitsPerPixel), hwl::kColourBitsPerPixel) << name;
    EXPECT_EQ(int(header.width), int(header.height)) << name;
    side = header.width;
    std::vector<uint8_t> blue(pixels.size() / 4);
    for (size_t i = 0; i < blue.size(); ++i) blue[i] = pixels[i * 4];
    return blue;
}

TEST(ShowDirectory, EveryTextureDecodesWithItsAlphaExactlyWhereTheShowLoadsIt) {
    std::set<std::string> expected;
    std::istringstream textures(kTextures);
    for (std::string name, kind; textures >> name >> kind;) {
        SCOPED_TRACE(name);
        int side = 0, maskSide = 0;
        const std::vector<uint8_t> colour = decodedBlue(kData + name, side);
        EXPECT_EQ(side, name == "background" ? 512 : 256);
        expected.insert(name + ".hwl");
        if (kind == "-") continue;
        if (kind == "c") expected.insert(name + "_alpha.hwl");
        const auto alpha = kind == "c" ? decodedBlue(kData + name + "_alpha", maskSide) : colour;
        EXPECT_EQ(kind == "c" ? maskSide : side, side);
        size_t clear = 0, solid = 0;
        for (const uint8_t a : alpha) clear += a <= 16, solid += a >= 240;
        EXPECT_TRUE(clear > 0.2 * alpha.size() && solid > 0.03 * alpha.size())
            << clear << " " << solid;
        EXPECT_TRUE(alpha.at(0) <= 16 && alpha.at(size_t(side) - 1) <= 16) << "clear top corners";
    }
    // Nothing else: a stray file would hint at a name the show never loads.
    std::set<std::string> present;
    for (const auto& entry : fs::directory_iterator(kData)) present.insert(entry.path().filename());
    EXPECT_EQ(present, expected);
}

// The scenes the script reader places, told apart by their draw callbacks.
int drawnScene = 0;
template <int... N> void registerScenes(std::integer_sequence<int, N...>) {
    ((sceneSlots[N + 1] = createScene(
          "Scene" + std::to_string(N + 1), noOp, [] { drawnScene = N + 1; }, noOp)),
     ...);
}

// The script as the show reads it: eleven scenes in order, changing on the
// music's bar lines, the closing fade in Scene11; the music it names: Ogg
// Vorbis as long as the show, loud but below full scale, silent at the end.
TEST(ShowDirectory, TheScriptPlacesElevenScenesOnTheMusicsBarLinesAndTheMusicFits) {
    registerScenes(std::make_integer_sequence<int, 11>{});
    timelineSlots[1] = createTimeline("Timeline1", kShowLength);
    MusicSettings music;
    const TimelineError error = loadScript(TEST_SHOW_DIR "/script.sqx", music);
    std::vector<int> order, fade;
    for (int32_t t = 0; error.ok() && t <= kShowLength; ++t) {
        drawnScene = 0;
        timelineSlots[1]->drawTable[t]();
        if (t == kFadeStart || t == kFadeEnd) fade.push_back(drawnScene);
        if (!order.empty() && order.back() == drawnScene) continue;
        order.push_back(drawnScene);
        EXPECT_LT(std::abs(t / kBarMs - std::round(t / kBarMs)) * kBarMs, 1.0) << t << " ms";
    }
    releaseSlots();
    ASSERT_TRUE(error.ok()) << error.message << " " << error.detail;
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(fade, (std::vector<int>{11, 11})) << "the closing fade belongs to Scene11";

    ASSERT_TRUE(music.musicFile);
    EXPECT_TRUE(music.musicEnd == 0 || music.musicEnd >= kFadeEnd) << music.musicEnd;
    SndfileHandle file(TEST_SHOW_DIR "/" + *music.musicFile);
    EXPECT_EQ(file.format(), SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    EXPECT_EQ(file.frames(), synth::framesForMs(kShowLength, file.samplerate()));
    std::vector<float> samples(size_t(file.frames() * file.channels()));
    ASSERT_EQ(file.readf(samples.data(), file.frames()), file.frames());
    const auto peakFrom = [&](double seconds) {
        const auto from =
            samples.begin() + std::lround(seconds * file.samplerate()) * file.channels();
        return std::abs(*std::max_element(
            from, samples.end(), [](float a, float b) { return std::abs(a) < std::abs(b); }));
    };
    const double peakDb = 20 * std::log10(peakFrom(0));
    EXPECT_TRUE(peakDb > -2 && peakDb < 0) << peakDb << " dB: loud, never clipping";
    EXPECT_LT(peakFrom(136.5), 0.1) << "fading";
    EXPECT_LT(peakFrom(137.0), 1e-4) << "silent after the fade";
    const double rmsDb =
        10 * std::log10(std::inner_product(samples.begin(), samples.end(), samples.begin(), 0.0) /
                        double(samples.size()));
    EXPECT_TRUE(rmsDb > -18 && rmsDb < -9) << rmsDb << " dB";
}

std::set<std::string> builtOutputs(const std::string& report) {
    std::set<std::string> built;
    std::istringstream lines(report);
    for (std::string verb, path; lines >> verb >> path; lines.ignore(1 << 20, '\n'))
        if (verb == "built") built.insert(path);
    return built;
}

// An output is up to date while its key (the source's content, not its path)
// and its file are unchanged: all but the edited picture and the deleted
// output. One report line an output.
TEST(MakeShow, AnEditRebuildsOnlyTheOutputsItTouches) {
    const std::string assets =
        smallAssets("edit_assets", "grass pictures/grass.svg 64x64 companion\n"
                                   "love pictures/love.svg 64x64 blue\n"
                                   "floor textures/floor.txt 64x64 none\n");
    const std::string dir = scratchDir("edit");
    const std::string show = "'" + dir + "' --assets '" + assets + "'";
    const auto [firstExit, firstOut, firstErr] = runMakeshow(show);
    ASSERT_EQ(firstExit, 0) << firstErr;
    EXPECT_EQ(builtOutputs(firstOut).size(), 6u) << firstOut;

    std::ofstream(assets + "/pictures/grass.svg", std::ios::app) << "<!-- edited -->\n";
    fs::remove(dir + "/data/floor.hwl");
    const auto [exitCode, out, err] = runMakeshow(show);
    ASSERT_EQ(exitCode, 0) << err;
    const std::set<std::string> expected = {"data/grass.hwl", "data/grass_alpha.hwl",
                                            "data/floor.hwl"};
    EXPECT_EQ(builtOutputs(out), expected) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 6 + 1) << out;
    EXPECT_NE(out.find("3 built, 3 up to date"), std::string::npos) << out;
}

// An output a person changed in the show folder is never overwritten: one
// line names it and the source to edit, the rest is built, and the next run
// still refuses until --overwrite. A file makeshow has no record of is
// refused too, unless it holds exactly what makeshow would write.
TEST(MakeShow, AnOutputChangedByHandIsKeptUntilOverwrite) {
    const std::string assets = smallAssets("hand_assets", "floor textures/floor.txt 16x16 none\n");
    const std::string dir = scratchDir("hand");
    const std::string show = "'" + dir + "' --assets '" + assets + "'";
    ASSERT_EQ(std::get<0>(runMakeshow(show)), 0);
    const std::string handScript = "@scene Scene1 1 0 999 \n@music m music.ogg 0 0 0\n";
    std::ofstream(dir + "/script.sqx") << handScript;
    std::ofstream(assets + "/script.sqx", std::ios::app) << "\n";
    std::ofstream(assets + "/textures/floor.txt", std::ios::app) << "\n";
    const std::string refused =
        "makeshow: " + dir + "/script.sqx: changed since makeshow wrote it; edit " + assets +
        "/script.sqx instead (the source it is built from), or run makeshow with --overwrite to "
        "replace it\n";
    for (int run = 0; run < 2; ++run) {
        const auto [exitCode, out, err] = runMakeshow(show);
        EXPECT_EQ(exitCode, 1);
        EXPECT_EQ(err, refused);
        EXPECT_EQ(builtOutputs(out),
                  run == 0 ? std::set<std::string>{"data/floor.hwl"} : std::set<std::string>{})
            << out;
        std::stringstream kept;
        kept << std::ifstream(dir + "/script.sqx").rdbuf();
        EXPECT_EQ(kept.str(), handScript);
    }
    const auto [exitCode, out, err] = runMakeshow(show + " --overwrite");
    EXPECT_EQ(exitCode, 0) << err;
    EXPECT_EQ(builtOutputs(out), std::set<std::string>{"script.sqx"}) << out;

    // A show folder of another origin: the same bytes are taken as they are.
    fs::remove(dir + "/makeshow.state");
    std::ofstream(dir + "/data/floor.hwl", std::ios::binary | std::ios::app) << "tail";
    const auto [foreignExit, foreignOut, foreignErr] = runMakeshow(show);
    EXPECT_EQ(foreignExit, 1);
    EXPECT_NE(foreignErr.find(dir + "/data/floor.hwl: makeshow has no record of writing it"),
              std::string::npos)
        << foreignErr;
    EXPECT_EQ(std::count(foreignErr.begin(), foreignErr.end(), '\n'), 1) << foreignErr;
    EXPECT_EQ(builtOutputs(foreignOut), (std::set<std::string>{"music.ogg", "script.sqx"}))
        << foreignOut;
}

// --only builds what one source makes and reports only what stops that; a
// draft is replaced by the next full run and never replaces a full version;
// runs side by side (as the live mode starts them) keep each other's records.
TEST(MakeShow, OnlyBuildsWhatASourceMakesAndADraftGivesWayToTheFullSearch) {
    const std::string assets =
        smallAssets("only_assets", "floor textures/floor.txt 128x128 none\n"
                                   "grass pictures/grass.svg 16x16 companion\n");
    const std::string dir = scratchDir("only");
    const std::string show = "'" + dir + "' --assets '" + assets + "'";
    ASSERT_EQ(std::get<0>(runMakeshow(show)), 0);
    const std::string script = assets + "/script.sqx";
    std::stringstream original;
    original << std::ifstream(script).rdbuf();
    std::ofstream(script) << "@scene Scene1 1 zero 999 \n";
    std::ofstream(assets + "/textures/floor.txt", std::ios::app) << "\n";
    const std::set<std::string> floor = {"data/floor.hwl"}, none;
    const struct {
        const char* arguments;
        std::set<std::string> built;
    } runs[] = {
        {" --only textures/floor.txt --draft", floor},
        {" --only ./textures/floor.txt --draft", none},
        {" --only textures/floor.txt", floor},
        {" --only textures/floor.txt --draft", none},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.arguments);
        const auto [exitCode, out, err] = runMakeshow(show + run.arguments);
        EXPECT_EQ(exitCode, 0) << err;
        EXPECT_EQ(builtOutputs(out), run.built) << out;
    }
    std::ofstream(script) << original.str();
    std::ofstream(assets + "/pictures.txt") << "floor textures/floor.txt 128x128 none\n"
                                               "grass pictures/grass.svg 32x32 companion\n";
    const auto [listExit, listOut, listErr] = runMakeshow(show + " --only pictures.txt");
    EXPECT_EQ(listExit, 0) << listErr;
    EXPECT_EQ(builtOutputs(listOut),
              (std::set<std::string>{"data/grass.hwl", "data/grass_alpha.hwl"}))
        << listOut;

    std::ofstream(script, std::ios::app) << "\n";
    std::ofstream(assets + "/textures/floor.txt", std::ios::app) << "\n";
    const std::string both = "'" TEST_MAKESHOW_EXE "' " + show +
                             " --only textures/floor.txt >/dev/null & '" TEST_MAKESHOW_EXE "' " +
                             show + " --only script.sqx >/dev/null; wait";
    ASSERT_EQ(std::system(both.c_str()), 0);
    const auto [exitCode, out, err] = runMakeshow(show);
    EXPECT_EQ(exitCode, 0) << err;
    EXPECT_EQ(builtOutputs(out), none) << out;
}

TEST(MakeShow, FailuresSayWhatIsWrongInOneLine) {
    const std::string pictures = "floor textures/floor.txt 16x16 none\n";
    const std::string assets = smallAssets("fail_assets", pictures);
    const std::string target = "'" + scratchDir("fail_out") + "' --assets '" + assets + "'";
    const struct {
        std::string arguments, file, text; // a file under the assets copy and its new text
        const char* expect;                // part of the one line
    } cases[] = {
        {target + " --jobs 0", "", "", "--jobs"},
        {target, "script.sqx", "@scene Scene12 1 0 1000 \n@music m music.ogg 0 0 0\n",
         "script.sqx, line 1: Something is wrong with the Script! (Could not read out the Scene"},
        {target, "script.sqx", "@scene Scene1 1 0 1000 \n", "no \"@music\" line"},
        {target, "script.sqx", "@music m ../music.ogg 0 0 0\n", "inside the show folder"},
        {target, "pictures.txt", "grass pictures/nothing.svg 256x256 none\n", "nothing.svg"},
        {target, "pictures.txt", "grass pictures/grass.svg 300x256 none\n", "pictures.txt:1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expect);
        // A short show: the rest of each run (the music) builds in a moment.
        std::ofstream(assets + "/script.sqx")
            << "@scene Scene1 1 0 999 \n@music m music.ogg 0 0 0\n";
        std::ofstream(assets + "/pictures.txt") << pictures;
        if (!c.file.empty()) std::ofstream(assets + "/" + c.file, std::ios::binary) << c.text;
        const auto [exitCode, out, err] = runMakeshow(c.arguments);
        EXPECT_EQ(exitCode, 1);
        EXPECT_TRUE(err.rfind("makeshow: ", 0) == 0 &&
                    std::count(err.begin(), err.end(), '\n') == 1)
            << err;
        EXPECT_NE(err.find(c.expect), std::string::npos) << err;
    }
}

// One run shows everything there is to mend: each broken source on a line of
// its own, the rest built, exit code 1; and a tempo that moves every scene
// change off the bar lines (bars of 2400 ms) is one warning, not twenty.
TEST(MakeShow, EveryBrokenSourceIsReportedAndTheRestBuilt) {
    const std::string assets =
        smallAssets("broken_assets",
                    "grass pictures/grass.svg 16x16 none\nbad pictures/bad.svg 16x16 none\n"
                    "floor textures/floor.txt 16x16 none\nnope textures/nope.txt 16x16 none\n"
                    "x x.svg 3x3 none\ny y.svg 3x3 none\n",
                    "100");
    std::ofstream(assets + "/pictures/bad.svg")
        << "<svg xmlns=\"http://www.w3.org/2000/svg\">\n</svg>\n  <g/>\n";
    std::ofstream(assets + "/textures/nope.txt") << "layer 4:\nnope(4);\n";
    const auto [exitCode, out, err] =
        runMakeshow("'" + scratchDir("broken") + "' --assets '" + assets + "'");
    EXPECT_EQ(exitCode, 1);
    std::vector<std::string> lines;
    std::istringstream errLines(err);
    for (std::string line; std::getline(errLines, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 5u) << err;
    EXPECT_TRUE(
        std::regex_match(lines[0], std::regex("makeshow: warning: .*script.sqx: [0-9]+ "
                                              "scene starts or ends off the bar lines \\(bars of "
                                              "2400 ms\\): Scene.*, .*, .* and [0-9]+ more")))
        << lines[0];
    std::sort(lines.begin() + 1, lines.end()); // the failures come as jobs finish
    const std::string at = "makeshow: " + assets;
    const std::string badSize = ": size \"3x3\" is not WIDTHxHEIGHT in powers of two 2..4096";
    EXPECT_EQ(std::vector(lines.begin() + 1, lines.end()),
              (std::vector<std::string>{
                  at + "/pictures.txt:5" + badSize, at + "/pictures.txt:6" + badSize,
                  at + "/pictures/bad.svg: line 3, column 3: broken XML: something follows the "
                       "closing tag of the drawing",
                  at + "/textures/nope.txt: line 2, column 1: unknown operator 'nope'"}));
    EXPECT_EQ(builtOutputs(out), (std::set<std::string>{"data/grass.hwl", "data/floor.hwl",
                                                        "music.ogg", "script.sqx"}))
        << out;
    EXPECT_NE(out.find(", 4 broken in "), std::string::npos) << out;
}

// Without --assets, a copied checkout (its sources beside the build folder
// that holds the tool) reads its own sources, not the ones it was built from.
TEST(MakeShow, ACopiedCheckoutReadsItsOwnSources) {
    const std::string checkout = scratchDir("checkout");
    fs::rename(smallAssets("checkout_assets", "floor textures/floor.txt 16x16 none\n"),
               checkout + "/assets");
    fs::create_directories(checkout + "/tools");
    std::ofstream(checkout + "/tools/makeshow.cpp");
    fs::create_directories(checkout + "/build/tools");
    fs::copy_file(TEST_MAKESHOW_EXE, checkout + "/build/tools/makeshow");
    const auto [exitCode, out, err] =
        runMakeshow("'" + checkout + "/show'", checkout + "/build/tools/makeshow");
    ASSERT_EQ(exitCode, 0) << err;
    EXPECT_NE(out.find(" from " + checkout + "/assets ("), std::string::npos) << out;
    EXPECT_EQ(builtOutputs(out).count("data/floor.hwl"), 1u) << out;
}

} // namespace

std::string scratchCopyOfShow(const std::string& name) {
    return scratchCopy(TEST_SHOW_DIR, name);
}

// Scene files are checked as one set and copied; a script may place what
// they define and nothing else; a picture they draw with needs a line of the
// list that makes it (and its companion, if it takes one); a scene file taken
// out of the sources leaves the show folder too.
TEST(MakeShow, SceneFilesAreCheckedTogetherAndFollowTheirSources) {
    const std::string assets = smallAssets("scene_assets", "floor textures/floor.txt 16x16 none\n");
    const std::string dir = scratchDir("scenes");
    const std::string show = "'" + dir + "' --assets '" + assets + "'";
    const std::string extra = assets + "/scenes/extra.scene";
    fs::create_directories(assets + "/scenes");
    std::ofstream(extra) << "scene Pulse\n  draw\n    colour 1 1 1 (spectrum(0, 8))\n  end\nend\n";
    std::ofstream(assets + "/script.sqx") << "@scene Pulse 1 0 999 \n@music m music.ogg 0 0 0\n";
    auto [exitCode, out, err] = runMakeshow(show);
    EXPECT_EQ(exitCode, 0) << err;
    EXPECT_TRUE(fs::exists(dir + "/scenes/extra.scene")) << out;

    std::ofstream(extra) << "scene Pulse\n  draw\n    wobble\n  end\nend\n";
    std::tie(exitCode, out, err) = runMakeshow(show);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(err, "makeshow: " + extra + ":3:5: unknown step 'wobble'\n");

    const auto drawing = [&](const char* alpha) {
        std::ofstream(extra) << "pictures\n  data/floor.hwl none\n  data/extra.hwl " << alpha
                             << "  # beyond the twenty\nend\nscene Pulse\n  draw\n"
                                "    picture data/extra.hwl\n  end\nend\n";
    };
    const std::string listed = "makeshow: " + extra + ":3:3: data/extra.hwl: ";
    drawing("none");
    std::tie(exitCode, out, err) = runMakeshow(show);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(err, listed + "no line of pictures.txt makes it\n");
    std::ofstream(assets + "/pictures.txt") << "floor textures/floor.txt 16x16 none\n"
                                               "extra textures/floor.txt 16x16 none\n";
    drawing("companion");
    std::tie(exitCode, out, err) = runMakeshow(show);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(err.rfind(listed + "its alpha companion data/extra_alpha.hwl", 0), 0u) << err;
    drawing("none");
    std::tie(exitCode, out, err) = runMakeshow(show);
    EXPECT_EQ(exitCode, 0) << err;
    EXPECT_EQ(builtOutputs(out), std::set<std::string>{"scenes/extra.scene"}) << out;
    EXPECT_TRUE(fs::exists(dir + "/data/extra.hwl")); // built with the list, as every picture

    fs::remove(extra);
    std::tie(exitCode, out, err) = runMakeshow(show);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(err, "makeshow: " + assets +
                       "/script.sqx, line 1: Something is wrong with the Script! (Could not "
                       "read out the Scene Name)\n");
    std::ofstream(assets + "/script.sqx") << "@scene Scene6 1 0 999 \n@music m music.ogg 0 0 0\n";
    std::tie(exitCode, out, err) = runMakeshow(show);
    EXPECT_EQ(exitCode, 0) << err;
    EXPECT_FALSE(fs::exists(dir + "/scenes/extra.scene"));
}
