// The score reader: one pass over the lines, one open pattern or section at
// a time. Every name is resolved and every range checked here, so that a
// score that parses always renders.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "content/synth/score.h"
#include "content/synth/score_types.h"

namespace synth {

namespace {

constexpr double kMinTempo = 20, kMaxTempo = 300;
constexpr double kMinSwing = 50, kMaxSwing = 75;
// Ten minutes: the longest piece the show's timeline can hold.
constexpr double kMaxLengthMs = 600000;
constexpr int32_t kMaxBar = 10000;
constexpr int32_t kMaxStepsPerBar = 64;
constexpr int32_t kMaxInstruments = 32;
constexpr double kMaxDelaySteps = 32, kMaxFeedback = 0.95;
constexpr double kMinDb = -60, kMaxGainDb = 24;
constexpr double kMinCeilingDb = -24;
constexpr int32_t kMaxTranspose = 48;
constexpr double kMinCutoff = 20, kMaxCutoff = 20000;
constexpr int32_t kMaxMidiNote = 127;
constexpr int32_t kSemitonesPerOctave = 12;
constexpr float kHitVelocity = 0.8f, kAccentVelocity = 1.0f, kSoftVelocity = 0.5f;
constexpr float kNoteVelocity = 0.8f;
constexpr double kPercent = 100;

struct Word {
    std::string_view text;
    int32_t column = 0;
};

struct Failure {
    ScoreError error;
};

std::string quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

std::string numberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// The next word of `line` from `at` on, or none before its end or comment.
std::optional<Word> nextWord(std::string_view line, size_t& at) {
    while (at < line.size() && isSpace(line[at])) ++at;
    if (at == line.size() || line[at] == '#') return std::nullopt;
    const size_t start = at;
    while (at < line.size() && !isSpace(line[at])) ++at;
    return Word{line.substr(start, at - start), int32_t(start + 1)};
}

// The first `limit` words of a line.
std::vector<Word> splitWords(std::string_view line, size_t limit) {
    std::vector<Word> words;
    size_t at = 0;
    while (words.size() < limit)
        if (const std::optional<Word> word = nextWord(line, at))
            words.push_back(*word);
        else
            break;
    return words;
}

bool isNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool isNameChar(char c) {
    return isNameStart(c) || (c >= '0' && c <= '9');
}

bool isName(std::string_view text) {
    return !text.empty() && isNameStart(text[0]) &&
           std::all_of(text.begin(), text.end(), isNameChar);
}

constexpr std::string_view kSettingWords[] = {"tempo", "swing",  "length", "fade",
                                              "delay", "reverb", "master"};
constexpr std::string_view kBlockWords[] = {"instrument", "pattern", "section"};

bool isKeyword(std::string_view text) {
    return std::find(std::begin(kSettingWords), std::end(kSettingWords), text) !=
               std::end(kSettingWords) ||
           std::find(std::begin(kBlockWords), std::end(kBlockWords), text) != std::end(kBlockWords);
}

// A note name: letter, optional accidental, octave -1..9. -1 when it is not one.
int32_t noteNumber(std::string_view text) {
    constexpr int32_t kLetterSemitones[] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    if (text.empty() || text[0] < 'A' || text[0] > 'G') return -1;
    int32_t note = kLetterSemitones[text[0] - 'A'];
    size_t i = 1;
    if (i < text.size() && (text[i] == '#' || text[i] == 'b')) note += text[i++] == '#' ? 1 : -1;
    int32_t octave = 0;
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), octave);
    if (ec != std::errc() || end != text.data() + text.size() || i == text.size() ||
        text[i] == '+' || octave < -1 || octave > 9)
        return -1;
    note += (octave + 1) * kSemitonesPerOctave;
    return note >= 0 && note <= kMaxMidiNote ? note : -1;
}

// Which instruments a key suits, and its range.
enum class KeyUse { Every, Drum, Tuned, Both };

struct SoundKey {
    std::string_view name;
    double Sound::*field;
    KeyUse use;
    double min, max;
    bool whole; // must be a whole number
};

