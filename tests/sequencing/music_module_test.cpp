// The music module: the calls the show makes, in its order, with the error
// texts it reports and the clock of a show without music.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "music_files.h"
#include "sequencing/music.h"
#include "sequencing/sound.h"

TEST(MusicModule, ErrorTexts) {
    EXPECT_STREQ(fmodErrorText(0), "No errors");
    EXPECT_STREQ(fmodErrorText(1),
                 "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first");
    EXPECT_STREQ(fmodErrorText(3), "Error initializing output device");
    EXPECT_STREQ(fmodErrorText(9), "File not found");
    EXPECT_STREQ(fmodErrorText(10), "Unknown file format");
    EXPECT_STREQ(fmodErrorText(18), "Required Mediaplayer codec is not installed");
    EXPECT_STREQ(fmodErrorText(19), "Unknown error");
    EXPECT_STREQ(fmodErrorText(-1), "Unknown error");
}

class MusicTest : public ::testing::Test {
  protected:
    std::string dir = makeTestFolder();
    MusicSettings music;

    void TearDown() override {
        soundClose(); // also after a failed start, which leaves the output running
        std::filesystem::remove_all(dir);
    }
};

// Music off needs no audio device at all: a driver that does not exist is
// never asked. The end time 0 becomes the stream's length.
TEST_F(MusicTest, MusicOffPlaysSilentlyWithoutAnyDevice) {
    const ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
    ASSERT_TRUE(writeTone(dir + "/tune.wav", {.seconds = 1.25}));
    music.musicFile = dir + "/tune.wav";
    const MusicError error = startMusic(false, music);
    ASSERT_TRUE(error.ok()) << error.message << ": " << error.detail;
    EXPECT_EQ(music.musicEnd, 1250);
    enableSpectrum();
    const int32_t first = musicTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GE(musicTime(), first + 50);
    float values[kMusicSpectrumSize];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        readSpectrum(values);
    } while (values[kToneBin] < 0.5f && std::chrono::steady_clock::now() < deadline);
    EXPECT_GT(values[kToneBin], 0.5f);
    stopMusic();
}

TEST_F(MusicTest, FailuresCarryTheTextOfTheirCode) {
    std::ofstream(dir + "/words.ogg") << "nothing to hear here";
    struct Case {
        const char* file;
        bool enabled;
        const char* driver;
        const char* message;
    } cases[] = {
        {"missing.ogg", false, nullptr, "File not found"},
        {"words.ogg", false, nullptr, "Unknown file format"},
        {"words.ogg", true, "no-such-driver", "Error initializing output device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const ScopedEnv driver("SDL_AUDIODRIVER", c.driver);
        music.musicFile = dir + "/" + c.file;
        const MusicError error = startMusic(c.enabled, music);
        EXPECT_EQ(error.module, "FMOD");
        EXPECT_EQ(error.message, c.message);
        EXPECT_FALSE(error.detail.empty());
        soundClose();
    }
}

// Without a music file the clock starts with the first frame and the
// spectrum is silent.
TEST_F(MusicTest, NoMusicRunsOnTheMonotonicClock) {
    enableSpectrum();
    const int32_t first = musicTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_GE(musicTime(), first + 30);
    float values[kMusicSpectrumSize];
    std::fill(std::begin(values), std::end(values), 1.0f);
    readSpectrum(values);
    EXPECT_EQ(*std::max_element(std::begin(values), std::end(values)), 0.0f);
}
