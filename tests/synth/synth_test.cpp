// The synthesizer: scores read and timed, tracks rendered and written. The
// show's own track is checked where makeshow has rendered it.
#include <gtest/gtest.h>
#include <kiss_fftr.h>
#include <sndfile.hh>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "content/synth/ogg_pages.h"
#include "content/synth/part_cache.h"
#include "content/synth/synth.h"

using namespace synth;

namespace {

TEST(ScoreParser, ReadsSettingsInstrumentsPatternsAndSections) {
    std::string text = R"(# a comment line
tempo 128   # trailing comment
swing 60
length 5000
fade 4000 5000
instrument drum kick level -3 tune 55
instrument keys pad cutoff 900 voices 2 mono 1
pattern beat 1
  X . . . x . . . o . . . x:25 . . .
pattern chords 2 4
  A3+C#4+E4 - - . | Bb2:50 - C#4 . #C4 is a comment
section one 2 4
  drum beat
  keys chords at 1 for 2 level -6 transpose 12 cutoff 200 4000
section zero 0 1
  drum beat
)";
    for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2)
        text.insert(at, "\r"); // carriage returns end lines too
    Score score;
    ASSERT_FALSE(parseScore(text, score));
    const Sound& drum = score.instruments.at(0).sound;
    const Sound& keys = score.instruments.at(1).sound;
    EXPECT_EQ(
        (std::vector<double>{score.tempo, score.swing, score.lengthMs.value(),
                             score.fadeMs.value()[0], drum.levelDb, drum.tune, keys.voices,
                             keys.mono, double(score.instruments[0].type)}),
        (std::vector<double>{128, 60, 5000, 4000, -3, 55, 2, 1, double(InstrumentType::Kick)}));
    EXPECT_GT(drum.decay, 0) << "unset keys keep the type's defaults";
    const std::vector<Step>& beat = score.patterns[0].steps;
    ASSERT_EQ(beat.size(), 16u);
    const std::vector<Step>& chords = score.patterns[1].steps;
    ASSERT_EQ(chords.size(), 8u) << "'|' is not a step, nor a word after '#'";
    EXPECT_EQ(chords[0].noteCount, 3);
    EXPECT_EQ(chords[0].notes, (std::array<int8_t, 8>{57, 61, 64})); // A3 C#4 E4
    EXPECT_EQ(chords[4].notes[0], 46);                               // Bb2
    using K = Step::Kind;
    EXPECT_EQ((std::vector{beat[0].kind, chords[1].kind, chords[3].kind}),
              (std::vector{K::Hit, K::Hold, K::Rest}));
    EXPECT_EQ((std::vector{beat[0].velocity, beat[4].velocity, beat[8].velocity, beat[12].velocity,
                           chords[0].velocity, chords[4].velocity}),
              (std::vector{1.0f, 0.8f, 0.5f, 0.25f, 0.8f, 0.5f}));

    EXPECT_EQ(score.sections[0].name, "zero") << "sorted by their start";
    const Section& section = score.sections.at(1);
    const Placement& p = section.placements.at(1);
    // The first placement fills the rest of its section.
    EXPECT_EQ(
        (std::vector<double>{double(section.line), double(section.startBar), double(section.bars),
                             double(section.placements[0].bars), double(p.instrument),
                             double(p.pattern), double(p.atBar), double(p.bars), p.levelDb,
                             double(p.transpose), p.cutoff.value()[1]}),
        (std::vector<double>{12, 2, 4, 4, 1, 1, 1, 2, -6, 12, 4000}));
}