constexpr SoundKey kSoundKeys[] = {
    {"level", &Sound::levelDb, KeyUse::Every, kMinDb, kMaxGainDb, false},
    {"pan", &Sound::pan, KeyUse::Every, -1, 1, false},
    {"reverb", &Sound::reverb, KeyUse::Every, 0, 1, false},
    {"delay", &Sound::delay, KeyUse::Every, 0, 1, false},
    {"duck", &Sound::duck, KeyUse::Every, 0, 1, false},
    {"tune", &Sound::tune, KeyUse::Drum, 20, 16000, false},
    {"tone", &Sound::tone, KeyUse::Drum, 0, 1, false},
    {"decay", &Sound::decay, KeyUse::Both, 0.005, 10, false},
    {"attack", &Sound::attack, KeyUse::Tuned, 0, 10, false},
    {"sustain", &Sound::sustain, KeyUse::Tuned, 0, 1, false},
    {"release", &Sound::release, KeyUse::Tuned, 0.005, 10, false},
    {"cutoff", &Sound::cutoff, KeyUse::Tuned, kMinCutoff, kMaxCutoff, false},
    {"resonance", &Sound::resonance, KeyUse::Tuned, 0, 1, false},
    {"envmod", &Sound::envmod, KeyUse::Tuned, -8, 8, false},
    {"detune", &Sound::detune, KeyUse::Tuned, 0, 100, false},
    {"voices", &Sound::voices, KeyUse::Tuned, 1, 7, true},
    {"spread", &Sound::spread, KeyUse::Tuned, 0, 1, false},
    {"shape", &Sound::shape, KeyUse::Tuned, 0, 1, false},
    {"sub", &Sound::sub, KeyUse::Tuned, 0, 1, false},
    {"vibrato", &Sound::vibrato, KeyUse::Tuned, 0, 100, false},
    {"mono", &Sound::mono, KeyUse::Tuned, 0, 1, true},
};

// The most words a statement line holds: an instrument with every setting.
// Every statement fails at the first word past what it can hold, so words
// beyond one more than this are never read (a line of steps is read word by
// word instead: it may hold any number of them).
constexpr size_t kMaxStatementWords = 3 + 2 * std::size(kSoundKeys) + 1;

bool keySuits(KeyUse use, InstrumentType type) {
    switch (use) {
    case KeyUse::Every:
    case KeyUse::Both:
        return true;
    case KeyUse::Drum:
        return isDrum(type);
    case KeyUse::Tuned:
        return !isDrum(type);
    }
    return false;
}

class Reader {
  public:
    explicit Reader(Score& score) : score_(score) {}

    void readLine(int32_t line, std::string_view text) {
        line_ = line;
        const std::vector<Word> words = splitWords(text, kMaxStatementWords);
        if (words.empty()) return;
        if (isKeyword(words[0].text)) {
            closeBlock();
            statement(words);
        } else if (block_ == Block::Pattern) {
            patternSteps(text);
        } else if (block_ == Block::Section) {
            placement(words);
        } else {
            fail(words[0], "unknown statement " + quoted(words[0].text));
        }
    }

    void finish() {
        closeBlock();
        if (score_.sections.empty()) fail(Word{{}, 1}, "the score has no section", 1);
        std::stable_sort(
            score_.sections.begin(), score_.sections.end(),
            [](const Section& a, const Section& b) { return a.startBar < b.startBar; });
        if (!score_.lengthMs && scoreLengthMs(score_) > kMaxLengthMs) {
            const Section& last = score_.sections.back();
            fail(Word{{}, 1},
                 "section " + quoted(last.name) + " ends after " + numberText(kMaxLengthMs) +
                     " ms; the longest piece is that long",
                 last.line);
        }
    }

  private:
    enum class Block { None, Pattern, Section };

    [[noreturn]] void fail(const Word& word, std::string message, int32_t line = 0) const {
        throw Failure{{line ? line : line_, word.column, std::move(message)}};
    }

    double number(const Word& word, double min, double max, std::string_view what) const {
        double value = 0;
        const char* end = word.text.data() + word.text.size();
        const auto [stop, ec] = std::from_chars(word.text.data(), end, value);
        if (ec != std::errc() || stop != end || !std::isfinite(value))
            fail(word, std::string(what) + " must be a number, not " + quoted(word.text));
        if (value < min || value > max)
            fail(word, std::string(what) + " must be between " + numberText(min) + " and " +
                           numberText(max) + ", not " + numberText(value));
        return value;
    }

