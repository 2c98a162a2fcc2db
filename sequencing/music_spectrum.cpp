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
    MusicSpectrum music;
    music.wave = std::move(wave);
    music.analyser = createSpectrumAnalyser();
    return music;
}

const float* spectrumAt(MusicSpectrum& music, int32_t ms) {
    if (!music.wave || !music.analyser) {
        music.values.fill(0.0f);
        return music.values.data();
    }
    const int64_t end = int64_t(ms) * kMusicMixRate / kMsPerSecond;
    for (int i = 0; i < kSpectrumWindow; ++i) {
        music.window[size_t(i)] = heardFrame(*music.wave, end - kSpectrumWindow + i);
    }
    analyseSpectrum(*music.analyser, music.window.data(), music.values.data());
    return music.values.data();
}
