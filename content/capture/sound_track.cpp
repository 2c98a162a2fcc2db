#include "content/capture/sound_track.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "sequencing/music_wave.h"

namespace {

constexpr int kStereo = 2;
constexpr int64_t kChunkFrames = 4096;
constexpr int64_t kMillisecondsPerSecond = 1000;
constexpr bool kLooping = true; // the show plays its music in a loop

// WAV layout: float samples (format 3) need a "fact" chunk with the frame count.
constexpr uint16_t kFloatFormat = 3;
constexpr uint16_t kBitsPerSample = 32;
constexpr uint32_t kBytesPerFrame = kStereo * sizeof(float);
constexpr uint32_t kFormatChunkSize = 16;
constexpr uint32_t kFactChunkSize = 4;
constexpr uint32_t kHeaderAfterRiffSize = 4 + (8 + kFormatChunkSize) + (8 + kFactChunkSize) + 8;
constexpr uint64_t kMaxRiffSize = UINT32_MAX;

void putU16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void putU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(value >> shift));
}

void putTag(std::vector<uint8_t>& out, const char* tag) {
    out.insert(out.end(), tag, tag + 4);
}

std::vector<uint8_t> wavHeader(uint32_t frames) {
    const uint32_t dataBytes = frames * kBytesPerFrame;
    std::vector<uint8_t> header;
    putTag(header, "RIFF");
    putU32(header, kHeaderAfterRiffSize + dataBytes);
    putTag(header, "WAVE");
    putTag(header, "fmt ");
    putU32(header, kFormatChunkSize);
    putU16(header, kFloatFormat);
    putU16(header, kStereo);
    putU32(header, kSoundTrackRate);
    putU32(header, kSoundTrackRate * kBytesPerFrame);
    putU16(header, kBytesPerFrame);
    putU16(header, kBitsPerSample);
    putTag(header, "fact");
    putU32(header, kFactChunkSize);
    putU32(header, frames);
    putTag(header, "data");
    putU32(header, dataBytes);
    return header;
}

// Samples as little-endian IEEE floats, whatever the machine's order.
void appendSamples(std::vector<uint8_t>& out, const float* samples, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &samples[i], sizeof bits);
        putU32(out, bits);
    }
}

} // namespace

std::string musicLengthMs(const MusicSettings& music, int64_t& lengthMs) {
    DecoderOpening opening = openMusicDecoder(music, kLooping);
    if (!opening.decoder) return musicDecoderError(opening);
    lengthMs = decoderLengthMs(*opening.decoder);
    return {};
}

std::string writeSoundTrack(const MusicSettings& music, int64_t fromMs, int64_t frames,
                            const std::string& wavFile) {
    if (fromMs < 0 || frames < 0 ||
        uint64_t(frames) * kBytesPerFrame + kHeaderAfterRiffSize > kMaxRiffSize) {
        return "the sound track is too long for a WAV file";
    }
    DecoderOpening opening = openMusicDecoder(music, kLooping);
    if (!opening.decoder) return musicDecoderError(opening);
    SoundDecoder& decoder = *opening.decoder;

    std::vector<float> chunk(kChunkFrames * kStereo);
    // Play time 0 is the start of the audio at the offset.
    for (int64_t skip = fromMs * kSoundTrackRate / kMillisecondsPerSecond; skip > 0;) {
        const int64_t want = std::min(skip, kChunkFrames);
        const size_t got = decodeFrames(decoder, chunk.data(), size_t(want));
        if (got == 0) break; // unreadable from here on: the rest is silence
        skip -= int64_t(got);
    }

    std::FILE* file = std::fopen(wavFile.c_str(), "wb");
    if (!file) return wavFile + ": cannot create: " + std::strerror(errno);
    std::vector<uint8_t> bytes = wavHeader(uint32_t(frames));
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    for (int64_t left = frames; written && left > 0;) {
        const int64_t want = std::min(left, kChunkFrames);
        const size_t got = decodeFrames(decoder, chunk.data(), size_t(want));
        // Silence where the file cannot be read on, so the track keeps its length.
        std::fill(chunk.begin() + ptrdiff_t(got * kStereo), chunk.begin() + want * kStereo, 0.0f);
        bytes.clear();
        appendSamples(bytes, chunk.data(), size_t(want * kStereo));
        written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        left -= want;
    }
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(wavFile.c_str());
        return wavFile + ": cannot write the sound track";
    }
    return {};
}
