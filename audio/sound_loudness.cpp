#include "audio/sound_loudness.h"

#include <algorithm>
#include <cmath>

#include "audio/sound.h"
#include "audio/sound_decoder.h"

namespace {

constexpr int kStereo = 2;
constexpr size_t kChunkFrames = 4096;
constexpr int64_t kMsPerSecond = 1000;
constexpr bool kOnePass = false;
constexpr int64_t kWholeFile = 0;

} // namespace

int32_t soundFileLoudness(const char* name, int64_t offset, int32_t rate, int32_t stepMs,
                          int32_t maxMs, std::vector<float>& values, std::string& detail) {
    values.clear();
    if (stepMs <= 0 || maxMs < 0 || rate <= 0) {
        detail = std::string(name ? name : "") + ": step, length or rate out of range";
        return kSoundErrorInvalidParam;
    }
    DecoderOpening opening = openSoundDecoder(name, offset, kWholeFile, rate, kOnePass);
    if (!opening.decoder) {
        detail = std::move(opening.detail);
        return opening.error;
    }
    // Step i covers frames [i * stepMs * rate / 1000, (i + 1) * ...): whole
    // frames, with no drift however many steps there are.
    const int64_t lastFrame = int64_t(maxMs) * rate / kMsPerSecond;
    auto stepEnd = [&](size_t step) {
        return std::min(int64_t(step + 1) * stepMs * rate / kMsPerSecond, lastFrame);
    };
    std::vector<float> chunk(kChunkFrames * kStereo);
    double sum = 0;
    int64_t frame = 0, stepFrames = 0, end = stepEnd(0);
    auto closeStep = [&] {
        values.push_back(float(std::sqrt(sum / double(stepFrames))));
        sum = 0;
        stepFrames = 0;
        end = stepEnd(values.size());
    };
    while (frame < lastFrame) {
        const auto wanted = size_t(std::min<int64_t>(kChunkFrames, lastFrame - frame));
        const size_t got = decodeFrames(*opening.decoder, chunk.data(), wanted);
        for (size_t f = 0; f < got; ++f) {
            const double mono = 0.5 * (double(chunk[f * kStereo]) + chunk[f * kStereo + 1]);
            sum += mono * mono;
            ++stepFrames;
            if (++frame == end) closeStep();
        }
        if (got < wanted) break;
    }
    if (stepFrames > 0) closeStep();
    const float loudest = values.empty() ? 0.0f : *std::max_element(values.begin(), values.end());
    if (loudest > 0) {
        for (float& value : values) value /= loudest;
    }
    return kSoundOk;
}
