// Instrument types: their names in the score and the sounds they start from.
#include "content/synth/score_types.h"

#include <array>

namespace synth {

namespace {

struct TypeEntry {
    InstrumentType type;
    std::string_view name;
};

constexpr std::array<TypeEntry, 9> kTypes{{
    {InstrumentType::Kick, "kick"},
    {InstrumentType::Snare, "snare"},
    {InstrumentType::Clap, "clap"},
    {InstrumentType::Hat, "hat"},
    {InstrumentType::Bass, "bass"},
    {InstrumentType::Pad, "pad"},
    {InstrumentType::Stab, "stab"},
    {InstrumentType::Lead, "lead"},
    {InstrumentType::Noise, "noise"},
}};

Sound drum(double tune, double decay, double tone) {
    Sound sound;
    sound.tune = tune;
    sound.decay = decay;
    sound.tone = tone;
    return sound;
}

struct Envelope {
    double attack, decay, sustain, release;
};

struct Filter {
    double cutoff, resonance, envmod;
};

struct Unison {
    double voices, detune, spread;
};

Sound tuned(Envelope envelope, Filter filter, Unison unison) {
    Sound sound;
    sound.attack = envelope.attack;
    sound.decay = envelope.decay;
    sound.sustain = envelope.sustain;
    sound.release = envelope.release;
    sound.cutoff = filter.cutoff;
    sound.resonance = filter.resonance;
    sound.envmod = filter.envmod;
    sound.voices = unison.voices;
    sound.detune = unison.detune;
    sound.spread = unison.spread;
    return sound;
}

} // namespace

bool isDrum(InstrumentType type) {
    return type == InstrumentType::Kick || type == InstrumentType::Snare ||
           type == InstrumentType::Clap || type == InstrumentType::Hat;
}

std::optional<InstrumentType> instrumentTypeNamed(std::string_view name) {
    for (const TypeEntry& entry : kTypes)
        if (entry.name == name) return entry.type;
    return std::nullopt;
}

// Starting points that already sound like their names: a deep kick, a
// plucky sub bass, a slow wide pad, short filtered chords, a singing lead.
Sound defaultSound(InstrumentType type) {
    switch (type) {
    case InstrumentType::Kick:
        return drum(50, 0.45, 0.5);
    case InstrumentType::Snare:
        return drum(190, 0.2, 0.35);
    case InstrumentType::Clap:
        return drum(1200, 0.25, 0.5);
    case InstrumentType::Hat:
        return drum(7500, 0.06, 0.5);
    case InstrumentType::Bass: {
        Sound sound = tuned({0.002, 0.25, 0.6, 0.05}, {300, 0.3, 2.5}, {1, 0, 0});
        sound.sub = 0.6;
        sound.mono = 1;
        return sound;
    }
    case InstrumentType::Pad:
        return tuned({0.3, 1.0, 0.8, 0.8}, {2000, 0.1, 0}, {3, 18, 0.8});
    case InstrumentType::Stab:
        return tuned({0.002, 0.25, 0, 0.15}, {900, 0.25, 2.5}, {2, 10, 0.5});
    case InstrumentType::Lead: {
        Sound sound = tuned({0.005, 0.3, 0.6, 0.15}, {1800, 0.2, 1.5}, {2, 12, 0.3});
        sound.shape = 0.3;
        sound.vibrato = 12;
        sound.mono = 1;
        return sound;
    }
    case InstrumentType::Noise:
        return tuned({0.01, 1, 1, 0.3}, {1000, 0.5, 0}, {1, 0, 0});
    }
    return Sound{};
}

} // namespace synth