TEST(ScoreParser, ReportsMistakesAtTheirLineAndColumn) {
    // Lines that most cases share; the mistake comes after them.
    const std::string head = "instrument k kick\ninstrument b bass\npattern p 1 4\n  x x x x\n";
    std::string steps51;
    for (int i = 0; i < 51; ++i) steps51 += " x";
    const struct {
        std::string text;
        int line, column;
        const char* message; // a part of it
    } cases[] = {
        {"tempo 120\n  bogus 1\n", 2, 3, "unknown statement 'bogus'"},
        {"length 12ms\n", 1, 8, "must be a number"},
        {"swing 90\n", 1, 7, "between 50 and 75"},
        {"tempo 120\ntempo 121\n", 2, 1, "'tempo' is set twice"},
        {"fade 100\n", 1, 6, "needs 2 values"},
        {"tempo 120 130\n", 1, 11, "unexpected '130'"},
        {"fade 500 100\n", 1, 10, "end after it starts"},
        {"instrument k kazoo\n", 1, 14, "unknown instrument type 'kazoo'"},
        {"instrument b bass tune 40\n", 1, 19, "'tune' does not apply"},
        {"instrument k kick loud 3\n", 1, 19, "unknown instrument setting"},
        {"instrument k kick level\n", 1, 19, "'level' needs a value"},
        {"instrument b bass voices 2.5\n", 1, 26, "whole number"},
        {"instrument tempo kick\n", 1, 12, "is a keyword"},
        {head + "pattern k 1\n", 5, 9, "already defined"},
        {head + "pattern q 1 1\n  A3+C4+Q4\n", 6, 9, "'Q4' is not a step"},
        {head + "pattern q 1 1\n  C10\n", 6, 3, "is not a step"},
        {head + "pattern q 1 1\n  x:150\n", 6, 5, "between 1 and 100"},
        {head + "pattern q 1 2\n  x x\n  x\n", 7, 3, "already has its 2 steps"},
        {head + "pattern q 2 2\n  x x x\ntempo 120\n", 5, 9, "has 3 steps; 2 bars of 2 need 4"},
        {head + "pattern q 1 2\n  x\n", 5, 9, "has 1 steps"},
        {head + "pattern q 1 2\n  - A4\n", 6, 3, "'-' holds a note"},
        {head + "pattern q 1 2\n  x -\n", 6, 5, "'-' holds a note"},
        {head + "section s 0 1\n  kk p\n", 6, 3, "unknown instrument 'kk'"},
        {head + "section s 0 1\n  k pp\n", 6, 5, "unknown pattern 'pp'"},
        {head + "section s 0 1\n  b p\n", 6, 5, "has drum hits"},
        {head + "pattern n 1 1\n A4\nsection s 0 1\n  k n\n", 8, 5, "has notes"},
        {head + "section s 0 4\n  k p at 2 for 3\n", 6, 16, "runs past the end"},
        {head + "section s 0 4\n  k p at 4\n", 6, 10, "'at'"},
        {head + "section s 0 1\n  k p cutoff 1 2\n", 6, 7, "does not apply to"},
        {head + "section s 0 2\n  k p at 1 at 1\n", 6, 12, "set twice"},
        {head + "section a 0 4\n  k p\nsection c 3 2\n", 7, 11, "overlaps section 'a'"},
        {head + "pattern n 1 1\n  G9\nsection s 0 1\n  b n transpose 12\n", 8, 17, "out of range"},
        {head + "pattern n 1 1\n  C-1\nsection s 0 1\n  b n transpose -1\n", 8, 17, "out of range"},
        // The first written of the sections overlapped, though another comes first in bar order.
        {head + "section u 4 2\n  k p\nsection v 0 2\n  k p\nsection w 1 4\n", 9, 11,
         "overlaps section 'u'"},
        // A line of steps holds any number of words.
        {head + "pattern q 1 50\n" + steps51, 6, 102, "already has its 50 steps"},
        {head, 1, 1, "no section"}};
    for (const auto& bad : cases) {
        Score score;
        const std::string text =
            formatScoreError(parseScore(bad.text, score).value_or(ScoreError{}));
        const std::string where = "line " + std::to_string(bad.line) + ", column ";
        EXPECT_EQ(text.rfind(where + std::to_string(bad.column) + ": ", 0), 0u) << text;
        EXPECT_NE(text.find(bad.message), std::string::npos) << text;
        EXPECT_TRUE(score.sections.empty() && score.instruments.empty()) << text << ": left behind";
    }
}

