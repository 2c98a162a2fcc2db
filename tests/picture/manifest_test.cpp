#include <gtest/gtest.h>

#include "tools/picture/manifest.h"

namespace picture {
namespace {

std::string parseError(const std::string& text) {
    std::vector<ManifestEntry> entries;
    return parseManifest(text, "list.txt", entries).message;
}

TEST(Manifest, ReadsEntriesInOrderSkippingCommentsAndBlankLines) {
    const std::string text = "# header\n"
                             "\n"
                             "hero   pictures/hero.svg  256x128 companion  # trailing\r\n"
                             "\tfloor\ttextures/floor.txt 512x512 none\n"
                             "logo pictures/logo.svg 64x64 blue";
    std::vector<ManifestEntry> entries;
    ASSERT_TRUE(parseManifest(text, "list.txt", entries).ok());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "hero");
    EXPECT_EQ(entries[0].source, "pictures/hero.svg");
    EXPECT_EQ(entries[0].sourceKind, SourceKind::Svg);
    EXPECT_EQ(entries[0].width, 256);
    EXPECT_EQ(entries[0].height, 128);
    EXPECT_EQ(entries[0].alpha, AlphaKind::Companion);
    EXPECT_EQ(entries[1].sourceKind, SourceKind::TextureProgram);
    EXPECT_EQ(entries[1].alpha, AlphaKind::None);
    EXPECT_EQ(entries[2].alpha, AlphaKind::OwnBlue);
}

TEST(Manifest, RefusesBadLinesNamingTheLineAndTheCause) {
    EXPECT_EQ(parseError("a b.svg 256x256\n"),
              "list.txt:1: expected NAME SOURCE WIDTHxHEIGHT ALPHA, found 3 fields");
    EXPECT_EQ(parseError("\n\nsky sky.png 256x256 none\n"),
              "list.txt:3: source \"sky.png\" is neither a .svg drawing nor a .txt program");
    EXPECT_EQ(parseError("a a.svg 200x256 none\n"),
              "list.txt:1: size \"200x256\" is not WIDTHxHEIGHT in powers of two 2..4096");
    EXPECT_NE(parseError("a a.svg 8192x8 none\n"), "");
    EXPECT_NE(parseError("a a.svg 256x256x2 none\n"), "");
    EXPECT_EQ(parseError("a a.svg 2x2 bleu\n"),
              "list.txt:1: alpha \"bleu\" is not companion, blue or none");
    EXPECT_EQ(parseError("a a.txt 2x2 companion\n"),
              "list.txt:1: a texture program has no alpha to make a companion from");
    EXPECT_EQ(parseError("a a.svg 2x2 none\na b.svg 4x4 none\n"),
              "list.txt:2: picture \"a\" is listed twice");
    EXPECT_EQ(parseError("../a a.svg 2x2 none\n"),
              "list.txt:1: picture name \"../a\" may hold only letters, digits and _");
    EXPECT_EQ(parseError("# nothing\n"), "list.txt: lists no pictures");
}

TEST(Manifest, MissingFileIsAnError) {
    std::vector<ManifestEntry> entries;
    const PictureError error = readManifest(testing::TempDir() + "no_such_list.txt", entries);
    EXPECT_NE(error.message.find("no_such_list.txt: cannot open"), std::string::npos);
}

// The show loads these files; the list must make every one, with the
// transparency each is loaded with: an "_alpha" companion, its own blue
// channel, or none.
TEST(Manifest, AssetsListMatchesTheShowsTextures) {
    std::vector<ManifestEntry> entries;
    ASSERT_TRUE(readManifest(TEST_ASSETS_DIR "/pictures.txt", entries).ok());
    const std::vector<std::pair<std::string, AlphaKind>> expected = {
        {"quopple1", AlphaKind::Companion}, {"vesk1", AlphaKind::Companion},
        {"ombrit1", AlphaKind::Companion},  {"quopple2", AlphaKind::Companion},
        {"ombrit2", AlphaKind::Companion},  {"vesk2", AlphaKind::Companion},
        {"ppl1", AlphaKind::Companion},     {"ppl2", AlphaKind::Companion},
        {"ppl3", AlphaKind::Companion},     {"grass", AlphaKind::Companion},
        {"bplogo", AlphaKind::OwnBlue},     {"standup", AlphaKind::OwnBlue},
        {"sucks", AlphaKind::OwnBlue},      {"whoops", AlphaKind::OwnBlue},
        {"move", AlphaKind::OwnBlue},       {"love", AlphaKind::OwnBlue},
        {"seeyou", AlphaKind::OwnBlue},     {"speakers", AlphaKind::Companion},
        {"floor", AlphaKind::None},         {"background", AlphaKind::None},
        {"loading", AlphaKind::None}};
    ASSERT_EQ(entries.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(entries[i].name, expected[i].first);
        EXPECT_EQ(entries[i].alpha, expected[i].second) << entries[i].name;
    }
}

} // namespace
} // namespace picture
