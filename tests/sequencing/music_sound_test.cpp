// The sound layer on generated files: formats and lengths, offsets, every
// error it reports, the clock on the silent output and on SDL's dummy
// driver, looping, and the spectrum of what plays. Timing checks use bounds
// that hold however loaded the machine is.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "music_files.h"
#include "sequencing/sound.h"
#include "sequencing/sound_spectrum.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class SoundTest : public ::testing::Test {
  protected:
    std::string dir;

    void SetUp() override {
        dir = makeTestFolder();
        ASSERT_FALSE(dir.empty());
        soundSetOutput(kSoundOutputNoSound);
        soundDspSetActive(soundGetSpectrumUnit(), false);
        soundForceDeviceClock(false);
    }
    void TearDown() override {
        soundClose();
        std::filesystem::remove_all(dir);
    }

    std::string tone(const std::string& name, const Tone& tone) {
        const std::string path = dir + "/" + name;
        EXPECT_TRUE(writeTone(path, tone)) << name;
        return path;
    }

    // Polls the spectrum until `ready` accepts it or five seconds pass: the
    // output thread may start late on a busy machine, and the window still
    // holds earlier sound for a moment after a stream starts.
    std::vector<float> spectrumWhen(bool (*ready)(const float*)) {
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        const float* values = soundGetSpectrum();
        while (!ready(values) && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            values = soundGetSpectrum();
        }
        return std::vector<float>(values, values + kSoundSpectrumSize);
    }
};

bool near(float value, float expected) {
    return std::abs(value - expected) < 0.03f;
}

int peakBin(const std::vector<float>& values) {
    return int(std::max_element(values.begin(), values.end()) - values.begin());
}

} // namespace

