#include "audio/sound_spectrum.h"

#include <array>
#include <cmath>
#include <kiss_fftr.h>
#include <numbers>

namespace {

// A sine of amplitude A centred on a bin gives A * N / 2 from the plain
// transform; the Hann window halves that (its mean is 1/2).
constexpr float kScale = 4.0f / kSpectrumWindow;

} // namespace

struct SpectrumAnalyser {
    kiss_fftr_cfg transform = nullptr;
    std::array<float, kSpectrumWindow> window{};
    std::array<float, kSpectrumWindow> windowed{};
    std::array<kiss_fft_cpx, kSpectrumBins + 1> bins{};
};

void SpectrumAnalyserDeleter::operator()(SpectrumAnalyser* analyser) const {
    if (analyser->transform) kiss_fftr_free(analyser->transform);
    delete analyser;
}

SpectrumAnalyserPtr createSpectrumAnalyser() {
    SpectrumAnalyserPtr analyser(new SpectrumAnalyser);
    analyser->transform = kiss_fftr_alloc(kSpectrumWindow, 0, nullptr, nullptr);
    if (!analyser->transform) return nullptr;
    // Periodic Hann: the window of a sequence that repeats, as a transform
    // assumes.
    for (int i = 0; i < kSpectrumWindow; ++i) {
        const double phase = 2 * std::numbers::pi * i / kSpectrumWindow;
        analyser->window[i] = float(0.5 - 0.5 * std::cos(phase));
    }
    return analyser;
}

void analyseSpectrum(SpectrumAnalyser& analyser, const float* samples, float* magnitudes) {
    for (int i = 0; i < kSpectrumWindow; ++i)
        analyser.windowed[i] = samples[i] * analyser.window[i];
    kiss_fftr(analyser.transform, analyser.windowed.data(), analyser.bins.data());
    for (int k = 0; k < kSpectrumBins; ++k) {
        magnitudes[k] = kScale * std::hypot(analyser.bins[k].r, analyser.bins[k].i);
    }
}
