// Reading scores: every kind of step, setting and placement lands where it
// should; every mistake is reported at the line and column of its word.
#include <gtest/gtest.h>

#include <string>

#include "tools/synth/score.h"

using namespace synth;

namespace {

constexpr const char* kSmallScore = R"(# a comment line
tempo 128   # trailing comment
swing 60
length 5000
fade 4000 5000
instrument drum kick level -3 tune 55
instrument keys pad cutoff 900 voices 2 mono 1

pattern beat 1
  X . . . x . . . o . . . x:25 . . .
pattern chords 2 4
  A3+C#4+E4 - - . | Bb2:50 - C#4 .
section one 2 4
  drum beat
  keys chords at 1 for 2 level -6 transpose 12 cutoff 200 4000
)";

Score parsed(const std::string& text) {
    Score score;
    const auto error = parseScore(text, score);
    EXPECT_FALSE(error) << formatScoreError(*error);
    return score;
}

TEST(ScoreParser, ReadsSettingsInstrumentsPatternsAndSections) {
    const Score score = parsed(kSmallScore);
    EXPECT_EQ(score.tempo, 128);
    EXPECT_EQ(score.swing, 60);
    EXPECT_EQ(score.lengthMs, 5000);
    ASSERT_TRUE(score.fadeMs);
    EXPECT_EQ((*score.fadeMs)[0], 4000);

    ASSERT_EQ(score.instruments.size(), 2u);
    EXPECT_EQ(score.instruments[0].type, InstrumentType::Kick);
    EXPECT_EQ(score.instruments[0].sound.levelDb, -3);
    EXPECT_EQ(score.instruments[0].sound.tune, 55);
    EXPECT_GT(score.instruments[0].sound.decay, 0) << "unset keys keep the type's defaults";
    EXPECT_EQ(score.instruments[1].sound.voices, 2);
    EXPECT_EQ(score.instruments[1].sound.mono, 1);

    const Pattern& beat = score.patterns[0];
    ASSERT_EQ(beat.steps.size(), 16u);
    EXPECT_EQ(beat.steps[0].kind, Step::Kind::Hit);
    EXPECT_FLOAT_EQ(beat.steps[0].velocity, 1.0f);
    EXPECT_LT(beat.steps[8].velocity, beat.steps[4].velocity) << "'o' is softer than 'x'";
    EXPECT_FLOAT_EQ(beat.steps[12].velocity, 0.25f);
    EXPECT_TRUE(beat.hasHits);
    EXPECT_FALSE(beat.hasNotes);

    const Pattern& chords = score.patterns[1];
    ASSERT_EQ(chords.steps.size(), 8u) << "'|' is not a step";
    const Step& chord = chords.steps[0];
    ASSERT_EQ(chord.noteCount, 3);
    EXPECT_EQ(chord.notes[0], 57); // A3
    EXPECT_EQ(chord.notes[1], 61); // C#4
    EXPECT_EQ(chord.notes[2], 64); // E4
    EXPECT_EQ(chords.steps[1].kind, Step::Kind::Hold);
    EXPECT_EQ(chords.steps[3].kind, Step::Kind::Rest);
    EXPECT_EQ(chords.steps[4].notes[0], 46); // Bb2
    EXPECT_FLOAT_EQ(chords.steps[4].velocity, 0.5f);

    ASSERT_EQ(score.sections.size(), 1u);
    const Section& section = score.sections[0];
    EXPECT_EQ(section.startBar, 2);
    EXPECT_EQ(section.bars, 4);
    ASSERT_EQ(section.placements.size(), 2u);
    EXPECT_EQ(section.placements[0].bars, 4) << "a placement fills the rest of its section";
    const Placement& keys = section.placements[1];
    EXPECT_EQ(keys.instrument, 1);
    EXPECT_EQ(keys.pattern, 1);
    EXPECT_EQ(keys.atBar, 1);
    EXPECT_EQ(keys.bars, 2);
    EXPECT_EQ(keys.levelDb, -6);
    EXPECT_EQ(keys.transpose, 12);
    ASSERT_TRUE(keys.cutoff);
    EXPECT_EQ((*keys.cutoff)[1], 4000);
}

TEST(ScoreParser, AcceptsCarriageReturnsAndSortsSections) {
    const Score score = parsed("instrument k kick\r\npattern p 1 1\r\n x\r\n"
                               "section late 8 1\r\n k p\r\nsection early 0 2\r\n k p\r\n");
    ASSERT_EQ(score.sections.size(), 2u);
    EXPECT_EQ(score.sections[0].name, "early");
    EXPECT_EQ(score.sections[1].name, "late");
    EXPECT_EQ(score.sections[1].line, 4);
}

struct BadScore {
    const char* what;
    std::string text;
    int32_t line;
    int32_t column;
    const char* message; // a part of it
};

// Lines that most cases share; the mistake comes after them.
const std::string kHead = "instrument k kick\ninstrument b bass\npattern p 1 4\n  x x x x\n";

