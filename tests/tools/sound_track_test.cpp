// The capture tool's sound track: the script's music from a play time on,
// read at the script's byte offset, looping like the show's stream.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <vector>

#include "tools/sound_track.h"

namespace {

constexpr int kRate = kSoundTrackRate;
constexpr int kJunk = 37; // bytes in front of the audio, as in a packed data file

// Sample i of the test music: a saw that never repeats within a second, in
// steps a float holds exactly after scaling by 1 / 32768.
int16_t sawSample(int i) {
    return int16_t((i * 7) % 30011 - 15000);
}

// One second of mono 16-bit audio at the mixing rate behind kJunk bytes.
void writePackedMusic(const std::string& path) {
    std::vector<char> bytes(kJunk, 'x');
    auto u32 = [&](uint32_t v) {
        for (int s = 0; s < 32; s += 8) bytes.push_back(char(v >> s));
    };
    auto u16 = [&](uint16_t v) {
        bytes.push_back(char(v));
        bytes.push_back(char(v >> 8));
    };
    auto tag = [&](const char* t) { bytes.insert(bytes.end(), t, t + 4); };
    const uint32_t samples = kRate;
    tag("RIFF");
    u32(36 + samples * 2);
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(kRate);
    u32(kRate * 2);
    u16(2);
    u16(16);
    tag("data");
    u32(samples * 2);
    for (uint32_t i = 0; i < samples; ++i) u16(uint16_t(sawSample(int(i))));
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// The float samples of a track file (header: RIFF, fmt, fact, data).
std::vector<float> readTrack(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    constexpr size_t kHeader = 12 + 24 + 12 + 8;
    if (bytes.size() < kHeader) return {};
    std::vector<float> samples((bytes.size() - kHeader) / sizeof(float));
    std::memcpy(samples.data(), bytes.data() + kHeader, samples.size() * sizeof(float));
    return samples;
}

class SoundTrackTest : public testing::Test {
  protected:
    std::string dir, track;
    MusicSettings music;

    void SetUp() override {
        dir = testing::TempDir() + "sound_track_" + std::to_string(getpid());
        std::filesystem::create_directories(dir);
        writePackedMusic(dir + "/packed.dat");
        track = dir + "/track.wav";
        music.musicFile = dir + "/packed.dat";
        music.musicStart = kJunk;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
};

} // namespace

TEST_F(SoundTrackTest, StartsAtThePlayTimeAndLoops) {
    int64_t length = 0;
    ASSERT_EQ(musicLengthMs(music, length), "");
    EXPECT_EQ(length, 1000);

    // From 900 ms for 0.2 s: the last tenth of the music, then its start again.
    const int frames = kRate / 5;
    ASSERT_EQ(writeSoundTrack(music, 900, frames, track), "");
    const std::vector<float> samples = readTrack(track);
    ASSERT_EQ(samples.size(), size_t(frames) * 2);
    const int first = kRate * 9 / 10;
    for (int n = 0; n < frames; ++n) {
        const float expected = float(sawSample((first + n) % kRate)) / 32768.0f;
        ASSERT_EQ(samples[2 * n], expected) << n;     // left
        ASSERT_EQ(samples[2 * n + 1], expected) << n; // right: mono on both
    }

    // A header other programs read: 32-bit float stereo at the mixing rate.
    std::ifstream in(track, std::ios::binary);
    char header[56];
    in.read(header, sizeof header);
    EXPECT_EQ(std::string(header, 4), "RIFF");
    EXPECT_EQ(std::string(header + 8, 8), "WAVEfmt ");
    EXPECT_EQ(header[20], 3); // IEEE float
    EXPECT_EQ(header[22], 2); // channels
}

TEST_F(SoundTrackTest, MusicErrorsAreTheMusicModulesTexts) {
    music.musicFile = dir + "/missing.ogg";
    int64_t length = 0;
    EXPECT_EQ(musicLengthMs(music, length).rfind("FMOD: File not found (", 0), 0u);
    EXPECT_EQ(writeSoundTrack(music, 0, 100, track).rfind("FMOD: File not found (", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(track));
    // An offset beyond the file.
    music.musicFile = dir + "/packed.dat";
    music.musicStart = 1 << 30;
    EXPECT_NE(writeSoundTrack(music, 0, 100, track), "");
}