    int32_t whole(const Word& word, double min, double max, std::string_view what) const {
        const double value = number(word, min, max, what);
        if (value != std::floor(value))
            fail(word, std::string(what) + " must be a whole number, not " + quoted(word.text));
        return int32_t(value);
    }

    void needWords(const std::vector<Word>& words, size_t count, std::string_view form) const {
        if (words.size() < count)
            fail(words.back(), quoted(words[0].text) + " needs " + std::to_string(count - 1) +
                                   " values: " + std::string(form));
        if (words.size() > count)
            fail(words[count],
                 "unexpected " + quoted(words[count].text) + " after " + std::string(form));
    }

    void statement(const std::vector<Word>& words) {
        const std::string_view keyword = words[0].text;
        if (keyword == "instrument") return instrument(words);
        if (keyword == "pattern") return startPattern(words);
        if (keyword == "section") return startSection(words);
        if (std::find(seenSettings_.begin(), seenSettings_.end(), keyword) != seenSettings_.end())
            fail(words[0], quoted(keyword) + " is set twice");
        seenSettings_.push_back(keyword);
        if (keyword == "tempo") {
            needWords(words, 2, "tempo BPM");
            score_.tempo = number(words[1], kMinTempo, kMaxTempo, "the tempo");
        } else if (keyword == "swing") {
            needWords(words, 2, "swing PERCENT");
            score_.swing = number(words[1], kMinSwing, kMaxSwing, "the swing");
        } else if (keyword == "length") {
            needWords(words, 2, "length MS");
            score_.lengthMs = number(words[1], 1, kMaxLengthMs, "the length");
        } else if (keyword == "fade") {
            needWords(words, 3, "fade FROM TO");
            const double from = number(words[1], 0, kMaxLengthMs, "the fade's start");
            const double to = number(words[2], 0, kMaxLengthMs, "the fade's end");
            if (to <= from) fail(words[2], "the fade must end after it starts");
            score_.fadeMs = {from, to};
        } else if (keyword == "delay") {
            needWords(words, 3, "delay STEPS FEEDBACK");
            score_.delaySteps = number(words[1], 0.25, kMaxDelaySteps, "the delay time");
            score_.delayFeedback = number(words[2], 0, kMaxFeedback, "the delay feedback");
        } else if (keyword == "reverb") {
            needWords(words, 3, "reverb SIZE DAMPING");
            score_.reverbSize = number(words[1], 0, 1, "the reverb size");
            score_.reverbDamping = number(words[2], 0, 1, "the reverb damping");
        } else if (keyword == "master") {
            needWords(words, 3, "master GAIN CEILING");
            score_.masterGainDb = number(words[1], kMinDb, kMaxGainDb, "the master gain");
            score_.ceilingDb = number(words[2], kMinCeilingDb, 0, "the ceiling");
        }
    }

    void checkNewName(const Word& word, std::string_view what) const {
        if (!isName(word.text))
            fail(word, quoted(word.text) + " is not a name: use letters, digits and '_'");
        if (isKeyword(word.text)) fail(word, quoted(word.text) + " is a keyword, not a name");
        if (instrumentIndex_.count(word.text) || patternIndex_.count(word.text) ||
            sectionNames_.count(word.text))
            fail(word, std::string(what) + " " + quoted(word.text) + " is already defined");
    }

    int32_t findInstrument(std::string_view name) const {
        const auto found = instrumentIndex_.find(name);
        return found == instrumentIndex_.end() ? -1 : found->second;
    }

    int32_t findPattern(std::string_view name) const {
        const auto found = patternIndex_.find(name);
        return found == patternIndex_.end() ? -1 : found->second;
    }