TEST(ScoreParser, ReportsMistakesAtTheirLineAndColumn) {
    const BadScore cases[] = {
        {"unknown statement", "tempo 120\n  bogus 1\n", 2, 3, "unknown statement 'bogus'"},
        {"not a number", "tempo fast\n", 1, 7, "must be a number, not 'fast'"},
        {"number with a unit", "length 12ms\n", 1, 8, "must be a number"},
        {"out of range", "swing 90\n", 1, 7, "between 50 and 75"},
        {"setting twice", "tempo 120\ntempo 121\n", 2, 1, "'tempo' is set twice"},
        {"missing value", "fade 100\n", 1, 6, "needs 2 values"},
        {"extra value", "tempo 120 130\n", 1, 11, "unexpected '130'"},
        {"fade backwards", "fade 500 100\n", 1, 10, "end after it starts"},
        {"unknown type", "instrument k kazoo\n", 1, 14, "unknown instrument type 'kazoo'"},
        {"key of another type", "instrument b bass tune 40\n", 1, 19, "'tune' does not apply"},
        {"unknown key", "instrument k kick loud 3\n", 1, 19, "unknown instrument setting"},
        {"key without value", "instrument k kick level\n", 1, 19, "'level' needs a value"},
        {"whole number", "instrument b bass voices 2.5\n", 1, 26, "whole number"},
        {"name is a keyword", "instrument tempo kick\n", 1, 12, "is a keyword"},
        {"name taken", kHead + "pattern k 1\n", 5, 9, "already defined"},
        {"bad note", kHead + "pattern q 1 2\n  A4 H4\n", 6, 6, "'H4' is not a step"},
        {"bad chord note", kHead + "pattern q 1 1\n  A3+C4+Q4\n", 6, 9, "'Q4' is not a step"},
        {"octave too high", kHead + "pattern q 1 1\n  C10\n", 6, 3, "is not a step"},
        {"velocity range", kHead + "pattern q 1 1\n  x:150\n", 6, 5, "between 1 and 100"},
        {"too many steps", kHead + "pattern q 1 2\n  x x\n  x\n", 7, 3, "already has its 2 steps"},
        {"too few steps", kHead + "pattern q 2 2\n  x x x\ntempo 120\n", 5, 9,
         "has 3 steps; 2 bars of 2 need 4"},
        {"too few at the end", kHead + "pattern q 1 2\n  x\n", 5, 9, "has 1 steps"},
        {"hold with nothing", kHead + "pattern q 1 2\n  - A4\n", 6, 3, "'-' holds a note"},
        {"hold after a hit", kHead + "pattern q 1 2\n  x -\n", 6, 5, "'-' holds a note"},
        {"unknown instrument", kHead + "section s 0 1\n  kk p\n", 6, 3, "unknown instrument 'kk'"},
        {"unknown pattern", kHead + "section s 0 1\n  k pp\n", 6, 5, "unknown pattern 'pp'"},
        {"hits on a bass", kHead + "section s 0 1\n  b p\n", 6, 5, "has drum hits"},
        {"notes on a drum", kHead + "pattern n 1 1\n A4\nsection s 0 1\n  k n\n", 8, 5,
         "has notes"},
        {"runs past the end", kHead + "section s 0 4\n  k p at 2 for 3\n", 6, 16,
         "runs past the end"},
        {"at past the end", kHead + "section s 0 4\n  k p at 4\n", 6, 10, "'at'"},
        {"cutoff on a drum", kHead + "section s 0 1\n  k p cutoff 1 2\n", 6, 7,
         "does not apply to the drum"},
        {"placement key twice", kHead + "section s 0 2\n  k p at 1 at 1\n", 6, 12, "set twice"},
        {"overlap", kHead + "section a 0 4\n  k p\nsection c 3 2\n", 7, 11, "overlaps section 'a'"},
        {"transpose out of range",
         kHead + "pattern n 1 1\n  G9\nsection s 0 1\n  b n transpose 12\n", 8, 17, "out of range"},
        {"no section", kHead, 1, 1, "no section"},
    };
    for (const BadScore& bad : cases) {
        Score score;
        const auto error = parseScore(bad.text, score);
        ASSERT_TRUE(error) << bad.what;
        EXPECT_EQ(error->line, bad.line) << bad.what << ": " << error->message;
        EXPECT_EQ(error->column, bad.column) << bad.what << ": " << error->message;
        EXPECT_NE(error->message.find(bad.message), std::string::npos)
            << bad.what << ": " << error->message;
        EXPECT_TRUE(score.sections.empty() && score.instruments.empty())
            << bad.what << ": a failed parse leaves nothing behind";
    }
}

TEST(ScoreParser, FormatsErrorsWithTheirPosition) {
    EXPECT_EQ(formatScoreError({3, 7, "bad"}), "line 3, column 7: bad");
}

TEST(ScoreParser, TakesSharpsInsideWordsAndCommentsAtWordStarts) {
    const Score score = parsed("instrument l lead\npattern p 1 2 # two steps\n"
                               "  C#4 #C4 is a comment\n  D4\nsection s 0 1\n l p\n");
    ASSERT_EQ(score.patterns[0].steps.size(), 2u);
    EXPECT_EQ(score.patterns[0].steps[0].notes[0], 61);
}

} // namespace
