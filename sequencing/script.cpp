// The script reader: line splitting, command words, field extraction and the
// two line parsers.
#include "sequencing/script.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/open_file.h"
#include "sequencing/scene.h"
#include "sequencing/timeline.h"

namespace {

constexpr char kEndOfFile = 26;             // Ctrl-Z at the start of a line ends the script
constexpr size_t kMaxLineLength = 255;      // the rest of a longer line is skipped
constexpr size_t kMaxScriptBytes = 1 << 24; // scripts are a few kilobytes; refuse absurd files
constexpr char kCommandMark = '@';
constexpr char kFieldSeparator = ' ';

constexpr const char* kCouldNotLoad = "Could not load Script file!";
constexpr const char* kEmptyCommand = "Something is wrong with the Script! (Empty Command?)";
constexpr const char* kBadSceneName =
    "Something is wrong with the Script! (Could not read out the Scene Name)";
constexpr const char* kBadTimelineId =
    "Something is wrong with the Script! (Could not read Timeline ID)";
constexpr const char* kBadSceneStart =
    "Something is wrong with the Script! (Could not read Scene Start Time)";
constexpr const char* kBadSceneEnd =
    "Something is wrong with the Script! (Could not read Scene End Time)";
constexpr const char* kBadModuleStart =
    "Something is wrong with the Script! (Could not read Module Start Time)";
constexpr const char* kBadModuleEnd =
    "Something is wrong with the Script! (Could not read Module End Time)";
constexpr const char* kBadModuleState =
    "Something is wrong with the Script! (Could not read Module State)";
constexpr const char* kTimelineIdOutOfRange =
    "Something is wrong with the Script! (Timeline ID out of range)";
constexpr const char* kNoSuchTimeline =
    "Something is wrong with the Script! (No Timeline with this ID)";
constexpr const char* kSceneTimeOutOfRange =
    "Something is wrong with the Script! (Scene time out of range)";

// Splits script text into lines ended by LF, CR LF or CR, each cut to 255
// characters. The text ends at its last byte or at a Ctrl-Z that starts a line.
struct LineReader {
    std::string_view text;
    size_t pos = 0;

    bool atEnd() const { return pos >= text.size() || text[pos] == kEndOfFile; }

    std::string_view next() {
        if (atEnd()) return {};
        const size_t begin = pos;
        while (pos < text.size() && text[pos] != '\n' && text[pos] != '\r') ++pos;
        const std::string_view line = text.substr(begin, std::min(pos - begin, kMaxLineLength));
        if (pos < text.size()) { // step over the line end: LF, CR, or CR LF as one
            const bool carriageReturn = text[pos++] == '\r';
            if (carriageReturn && pos < text.size() && text[pos] == '\n') ++pos;
        }
        return line;
    }
};

// Takes fields off a command line: the command word first, then each field
// up to its space. A field with no space after it reads as empty and leaves
// the rest in place, so later fields are empty too.
struct FieldReader {
    std::string_view rest;

    explicit FieldReader(std::string_view line) : rest(line) { next(); }

    std::string_view next() {
        const size_t space = rest.find(kFieldSeparator);
        if (space == std::string_view::npos) return {};
        const std::string_view field = rest.substr(0, space);
        rest.remove_prefix(space + 1);
        return field;
    }
};

bool isSceneTime(int32_t t) {
    return t >= 0 && t <= kMaxTimelineLength;
}

// What reading the lines so far has gathered besides the timelines.
struct ReadState {
    MusicSettings& music;
    ScenePlacements* placements;
    ScriptWarnings* warnings;
    int line = 0;
    int musicLine = 0; // the line of the last "@music", 0 before one
    int scenesPlaced = 0;