    void instrument(const std::vector<Word>& words) {
        if (words.size() < 3) fail(words.back(), "'instrument' needs a name and a type");
        checkNewName(words[1], "instrument");
        if (score_.instruments.size() >= size_t(kMaxInstruments))
            fail(words[1],
                 "a score has at most " + std::to_string(kMaxInstruments) + " instruments");
        const std::optional<InstrumentType> type = instrumentTypeNamed(words[2].text);
        if (!type)
            fail(words[2], "unknown instrument type " + quoted(words[2].text) +
                               " (kick, snare, clap, hat, bass, pad, stab, lead, noise)");
        Instrument instrument{std::string(words[1].text), *type, defaultSound(*type)};
        std::vector<std::string_view> seen;
        for (size_t i = 3; i < words.size(); i += 2) {
            const Word& key = words[i];
            const SoundKey* entry = nullptr;
            for (const SoundKey& candidate : kSoundKeys)
                if (candidate.name == key.text) entry = &candidate;
            if (!entry) fail(key, "unknown instrument setting " + quoted(key.text));
            if (!keySuits(entry->use, *type))
                fail(key, quoted(key.text) + " does not apply to a " + std::string(words[2].text));
            if (std::find(seen.begin(), seen.end(), key.text) != seen.end())
                fail(key, quoted(key.text) + " is set twice");
            seen.push_back(key.text);
            if (i + 1 >= words.size()) fail(key, quoted(key.text) + " needs a value");
            const std::string what = "'" + std::string(key.text) + "'";
            instrument.sound.*(entry->field) =
                entry->whole ? whole(words[i + 1], entry->min, entry->max, what)
                             : number(words[i + 1], entry->min, entry->max, what);
        }
        instrumentIndex_[words[1].text] = int32_t(score_.instruments.size());
        score_.instruments.push_back(std::move(instrument));
    }

    void startPattern(const std::vector<Word>& words) {
        if (words.size() < 3 || words.size() > 4)
            fail(words.size() < 3 ? words.back() : words[4],
                 "'pattern' needs a name, bars and optionally steps per bar");
        checkNewName(words[1], "pattern");
        Pattern pattern;
        pattern.name = std::string(words[1].text);
        pattern.bars = whole(words[2], 1, kMaxBar, "the pattern's bars");
        if (words.size() == 4)
            pattern.stepsPerBar = whole(words[3], 1, kMaxStepsPerBar, "the steps per bar");
        patternIndex_[words[1].text] = int32_t(score_.patterns.size());
        score_.patterns.push_back(std::move(pattern));
        noteRanges_.push_back({kMaxMidiNote, 0});
        patternWord_ = words[1];
        patternLine_ = line_;
        block_ = Block::Pattern;
    }

    size_t patternLength(const Pattern& pattern) const {
        return size_t(pattern.bars) * size_t(pattern.stepsPerBar);
    }

    std::string patternSize(const Pattern& pattern) const {
        return std::to_string(pattern.bars) + " bar" + (pattern.bars == 1 ? "" : "s") + " of " +
               std::to_string(pattern.stepsPerBar);
    }

    float velocity(const Word& word, std::string_view text) const {
        const Word part{text, word.column + int32_t(text.data() - word.text.data())};
        return float(number(part, 1, kPercent, "a velocity") / kPercent);
    }

    Step step(const Word& word, const Pattern& pattern) const {
        Step step;
        if (word.text == ".") return step;
        if (word.text == "-") {
            if (pattern.steps.empty() || pattern.steps.back().kind == Step::Kind::Rest ||
                pattern.steps.back().kind == Step::Kind::Hit)
                fail(word, "'-' holds a note or chord, and there is none before it");
            step.kind = Step::Kind::Hold;
            return step;
        }
        std::string_view body = word.text;
        const size_t colon = body.find(':');
        std::optional<float> given;
        if (colon != std::string_view::npos) {
            given = velocity(word, body.substr(colon + 1));
            body = body.substr(0, colon);
        }
        if (body == "x" || body == "X" || body == "o") {
            step.kind = Step::Kind::Hit;
            step.velocity = given.value_or(body == "X"   ? kAccentVelocity
                                           : body == "o" ? kSoftVelocity
                                                         : kHitVelocity);
            return step;
        }
        step.kind = Step::Kind::Notes;
        step.velocity = given.value_or(kNoteVelocity);
        size_t start = 0;
        while (true) {
            const size_t plus = body.find('+', start);
            const std::string_view name = body.substr(start, plus - start);
            const Word part{name, word.column + int32_t(start)};
            const int32_t note = noteNumber(name);
            if (note < 0)
                fail(part, quoted(name) +
                               " is not a step: use '.', '-', 'x', 'X', 'o' or notes such as "
                               "'C#4' or 'A3+C4+E4'");
            if (step.noteCount == kMaxChordNotes)
                fail(part, "a chord has at most " + std::to_string(kMaxChordNotes) + " notes");
            step.notes[step.noteCount++] = int8_t(note);
            if (plus == std::string_view::npos) break;
            start = plus + 1;
        }
        return step;
    }

