#include "sequencing/music_wave.h"

#include <algorithm>
#include <cmath>

#include "sequencing/music.h"

namespace {

constexpr int kStereo = 2;
constexpr size_t kChunkFrames = 4096;
constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kWholeFile = 0; // length 0: from the offset to the end
constexpr bool kOnePass = false;
constexpr int64_t kMostReservedFrames = int64_t(kMusicMixRate) * 600;

} // namespace

DecoderOpening openMusicDecoder(const MusicSettings& music, bool loop) {
    return openSoundDecoder(music.musicFile.value_or("").c_str(), music.musicStart, kWholeFile,
                            kMusicMixRate, loop);
}

std::string musicDecoderError(const DecoderOpening& opening) {
    return std::string(kMusicModule) + ": " + fmodErrorText(opening.error) + " (" + opening.detail +
           ")";
}

std::string decodeMusicWave(const MusicSettings& music, int32_t untilMs, MusicWave& wave) {
    wave = MusicWave{};
    if (!music.musicFile) return {};
    DecoderOpening opening = openMusicDecoder(music, kOnePass);
    if (!opening.decoder) return musicDecoderError(opening);
    const int64_t until = int64_t(std::max(untilMs, 0)) * kMusicMixRate / kMsPerSecond;
    const int64_t pass = decoderLengthMs(*opening.decoder) * kMusicMixRate / kMsPerSecond;
    // A length a header claims is not trusted beyond a sane reservation.
    if (pass > 0) wave.mono.reserve(size_t(std::min({until, pass + 1, kMostReservedFrames})));
    std::vector<float> chunk(kChunkFrames * kStereo);
    while (int64_t(wave.mono.size()) < until) {
        const auto wanted =
            size_t(std::min<int64_t>(int64_t(kChunkFrames), until - int64_t(wave.mono.size())));
        const size_t got = decodeFrames(*opening.decoder, chunk.data(), wanted);
        for (size_t f = 0; f < got; ++f) {
            // The mixer's arithmetic, in floats: the same values to the bit.
            const float left = std::clamp(chunk[f * kStereo], -1.0f, 1.0f);
            const float right = std::clamp(chunk[f * kStereo + 1], -1.0f, 1.0f);
            wave.mono.push_back(0.5f * (left + right));
        }
        if (got < wanted) {
            wave.wholePass = true;
            break;
        }
    }
    return {};
}

std::vector<float> waveLoudness(const MusicWave& wave, int32_t stepMs) {
    std::vector<float> values;
    const auto frames = int64_t(wave.mono.size());
    // Step edges in whole frames from the start: no drift however long.
    auto stepStart = [&](int64_t step) { return step * stepMs * kMusicMixRate / kMsPerSecond; };
    for (int64_t step = 0; stepMs > 0 && stepStart(step) < frames; ++step) {
        const int64_t begin = stepStart(step), end = std::min(frames, stepStart(step + 1));
        double sum = 0;
        for (int64_t f = begin; f < end; ++f)
            sum += double(wave.mono[size_t(f)]) * wave.mono[size_t(f)];
        values.push_back(float(std::sqrt(sum / double(end - begin))));
    }
    const float loudest = values.empty() ? 0.0f : *std::max_element(values.begin(), values.end());
    if (loudest > 0) {
        for (float& value : values) value /= loudest;
    }
    return values;
}
