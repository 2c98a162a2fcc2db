// Music files made by the tests: tones of known frequency in any format
// libsndfile writes, and a tiny tracker module.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numbers>
#include <sndfile.h>
#include <string>
#include <vector>

inline constexpr int kTestRate = 44100;
// Exactly 40 cycles in a 1024-sample window at 44100 Hz: bin 40.
inline constexpr int kToneBin = 40;
inline constexpr double kToneHz = kToneBin * double(kTestRate) / 1024;

struct Tone {
    int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    int rate = kTestRate;
    int channels = 1;
    double seconds = 1;
    double leftHz = kToneHz;  // every channel but the second
    double rightHz = kToneHz; // the second channel
    double amplitude = 1;     // 0: silence
};

// False when libsndfile cannot write that format here.
inline bool writeTone(const std::string& path, const Tone& tone) {
    SF_INFO info{};
    info.samplerate = tone.rate;
    info.channels = tone.channels;
    info.format = tone.format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    const auto frames = int64_t(tone.seconds * tone.rate);
    std::vector<float> samples(size_t(frames * tone.channels));
    for (int64_t f = 0; f < frames; ++f) {
        for (int c = 0; c < tone.channels; ++c) {
            const double hz = c == 1 ? tone.rightHz : tone.leftHz;
            samples[size_t(f * tone.channels + c)] =
                float(tone.amplitude * std::sin(2 * std::numbers::pi * hz * double(f) / tone.rate));
        }
    }
    const bool whole = sf_writef_float(file, samples.data(), frames) == frames;
    return sf_close(file) == 0 && whole;
}

// A four-channel module of one 64-row pattern at speed 6, 125 beats a
// minute (64 x 6 ticks of 20 ms: 7680 ms), a looped square wave struck on
// the first row.
inline constexpr int kModuleLengthMs = 7680;

inline void writeModule(const std::string& path) {
    constexpr int kSampleCount = 31, kSampleHeader = 30, kRows = 64, kChannels = 4;
    constexpr int kWaveWords = 32, kPeriod = 428;
    std::vector<uint8_t> bytes(20, 0); // title
    for (int s = 0; s < kSampleCount; ++s) {
        uint8_t header[kSampleHeader] = {};
        if (s == 0) {
            header[23] = kWaveWords; // length in words, big-endian
            header[25] = 64;         // volume
            header[29] = kWaveWords; // repeat length: loop the whole wave
        } else {
            header[29] = 1; // no loop
        }
        bytes.insert(bytes.end(), header, header + kSampleHeader);
    }
    bytes.push_back(1);   // one position in the song
    bytes.push_back(127); // restart byte
    bytes.resize(bytes.size() + 128, 0);
    for (char c : std::string("M.K.")) bytes.push_back(uint8_t(c));
    std::vector<uint8_t> pattern(kRows * kChannels * 4, 0);
    pattern[0] = kPeriod >> 8; // sample 1's high bits (0) and the period
    pattern[1] = kPeriod & 0xFF;
    pattern[2] = 1 << 4; // sample 1, no effect
    bytes.insert(bytes.end(), pattern.begin(), pattern.end());
    for (int i = 0; i < kWaveWords * 2; ++i) bytes.push_back(i < kWaveWords ? 100 : 156);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string makeTestFolder() {
    char pattern[] = "/tmp/music_test_XXXXXX";
    return mkdtemp(pattern) ? pattern : "";
}

// Sets an environment variable for a scope, restoring it afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

  private:
    std::string name_, old_;
    bool had_ = false;
};
