// The sound layer, its play clock and the music module on files the tests
// write. Timing checks use bounds that hold however loaded the machine is.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <optional>
#include <sndfile.h>
#include <thread>

#include "audio/sound.h"
#include "audio/sound_clock.h"
#include "audio/sound_decoder.h"
#include "audio/sound_spectrum.h"
#include "sequencing/music.h"
#include "sequencing/music_spectrum.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 44100;
constexpr int kToneBin = 40; // 40 cycles in a 1024-sample window at 44100 Hz
constexpr double kToneHz = kToneBin * double(kRate) / 1024;

constexpr int64_t kNsPerMs = 1000000;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Tone {
    int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    int rate = kRate, channels = 1;
    double seconds = 1;
    double rightHz = kToneHz; // the second channel's; the others play kToneHz
    double amplitude = 1;
    double laterHz = 0, laterGain = 1; // the second half's tone (0: the same) and loudness
};

// A four-channel module of one 64-row pattern at speed 6, 125 beats a minute
// (64 x 6 ticks of 20 ms: 7680 ms), a looped square wave struck on row one.
constexpr int kModuleLengthMs = 7680;
std::string moduleBytes() {
    std::string bytes(20 + 31 * 30, '\0');                    // title, then 31 sample headers
    bytes[20 + 23] = 32;                                      // sample 1: 32 words (big-endian),
    bytes[20 + 25] = 64;                                      // volume 64,
    bytes[20 + 29] = 32;                                      // all of it looped
    for (int s = 1; s < 31; ++s) bytes[20 + 30 * s + 29] = 1; // no loop
    bytes += std::string("\x01\x7f", 2) + std::string(128, '\0') + "M.K.";
    std::string pattern(64 * 4 * 4, '\0');
    pattern[0] = 428 >> 8; // period 428, sample 1
    pattern[1] = char(428 & 0xFF);
    pattern[2] = 1 << 4;
    return bytes + pattern + std::string(32, 100) + std::string(32, char(156));
}

class SoundTest : public ::testing::Test {
  protected:
    std::string dir;
    MusicSettings music;

    void SetUp() override {
        char pattern[] = "/tmp/sound_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        soundSetOutput(kSoundOutputNoSound);
        soundDspSetActive(soundGetSpectrumUnit(), false);
        soundForceDeviceClock(false);
    }
    void TearDown() override {
        soundClose(); // also after a failed start, which leaves the output running
        std::filesystem::remove_all(dir);
        unsetenv("SDL_AUDIODRIVER"); // a test's choice of driver ends with it
    }

    // The tone's file, or "" when libsndfile cannot write that format here.
    std::string tone(const std::string& name, const Tone& tone) {
        const std::string path = dir + "/" + name;
        SF_INFO info{0, tone.rate, tone.channels, tone.format, 0, 0};
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        if (!file) return "";
        const auto frames = int64_t(tone.seconds * tone.rate);
        std::vector<float> samples(size_t(frames * tone.channels));
        for (size_t i = 0; i < samples.size(); ++i) {
            const double t = double(i / tone.channels) / tone.rate;
            const bool later = t >= tone.seconds / 2;
            const double hz = later && tone.laterHz    ? tone.laterHz
                              : i % tone.channels == 1 ? tone.rightHz
                                                       : kToneHz;
            const double gain = tone.amplitude * (later ? tone.laterGain : 1);
            samples[i] = float(gain * std::sin(2 * std::numbers::pi * hz * t));
        }
        const bool whole = sf_writef_float(file, samples.data(), frames) == frames;
        return sf_close(file) == 0 && whole ? path : "";
    }
    SoundStream* open(const std::string& path, uint32_t mode = kSoundLoopNormal) {
        SoundStream* stream = soundStreamOpen(path.c_str(), mode, 0, 0);
        EXPECT_NE(stream, nullptr) << path << ": " << soundGetErrorDetail();
        return stream;
    }
    std::string module() {
        std::ofstream(dir + "/tune.mod", std::ios::binary) << moduleBytes();
        return dir + "/tune.mod";
    }
};

