// The spectrum analyser: a 1024-point real transform of mono samples under a
// Hann window, giving 512 magnitudes scaled so that a full-scale sine
// centred on a bin reads 1.0 there. All memory is made at creation, so
// analysing allocates nothing.
//
//   SpectrumAnalyserPtr analyser = createSpectrumAnalyser();
//   analyseSpectrum(*analyser, samples, magnitudes); // 1024 in, 512 out
#pragma once

#include <memory>

inline constexpr int kSpectrumWindow = 1024; // samples per transform
inline constexpr int kSpectrumBins = kSpectrumWindow / 2;

struct SpectrumAnalyser;
struct SpectrumAnalyserDeleter {
    void operator()(SpectrumAnalyser* analyser) const;
};
using SpectrumAnalyserPtr = std::unique_ptr<SpectrumAnalyser, SpectrumAnalyserDeleter>;

// Null when the transform's memory cannot be had.
SpectrumAnalyserPtr createSpectrumAnalyser();

// Bin k of `magnitudes` is k * rate / 1024 Hz, for k = 0 to 511 (the
// Nyquist bin is left out).
void analyseSpectrum(SpectrumAnalyser& analyser, const float* samples, float* magnitudes);
