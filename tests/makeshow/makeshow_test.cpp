// The show directory that makeshow builds from assets/ (once per test run,
// by the makeshow_build test): every texture the show loads, the script read
// by the show's own reader, the music; and makeshow itself: a second run
// does nothing, an edit rebuilds only what it touches, failures are one line.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "images/hwl_decoder.h"
#include "images/hwl_format.h"
#include "makeshow/makeshow_support.h"
#include "sequencing/scene.h"
#include "sequencing/script.h"
#include "sequencing/timeline.h"
#include "tools/synth/score.h"

namespace fs = std::filesystem;

namespace {

enum class Alpha { Companion, OwnBlue, None };

struct TextureFile {
    const char* name; // data/NAME.hwl
    Alpha alpha;
    int side;
};

// Every picture the show loads, as its loader treats it.
const TextureFile kTextures[] = {
    {"quopple1", Alpha::Companion, 256}, {"vesk1", Alpha::Companion, 256},
    {"ombrit1", Alpha::Companion, 256},  {"quopple2", Alpha::Companion, 256},
    {"ombrit2", Alpha::Companion, 256},  {"vesk2", Alpha::Companion, 256},
    {"ppl1", Alpha::Companion, 256},     {"ppl2", Alpha::Companion, 256},
    {"ppl3", Alpha::Companion, 256},     {"grass", Alpha::Companion, 256},
    {"bplogo", Alpha::OwnBlue, 256},     {"standup", Alpha::OwnBlue, 256},
    {"sucks", Alpha::OwnBlue, 256},      {"whoops", Alpha::OwnBlue, 256},
    {"move", Alpha::OwnBlue, 256},       {"love", Alpha::OwnBlue, 256},
    {"seeyou", Alpha::OwnBlue, 256},     {"speakers", Alpha::Companion, 256},
    {"floor", Alpha::None, 256},         {"background", Alpha::None, 512},
    {"loading", Alpha::None, 256},
};
const std::set<std::string> kPerformers = {"quopple1", "quopple2", "vesk1",
                                           "vesk2",    "ombrit1",  "ombrit2"};

constexpr int kSceneCount = 11;
constexpr int32_t kShowLength = 137113;
constexpr int32_t kFadeStart = 135000, kFadeEnd = 137000;
constexpr double kMusicSeconds = kShowLength / 1000.0;
constexpr double kMusicToleranceSeconds = 1.5;
// Loud enough to be music (full scale 1) over its first half minute.
constexpr int kLoudSeconds = 30;
constexpr double kMinRms = 0.02;

// Levels of the decoded alpha counted as clear and as solid.
constexpr uint8_t kClear = 16;
constexpr uint8_t kSolid = 240;
// A performer's feet reach this close to the picture's bottom edge (the stage
// stands the picture on the floor).
constexpr int kFootRows = 8;

struct Decoded {
    hwl::HwlHeader header{};
    std::vector<uint8_t> pixels; // blue, green, red, 0
    std::string error;
};

Decoded decode(const std::string& path) {
    Decoded d;
    if (hwl::HwlError error = hwl::decodeHwl(d.pixels, d.header, path, true))
        d.error = error.message;
    return d;
}

// The blue byte of each pixel: the alpha the show takes from the file.
std::vector<uint8_t> blueOf(const Decoded& d) {
    std::vector<uint8_t> blue(d.pixels.size() / 4);
    for (size_t i = 0; i < blue.size(); ++i) blue[i] = d.pixels[i * 4];
    return blue;
}

double fractionWhere(const std::vector<uint8_t>& values, bool (*test)(uint8_t)) {
    return double(std::count_if(values.begin(), values.end(), test)) / double(values.size());
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The scenes the script reader places, told apart by their draw callbacks.
int drawnScene = 0;
template <int N> void drawMarker() {
    drawnScene = N;
}
template <int... N> void registerScenes(std::integer_sequence<int, N...>) {
    ((sceneSlots[N + 1] =
          createScene("Scene" + std::to_string(N + 1), noOp, drawMarker<N + 1>, noOp)),
     ...);
}

// Loads the built show's script onto stand-ins for the show's scenes and
// timeline; releaseSlots() clears them.
TimelineError loadShowScript(MusicSettings& music) {
    registerScenes(std::make_integer_sequence<int, kSceneCount>{});
    timelineSlots[1] = createTimeline("Timeline1", kShowLength);
    return loadScript(showDirectory() + "/script.sqx", music);
}

// Which scene draws at `t` on timeline 1, 0 for none.
int sceneAt(int32_t t) {
    drawnScene = 0;
    timelineSlots[1]->drawTable[t]();
    return drawnScene;
}

} // namespace

TEST(ShowDirectory, EveryTextureDecodesAtItsSizeWithCompanionsExactlyWhereTheShowLoadsThem) {
    const fs::path data = fs::path(showDirectory()) / "data";
    for (const TextureFile& texture : kTextures) {
        SCOPED_TRACE(texture.name);
        const Decoded colour = decode((data / (std::string(texture.name) + ".hwl")).string());
        ASSERT_EQ(colour.error, "");
        // Copies: the header's fields are packed, so no references to them.
        const int depth = colour.header.bitsPerPixel, width = colour.header.width,
                  height = colour.header.height;
        EXPECT_EQ(depth, hwl::kColourBitsPerPixel);
        EXPECT_EQ(width, texture.side);
        EXPECT_EQ(height, texture.side);
        const fs::path companion = data / (std::string(texture.name) + "_alpha.hwl");
        EXPECT_EQ(fs::exists(companion), texture.alpha == Alpha::Companion);
        if (texture.alpha != Alpha::Companion) continue;
        const Decoded mask = decode(companion.string());
        ASSERT_EQ(mask.error, "");
        const int maskDepth = mask.header.bitsPerPixel, maskWidth = mask.header.width,
                  maskHeight = mask.header.height;
        EXPECT_EQ(maskDepth, hwl::kColourBitsPerPixel);
        EXPECT_EQ(maskWidth, width);
        EXPECT_EQ(maskHeight, height);
    }
    // Nothing else: a stray file would hint at a name the show never loads.
    std::set<std::string> expected;
    for (const TextureFile& texture : kTextures) {
        expected.insert(std::string(texture.name) + ".hwl");
        if (texture.alpha == Alpha::Companion)
            expected.insert(std::string(texture.name) + "_alpha.hwl");
    }
    std::set<std::string> present;
    for (const auto& entry : fs::directory_iterator(data))
        present.insert(entry.path().filename().string());
    EXPECT_EQ(present, expected);
}

// What the show draws with these alphas: cut-outs are clear around the
// figure (no box), performers stand on the bottom edge, the overlay words
// are light on black so that their own blue lets the stage through.
TEST(ShowDirectory, TransparencyIsWhereTheStageExpectsIt) {
    const fs::path data = fs::path(showDirectory()) / "data";
    for (const TextureFile& texture : kTextures) {
        if (texture.alpha == Alpha::None) continue;
        SCOPED_TRACE(texture.name);
        const std::string file = texture.alpha == Alpha::Companion
                                     ? std::string(texture.name) + "_alpha.hwl"
                                     : std::string(texture.name) + ".hwl";
        const Decoded decoded = decode((data / file).string());
        ASSERT_EQ(decoded.error, "");
        const std::vector<uint8_t> alpha = blueOf(decoded);
        const double clear = fractionWhere(alpha, [](uint8_t a) { return a <= kClear; });
        const double solid = fractionWhere(alpha, [](uint8_t a) { return a >= kSolid; });
        EXPECT_GT(clear, 0.2) << "too little is transparent";
        EXPECT_GT(solid, 0.03) << "too little is opaque";

        const int side = decoded.header.width;
        auto row = [&](int y) {
            return std::vector<uint8_t>(alpha.begin() + size_t(y) * side,
                                        alpha.begin() + size_t(y + 1) * side);
        };
        // Clear top corners: no picture shows as a box.
        EXPECT_LE(alpha[0], kClear) << "top left corner";
        EXPECT_LE(alpha[side - 1], kClear) << "top right corner";
        if (kPerformers.count(texture.name)) {
            bool standing = false;
            for (int y = side - kFootRows; y < side; ++y) {
                const std::vector<uint8_t> line = row(y);
                standing = standing || *std::max_element(line.begin(), line.end()) >= kSolid;
            }
            EXPECT_TRUE(standing) << "a performer must stand on the bottom edge";
        }
    }
}

// The script as the show reads it: the eleven scenes in order across the
// whole timeline with no gap, every change on a bar line of the music,
// the closing fade inside Scene11, and the music file it names.
TEST(ShowDirectory, TheScriptPlacesElevenScenesOnTheMusicsBarLines) {
    const fs::path dir = showDirectory();
    MusicSettings music;
    const TimelineError error = loadShowScript(music);
    std::vector<int> order; // scenes in the order they follow each other
    std::vector<int32_t> changes;
    for (int32_t t = 0; t <= kShowLength; ++t) {
        const int scene = sceneAt(t);
        if (order.empty() || order.back() != scene) {
            order.push_back(scene);
            changes.push_back(t);
        }
    }
    const int lastScene = sceneAt(kFadeStart) == sceneAt(kFadeEnd) ? sceneAt(kFadeStart) : 0;
    releaseSlots();
    ASSERT_TRUE(error.ok()) << error.message << " " << error.detail;

    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(lastScene, kSceneCount) << "the closing fade belongs to Scene11";

    synth::Score score;
    const std::string scoreText = readText(fs::path(TEST_ASSETS_DIR) / "music" / "score.txt");
    ASSERT_FALSE(synth::parseScore(scoreText, score));
    const double bar = synth::barMs(score);
    for (int32_t change : changes) {
        const double bars = change / bar;
        EXPECT_LT(std::abs(bars - std::round(bars)) * bar, 1.0)
            << "a scene changes at " << change << " ms, off the bar lines (" << bar << " ms)";
    }

    ASSERT_TRUE(music.musicFile);
    EXPECT_TRUE(fs::exists(dir / *music.musicFile)) << *music.musicFile;
    EXPECT_TRUE(music.musicEnd == 0 || music.musicEnd >= kFadeEnd) << music.musicEnd;
}

TEST(ShowDirectory, TheMusicIsOggVorbisOfAbout137SecondsAndNotSilent) {
    const fs::path dir = showDirectory();
    MusicSettings music;
    const TimelineError error = loadShowScript(music);
    releaseSlots();
    ASSERT_TRUE(error.ok() && music.musicFile);

    SF_INFO info{};
    SNDFILE* file = sf_open((dir / *music.musicFile).c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_OGG);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_VORBIS);
    EXPECT_NEAR(double(info.frames) / info.samplerate, kMusicSeconds, kMusicToleranceSeconds);
    std::vector<float> samples(size_t(info.samplerate) * info.channels * kLoudSeconds);
    const sf_count_t frames = sf_readf_float(file, samples.data(), info.samplerate * kLoudSeconds);
    sf_close(file);
    double squares = 0;
    for (sf_count_t i = 0; i < frames * info.channels; ++i) squares += samples[i] * samples[i];
    const double rms = std::sqrt(squares / double(std::max<sf_count_t>(1, frames * info.channels)));
    EXPECT_GT(rms, kMinRms);
}

