// The tuned instruments share one voice: unison oscillators spread across
// the stereo field (filtered noise for the noise type), a sub sine, a
// resonant lowpass that an envelope opens at the start of each note, and
// an amplitude envelope. The types differ only in their starting settings.
#include <algorithm>
#include <cmath>
#include <vector>

#include "content/synth/dsp.h"
#include "content/synth/instruments.h"

namespace synth {

namespace {

// Filter and pitch settings are recomputed every this many samples.
constexpr int64_t kControlFrames = 32;
// The filter follows the keyboard by this share: an octave up opens it
// half an octave.
constexpr double kKeyTrack = 0.5;
constexpr int32_t kKeyTrackCentre = 60;
constexpr double kVibratoHz = 5.5;
constexpr double kVibratoOnsetSeconds = 0.35;
// A mono note cut by the next one fades out this fast instead of clicking.
constexpr double kCutFadeSeconds = 0.004;
constexpr double kSilence = 1e-4; // -80 dB
constexpr double kCentsPerOctave = 1200;
constexpr double kNoiseLevel = 0.5; // noise peaks higher than a saw of the same power

struct Unison {
    Oscillator oscillator;
    double cents = 0;
    double left = 1, right = 1;
};

std::vector<Unison> makeUnison(const Sound& sound, Noise& random) {
    const int32_t count = int32_t(sound.voices);
    std::vector<Unison> unison(static_cast<size_t>(count));
    const double gain = 1.0 / std::sqrt(double(count));
    for (int32_t k = 0; k < count; ++k) {
        // -1 .. 1 across the voices; a single voice sits in the middle.
        const double place = count > 1 ? 2.0 * k / (count - 1) - 1.0 : 0.0;
        Unison& voice = unison[size_t(k)];
        voice.cents = place * sound.detune / 2;
        const double angle = (place * sound.spread + 1.0) * kPi / 4;
        voice.left = gain * std::cos(angle) * std::numbers::sqrt2;
        voice.right = gain * std::sin(angle) * std::numbers::sqrt2;
        // Free-running phases, but seeded: the unison is wide and the
        // same every run.
        voice.oscillator.phase = random.unit();
    }
    return unison;
}

} // namespace

double CutoffRamp::at(int64_t frame) const {
    if (end <= start || frame >= end) return to;
    if (frame <= start) return from;
    // Sweeps move in octaves, so they sound even from one end to the other.
    const double share = double(frame - start) / double(end - start);
    return from * std::pow(to / from, share);
}

int64_t noteEnd(const Instrument& instrument, const NoteEvent& event, double rate) {
    // After the release, or where the next note cuts it off.
    const int64_t releaseFrames = int64_t(instrument.sound.release * rate * 4.0 / 3.0);
    const int64_t end = event.start + event.gate + releaseFrames;
    if (event.cut == kNoCut) return end;
    return std::min(end, event.cut + int64_t(kCutFadeSeconds * rate));
}

void renderNote(const Instrument& instrument, const NoteEvent& event, int32_t note, uint32_t seed,
                Bus bus) {
    const Sound& sound = instrument.sound;
    const double rate = bus.rate;
    if (event.start < 0 || event.start >= bus.frames()) return;
    Noise random(seed);
    std::vector<Unison> unison = makeUnison(sound, random);
    Oscillator sub;
    Envelope amplitude(sound.attack, sound.decay, sound.sustain, sound.release, rate);
    const double filterFactor = sixtyDbFactor(sound.decay, rate);
    Svf left, right;
    const bool noise = instrument.type == InstrumentType::Noise;
    const double baseHz = midiHz(note);
    const double keyOpen = std::exp2(kKeyTrack * (note - kKeyTrackCentre) / 12.0);

    const int64_t cutFrames = int64_t(kCutFadeSeconds * rate);
    const int64_t end = std::min(noteEnd(instrument, event, rate), bus.frames());

    double filterEnvelope = 1;
    const double velocity = event.velocity;
    for (int64_t block = event.start; block < end; block += kControlFrames) {
        const double seconds = double(block - event.start) / rate;
        const double onset = std::min(seconds / kVibratoOnsetSeconds, 1.0);
        const double vibrato = sound.vibrato * onset * std::sin(kTwoPi * kVibratoHz * seconds);
        for (Unison& voice : unison)
            voice.oscillator.step =
                baseHz * std::exp2((voice.cents + vibrato) / kCentsPerOctave) / rate;
        sub.step = baseHz / 2 / rate;
        const double base = event.ramp ? event.ramp->at(block) : sound.cutoff;
        const double cutoff = base * keyOpen * std::exp2(sound.envmod * filterEnvelope);
        left.tune(cutoff, sound.resonance, rate);
        right.tune(cutoff, sound.resonance, rate);

        const int64_t blockEnd = std::min(block + kControlFrames, end);
        for (int64_t frame = block; frame < blockEnd; ++frame) {
            if (frame == event.start + event.gate) amplitude.noteOff();
            double gain = amplitude.next() * velocity;
            if (event.cut != kNoCut && frame >= event.cut)
                gain *= std::max(0.0, 1.0 - double(frame - event.cut) / double(cutFrames));
            double inLeft = 0, inRight = 0;
            if (noise) {
                inLeft = random.next() * kNoiseLevel;
                inRight = random.next() * kNoiseLevel;
            } else {
                for (Unison& voice : unison) {
                    const double value = voice.oscillator.next(sound.shape);
                    inLeft += value * voice.left;
                    inRight += value * voice.right;
                }
            }
            const double low = sound.sub * std::sin(kTwoPi * sub.phase);
            sub.phase += sub.step;
            if (sub.phase >= 1.0) sub.phase -= 1.0;
            const double outLeft = (left.process(inLeft).low + low) * gain;
            bus.add(frame, outLeft, (right.process(inRight).low + low) * gain);
            filterEnvelope *= filterFactor;
        }
        if (amplitude.stage == Envelope::Stage::Release && amplitude.level < kSilence) break;
    }
}

} // namespace synth
