// The script reader: line splitting, command words, field extraction and the
// two line parsers.
#include "sequencing/script.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

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

TimelineError parseSceneLine(std::string_view line, ScenePlacements* placements) {
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

    placeScene(timeline, scene, start, end);
    if (placements) placements->push_back({scene->name, id, start, end});
    return {};
}

TimelineError parseMusicLine(std::string_view line, MusicSettings& music) {
    FieldReader fields(line);
    music.musicLabel = std::string(fields.next().substr(0, kMaxNameLength));
    music.musicFile = std::string(fields.next());
    if (!parseScriptNumber(fields.next(), music.musicStart))
        return timelineFailure(kBadModuleStart);
    if (!parseScriptNumber(fields.next(), music.musicEnd)) return timelineFailure(kBadModuleEnd);
    int32_t state = 0; // must be a number; nothing uses it
    if (!parseScriptNumber(fields.rest, state)) return timelineFailure(kBadModuleState);
    return {};
}

TimelineError runLine(std::string_view line, MusicSettings& music, ScenePlacements* placements) {
    if (line.empty() || line[0] != kCommandMark) return {}; // comment or blank
    const size_t space = line.find(kFieldSeparator);
    if (space == std::string_view::npos) return timelineFailure(kEmptyCommand);
    const std::string_view word = line.substr(0, space);
    if (word == "@music") return parseMusicLine(line, music);
    if (word == "@scene") return parseSceneLine(line, placements);
    return {}; // an unknown command word is ignored
}

} // namespace

TimelineError loadScriptText(std::string_view text, MusicSettings& music, std::string_view name,
                             ScenePlacements* placements) {
    LineReader reader{text};
    int lineNumber = 0;
    do { // even an empty text gives one (empty) line
        ++lineNumber;
        TimelineError error = runLine(reader.next(), music, placements);
        if (error) {
            error.detail = std::string(name) + ", line " + std::to_string(lineNumber);
            error.line = lineNumber;
            return error;
        }
    } while (!reader.atEnd());
    return {};
}

TimelineError loadScript(const std::string& fileName, MusicSettings& music,
                         ScenePlacements* placements) {
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
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
    return loadScriptText(text, music, fileName, placements);
}