TEST(ScoreTime, BeatsBarsStepsAndSwing) {
    // 16ths of 120 ms; swing 60 moves odd ones 24 ms, not 8ths, triplets, 32nds.
    const struct {
        double swing, bar, step, perBar, ms;
    } cases[] = {{50, 68, 0, 16, 130560}, {50, 2, 5, 16, 4440},  {60, 0, 1, 16, 144},
                 {60, 0, 2, 16, 240},     {60, 1, 15, 16, 3744}, {60, 0, 3, 32, 180},
                 {60, 0, 2, 32, 144},     {60, 0, 1, 8, 240},    {60, 0, 1, 12, 160}};
    Score score;
    score.tempo = 125;
    for (const auto& c : cases) {
        score.swing = c.swing;
        EXPECT_DOUBLE_EQ(stepStartMs(score, int64_t(c.bar), int32_t(c.step), int32_t(c.perBar)),
                         c.ms)
            << c.swing << " " << c.bar << ":" << c.step << "/" << c.perBar;
    }
    // A score lasts to the end of the section ending last, or as long as it says.
    score.tempo = 120;
    score.sections = {{"a", 4, 2, 1, {}}, {"b", 0, 1, 2, {}}};
    EXPECT_DOUBLE_EQ(scoreLengthMs(score), 6 * 2000);
    score.lengthMs = 777;
    EXPECT_DOUBLE_EQ(scoreLengthMs(score), 777);
}

Track rendered(const std::string& text, int32_t rate = kDefaultRate) {
    Track track;
    EXPECT_FALSE(renderScore(text, track, rate)) << text;
    return track;
}

double peakOf(const std::vector<float>& s, size_t from = 0, size_t to = SIZE_MAX) {
    const auto louder = [](float a, float b) { return std::fabs(a) < std::fabs(b); };
    return std::fabs(
        *std::max_element(s.begin() + from, s.begin() + std::min(to, s.size()), louder));
}

// The strongest frequency of the left channel from `fromMs`, to 2.7 Hz.
double strongestHz(const Track& track, double fromMs) {
    constexpr int kSize = 16384;
    const size_t first = size_t(fromMs * track.rate / 1000);
    std::vector<float> window(kSize);
    for (size_t i = 0; i < kSize; ++i)
        window[i] = float(track.samples[2 * (first + i)] * (1 - std::cos(2 * M_PI * i / kSize)));
    std::vector<kiss_fft_cpx> bins(kSize / 2 + 1);
    kiss_fftr_cfg config = kiss_fftr_alloc(kSize, 0, nullptr, nullptr);
    kiss_fftr(config, window.data(), bins.data());
    kiss_fftr_free(config);
    const auto loudest = std::max_element(bins.begin() + 1, bins.end(), [](auto a, auto b) {
        return std::hypot(a.r, a.i) < std::hypot(b.r, b.i);
    });
    return double(loudest - bins.begin()) * track.rate / kSize;
}

// One long note on a plain voice: no vibrato, no unison, the filter open.
std::string oneNote(const std::string& type, const std::string& note, const std::string& extra) {
    return "tempo 120\ninstrument v " + type +
           " voices 1 vibrato 0 cutoff 12000 envmod 0 sustain 1 sub 0\n"
           "pattern long 1 1\n  " +
           note + "\nsection s 0 1\n  v long " + extra + "\n";
}

TEST(Render, TheSameScoreGivesTheSameSamplesAndTheLimiterHoldsWhenDrivenHard) {
    // Noise, random unison phases, effects and the limiter take part.
    const std::string score =
        "master 24 -0.5\ninstrument h hat reverb 0.5 delay 0.5\ninstrument n noise\n"
        "instrument p pad level 12 voices 7 duck 0.8 reverb 0.4\ninstrument k kick level 12\n"
        "pattern d 1\n X X X X X X X X X X X X X X X X\npattern c 1 1\n A2+E3+A3+C4+E4+G4+B4+D5\n"
        "section s 0 2\n  h d\n  k d\n  p c\n  n c cutoff 300 5000\n";
    const Track first = rendered(score);
    EXPECT_EQ(first.samples, rendered(score).samples);
    const double ceiling = std::pow(10.0, -0.5 / 20);
    EXPECT_LE(peakOf(first.samples), ceiling);
    EXPECT_GT(peakOf(first.samples), ceiling * 0.99) << "the limiter holds, it does not squash";
}