TEST(MakeShow, ASecondRunFindsEverythingUpToDate) {
    const std::string copy = scratchCopyOfShow("second_run");
    const ToolResult result = runMakeshow("'" + copy + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.find("built "), std::string::npos) << result.out;
    // One line for each output (textures, script, music) and the summary.
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 32 + 2 + 1) << result.out;
    EXPECT_NE(result.out.find("0 built, 34 up to date"), std::string::npos) << result.out;
}

// The key of a picture is its source's content, not its path: from a copy
// of assets/ the copied show is up to date, except for the picture whose
// source was edited and the output whose bytes were changed by hand.
TEST(MakeShow, AnEditRebuildsOnlyTheOutputsItTouches) {
    const std::string copy = scratchCopyOfShow("edit");
    const std::string assets = scratchCopyOfAssets("edit_assets");
    std::ofstream(assets + "/pictures/grass.svg", std::ios::app) << "<!-- edited -->\n";
    std::ofstream(copy + "/data/floor.hwl", std::ios::binary | std::ios::app) << "tail";
    const ToolResult result = runMakeshow("'" + copy + "' --assets '" + assets + "'");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::set<std::string> built;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string verb, path;
        if (words >> verb >> path && verb == "built") built.insert(path);
    }
    EXPECT_EQ(built,
              (std::set<std::string>{"data/grass.hwl", "data/grass_alpha.hwl", "data/floor.hwl"}))
        << result.out;
    EXPECT_NE(result.out.find("3 built, 31 up to date"), std::string::npos) << result.out;
    const Decoded floor = decode(copy + "/data/floor.hwl");
    EXPECT_EQ(floor.error, "");
}