    void warn(std::string message) {
        if (warnings) warnings->push_back({line, std::move(message)});
    }
};

TimelineError parseSceneLine(std::string_view line, ReadState& state) {
    FieldReader fields(line);
    const std::string_view name = fields.next();
    const Scene* scene = name.empty() ? nullptr : findScene(name);
    if (!scene) return timelineFailure(kBadSceneName);

    int32_t id = 0;
    if (!parseScriptNumber(fields.next(), id)) return timelineFailure(kBadTimelineId);
    if (id < 1 || id > kTimelineSlotCount) return timelineFailure(kTimelineIdOutOfRange);
    Timeline* timeline = timelineSlots[id];
    if (!timeline) return timelineFailure(kNoSuchTimeline);

    int32_t start = 0;
    if (!parseScriptNumber(fields.next(), start)) return timelineFailure(kBadSceneStart);
    if (!isSceneTime(start)) return timelineFailure(kSceneTimeOutOfRange);
    int32_t end = 0;
    if (!parseScriptNumber(fields.next(), end)) return timelineFailure(kBadSceneEnd);
    if (!isSceneTime(end)) return timelineFailure(kSceneTimeOutOfRange);

    if (end < start) {
        state.warn(scene->name + " ends at " + std::to_string(end) + " ms, before it starts at " +
                   std::to_string(start) + " ms: it never draws");
    }
    placeScene(timeline, scene, start, end);
    ++state.scenesPlaced;
    if (state.placements) state.placements->push_back({scene->name, id, start, end});
    return {};
}

TimelineError parseMusicLine(std::string_view line, ReadState& state) {
    if (state.musicLine > 0) {
        state.warn("a second @music line: it replaces the one on line " +
                   std::to_string(state.musicLine));
    }
    state.musicLine = state.line;
    MusicSettings& music = state.music;
    FieldReader fields(line);
    music.musicLabel = std::string(fields.next().substr(0, kMaxNameLength));
    music.musicFile = std::string(fields.next());
    if (!parseScriptNumber(fields.next(), music.musicStart))
        return timelineFailure(kBadModuleStart);
    if (!parseScriptNumber(fields.next(), music.musicEnd)) return timelineFailure(kBadModuleEnd);
    int32_t moduleState = 0; // must be a number; nothing uses it
    if (!parseScriptNumber(fields.rest, moduleState)) return timelineFailure(kBadModuleState);
    return {};
}

// A bounded, printable excerpt of a word from the file, for messages.
std::string quoted(std::string_view word) {
    constexpr size_t kMaxQuoted = 24;
    std::string text;
    for (const char c : word.substr(0, kMaxQuoted)) {
        const unsigned char u = static_cast<unsigned char>(c);
        text += u >= 0x20 && u < 0x7F ? std::string(1, c) : "?";
    }
    return word.size() > kMaxQuoted ? text + "..." : text;
}

TimelineError runLine(std::string_view line, ReadState& state) {
    if (line.empty() || line[0] != kCommandMark) return {}; // comment or blank
    const size_t space = line.find(kFieldSeparator);
    if (space == std::string_view::npos) return timelineFailure(kEmptyCommand);
    const std::string_view word = line.substr(0, space);
    if (word == "@music") return parseMusicLine(line, state);
    if (word == "@scene") return parseSceneLine(line, state);
    // An unknown command word is ignored, as it always was.
    state.warn("unknown command " + quoted(word) +
               " (ignored): the commands are @scene and @music");
    return {};
}

} // namespace

TimelineError loadScriptText(std::string_view text, MusicSettings& music, std::string_view name,
                             ScenePlacements* placements, ScriptWarnings* warnings) {
    LineReader reader{text};
    ReadState state{music, placements, warnings};
    do { // even an empty text gives one (empty) line
        ++state.line;
        TimelineError error = runLine(reader.next(), state);
        if (error) {
            error.detail = std::string(name) + ", line " + std::to_string(state.line);
            error.line = state.line;
            return error;
        }
    } while (!reader.atEnd());
    if (state.scenesPlaced == 0) {
        state.line = 0;
        state.warn("no @scene line places a scene: the show plays only a cleared screen");
    }
    return {};
}

void printScriptWarnings(const std::string& fileName, const ScriptWarnings& warnings) {
    for (const ScriptWarning& warning : warnings) {
        const std::string where =
            warning.line > 0 ? fileName + ":" + std::to_string(warning.line) : fileName;
        std::fprintf(stderr, "%s: warning: %s\n", where.c_str(), warning.message.c_str());
    }
}

TimelineError loadScript(const std::string& fileName, MusicSettings& music,
                         ScenePlacements* placements, ScriptWarnings* warnings) {
    std::FILE* file = openFile(fileName, "rb");
    if (!file) return timelineFailure(kCouldNotLoad, fileName + ": " + std::strerror(errno));
    std::string text;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0 && text.size() <= kMaxScriptBytes)
        text.append(buffer, got);
    const int readError = std::ferror(file) ? errno : 0;
    std::fclose(file);
    if (readError)
        return timelineFailure(kCouldNotLoad, fileName + ": " + std::strerror(readError));
    if (text.size() > kMaxScriptBytes)
        return timelineFailure(kCouldNotLoad, fileName + ": larger than any script");
    return loadScriptText(text, music, fileName, placements, warnings);
}
