// Rendering: the same score gives the same samples; tracks last as long as
// the score says; notes sound at their pitch; nothing clips; fades and
// silences are silent; the show's track is sensibly loud; files read back.
#include <gtest/gtest.h>
#include <kiss_fftr.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tools/synth/ogg_pages.h"
#include "tools/synth/synth.h"

using namespace synth;

namespace {

constexpr int32_t kRate = 44100;

Track rendered(const std::string& text, int32_t rate = kRate) {
    Track track;
    const auto error = renderScore(text, track, rate);
    EXPECT_FALSE(error) << formatScoreError(*error);
    return track;
}

double peakOf(const std::vector<float>& samples, size_t from = 0, size_t to = SIZE_MAX) {
    double peak = 0;
    for (size_t i = from; i < std::min(to, samples.size()); ++i)
        peak = std::max(peak, double(std::fabs(samples[i])));
    return peak;
}

double decibels(double value) {
    return 20 * std::log10(value);
}

// The strongest frequency of the left channel in a window starting at
// `fromMs`, to within a bin of 44100 / 16384 = 2.7 Hz.
double strongestHz(const Track& track, double fromMs) {
    constexpr int kSize = 16384;
    const size_t first = size_t(fromMs * track.rate / 1000);
    std::vector<float> window(kSize);
    for (int i = 0; i < kSize; ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * M_PI * i / (kSize - 1));
        window[size_t(i)] = float(track.samples[2 * (first + size_t(i))] * hann);
    }
    std::unique_ptr<std::remove_pointer_t<kiss_fftr_cfg>, decltype(&kiss_fftr_free)> config(
        kiss_fftr_alloc(kSize, 0, nullptr, nullptr), &kiss_fftr_free);
    std::vector<kiss_fft_cpx> bins(kSize / 2 + 1);
    kiss_fftr(config.get(), window.data(), bins.data());
    size_t best = 1;
    for (size_t b = 1; b < bins.size(); ++b)
        if (std::hypot(bins[b].r, bins[b].i) > std::hypot(bins[best].r, bins[best].i)) best = b;
    return double(best) * track.rate / kSize;
}

// One long note on a plain voice: no vibrato, no unison, the filter open.
std::string oneNote(const std::string& type, const std::string& note, const std::string& extra) {
    return "tempo 120\ninstrument v " + type +
           " voices 1 vibrato 0 cutoff 12000 envmod 0 sustain 1 sub 0\n"
           "pattern long 1 1\n  " +
           note + "\nsection s 0 1\n  v long " + extra + "\n";
}

TEST(Render, TheSameScoreGivesTheSameSamples) {
    // Noise, random unison phases, effects and the limiter all take part.
    const std::string score = "tempo 130\nswing 58\nmaster 12 -3\n"
                              "instrument h hat reverb 0.5 delay 0.5\n"
                              "instrument p pad voices 5 duck 0.8 reverb 0.4\n"
                              "instrument n noise\ninstrument k kick\n"
                              "pattern d 1\n  x x o X x x o X x x o X x x o X\n"
                              "pattern c 1 2\n  A3+C4+E4 F3+A3+C4\npattern r 1 1\n  C4\n"
                              "section s 0 2\n  h d\n  k d\n  p c\n  n r cutoff 300 5000\n";
    const Track first = rendered(score);
    const Track second = rendered(score);
    ASSERT_EQ(first.samples.size(), second.samples.size());
    EXPECT_EQ(std::memcmp(first.samples.data(), second.samples.data(),
                          first.samples.size() * sizeof(float)),
              0);
    EXPECT_GT(peakOf(first.samples), 0.1);
}

TEST(Render, TrackLastsTheScoresLength) {
    const std::string body = "instrument k kick\npattern p 1 4\n  x x x x\nsection s 1 2\n  k p\n";
    // Without a length: to the end of the last section, 3 bars of 2 s.
    EXPECT_EQ(rendered("tempo 120\n" + body).frames(), 3 * 2 * kRate);
    // With one: rounded up to whole frames, so it lasts at least that long.
    EXPECT_EQ(rendered("length 1000.01\n" + body).frames(), 44101);
    EXPECT_EQ(rendered("length 250\n" + body, 22050).frames(), 5513);
    EXPECT_EQ(framesForMs(137113, kRate), 6046684);
}

TEST(Render, NotesSoundAtTheirPitch) {
    EXPECT_NEAR(strongestHz(rendered(oneNote("lead", "A4", "")), 500), 440, 2.7);
    EXPECT_NEAR(strongestHz(rendered(oneNote("pad", "A4", "transpose 12")), 500), 880, 2.7);
    EXPECT_NEAR(strongestHz(rendered(oneNote("stab", "C5", "")), 100), 523.25, 2.7);
    EXPECT_NEAR(strongestHz(rendered(oneNote("bass", "A2", "")), 500), 110, 2.7);
    // The kick falls to its tune.
    const Track kick = rendered("tempo 60\ninstrument k kick tune 60 decay 2\n"
                                "pattern p 1 1\n  x\nsection s 0 1\n  k p\n");
    EXPECT_NEAR(strongestHz(kick, 100), 60, 2.7);
}

TEST(Render, NothingClipsEvenWhenDrivenHard) {
    const Track loud = rendered("master 24 -0.5\ninstrument k kick level 12\n"
                                "instrument p pad level 12 voices 7\n"
                                "pattern d 1\n  X X X X X X X X X X X X X X X X\n"
                                "pattern c 1 1\n  A2+E3+A3+C4+E4+G4+B4+D5\n"
                                "section s 0 2\n  k d\n  p c\n");
    const double ceiling = std::pow(10.0, -0.5 / 20);
    EXPECT_LE(peakOf(loud.samples), ceiling);
    EXPECT_GT(peakOf(loud.samples), ceiling * 0.99) << "the limiter holds, it does not squash";
}