    void patternSteps(std::string_view text) {
        Pattern& pattern = score_.patterns.back();
        NoteRange& range = noteRanges_.back();
        size_t at = 0;
        while (const std::optional<Word> next = nextWord(text, at)) {
            const Word& word = *next;
            if (word.text == "|") continue;
            if (pattern.steps.size() == patternLength(pattern))
                fail(word, "pattern " + quoted(pattern.name) + " already has its " +
                               std::to_string(patternLength(pattern)) + " steps (" +
                               patternSize(pattern) + ")");
            const Step parsed = step(word, pattern);
            pattern.hasHits |= parsed.kind == Step::Kind::Hit;
            pattern.hasNotes |= parsed.kind == Step::Kind::Notes;
            for (uint8_t n = 0; n < parsed.noteCount; ++n) {
                range.lowest = std::min<int32_t>(range.lowest, parsed.notes[n]);
                range.highest = std::max<int32_t>(range.highest, parsed.notes[n]);
            }
            pattern.steps.push_back(parsed);
        }
    }

    void closeBlock() {
        if (block_ == Block::Pattern) {
            const Pattern& pattern = score_.patterns.back();
            if (pattern.steps.size() != patternLength(pattern))
                fail(patternWord_,
                     "pattern " + quoted(pattern.name) + " has " +
                         std::to_string(pattern.steps.size()) + " steps; " + patternSize(pattern) +
                         " need " + std::to_string(patternLength(pattern)),
                     patternLine_);
        }
        block_ = Block::None;
    }

    void startSection(const std::vector<Word>& words) {
        needWords(words, 4, "section NAME START_BAR BARS");
        checkNewName(words[1], "section");
        Section section;
        section.name = std::string(words[1].text);
        section.startBar = whole(words[2], 0, kMaxBar, "the section's start bar");
        section.bars = whole(words[3], 1, kMaxBar, "the section's bars");
        section.line = line_;
        checkOverlap(section, words[2]);
        sectionNames_.insert(words[1].text);
        sectionsByStart_[section.startBar] = score_.sections.size();
        score_.sections.push_back(std::move(section));
        block_ = Block::Section;
    }

    // Sections never overlap each other, so those a new one overlaps follow
    // each other in bar order, from the one before its start on; the error
    // names the one written first.
    void checkOverlap(const Section& section, const Word& word) const {
        auto at = sectionsByStart_.lower_bound(section.startBar);
        if (at != sectionsByStart_.begin()) --at;
        const Section* first = nullptr;
        size_t firstIndex = 0;
        for (; at != sectionsByStart_.end() && at->first < section.startBar + section.bars; ++at) {
            const Section& other = score_.sections[at->second];
            if (other.startBar + other.bars > section.startBar &&
                (!first || at->second < firstIndex)) {
                first = &other;
                firstIndex = at->second;
            }
        }
        if (first)
            fail(word, "section " + quoted(section.name) + " overlaps section " +
                           quoted(first->name) + " (bars " + std::to_string(first->startBar) +
                           " to " + std::to_string(first->startBar + first->bars - 1) + ")");
    }

