// Tempo and bar arithmetic, and the show's score: its sections start on the
// bar lines that the show's script places its scenes on.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tools/synth/score.h"

using namespace synth;

namespace {

Score scoreAt(double tempo, double swing) {
    Score score;
    score.tempo = tempo;
    score.swing = swing;
    return score;
}

TEST(ScoreTime, BeatsBarsAndStepsFollowTheTempo) {
    const Score score = scoreAt(125, 50);
    EXPECT_DOUBLE_EQ(beatMs(score), 480);
    EXPECT_DOUBLE_EQ(barMs(score), 1920);
    EXPECT_DOUBLE_EQ(barStartMs(score, 68), 130560);
    EXPECT_DOUBLE_EQ(stepStartMs(score, 2, 5, 16), 2 * 1920 + 5 * 120);
    EXPECT_DOUBLE_EQ(stepStartMs(score, 0, 3, 4), 3 * 480);
    EXPECT_DOUBLE_EQ(barMs(scoreAt(90, 50)), 2000.0 * 4 / 3);
}

TEST(ScoreTime, SwingMovesOnlyTheSecond16thOfEach8th) {
    const Score score = scoreAt(125, 60);
    const double late = 0.2 * 120; // 60 % of an 8th: a fifth of a 16th late
    EXPECT_DOUBLE_EQ(stepStartMs(score, 0, 0, 16), 0);
    EXPECT_DOUBLE_EQ(stepStartMs(score, 0, 1, 16), 120 + late);
    EXPECT_DOUBLE_EQ(stepStartMs(score, 0, 2, 16), 240);
    EXPECT_DOUBLE_EQ(stepStartMs(score, 1, 15, 16), 1920 + 15 * 120 + late);
    EXPECT_DOUBLE_EQ(stepStartMs(score, 0, 3, 32), 3 * 60) << "32nds between the 16ths";
    EXPECT_DOUBLE_EQ(stepStartMs(score, 0, 2, 32), 120 + late);
    EXPECT_DOUBLE_EQ(stepStartMs(score, 0, 1, 8), 240) << "8ths stay straight";
    EXPECT_DOUBLE_EQ(stepStartMs(score, 0, 1, 12), 160) << "triplets stay straight";
}

TEST(ScoreTime, LengthIsGivenOrTheEndOfTheLastSection) {
    Score score = scoreAt(120, 50);
    score.sections.push_back({"a", 4, 2, 1, {}});
    score.sections.push_back({"b", 0, 1, 2, {}});
    EXPECT_DOUBLE_EQ(scoreLengthMs(score), 6 * 2000);
    score.lengthMs = 777;
    EXPECT_DOUBLE_EQ(scoreLengthMs(score), 777);
}

TEST(ShowScore, SectionsStartOnTheScenesBarLines) {
    std::ifstream file(SYNTH_SCORE_FILE);
    ASSERT_TRUE(file) << SYNTH_SCORE_FILE;
    std::stringstream text;
    text << file.rdbuf();
    Score score;
    const auto error = parseScore(text.str(), score);
    ASSERT_FALSE(error) << formatScoreError(*error);

    // The script's scene changes; its header comment lists the same table.
    const struct {
        const char* name;
        int32_t bar;
        double ms;
    } expected[] = {{"intro", 0, 0},          {"build", 8, 15360},   {"groove", 16, 30720},
                    {"lift", 24, 46080},      {"theme", 28, 53760},  {"peak", 36, 69120},
                    {"breakdown", 44, 84480}, {"drop", 52, 99840},   {"love", 60, 115200},
                    {"outro", 64, 122880},    {"ending", 68, 130560}};
    ASSERT_EQ(score.sections.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(score.sections[i].name, expected[i].name);
        EXPECT_EQ(score.sections[i].startBar, expected[i].bar);
        EXPECT_DOUBLE_EQ(barStartMs(score, score.sections[i].startBar), expected[i].ms);
    }
    EXPECT_DOUBLE_EQ(scoreLengthMs(score), 137113);
    ASSERT_TRUE(score.fadeMs);
    EXPECT_DOUBLE_EQ((*score.fadeMs)[0], 135000);
    EXPECT_DOUBLE_EQ((*score.fadeMs)[1], 137000);
}

} // namespace