TEST(Render, GapsAndTheEndOfAFadeAreSilent) {
    // One kick, then a bar of nothing, then a fade that ends before the end.
    const Track track =
        rendered("tempo 120\nlength 8000\nfade 4500 6000\n"
                 "instrument k kick decay 0.3\n"
                 "pattern p 1 1\n  x\nsection a 0 1\n  k p\nsection b 2 2\n  k p\n");
    const size_t frame = 2;
    EXPECT_GT(peakOf(track.samples, 0, frame * kRate / 2), 0.1);
    EXPECT_EQ(peakOf(track.samples, frame * kRate * 1, frame * kRate * 2), 0) << "the gap";
    EXPECT_GT(peakOf(track.samples, frame * kRate * 4, frame * kRate * 9 / 2), 0.01);
    EXPECT_EQ(peakOf(track.samples, frame * kRate * 6), 0) << "after the fade";
}

TEST(Render, RefusesRatesItCannotUse) {
    Track track;
    const auto error =
        renderScore("instrument k kick\npattern p 1 1\n x\nsection s 0 1\n k p\n", track, 1000);
    ASSERT_TRUE(error);
    EXPECT_NE(error->message.find("rate"), std::string::npos);
}

TEST(Render, ScoreErrorsComeBackWithTheirPosition) {
    Track track;
    const auto error = renderScore("tempo 120\ntempo x\n", track);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->line, 2);
    EXPECT_EQ(error->column, 1);
}

class SoundFile : public testing::Test {
  protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("synth_test_" + std::to_string(::getpid()) + "_" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::filesystem::path folder_;
};

TEST_F(SoundFile, OggVorbisReadsBackWithTheSameLengthAndSound) {
    const Track track = rendered(oneNote("lead", "A4", ""));
    const std::string path = (folder_ / "tune.ogg").string();
    ASSERT_EQ(writeOggVorbis(path, track.samples, track.rate), "");
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_OGG);
    EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_VORBIS);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, kRate);
    EXPECT_EQ(info.frames, track.frames());
    Track back;
    back.samples.resize(size_t(info.frames) * 2);
    EXPECT_EQ(sf_readf_float(file, back.samples.data(), info.frames), info.frames);
    sf_close(file);
    EXPECT_NEAR(strongestHz(back, 500), 440, 2.7);
}

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(SoundFile, TheSameTrackGivesTheSameOggFile) {
    const Track track = rendered(oneNote("stab", "G3", ""));
    const std::string first = (folder_ / "first.ogg").string();
    const std::string second = (folder_ / "second.ogg").string();
    ASSERT_EQ(writeOggVorbis(first, track.samples, track.rate), "");
    ASSERT_EQ(writeOggVorbis(second, track.samples, track.rate), "");
    const std::vector<uint8_t> bytes = fileBytes(first);
    EXPECT_GT(bytes.size(), 1000u);
    EXPECT_EQ(bytes, fileBytes(second)) << "the encoder's random stream number is replaced";

    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 1);
    EXPECT_FALSE(setOggSerial(cut, 1)) << "a page cut short";
    std::vector<uint8_t> other = bytes;
    other[0] = 'X';
    EXPECT_FALSE(setOggSerial(other, 1)) << "not an Ogg page";
}

TEST_F(SoundFile, WavKeepsTheSamplesExactly) {
    const Track track = rendered(oneNote("pad", "E3", ""));
    const std::string path = (folder_ / "tune.wav").string();
    ASSERT_EQ(writeWav(path, track.samples, track.rate), "");
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    std::vector<float> back(size_t(info.frames) * 2);
    sf_readf_float(file, back.data(), info.frames);
    sf_close(file);
    EXPECT_EQ(back, track.samples);
}

TEST_F(SoundFile, FailuresNameTheFile) {
    const std::string path = (folder_ / "missing" / "tune.ogg").string();
    const std::string error = writeOggVorbis(path, std::vector<float>(100, 0.0f), kRate);
    EXPECT_EQ(error.rfind(path, 0), 0u) << error;
    EXPECT_NE(writeWav(path, std::vector<float>(3, 0.0f), kRate), "") << "odd sample count";
}

// The show's own track, rendered once for the checks below.
const Track& showTrack() {
    static const Track track = [] {
        std::ifstream file(SYNTH_SCORE_FILE);
        std::stringstream text;
        text << file.rdbuf();
        return rendered(text.str());
    }();
    return track;
}

TEST(ShowTrack, LastsTheShowAndFadesOutWithIt) {
    const Track& track = showTrack();
    EXPECT_EQ(track.frames(), framesForMs(137113, kRate));
    EXPECT_EQ(peakOf(track.samples, size_t(2 * 137.0 * kRate)), 0) << "silent after the fade";
    EXPECT_LT(peakOf(track.samples, size_t(2 * 136.5 * kRate)), 0.1) << "fading";
}

TEST(ShowTrack, IsLoudButNeverClips) {
    const Track& track = showTrack();
    const double peak = peakOf(track.samples);
    EXPECT_LE(decibels(peak), -1.0 + 1e-6) << "the score's ceiling";
    EXPECT_GT(decibels(peak), -2.0);
    double power = 0;
    for (const float sample : track.samples) power += double(sample) * sample;
    const double rms = decibels(std::sqrt(power / double(track.samples.size())));
    EXPECT_GT(rms, -18.0);
    EXPECT_LT(rms, -9.0);
}

} // namespace
