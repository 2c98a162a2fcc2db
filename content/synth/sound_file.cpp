// Writing tracks through libsndfile.
#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <functional>

#include "content/synth/ogg_pages.h"
#include "content/synth/synth.h"

namespace synth {

namespace {

constexpr int32_t kChannels = 2;
constexpr size_t kChunkFrames = 65536;
// Any fixed number will do: the file holds one stream.
constexpr uint32_t kOggSerial = 0x1DA40057u;

std::string writeSoundFile(const std::string& path, const std::vector<float>& samples, int32_t rate,
                           int32_t format, const double* quality,
                           const std::function<void(int64_t)>& waitFor = {}) {
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
        if (waitFor) waitFor(done + chunk);
        if (sf_writef_float(file, samples.data() + done * kChannels, chunk) != chunk)
            trouble = path + ": " + sf_strerror(file);
        done += chunk;
    }
    if (sf_close(file) != 0 && trouble.empty()) trouble = path + ": could not finish the file";
    return trouble;
}

// The extension after the last dot of the file name, lower case; empty when none.
std::string extension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

} // namespace

std::string writeOggVorbis(const std::string& path, const std::vector<float>& samples, int32_t rate,
                           double quality, const std::function<void(int64_t)>& waitFor) {
    const double clamped = std::clamp(quality, 0.0, 1.0);
    const std::string trouble =
        writeSoundFile(path, samples, rate, SF_FORMAT_OGG | SF_FORMAT_VORBIS, &clamped, waitFor);
    if (!trouble.empty()) return trouble;
    // The encoder numbers the stream at random; a fixed number makes the
    // same track the same file.
    return setOggFileSerial(path, kOggSerial);
}

std::string writeWav(const std::string& path, const std::vector<float>& samples, int32_t rate) {
    return writeSoundFile(path, samples, rate, SF_FORMAT_WAV | SF_FORMAT_FLOAT, nullptr);
}

std::string checkTrackFileName(const std::string& path) {
    const std::string ext = extension(path);
    if (ext == ".ogg" || ext == ".wav" || ext == ".flac") return "";
    return path + ": cannot write " + (ext.empty() ? "a file without an extension" : ext) +
           "; name it .ogg (Ogg Vorbis), .wav (float WAV) or .flac";
}

std::string writeTrackFile(const std::string& path, const std::vector<float>& samples, int32_t rate,
                           double quality) {
    if (std::string trouble = checkTrackFileName(path); !trouble.empty()) return trouble;
    const std::string ext = extension(path);
    if (ext == ".wav") return writeWav(path, samples, rate);
    if (ext == ".flac")
        return writeSoundFile(path, samples, rate, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, nullptr);
    return writeOggVorbis(path, samples, rate, quality);
}

} // namespace synth