TEST_F(SoundTest, OpensEachFormatWithItsLength) {
    ASSERT_TRUE(soundInit(kTestRate, 16, 0));
    struct Case {
        const char* name;
        Tone tone;
        int lengthMs;
    } cases[] = {
        {"mono.wav", {.seconds = 1}, 1000},
        {"stereo48k.flac",
         {.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16,
          .rate = 48000,
          .channels = 2,
          .seconds = 1.5},
         1500},
        {"short.ogg", {.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS, .seconds = 0.5}, 500},
        {"tune.mp3", {.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, .seconds = 2}, 2000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir + "/" + c.name;
        if (!writeTone(path, c.tone)) {
            ADD_FAILURE() << "libsndfile cannot write " << c.name << " here";
            continue;
        }
        SoundStream* stream = soundStreamOpen(path.c_str(), kSoundLoopNormal, 0, 0);
        ASSERT_NE(stream, nullptr) << soundGetErrorDetail();
        // Compressed formats may pad by an encoder frame.
        EXPECT_NEAR(soundStreamGetLengthMs(stream), c.lengthMs, 60);
        EXPECT_TRUE(soundStreamClose(stream));
    }
    writeModule(dir + "/tune.mod");
    SoundStream* module = soundStreamOpen((dir + "/tune.mod").c_str(), kSoundLoopNormal, 0, 0);
    ASSERT_NE(module, nullptr) << soundGetErrorDetail();
    EXPECT_EQ(soundStreamGetLengthMs(module), kModuleLengthMs);
}

// The audio file may sit inside a larger one: offset and length pick it out.
TEST_F(SoundTest, OffsetAndLengthFindAFileInsideAnother) {
    ASSERT_TRUE(soundInit(kTestRate, 16, 0));
    const std::string inner = tone("inner.wav", {.seconds = 0.25});
    const std::string wav = readAll(inner);
    const std::string junk(1000, 'x');
    const std::string outer = dir + "/data.bin";
    std::ofstream(outer, std::ios::binary) << junk << wav << junk;

    SoundStream* stream =
        soundStreamOpen(outer.c_str(), kSoundLoopNormal, int32_t(junk.size()), int32_t(wav.size()));
    ASSERT_NE(stream, nullptr) << soundGetErrorDetail();
    EXPECT_EQ(soundStreamGetLengthMs(stream), 250);
    EXPECT_EQ(soundStreamOpen(outer.c_str(), kSoundLoopNormal, 0, 0), nullptr);
    EXPECT_EQ(soundGetError(), kSoundErrorFileFormat);
}

TEST_F(SoundTest, ReportsEachErrorWithACode) {
    const std::string good = tone("good.wav", {.seconds = 0.2});
    EXPECT_EQ(soundStreamOpen(good.c_str(), 0, 0, 0), nullptr);
    EXPECT_EQ(soundGetError(), kSoundErrorUninitialised);
    EXPECT_FALSE(soundSetOutput(7));
    EXPECT_EQ(soundGetError(), kSoundErrorInvalidParam);
    EXPECT_FALSE(soundInit(kTestRate, 0, 0));
    EXPECT_EQ(soundGetError(), kSoundErrorInvalidParam);

    ASSERT_TRUE(soundInit(kTestRate, 1, 0));
    EXPECT_EQ(soundGetError(), kSoundOk);
    EXPECT_FALSE(soundInit(kTestRate, 1, 0));
    EXPECT_EQ(soundGetError(), kSoundErrorBusy);
    EXPECT_FALSE(soundSetOutput(kSoundOutputDevice));
    EXPECT_EQ(soundGetError(), kSoundErrorBusy);

    std::ofstream(dir + "/notes.txt") << "not music at all, just words\n";
    std::filesystem::create_directory(dir + "/folder.wav");
    struct Case {
        std::string name;
        uint32_t mode;
        int32_t offset, length;
        int32_t error;
    } cases[] = {
        {dir + "/missing.ogg", 0, 0, 0, kSoundErrorFileNotFound},
        {dir + "/notes.txt", 0, 0, 0, kSoundErrorFileFormat},
        {dir + "/folder.wav", 0, 0, 0, kSoundErrorFileLoad},
        {good, 0, -1, 0, kSoundErrorInvalidParam},
        {good, 0, 0, 1 << 30, kSoundErrorInvalidParam},
        {good, 0x4, 0, 0, kSoundErrorInvalidParam},
        {good, kSoundLoopOff | kSoundLoopNormal, 0, 0, kSoundErrorInvalidParam},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(soundStreamOpen(c.name.c_str(), c.mode, c.offset, c.length), nullptr);
        EXPECT_EQ(soundGetError(), c.error);
        EXPECT_NE(std::string(soundGetErrorDetail()), "");
    }

    SoundStream* first = soundStreamOpen(good.c_str(), kSoundLoopNormal, 0, 0);
    SoundStream* second = soundStreamOpen(good.c_str(), kSoundLoopNormal, 0, 0);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(soundStreamPlay(kSoundFreeChannel, first), 0);
    EXPECT_EQ(soundStreamPlay(kSoundFreeChannel, second), -1);
    EXPECT_EQ(soundGetError(), kSoundErrorChannelAlloc);
    EXPECT_EQ(soundStreamPlay(0, first), -1);
    EXPECT_EQ(soundGetError(), kSoundErrorPlay);
    EXPECT_EQ(soundStreamPlay(1, second), -1);
    EXPECT_EQ(soundGetError(), kSoundErrorInvalidParam);
    EXPECT_EQ(soundStreamPlay(kSoundFreeChannel, nullptr), -1);
    EXPECT_FALSE(soundStreamClose(nullptr));
    EXPECT_EQ(soundStreamGetTime(nullptr), 0);
    EXPECT_EQ(soundGetError(), kSoundErrorInvalidParam);
}

// On the silent output the play time is the monotonic time since the play
// call, so it lies between the times measured around that call.
TEST_F(SoundTest, SilentOutputRunsInRealTimeAndLoops) {
    ASSERT_TRUE(soundInit(kTestRate, 16, 0));
    EXPECT_STREQ(soundOutputName(), "silent");
    SoundStream* looped =
        soundStreamOpen(tone("looped.wav", {.seconds = 0.3}).c_str(), kSoundLoopNormal, 0, 0);
    SoundStream* once =
        soundStreamOpen(tone("once.wav", {.seconds = 0.3}).c_str(), kSoundLoopOff, 0, 0);
    ASSERT_TRUE(looped && once);
    EXPECT_EQ(soundStreamGetTime(looped), 0);

    const auto beforePlay = Clock::now();
    ASSERT_GE(soundStreamPlay(kSoundFreeChannel, looped), 0);
    ASSERT_GE(soundStreamPlay(kSoundFreeChannel, once), 0);
    const auto afterPlay = Clock::now();
    int32_t last = 0;
    while (msSince(afterPlay) < 700) {
        const double low = msSince(afterPlay);
        const int32_t time = soundStreamGetTime(looped);
        const double high = msSince(beforePlay);
        EXPECT_GE(time, last);
        EXPECT_GE(time, int32_t(low) - 1);
        EXPECT_LE(time, high + 1);
        last = time;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // The looped stream counts on past its length; the other stops there.
    EXPECT_GT(soundStreamGetTime(looped), 600);
    EXPECT_EQ(soundStreamGetTime(once), 300);
}

TEST(SpectrumAnalyser, FullScaleSinePeaksAtOneInItsBin) {
    SpectrumAnalyserPtr analyser = createSpectrumAnalyser();
    ASSERT_TRUE(analyser);
    float samples[kSpectrumWindow], magnitudes[kSpectrumBins];
    for (int i = 0; i < kSpectrumWindow; ++i) {
        samples[i] = float(std::sin(2 * std::numbers::pi * kToneBin * i / kSpectrumWindow + 0.3));
    }
    analyseSpectrum(*analyser, samples, magnitudes);
    EXPECT_NEAR(magnitudes[kToneBin], 1.0f, 1e-4f);
    // The Hann window spreads half into each neighbour and nothing further.
    EXPECT_NEAR(magnitudes[kToneBin - 1], 0.5f, 1e-4f);
    EXPECT_NEAR(magnitudes[kToneBin + 1], 0.5f, 1e-4f);
    EXPECT_LT(*std::max_element(magnitudes + kToneBin + 2, magnitudes + kSpectrumBins), 1e-4f);

    std::fill(std::begin(samples), std::end(samples), 0.0f);
    analyseSpectrum(*analyser, samples, magnitudes);
    EXPECT_EQ(*std::max_element(std::begin(magnitudes), std::end(magnitudes)), 0.0f);
}

TEST_F(SoundTest, SpectrumShowsWhatPlays) {
    ASSERT_TRUE(soundInit(kTestRate, 16, 0));
    const std::vector<float> zeros(kSoundSpectrumSize, 0.0f);
    auto values = [] { return std::vector<float>(soundGetSpectrum(), soundGetSpectrum() + 512); };
    EXPECT_EQ(values(), zeros); // nothing plays

    SoundStream* sine = soundStreamOpen(tone("sine.wav", {}).c_str(), kSoundLoopNormal, 0, 0);
    ASSERT_GE(soundStreamPlay(kSoundFreeChannel, sine), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(values(), zeros); // the analyser is off
    soundDspSetActive(soundGetSpectrumUnit(), true);
    std::vector<float> peak = spectrumWhen([](const float* v) { return near(v[kToneBin], 1); });
    EXPECT_EQ(peakBin(peak), kToneBin);
    EXPECT_NEAR(peak[kToneBin], 1.0f, 0.02f);
    soundStreamClose(sine);
    EXPECT_EQ(values(), zeros);

    // Left and right are folded to mono: two tones at half height each. The
    // second file is at 22050 Hz, so its tone reaches bin 40 only through
    // resampling.
    SoundStream* stereo =
        soundStreamOpen(tone("stereo22k.wav", {.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                               .rate = 22050,
                                               .channels = 2,
                                               .rightHz = 3 * kToneHz})
                            .c_str(),
                        kSoundLoopNormal, 0, 0);
    ASSERT_GE(soundStreamPlay(kSoundFreeChannel, stereo), 0) << soundGetErrorDetail();
    std::vector<float> pair = spectrumWhen(
        [](const float* v) { return near(v[kToneBin], 0.5f) && near(v[3 * kToneBin], 0.5f); });
    EXPECT_NEAR(pair[kToneBin], 0.5f, 0.03f);
    EXPECT_NEAR(pair[3 * kToneBin], 0.5f, 0.03f);
    soundStreamClose(stereo);

    SoundStream* quiet =
        soundStreamOpen(tone("silence.flac", {.amplitude = 0}).c_str(), kSoundLoopNormal, 0, 0);
    ASSERT_GE(soundStreamPlay(kSoundFreeChannel, quiet), 0);
    auto silent = [](const float* v) { return *std::max_element(v, v + 512) == 0.0f; };
    EXPECT_EQ(spectrumWhen(silent), zeros);
    soundStreamClose(quiet);

    writeModule(dir + "/tune.mod");
    SoundStream* module = soundStreamOpen((dir + "/tune.mod").c_str(), kSoundLoopNormal, 0, 0);
    ASSERT_GE(soundStreamPlay(kSoundFreeChannel, module), 0);
    auto audible = [](const float* v) { return *std::max_element(v, v + 512) > 0.01f; };
    const std::vector<float> notes = spectrumWhen(audible);
    EXPECT_TRUE(audible(notes.data()));
}

// SDL's dummy driver stands in for a sound card; its streams normally run
// on the monotonic clock, and forced to follow the device they still never
// step back and never run ahead of what the device has taken.
TEST_F(SoundTest, DeviceOutputThroughSdl) {
    const ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    const std::string sine = tone("sine.wav", {.seconds = 0.5});
    for (const bool force : {false, true}) {
        SCOPED_TRACE(force ? "following the device" : "monotonic");
        soundForceDeviceClock(force);
        ASSERT_TRUE(soundSetOutput(kSoundOutputDevice));
        ASSERT_TRUE(soundInit(kTestRate, 16, 0)) << soundGetErrorDetail();
        EXPECT_STREQ(soundOutputName(), "dummy");
        SoundStream* stream = soundStreamOpen(sine.c_str(), kSoundLoopNormal, 0, 0);
        const auto beforePlay = Clock::now();
        ASSERT_GE(soundStreamPlay(kSoundFreeChannel, stream), 0);
        int32_t last = 0;
        while (msSince(beforePlay) < 600 || last == 0) {
            const int32_t time = soundStreamGetTime(stream);
            EXPECT_GE(time, last);
            EXPECT_LE(time, msSince(beforePlay) + 1);
            last = time;
            ASSERT_LT(msSince(beforePlay), 10000) << "the clock does not start";
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        soundClose();
    }

    const ScopedEnv bogus("SDL_AUDIODRIVER", "no-such-driver");
    EXPECT_TRUE(soundDeviceRequested());
    EXPECT_FALSE(soundInit(kTestRate, 16, 0));
    EXPECT_EQ(soundGetError(), kSoundErrorInit);
    EXPECT_NE(std::string(soundGetErrorDetail()), "");
}

// SDL's disk driver writes what it is given: the tone arrives intact.
TEST_F(SoundTest, DiskDriverReceivesTheMusic) {
    const std::string raw = dir + "/out.raw";
    const ScopedEnv driver("SDL_AUDIODRIVER", "disk");
    const ScopedEnv file("SDL_DISKAUDIOFILE", raw.c_str());
    ASSERT_TRUE(soundSetOutput(kSoundOutputDevice));
    ASSERT_TRUE(soundInit(kTestRate, 16, 0)) << soundGetErrorDetail();
    SoundStream* stream =
        soundStreamOpen(tone("sine.wav", {.seconds = 0.5}).c_str(), kSoundLoopOff, 0, 0);
    ASSERT_GE(soundStreamPlay(kSoundFreeChannel, stream), 0);
    const auto start = Clock::now();
    while (soundStreamGetTime(stream) < 500 && msSince(start) < 10000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    soundClose();

    const std::string bytes = readAll(raw);
    std::vector<float> stereo(bytes.size() / sizeof(float));
    std::memcpy(stereo.data(), bytes.data(), stereo.size() * sizeof(float));
    const auto first = std::find_if(stereo.begin(), stereo.end(), [](float s) { return s != 0; });
    const size_t begin = size_t(first - stereo.begin()) / 2;
    ASSERT_GE(stereo.size() / 2, begin + kSpectrumWindow) << "too little was written";
    float mono[kSpectrumWindow], magnitudes[kSpectrumBins];
    for (int i = 0; i < kSpectrumWindow; ++i) {
        EXPECT_EQ(stereo[(begin + i) * 2], stereo[(begin + i) * 2 + 1]);
        mono[i] = stereo[(begin + i) * 2];
    }
    analyseSpectrum(*createSpectrumAnalyser(), mono, magnitudes);
    EXPECT_EQ(std::max_element(magnitudes, magnitudes + kSpectrumBins) - magnitudes, kToneBin);
}