TEST(Render, TrackLastsTheScoresLengthAtTheAskedRate) {
    const std::string body = "instrument k kick\npattern p 1 4\n  x x x x\nsection s 1 2\n  k p\n";
    // To the end of the last section (3 bars of 2 s), or the length rounded up.
    EXPECT_EQ(rendered("tempo 120\n" + body).frames(), 3 * 2 * kDefaultRate);
    EXPECT_EQ(rendered("length 1000.01\n" + body).frames(), 44101);
    EXPECT_EQ(rendered("length 250\n" + body, 22050).frames(), 5513);
    Track track;
    EXPECT_NE(renderScore(body, track, 1000)->message.find("rate"), std::string::npos);
    EXPECT_TRUE(renderScore("tempo x\n", track)) << "score errors come back";
}

TEST(Render, NotesSoundAtTheirPitch) {
    EXPECT_NEAR(strongestHz(rendered(oneNote("pad", "A4", "transpose 12")), 500), 880, 2.7);
    EXPECT_NEAR(strongestHz(rendered(oneNote("stab", "C5", "")), 100), 523.25, 2.7);
    EXPECT_NEAR(strongestHz(rendered(oneNote("bass", "A2", "")), 500), 110, 2.7);
    const Track kick = rendered("tempo 60\ninstrument k kick tune 60 decay 2\n"
                                "pattern p 1 1\n  x\nsection s 0 1\n  k p\n");
    EXPECT_NEAR(strongestHz(kick, 100), 60, 2.7) << "the kick falls to its tune";
}

TEST(Render, GapsAndTheEndOfAFadeAreSilent) {
    // One kick, then a bar of nothing, then a fade that ends before the end.
    const Track track =
        rendered("tempo 120\nlength 8000\nfade 4500 6000\ninstrument k kick decay 0.3\n"
                 "pattern p 1 1\n  x\nsection a 0 1\n  k p\nsection b 2 2\n  k p\n");
    const size_t second = 2 * kDefaultRate; // samples
    EXPECT_EQ(peakOf(track.samples, second, 2 * second), 0) << "the gap";
    EXPECT_GT(peakOf(track.samples, 4 * second, 9 * second / 2), 0.01);
    EXPECT_EQ(peakOf(track.samples, 6 * second), 0) << "after the fade";
}

