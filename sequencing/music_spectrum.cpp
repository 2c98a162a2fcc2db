#include "sequencing/music_spectrum.h"

namespace {

constexpr int64_t kMsPerSecond = 1000;

float heardFrame(const MusicWave& wave, int64_t frame) {
    const auto size = int64_t(wave.mono.size());
    if (frame < 0 || size == 0) return 0.0f;
    if (frame < size) return wave.mono[size_t(frame)];
    return wave.wholePass ? wave.mono[size_t(frame % size)] : 0.0f;
}

} // namespace

MusicSpectrum makeMusicSpectrum(std::shared_ptr<const MusicWave> wave) {
    MusicSpectrum spectrum;
    spectrum.wave = std::move(wave);
    spectrum.analyser = createSpectrumAnalyser();
    return spectrum;
}

const float* spectrumAt(MusicSpectrum& spectrum, int32_t ms) {
    if (!spectrum.wave || !spectrum.analyser) {
        spectrum.values.fill(0.0f);
        return spectrum.values.data();
    }
    const int64_t end = int64_t(ms) * kMusicMixRate / kMsPerSecond;
    for (int i = 0; i < kSpectrumWindow; ++i) {
        spectrum.heard[size_t(i)] = heardFrame(*spectrum.wave, end - kSpectrumWindow + i);
    }
    analyseSpectrum(*spectrum.analyser, spectrum.heard.data(), spectrum.values.data());
    return spectrum.values.data();
}
