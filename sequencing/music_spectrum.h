// The music's spectrum at a play time, for frames drawn apart from its own
// playing (capture, the live mode's paused and sought frames): the values
// the sound layer's analysis would give had the output just played the
// music from play time 0 up to that time, so that a frame at a time looks
// the same however it was reached.
//
//   MusicSpectrum heard = makeMusicSpectrum(std::make_shared<const MusicWave>(wave));
//   showFrame(t, spectrumAt(heard, t), present);
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "audio/sound_spectrum.h"
#include "sequencing/music_wave.h"

// A wave and the analyser that reads it; its memory is made once.
struct MusicSpectrum {
    std::shared_ptr<const MusicWave> wave; // null: silence
    SpectrumAnalyserPtr analyser;
    std::array<float, kSpectrumWindow> window{}; // the frames last analysed
    std::array<float, kSpectrumBins> values{};
};

MusicSpectrum makeMusicSpectrum(std::shared_ptr<const MusicWave> wave);

// The 512 values at play time `ms`: the transform of the last 1024 frames
// heard before it (frames floor(ms x rate / 1000) - 1024 up to, not
// including, floor(ms x rate / 1000)). Before play time 0 there is silence,
// a whole pass goes round again, a cut wave is followed by silence. Valid
// until the next call on `music`.
const float* spectrumAt(MusicSpectrum& music, int32_t ms);