    void placement(const std::vector<Word>& words) {
        const Section& section = score_.sections.back();
        Placement placement;
        placement.instrument = findInstrument(words[0].text);
        if (placement.instrument < 0) fail(words[0], "unknown instrument " + quoted(words[0].text));
        if (words.size() < 2) fail(words[0], "a placement needs an instrument and a pattern");
        placement.pattern = findPattern(words[1].text);
        if (placement.pattern < 0) fail(words[1], "unknown pattern " + quoted(words[1].text));
        const Instrument& instrument = score_.instruments[size_t(placement.instrument)];
        const Pattern& pattern = score_.patterns[size_t(placement.pattern)];
        if (isDrum(instrument.type) && pattern.hasNotes)
            fail(words[1], "pattern " + quoted(pattern.name) + " has notes, and " +
                               quoted(instrument.name) + " is a drum");
        if (!isDrum(instrument.type) && pattern.hasHits)
            fail(words[1], "pattern " + quoted(pattern.name) + " has drum hits, and " +
                               quoted(instrument.name) + " plays notes");

        std::optional<int32_t> forBars;
        Word forWord;
        std::vector<std::string_view> seen;
        for (size_t i = 2; i < words.size();) {
            const Word& key = words[i];
            const size_t values = key.text == "cutoff" ? 2 : 1;
            const bool known = key.text == "at" || key.text == "for" || key.text == "level" ||
                               key.text == "transpose" || key.text == "cutoff";
            if (!known)
                fail(key, "unknown placement setting " + quoted(key.text) +
                              " (at, for, level, transpose, cutoff)");
            if (std::find(seen.begin(), seen.end(), key.text) != seen.end())
                fail(key, quoted(key.text) + " is set twice");
            seen.push_back(key.text);
            if (i + values >= words.size())
                fail(key, quoted(key.text) + " needs " + (values == 2 ? "two values" : "a value"));
            const Word& value = words[i + 1];
            if (key.text == "at") {
                placement.atBar = whole(value, 0, section.bars - 1, "'at'");
            } else if (key.text == "for") {
                forBars = whole(value, 1, section.bars, "'for'");
                forWord = value;
            } else if (key.text == "level") {
                placement.levelDb = number(value, kMinDb, kMaxGainDb, "'level'");
            } else if (key.text == "transpose") {
                placement.transpose = whole(value, -kMaxTranspose, kMaxTranspose, "'transpose'");
                checkTranspose(placement.pattern, placement.transpose, value);
            } else {
                if (isDrum(instrument.type))
                    fail(key, "'cutoff' does not apply to the drum " + quoted(instrument.name));
                placement.cutoff =
                    std::array<double, 2>{number(value, kMinCutoff, kMaxCutoff, "'cutoff'"),
                                          number(words[i + 2], kMinCutoff, kMaxCutoff, "'cutoff'")};
            }
            i += values + 1;
        }
        placement.bars = forBars.value_or(section.bars - placement.atBar);
        if (placement.atBar + placement.bars > section.bars)
            fail(forWord, "the placement runs past the end of section " + quoted(section.name) +
                              " (" + std::to_string(section.bars) + " bars)");
        score_.sections.back().placements.push_back(placement);
    }

    void checkTranspose(int32_t pattern, int32_t transpose, const Word& word) const {
        const Pattern& steps = score_.patterns[size_t(pattern)];
        const NoteRange& range = noteRanges_[size_t(pattern)];
        if (steps.hasNotes &&
            (range.lowest + transpose < 0 || range.highest + transpose > kMaxMidiNote))
            fail(word, "transposing pattern " + quoted(steps.name) + " takes a note out of range");
    }

    // The lowest and highest note of a pattern, so that a transpose is
    // checked without going over its steps again for each placement.
    struct NoteRange {
        int32_t lowest = 0, highest = 0;
    };

    Score& score_;
    int32_t line_ = 0;
    Block block_ = Block::None;
    Word patternWord_;
    int32_t patternLine_ = 0;
    std::vector<std::string_view> seenSettings_;
    // Names are looked up for every placement and every new name, so by
    // hash rather than by walking the lists. The views are into the text,
    // which outlives the reader.
    std::unordered_map<std::string_view, int32_t> instrumentIndex_, patternIndex_;
    std::unordered_set<std::string_view> sectionNames_;
    std::map<int32_t, size_t> sectionsByStart_; // start bar -> index in score_.sections
    std::vector<NoteRange> noteRanges_;         // one a pattern
};

} // namespace

std::string formatScoreError(const ScoreError& error) {
    return "line " + std::to_string(error.line) + ", column " + std::to_string(error.column) +
           ": " + error.message;
}

std::optional<ScoreError> parseScore(std::string_view text, Score& score) {
    score = Score{};
    Reader reader(score);
    try {
        int32_t line = 1;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            reader.readLine(line, text.substr(start, end - start));
            start = end + 1;
            ++line;
        }
        reader.finish();
    } catch (const Failure& failure) {
        score = Score{};
        return failure.error;
    }
    return std::nullopt;
}

} // namespace synth