// Polls the spectrum until `ready` accepts it or five seconds pass: the
// output thread may start late on a busy machine, and the window still holds
// earlier sound for a moment after a stream starts.
std::vector<float> spectrumWhen(bool (*ready)(const float*)) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!ready(soundGetSpectrum()) && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::vector<float>(soundGetSpectrum(), soundGetSpectrum() + kSoundSpectrumSize);
}

// Watches a playing stream's time for `ms`: from `origin` (where it was
// started, resumed or moved to) it never steps back and never runs ahead of
// the monotonic time since `beforePlay`; on a clock of real time it also
// keeps up with the time since `afterPlay`.
void watchClock(SoundStream* stream, Clock::time_point beforePlay, Clock::time_point afterPlay,
                double ms, bool realTime, int32_t origin = 0) {
    for (int32_t last = origin; msSince(beforePlay) < ms || last == origin;) {
        const double low = msSince(afterPlay);
        const int32_t time = soundStreamGetTime(stream);
        EXPECT_GE(time, last);
        EXPECT_GE(time, origin + (realTime ? int32_t(low) - 1 : 0));
        EXPECT_LE(time, origin + msSince(beforePlay) + 1);
        last = time;
        ASSERT_LT(msSince(beforePlay), 10000) << "the clock does not start";
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
}

// Waits for the output to mix `frames` more: what is heard then was mixed
// after the call, however late the output thread runs.
void awaitMixed(int64_t frames) {
    const int64_t until = soundOutputFramesMixed() + frames;
    for (const auto start = Clock::now(); soundOutputFramesMixed() < until && msSince(start) < 1e4;)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

} // namespace

TEST_F(SoundTest, OpensEachFormatWithItsLengthAndAFileInsideAnother) {
    ASSERT_TRUE(soundInit(kRate, 16, 0));
    const std::pair<std::string, Tone> cases[] = {
        {"mono.wav", {.seconds = 1}},
        {"stereo48k.flac", {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 2, 1.5}},
        {"short.ogg", {.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS, .seconds = 0.5}},
        {"tune.mp3", {.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, .seconds = 2}}};
    for (const auto& [name, tone] : cases) {
        SoundStream* stream = open(this->tone(name, tone));
        // Compressed formats may pad by an encoder frame.
        EXPECT_NEAR(soundStreamGetLengthMs(stream), tone.seconds * 1000, 60) << name;
        EXPECT_TRUE(soundStreamClose(stream));
    }
    EXPECT_EQ(soundStreamGetLengthMs(open(module())), kModuleLengthMs);

    // Music may sit inside a larger data file: offset and length pick it out.
    std::ifstream in(tone("inner.wav", {.seconds = 0.25}), std::ios::binary);
    const std::string wav{std::istreambuf_iterator<char>(in), {}}, junk(1000, 'x');
    const std::string outer = dir + "/data.bin";
    std::ofstream(outer, std::ios::binary) << junk << wav << junk;
    SoundStream* inner = soundStreamOpen(outer.c_str(), kSoundLoopNormal, 1000, int(wav.size()));
    ASSERT_NE(inner, nullptr) << soundGetErrorDetail();
    EXPECT_EQ(soundStreamGetLengthMs(inner), 250);
    EXPECT_EQ(soundStreamOpen(outer.c_str(), kSoundLoopNormal, 0, 0), nullptr);
    EXPECT_EQ(soundGetError(), kSoundErrorFileFormat);
}

// One bad value per argument: the second stream of a one-channel layer has
// nowhere to play, and a playing stream cannot start again.
TEST_F(SoundTest, ReportsEachErrorWithACode) {
    const std::string good = tone("good.wav", {.seconds = 0.2});
    std::ofstream(dir + "/notes.txt") << "not music at all, just words\n";
    std::filesystem::create_directory(dir + "/folder.wav");
    auto failsWith = [](bool failed, int32_t code) {
        EXPECT_TRUE(failed && soundGetError() == code && *soundGetErrorDetail())
            << "code " << soundGetError() << ", expected " << code;
    };
    auto opens = [](const std::string& name, uint32_t mode = 0, int32_t offset = 0) {
        return soundStreamOpen(name.c_str(), mode, offset, 0) != nullptr;
    };
    failsWith(!opens(good), kSoundErrorUninitialised);
    failsWith(!soundSetOutput(7), kSoundErrorInvalidParam);
    ASSERT_TRUE(soundInit(kRate, 1, 0));
    failsWith(!soundInit(kRate, 1, 0), kSoundErrorBusy);
    failsWith(!soundSetOutput(kSoundOutputDevice), kSoundErrorBusy);
    failsWith(!opens(dir + "/missing.ogg"), kSoundErrorFileNotFound);
    failsWith(!opens(dir + "/notes.txt"), kSoundErrorFileFormat);
    failsWith(!opens(dir + "/folder.wav"), kSoundErrorFileLoad);
    failsWith(!opens(good, 0, -1), kSoundErrorInvalidParam);
    failsWith(!opens(good, 0x4), kSoundErrorInvalidParam);
    SoundStream* first = open(good);
    SoundStream* second = open(good, kSoundLoopNormal | kSound16Bits | kSoundMono | kSoundSigned);
    ASSERT_EQ(soundStreamPlay(kSoundFreeChannel, first), 0);
    failsWith(soundStreamPlay(kSoundFreeChannel, second) < 0, kSoundErrorChannelAlloc);
    failsWith(soundStreamPlay(0, first) < 0, kSoundErrorPlay);
}

// On the silent output the play time is the monotonic time since the play
// call. A looped stream counts on past its length, a stream played once stops
// there. The spectrum is zero while nothing plays or the analyser is off;
// stereo is folded to mono: two tones at half height each, from a 22050 Hz
// file whose tone reaches bin 40 only through resampling. A module is heard.
TEST_F(SoundTest, SilentOutputRunsInRealTimeLoopsAndShowsTheSpectrum) {
    ASSERT_TRUE(soundInit(kRate, 16, 0));
    EXPECT_STREQ(soundOutputName(), "silent");
    const std::vector<float> zeros(kSoundSpectrumSize, 0.0f);
    auto values = [] { return std::vector<float>(soundGetSpectrum(), soundGetSpectrum() + 512); };
    EXPECT_EQ(values(), zeros);
    const Tone pair{SF_FORMAT_WAV | SF_FORMAT_FLOAT, 22050, 2, 0.3, 3 * kToneHz};
    SoundStream* looped = open(tone("looped.wav", pair));
    SoundStream* once = open(tone("once.flac", {.seconds = 0.3, .amplitude = 0}), kSoundLoopOff);
    EXPECT_EQ(soundStreamGetTime(looped), 0);
    const auto beforePlay = Clock::now();
    ASSERT_GE(soundStreamPlay(kSoundFreeChannel, looped), 0);
    ASSERT_GE(soundStreamPlay(kSoundFreeChannel, once), 0);
    const int64_t mixedBefore = soundOutputFramesMixed();
    const auto afterPlay = Clock::now();
    watchClock(looped, beforePlay, afterPlay, 500, true);
    // It mixes in real time too (from a block ahead), or what is heard lags.
    EXPECT_GT(soundOutputFramesMixed() - mixedBefore, 0.75 * msSince(afterPlay) * kRate / 1000);
    EXPECT_GT(soundStreamGetTime(looped), 400);
    EXPECT_EQ(soundStreamGetTime(once), 300);
    EXPECT_EQ(values(), zeros);

    soundDspSetActive(soundGetSpectrumUnit(), true);
    auto halves = [](const float* v) {
        return std::abs(v[kToneBin] - 0.5f) < 0.03f && std::abs(v[3 * kToneBin] - 0.5f) < 0.03f;
    };
    EXPECT_TRUE(halves(spectrumWhen(halves).data()));
    soundStreamClose(looped);
    soundStreamClose(once);
    EXPECT_EQ(values(), zeros);
    ASSERT_GE(soundStreamPlay(kSoundFreeChannel, open(module())), 0);
    auto audible = [](const float* v) { return *std::max_element(v, v + 512) > 0.01f; };
    EXPECT_TRUE(audible(spectrumWhen(audible).data()));
}

// SDL's disk driver stands in for a sound card. Its streams normally run on
// the monotonic clock, and forced to follow the device they still never step
// back and never run ahead of what it has taken. It writes what it is given:
// the tone arrives intact, the same on both sides.
TEST_F(SoundTest, DeviceOutputThroughSdl) {
    const std::string raw = dir + "/out.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    const std::string sine = tone("sine.wav", {.seconds = 0.5});
    for (const bool force : {true, false}) {
        soundForceDeviceClock(force);
        ASSERT_TRUE(soundSetOutput(kSoundOutputDevice));
        ASSERT_TRUE(soundInit(kRate, 16, 0)) << soundGetErrorDetail();
        EXPECT_STREQ(soundOutputName(), "disk");
        SoundStream* stream = open(sine, kSoundLoopOff);
        const auto beforePlay = Clock::now();
        ASSERT_GE(soundStreamPlay(kSoundFreeChannel, stream), 0);
        watchClock(stream, beforePlay, beforePlay, 500, false);
        while (soundStreamGetTime(stream) < 500 && msSince(beforePlay) < 10000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        soundClose();
    }
    std::ifstream in(raw, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<float> stereo(bytes.size() / sizeof(float));
    std::memcpy(stereo.data(), bytes.data(), stereo.size() * sizeof(float));
    const auto first = std::find_if(stereo.begin(), stereo.end(), [](float s) { return s != 0; });
    const size_t begin = size_t(first - stereo.begin()) / 2;
    ASSERT_GE(stereo.size() / 2, begin + kSpectrumWindow) << "too little was written";
    float mono[kSpectrumWindow], magnitudes[kSpectrumBins];
    for (size_t i = 0; i < kSpectrumWindow; ++i) {
        EXPECT_EQ(stereo[(begin + i) * 2], stereo[(begin + i) * 2 + 1]);
        mono[i] = stereo[(begin + i) * 2];
    }
    analyseSpectrum(*createSpectrumAnalyser(), mono, magnitudes);
    EXPECT_EQ(std::max_element(magnitudes, magnitudes + kSpectrumBins) - magnitudes, kToneBin);

    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_TRUE(soundDeviceRequested());
    EXPECT_FALSE(soundInit(kRate, 16, 0));
    EXPECT_EQ(soundGetError(), kSoundErrorInit);
}

TEST(SpectrumAnalyser, FullScaleSinePeaksAtOneInItsBin) {
    float samples[kSpectrumWindow], magnitudes[kSpectrumBins];
    for (int i = 0; i < kSpectrumWindow; ++i) {
        samples[i] = float(std::sin(2 * std::numbers::pi * kToneBin * i / kSpectrumWindow + 0.3));
    }
    analyseSpectrum(*createSpectrumAnalyser(), samples, magnitudes);
    EXPECT_NEAR(magnitudes[kToneBin], 1.0f, 1e-4f);
    // The Hann window spreads half into each neighbour and nothing further.
    EXPECT_NEAR(magnitudes[kToneBin - 1], 0.5f, 1e-4f);
    EXPECT_NEAR(magnitudes[kToneBin + 1], 0.5f, 1e-4f);
    EXPECT_LT(*std::max_element(magnitudes + kToneBin + 2, magnitudes + kSpectrumBins), 1e-4f);
    std::fill(std::begin(samples), std::end(samples), 0.0f);
    analyseSpectrum(*createSpectrumAnalyser(), samples, magnitudes);
    EXPECT_EQ(*std::max_element(std::begin(magnitudes), std::end(magnitudes)), 0.0f);
}

// The play clock against a simulated device whose reports come late and
// irregularly, and whose speed differs from the monotonic clock's: the clock
// must never step back, stay smooth between frames and settle onto the device.
TEST(PlayClock, FollowsAFastJitteryDeviceSmoothly) {
    const struct {
        const char* name;
        double speed, periodMs, lateMs, frameMs; // speed: device ms per monotonic ms
    } cases[] = {{"steady", 1.0, 23.22, 0, 2},
                 {"fast dummy", 1.006, 23.22, 3, 2},
                 {"slow card, late callbacks", 0.999, 10.0, 8, 16.7},
                 {"large periods, slow frames", 1.002, 85.0, 20, 200}};
    for (const auto& c : cases) {
        PlayClock clock;
        uint32_t seed = 12345;
        double dueMs = 0, nextMs = 0, lastTime = 0, worstStepMs = 0, errorMs = 0;
        bool backwards = false;
        for (double wall = 0; wall < 30000; wall += c.frameMs) {
            // The device calls back every period plus a delay below lateMs;
            // the frame that follows reports the latest callback.
            std::optional<double> heardMs;
            int64_t atNs = 0;
            while (dueMs <= wall) {
                heardMs = dueMs * c.speed;
                atNs = int64_t(dueMs * kNsPerMs);
                nextMs += c.periodMs / c.speed;
                seed = seed * 1664525u + 1013904223u;
                dueMs = nextMs + c.lateMs * double(seed >> 8) / double(1u << 24);
            }
            if (heardMs) clockReport(clock, *heardMs, atNs);
            const double time = clockTime(clock, int64_t(wall * kNsPerMs), 1e12);
            backwards |= time < lastTime;
            if (wall > 3000)
                worstStepMs = std::max(worstStepMs, std::abs(time - lastTime - c.frameMs));
            errorMs = time - wall * c.speed;
            lastTime = time;
        }
        EXPECT_FALSE(backwards) << c.name;
        // The reports lag by up to the callback delay; the clock sits within
        // that of the device once settled, and a frame's step differs from
        // the wall's by a small fraction of it.
        EXPECT_LT(std::abs(errorMs), c.lateMs + 2) << c.name;
        EXPECT_LT(worstStepMs, 0.05 * c.frameMs + 0.01) << c.name;
    }
}

TEST(PlayClock, StartsAtZeroHoldsAtTheLimitAndJumpsAfterAStall) {
    PlayClock clock;
    EXPECT_EQ(clockTime(clock, 5 * kNsPerMs, 1e12), 0);
    clockReport(clock, -40, 0); // the first sound is still on its way
    EXPECT_EQ(clockTime(clock, 20 * kNsPerMs, 1e12), 0);
    EXPECT_NEAR(clockTime(clock, 100 * kNsPerMs, 1e12), 60, 1e-9);
    // Nothing beyond what the device has been given, and no step back after.
    EXPECT_EQ(clockTime(clock, 200 * kNsPerMs, 90), 90);
    EXPECT_EQ(clockTime(clock, 210 * kNsPerMs, 80), 90);
    // The device leaps ahead (it stalled the reader): the clock jumps too.
    clockReport(clock, 5000, 300 * kNsPerMs);
    EXPECT_NEAR(clockTime(clock, 300 * kNsPerMs, 1e12), 5000, 1e-9);
}

// The music module as the show calls it. Without music the clock starts
// with the first frame, pauses and seeks, and the spectrum is silent. Music
// off needs no audio device: a driver that does not exist is never asked.
// The end time 0 becomes the stream's length.
TEST_F(SoundTest, MusicOffPlaysSilentlyWithoutAnyDevice) {
    float values[kMusicSpectrumSize];
    std::fill(std::begin(values), std::end(values), 1.0f);
    enableSpectrum();
    readSpectrum(values);
    EXPECT_EQ(*std::max_element(std::begin(values), std::end(values)), 0.0f);
    int32_t first = musicTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_GE(musicTime(), first + 30);
    pauseMusic(true);
    seekMusic(5000);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_TRUE(musicPaused() && musicTime() == 5000);
    pauseMusic(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_TRUE(!musicPaused() && musicTime() >= 5030);

    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    music.musicFile = tone("tune.wav", {.seconds = 1.25});
    const MusicError error = startMusic(false, music);
    ASSERT_TRUE(error.ok()) << error.message << ": " << error.detail;
    EXPECT_EQ(music.musicEnd, 1250);
    first = musicTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GE(musicTime(), first + 50);
    for (const auto start = Clock::now(); values[kToneBin] < 0.5f && msSince(start) < 5000;) {
        readSpectrum(values);
    }
    EXPECT_GT(values[kToneBin], 0.5f);
    seekMusic(100000);
    EXPECT_GE(musicTime(), 100000);
    stopMusic();
}

// One value per step of the wave the live mode decodes once: the loud half
// 1, the quiet half a quarter (RMS of the mono mix), the last step cut short
// by the limit; silence all zero; the byte offset used, and a bad one an
// error.
TEST_F(SoundTest, MusicLoudnessPerStep) {
    MusicWave wave;
    music.musicFile = tone("silence.wav", {.seconds = 0.3, .amplitude = 0});
    ASSERT_EQ(decodeMusicWave(music, 60000, wave), "");
    EXPECT_EQ(waveLoudness(wave, 100), std::vector<float>(3, 0.0f));
    music.musicFile = tone("halves.wav", {.seconds = 1, .laterGain = 0.25});
    const std::vector<float> expected{1, 1, 1, 1, 1, 0.25, 0.25, 0.25};
    ASSERT_EQ(decodeMusicWave(music, 750, wave), "");
    EXPECT_THAT(waveLoudness(wave, 100), testing::Pointwise(testing::FloatNear(0.01f), expected));
    music.musicStart = 1 << 20;
    EXPECT_EQ(decodeMusicWave(music, 750, wave).rfind("FMOD: An invalid parameter", 0), 0u);
}

// The spectrum frames drawn apart from the music's playing hear: the last
// 1024 frames before the play time, both sides folded to mono as the output
// folds them, silence before play time 0, the pass going round again.
TEST_F(SoundTest, MusicSpectrumAtAPlayTimeIsTheLastWindowHeard) {
    constexpr int kRightBin = 20;
    // Left at bin 40, right at bin 20, half scale, for half a second; then silence.
    music.musicFile = tone("halves.wav", {.channels = 2,
                                          .rightHz = kRightBin * double(kRate) / kSpectrumWindow,
                                          .amplitude = 0.5,
                                          .laterGain = 0});
    MusicWave wave;
    ASSERT_EQ(decodeMusicWave(music, 2000, wave), "");
    MusicSpectrum heard = makeMusicSpectrum(std::make_shared<const MusicWave>(std::move(wave)));
    auto at = [&](int32_t ms) {
        const float* values = spectrumAt(heard, ms);
        return std::vector<float>(values, values + kSpectrumBins);
    };
    auto loudest = [](const std::vector<float>& values) {
        return *std::max_element(values.begin(), values.end());
    };
    const std::vector<float> both = at(300);
    EXPECT_NEAR(both[kToneBin], 0.25f, 1e-3f);
    EXPECT_NEAR(both[kRightBin], 0.25f, 1e-3f);
    EXPECT_LT(both[(kToneBin + kRightBin) / 2], 1e-3f);
    // At 12 ms the window holds 529 frames of the music after silence.
    EXPECT_EQ(loudest(at(0)), 0.0f);
    EXPECT_GT(at(12)[kToneBin], 0.05f);
    // The window ends at the time: at 523 ms ten frames of the tone remain, at 524 ms none.
    EXPECT_GT(loudest(at(523)), 0.0f);
    EXPECT_EQ(loudest(at(524)), 0.0f);
    EXPECT_EQ(at(1300), both); // a second on, the pass again
}

TEST_F(SoundTest, MusicFailuresCarryTheTextOfTheirCode) {
    std::ofstream(dir + "/words.ogg") << "nothing to hear here";
    const struct {
        const char *file, *driver, *message;
    } cases[] = {{"missing.ogg", nullptr, "File not found"},
                 {"words.ogg", nullptr, "Unknown file format"},
                 {"words.ogg", "no-such-driver", "Error initializing output device"}};
    for (const auto& c : cases) {
        c.driver ? setenv("SDL_AUDIODRIVER", c.driver, 1) : unsetenv("SDL_AUDIODRIVER");
        music.musicFile = dir + "/" + c.file;
        const MusicError error = startMusic(c.driver != nullptr, music);
        EXPECT_EQ(error.module, "FMOD");
        EXPECT_EQ(error.message, c.message);
        EXPECT_FALSE(error.detail.empty()) << c.message;
        soundClose();
    }
    for (int code : {19, -1}) EXPECT_STREQ(fmodErrorText(code), "Unknown error");
}

// A seek lands where decoding from the start arrives: to the frame for
// Vorbis and modules, within a fraction of a frame for a file at another
// rate (a frame off would differ by 0.25 at this tone); targets beyond one
// pass wrap around.
TEST_F(SoundTest, DecoderSeeksLandWhereDecodingFromTheStartArrives) {
    const std::pair<std::string, float> cases[] = {
        {tone("a.ogg", {.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS, .seconds = 1.5}), 1e-6f},
        {tone("b.flac", {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 1, 1.5}), 0.1f},
        {module(), 1e-3f}};
    for (const auto& [path, tolerance] : cases) {
        for (const int ms : {1240, 16600}) { // the second beyond the end of each file
            DecoderOpening start = openSoundDecoder(path.c_str(), 0, 0, kRate, true),
                           moved = openSoundDecoder(path.c_str(), 0, 0, kRate, true);
            const size_t at = size_t(ms) * kRate / 1000, frames = 1024;
            std::vector<float> whole((at + frames) * 2), after(frames * 2);
            ASSERT_EQ(decodeFrames(*start.decoder, whole.data(), at + frames), at + frames);
            ASSERT_TRUE(decoderSeek(*moved.decoder, ms));
            ASSERT_EQ(decodeFrames(*moved.decoder, after.data(), frames), frames);
            for (size_t i = 128; i < after.size(); ++i)
                ASSERT_NEAR(after[i], whole[at * 2 + i], tolerance) << path << " at " << ms;
        }
    }
}

// Seeks, pauses and resumes on the silent output and on a device's clock: the
// time reads the target at once and runs on as the new sound is heard, never
// stepping back in between; paused, it stands still and nothing is heard.
// The file is one tone for 2 s and another for 2 s (at 22050 Hz, so it goes
// through the resampler): after a seek the spectrum peaks at the target's.
TEST_F(SoundTest, SeeksAndPausesMoveTheClockAndTheSound) {
    const Tone halves{SF_FORMAT_OGG | SF_FORMAT_VORBIS, 22050, 1, 4, kToneHz, 1, 3 * kToneHz};
    const std::string ogg = tone("halves.ogg", halves), mod = module();
    setenv("SDL_AUDIODRIVER", "disk", 1); // for the device; the silent output needs none
    setenv("SDL_DISKAUDIOFILE", (dir + "/out.raw").c_str(), 1);
    soundDspSetActive(soundGetSpectrumUnit(), true);
    const struct {
        const std::string& file;
        bool device;
        std::vector<std::pair<int32_t, int>> seeks; // target, loudest bin there (0: any)
    } cases[] = {{ogg, false, {{2500, 3 * kToneBin}, {9000, kToneBin}, {6100, 3 * kToneBin}}},
                 {ogg, true, {{2500, 3 * kToneBin}, {1200, kToneBin}}},
                 {mod, false, {{5000, 0}, {2 * kModuleLengthMs + 300, 0}, {100, 0}}}};
    for (const auto& c : cases) {
        soundForceDeviceClock(c.device);
        ASSERT_TRUE(soundSetOutput(c.device ? kSoundOutputDevice : kSoundOutputNoSound));
        ASSERT_TRUE(soundInit(kRate, 16, 0)) << soundGetErrorDetail();
        SoundStream* stream = open(c.file);
        ASSERT_GE(soundStreamPlay(kSoundFreeChannel, stream), 0);
        // A seek (ms >= 0) while playing or paused, or a pause alone.
        auto move = [&](int32_t ms, bool pause, int bin) {
            ASSERT_TRUE(soundStreamSetPaused(stream, pause));
            auto before = Clock::now();
            EXPECT_TRUE(ms < 0 || soundStreamSetTime(stream, ms));
            const int32_t origin = ms >= 0 ? ms : soundStreamGetTime(stream);
            if (pause) {
                awaitMixed(4096);
                EXPECT_EQ(soundStreamGetTime(stream), origin);
                EXPECT_LT(soundGetSpectrum()[kToneBin] + soundGetSpectrum()[3 * kToneBin], 0.01f);
                before = Clock::now();
                ASSERT_TRUE(soundStreamSetPaused(stream, false));
            }
            watchClock(stream, before, Clock::now(), 60, !c.device, origin);
            awaitMixed(4096);
            const float* spectrum = soundGetSpectrum();
            EXPECT_TRUE(!bin || std::max_element(spectrum, spectrum + 512) == spectrum + bin)
                << c.file << " at " << ms;
        };
        for (const auto& [ms, bin] : c.seeks) move(ms, false, bin);
        move(-1, true, c.seeks.back().second);                     // resumes where it paused
        move(c.seeks.front().first, true, c.seeks.front().second); // paused, then moved
        soundClose();
    }
}
