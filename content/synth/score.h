// The score: a piece of music as plain text, read by parseScore.
//
// One statement a line; spaces and tabs separate words; a word that starts
// with "#" begins a comment that runs to the end of the line. Numbers are decimal ("-3", "0.5").
// Names are letters, digits and "_", starting with a letter or "_".
//
// Settings (each at most once, anywhere; defaults in brackets):
//   tempo BPM                beats a minute, four beats a bar [120]
//   swing PERCENT            where the second 16th of each 8th falls: 50 is
//                            straight, 66 is triplet feel [50]
//   length MS                milliseconds of sound to render [to the end of
//                            the last section]
//   fade FROM TO             master fade-out between these milliseconds
//   delay STEPS FEEDBACK     echo time in 16ths and its feedback 0..0.95 [3 0.35]
//   reverb SIZE DAMPING      room size and high damping, each 0..1 [0.5 0.5]
//   master GAIN CEILING      gain into the limiter and its ceiling, dB [0 -1]
//
// Instruments:
//   instrument NAME TYPE [KEY VALUE]...
// TYPE is kick, snare, clap, hat (drums: struck by hits) or bass, pad, stab,
// lead, noise (tuned: played by notes; noise plays filtered noise for
// sweeps). Keys every instrument takes: level (dB), pan (-1 left .. 1
// right), reverb and delay (send amounts 0..1), duck (0..1: how far the
// kicks push the instrument down, the pumping of dance music).
// Drums also take tune (Hz), decay (seconds to silence) and tone (0..1).
// Tuned instruments also take attack, decay, sustain (0..1), release (the
// envelope, seconds), cutoff (Hz), resonance (0..1), envmod (octaves the
// filter opens at the start of a note), detune (cents between the outer
// unison voices), voices (1..7), spread (0..1 stereo width of the voices),
// shape (0 saw .. 1 square), sub (level of a sine an octave down),
// vibrato (cents) and mono (1: a note cuts off the one before it).
//
// Patterns: a grid of steps, then the steps themselves on the lines below.
//   pattern NAME BARS [STEPS_PER_BAR]     steps per bar default to 16
// A step is one of:
//   .        rest
//   -        the note or chord before it lasts one step longer
//   x X o    a drum hit: normal, accented, soft
//   C#4      a note: A to G, optional # or b, octave -1..9 (A4 = 440 Hz)
//   A3+C4+E4 a chord: up to eight notes joined by "+"
// A hit, note or chord may end in ":VELOCITY" (percent, 1..100). "|" may
// stand between steps to mark bars for the eye; it is not a step. The
// pattern must have exactly BARS x STEPS_PER_BAR steps.
//
// Sections place patterns on bars (bars count from 0):
//   section NAME START_BAR BARS
//     INSTRUMENT PATTERN [at BAR] [for BARS] [level DB] [transpose SEMITONES]
//                        [cutoff FROM TO]
// Each line below the section header repeats the pattern from the
// section's start (or `at` bars into it) for the rest of the section (or
// `for` bars). cutoff moves a tuned instrument's filter from FROM to TO Hz
// across that span. Sections may not overlap; gaps between them are silent.
//
// A pattern or section ends where the next setting, instrument, pattern or
// section begins. Instruments and patterns are written before the sections
// that use them. Errors name the line and column of the offending word.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace synth {

inline constexpr int32_t kBeatsPerBar = 4;
inline constexpr int32_t kSixteenthsPerBar = 16;
inline constexpr int32_t kMaxChordNotes = 8;

struct ScoreError {
    int32_t line = 0;   // 1-based
    int32_t column = 0; // 1-based, in bytes
    std::string message;
};

// "line 3, column 7: message".
std::string formatScoreError(const ScoreError& error);

enum class InstrumentType { Kick, Snare, Clap, Hat, Bass, Pad, Stab, Lead, Noise };

bool isDrum(InstrumentType type);

// Every setting an instrument can have; the parser starts from its type's
// defaults and the instrument's line overrides them.
struct Sound {
    double levelDb = 0;
    double pan = 0;
    double reverb = 0;
    double delay = 0;
    double duck = 0;
    // drums
    double tune = 0;
    double tone = 0;
    // drums and tuned
    double decay = 0;
    // tuned
    double attack = 0;
    double sustain = 0;
    double release = 0;
    double cutoff = 0;
    double resonance = 0;
    double envmod = 0;
    double detune = 0;
    double voices = 1;
    double spread = 0;
    double shape = 0;
    double sub = 0;
    double vibrato = 0;
    double mono = 0;
};

struct Instrument {
    std::string name;
    InstrumentType type = InstrumentType::Kick;
    Sound sound;
};

struct Step {
    enum class Kind : uint8_t { Rest, Hold, Hit, Notes };
    Kind kind = Kind::Rest;
    float velocity = 0;                         // 0..1
    uint8_t noteCount = 0;                      // Notes only
    std::array<int8_t, kMaxChordNotes> notes{}; // MIDI note numbers
};

struct Pattern {
    std::string name;
    int32_t bars = 1;
    int32_t stepsPerBar = kSixteenthsPerBar;
    std::vector<Step> steps; // bars x stepsPerBar once parsed
    bool hasNotes = false;   // at least one note or chord
    bool hasHits = false;    // at least one drum hit
};

struct Placement {
    int32_t instrument = 0; // index into Score::instruments
    int32_t pattern = 0;    // index into Score::patterns
    int32_t atBar = 0;      // bars into the section
    int32_t bars = 0;       // how long the pattern repeats
    double levelDb = 0;
    int32_t transpose = 0;
    std::optional<std::array<double, 2>> cutoff; // Hz at the start and the end
};

struct Section {
    std::string name;
    int32_t startBar = 0;
    int32_t bars = 0;
    int32_t line = 0; // where it is written, for tools that report it
    std::vector<Placement> placements;
};

struct Score {
    double tempo = 120;
    double swing = 50;
    std::optional<double> lengthMs;
    std::optional<std::array<double, 2>> fadeMs;
    double delaySteps = 3;
    double delayFeedback = 0.35;
    double reverbSize = 0.5;
    double reverbDamping = 0.5;
    double masterGainDb = 0;
    double ceilingDb = -1;
    std::vector<Instrument> instruments;
    std::vector<Pattern> patterns;
    std::vector<Section> sections; // in order of their start bars
};

// Reads a whole score; on success `score` holds it, with every name resolved
// and every placement checked against its section, pattern and instrument.
std::optional<ScoreError> parseScore(std::string_view text, Score& score);

// Time arithmetic of a score, all in milliseconds from the start.
double beatMs(const Score& score);
double barMs(const Score& score);
double barStartMs(const Score& score, double bar);
// Start of step `step` of a bar of `stepsPerBar` steps: steps that fall on
// the second 16th of an 8th are moved late by the swing.
double stepStartMs(const Score& score, int64_t bar, int32_t step, int32_t stepsPerBar);
// The score's length, or the end of its last section when it gives none.
double scoreLengthMs(const Score& score);

} // namespace synth