Score parsed(const std::string& text) {
    Score score;
    if (const auto error = parseScore(text, score)) ADD_FAILURE() << formatScoreError(*error);
    return score;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Three one-bar sections. From the first into the second a pad rings on, a
// mono bass is cut by the next note and the kicks pump; all feed the effects.
std::string partsScore(const std::string& padNote, const std::string& kicks,
                       const std::string& bassStart) {
    return "tempo 120\ndelay 3 0.6\n"
           "instrument k kick\n"
           "instrument p pad release 0.8 duck 0.7 reverb 0.4 delay 0.3\n"
           "instrument b bass mono 1 duck 0.5 release 0.3\n"
           "pattern beat 1 4\n  x x x x\npattern beat2 1 4\n  " +
           kicks + "\npattern chord 1 4\n  . . . " + padNote +
           "\npattern chord2 1 4\n  E4 . . .\n"
           "pattern line 1 4\n  C2 - - G2\npattern line2 1 4\n  " +
           bassStart +
           "\nsection one 0 1\n  k beat\n  p chord\n  b line\n"
           "section two 1 1\n  k beat2\n  b line2\nsection three 2 1\n  k beat\n  p chord2\n";
}

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(PartCache, WhereTheTrackIsCutIntoPartsChangesNoSample) {
    // The same notes as one section and as three: tails, cuts, pumping, the
    // effects and the limiter run on across the cuts.
    const std::string sounds =
        "tempo 120\nswing 58\nfade 4500 5900\ndelay 3 0.5\nreverb 0.7 0.3\nmaster 6 -1\n"
        "instrument k kick\ninstrument c clap delay 0.4\ninstrument h hat pan 0.4\n"
        "instrument b bass mono 1 duck 0.6\ninstrument p pad voices 3 release 0.9 reverb 0.5\n"
        "instrument l lead delay 0.5 reverb 0.3\ninstrument n noise reverb 0.4\n"
        "pattern beat 1 8\n  x x:50 x o X . x x\npattern tone 1 4\n  A2 - C3 E3\n"
        "pattern chord 1 2\n  A3+C4+E4 G3+B3+D4:60\n";
    const std::string whole = sounds +
                              "section all 0 3\n  k beat\n  h beat for 2\n  b tone for 2\n"
                              "  c beat at 1\n  p chord for 2\n  l tone at 1 transpose 12\n"
                              "  n chord at 1 for 1 cutoff 200 6000\n";
    const std::string cut = sounds +
                            "section one 0 1\n  k beat\n  h beat\n  b tone\n  p chord\n"
                            "section two 1 1\n  k beat\n  h beat\n  b tone\n  c beat\n  p chord\n"
                            "  l tone transpose 12\n  n chord cutoff 200 6000\n"
                            "section three 2 1\n  k beat\n  c beat\n  l tone transpose 12\n";
    constexpr int32_t kRate = 8000;
    const Track one = renderParsedScore(parsed(whole), kRate);
    EXPECT_GT(peakOf(one.samples), 0.5);
    EXPECT_TRUE(sameBits(one.samples, renderParsedScore(parsed(cut), kRate).samples));
}

TEST(PartCache, AnEditRendersOnlyThePartsItReachesAndTheTrackStaysBitForBit) {
    constexpr int32_t kRate = 8000; // small and quick
    const std::string folder = testing::TempDir() + "synth_parts_" + std::to_string(getpid());
    const std::string original = partsScore("A4", "x . . .", "C2 . . .");
    PartCacheReport report;
    const Track cold = renderWithPartCache(parsed(original), folder, report, kRate);
    EXPECT_TRUE(sameBits(cold.samples, renderParsedScore(parsed(original), kRate).samples));
    EXPECT_EQ((std::vector{report.made, report.reused}), (std::vector{3, 0}));
    EXPECT_EQ(report.trouble, "");
    // Encoded as it is made, on a thread of its own: the same file.
    Track encoded;
    ASSERT_EQ(
        writeOggWithPartCache(parsed(original), folder, folder + "/a.ogg", report, encoded, kRate),
        "");
    ASSERT_EQ(writeOggVorbis(folder + "/b.ogg", cold.samples, kRate), "");
    EXPECT_EQ(fileBytes(folder + "/a.ogg"), fileBytes(folder + "/b.ogg"));
    EXPECT_TRUE(sameBits(encoded.samples, cold.samples));
    std::filesystem::remove(folder + "/a.ogg");
    std::filesystem::remove(folder + "/b.ogg");

    struct Edit {
        std::string what, score;
        int32_t made;
    };
    const Edit edits[] = {
        {"a pad note ringing on into the next section", partsScore("B4", "x . . .", "C2 . . ."), 2},
        {"a kick moved", partsScore("A4", ". . x .", "C2 . . ."), 1},
        {"a bass note cutting the one before", partsScore("A4", "x . . .", ". C2 . ."), 2},
    };
    for (const Edit& edit : edits) {
        // From the original's parts each time: render it, then the edit.
        renderWithPartCache(parsed(original), folder, report, kRate);
        const Track warm = renderWithPartCache(parsed(edit.score), folder, report, kRate);
        EXPECT_TRUE(sameBits(warm.samples, renderParsedScore(parsed(edit.score), kRate).samples))
            << edit.what;
        EXPECT_EQ((std::vector{report.made, report.reused}),
                  (std::vector{edit.made, 3 - edit.made}))
            << edit.what;
    }

    // A part file cut short is made again; the parts of other scores are gone.
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files.push_back(entry.path());
    ASSERT_EQ(files.size(), 3u);
    std::filesystem::resize_file(files[0], std::filesystem::file_size(files[0]) - 1);
    const Score last = parsed(edits[2].score);
    const Track mended = renderWithPartCache(last, folder, report, kRate);
    EXPECT_TRUE(sameBits(mended.samples, renderParsedScore(last, kRate).samples));
    EXPECT_EQ(report.made, 1) << "the part cut short";
    std::filesystem::remove_all(folder);
}

std::vector<float> readBack(const std::string& path, std::vector<int64_t>& info) {
    SndfileHandle file(path);
    std::vector<float> samples(size_t(file.frames() * file.channels()));
    info = {file.format(), file.channels(), file.samplerate(),
            file.readf(samples.data(), file.frames())};
    return samples;
}

TEST(SoundFile, OggReadsBackTheSameEveryTimeAndWavExactly) {
    const Track track = rendered(oneNote("lead", "A4", ""));
    const std::string path = testing::TempDir() + "synth_test_" + std::to_string(getpid());
    ASSERT_EQ(writeOggVorbis(path + "1.ogg", track.samples, track.rate), "");
    ASSERT_EQ(writeOggVorbis(path + "2.ogg", track.samples, track.rate), "");
    std::vector<int64_t> info;
    Track back{kDefaultRate, readBack(path + "1.ogg", info)};
    EXPECT_EQ(info, (std::vector<int64_t>{SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, kDefaultRate,
                                          track.frames()}));
    EXPECT_NEAR(strongestHz(back, 500), 440, 2.7) << "the lead at its pitch, through the file";
    std::vector<uint8_t> bytes = fileBytes(path + "1.ogg");
    EXPECT_EQ(bytes, fileBytes(path + "2.ogg")) << "the encoder's random stream number is replaced";
    bytes[0] = 'X';
    EXPECT_FALSE(setOggSerial(bytes, 1)) << "not an Ogg page";
    bytes[0] = 'O';
    bytes.pop_back();
    EXPECT_FALSE(setOggSerial(bytes, 1)) << "a page cut short";

    ASSERT_EQ(writeWav(path + ".wav", track.samples, track.rate), "");
    EXPECT_EQ(readBack(path + ".wav", info), track.samples);
    const std::string missing = path + "/missing/tune.ogg";
    EXPECT_EQ(writeOggVorbis(missing, {0, 0}, kDefaultRate).rfind(missing, 0), 0u);
    EXPECT_NE(writeWav(path + "3.wav", {0, 0, 0}, kDefaultRate), "") << "odd sample count";
}

TEST(SoundFile, TheNamesExtensionPicksTheFormatAndOtherNamesAreRefused) {
    const std::vector<float> samples(64, 0.25f);
    const std::string path = testing::TempDir() + "synth_kinds_" + std::to_string(getpid());
    const std::pair<const char*, int> kinds[] = {
        {".ogg", SF_FORMAT_OGG}, {".WAV", SF_FORMAT_WAV}, {".flac", SF_FORMAT_FLAC}};
    for (const auto& [extension, format] : kinds) {
        ASSERT_EQ(writeTrackFile(path + extension, samples, kDefaultRate), "") << extension;
        EXPECT_EQ(SndfileHandle(path + extension).format() & SF_FORMAT_TYPEMASK, format)
            << extension;
        std::remove((path + extension).c_str());
    }
    const std::string mp3 = path + ".mp3";
    EXPECT_EQ(writeTrackFile(mp3, samples, kDefaultRate),
              mp3 + ": cannot write .mp3; name it .ogg (Ogg Vorbis), .wav (float WAV) or .flac");
    EXPECT_FALSE(std::ifstream(mp3)) << "nothing written under a name that promises another format";
}

} // namespace