TEST(MakeShow, FailuresSayWhatIsWrongInOneLine) {
    const std::string assets = scratchCopyOfAssets("fail_assets");
    const std::string out = scratchDir("fail_out");
    struct Case {
        const char* name;
        std::string arguments;
        std::string file;   // a file under the assets copy to replace ("" none)
        std::string text;   // its new content
        const char* expect; // part of the one line
    } cases[] = {
        {"no outdir", "", "", "", "OUTDIR"},
        {"bad jobs", "'" + out + "' --jobs 0", "", "", "--jobs"},
        {"scene not in the show", "'" + out + "'", "script.sqx",
         "@scene Scene12 1 0 1000 \n@music m music.ogg 0 0 0\n",
         "script.sqx, line 1: Something is wrong with the Script! (Could not read out the Scene "
         "Name)"},
        {"no music line", "'" + out + "'", "script.sqx", "@scene Scene1 1 0 1000 \n",
         "no \"@music\" line"},
        {"music outside the folder", "'" + out + "'", "script.sqx", "@music m ../music.ogg 0 0 0\n",
         "inside the show folder"},
        {"missing source", "'" + out + "'", "pictures.txt",
         "grass pictures/nothing.svg 256x256 none\n", "nothing.svg"},
        {"bad list", "'" + out + "'", "pictures.txt", "grass pictures/grass.svg 300x256 none\n",
         "pictures.txt:1"},
    };
    const std::string script = readText(assets + "/script.sqx");
    const std::string list = readText(assets + "/pictures.txt");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(assets + "/script.sqx", std::ios::binary) << script;
        std::ofstream(assets + "/pictures.txt", std::ios::binary) << list;
        if (!c.file.empty()) std::ofstream(assets + "/" + c.file, std::ios::binary) << c.text;
        const std::string arguments =
            c.arguments.empty() ? "" : c.arguments + " --assets '" + assets + "'";
        const ToolResult result = runMakeshow(arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(result.err.rfind("makeshow: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(c.expect), std::string::npos) << result.err;
    }
}
