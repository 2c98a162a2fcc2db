// Writing tracks through libsndfile.
#include <sndfile.h>

#include <algorithm>

#include "tools/synth/ogg_pages.h"
#include "tools/synth/synth.h"

namespace synth {

namespace {

constexpr int32_t kChannels = 2;
constexpr size_t kChunkFrames = 65536;
// Any fixed number will do: the file holds one stream.
constexpr uint32_t kOggSerial = 0x1DA40057u;

std::string writeSoundFile(const std::string& path, const std::vector<float>& samples, int32_t rate,
                           int32_t format, const double* quality) {
    if (samples.size() % kChannels != 0) return path + ": stereo samples come in pairs";
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = kChannels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return path + ": " + sf_strerror(nullptr);
    std::string trouble;
    if (quality) {
        double value = *quality;
        if (!sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &value, sizeof value))
            trouble = path + ": the encoder refuses quality " + std::to_string(value);
    }
    const sf_count_t frames = sf_count_t(samples.size() / kChannels);
    for (sf_count_t done = 0; trouble.empty() && done < frames;) {
        const sf_count_t chunk = std::min<sf_count_t>(kChunkFrames, frames - done);
        if (sf_writef_float(file, samples.data() + done * kChannels, chunk) != chunk)
            trouble = path + ": " + sf_strerror(file);
        done += chunk;
    }
    if (sf_close(file) != 0 && trouble.empty()) trouble = path + ": could not finish the file";
    return trouble;
}

} // namespace

std::string writeOggVorbis(const std::string& path, const std::vector<float>& samples, int32_t rate,
                           double quality) {
    const double clamped = std::clamp(quality, 0.0, 1.0);
    const std::string trouble =
        writeSoundFile(path, samples, rate, SF_FORMAT_OGG | SF_FORMAT_VORBIS, &clamped);
    if (!trouble.empty()) return trouble;
    // The encoder numbers the stream at random; a fixed number makes the
    // same track the same file.
    return setOggFileSerial(path, kOggSerial);
}

std::string writeWav(const std::string& path, const std::vector<float>& samples, int32_t rate) {
    return writeSoundFile(path, samples, rate, SF_FORMAT_WAV | SF_FORMAT_FLOAT, nullptr);
}

} // namespace synth
