#include "content/picture/manifest.h"

#include <charconv>
#include <fstream>
#include <set>
#include <sstream>

namespace picture {

namespace {

constexpr size_t kFieldCount = 4;

std::string_view stripComment(std::string_view line) {
    const size_t hash = line.find('#');
    return hash == std::string_view::npos ? line : line.substr(0, hash);
}

// A line's fields: the first kFieldCount of them, and how many there are
// (a line of a million fields is only counted).
struct Fields {
    std::string_view field[kFieldCount];
    size_t count = 0;
};

Fields splitFields(std::string_view line) {
    Fields fields;
    size_t at = 0;
    while (at < line.size()) {
        const size_t begin = line.find_first_not_of(" \t\r", at);
        if (begin == std::string_view::npos) break;
        size_t end = line.find_first_of(" \t\r", begin);
        if (end == std::string_view::npos) end = line.size();
        if (fields.count < kFieldCount)
            fields.field[fields.count] = line.substr(begin, end - begin);
        ++fields.count;
        at = end;
    }
    return fields;
}

bool isValidName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        const bool ok =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return false;
    }
    return true;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() > suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool parseSide(std::string_view text, int& side) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, side);
    return result.ec == std::errc() && result.ptr == end;
}

// "WxH" with both sides valid texture sides.
bool parseSize(std::string_view text, int& width, int& height) {
    const size_t x = text.find('x');
    if (x == std::string_view::npos) return false;
    return parseSide(text.substr(0, x), width) && parseSide(text.substr(x + 1), height) &&
           isValidSide(width) && isValidSide(height);
}

bool parseAlpha(std::string_view text, AlphaKind& kind) {
    for (AlphaKind k : {AlphaKind::Companion, AlphaKind::OwnBlue, AlphaKind::None}) {
        if (text == alphaKindName(k)) {
            kind = k;
            return true;
        }
    }
    return false;
}

// Checks one line's four fields and fills `entry`; returns the cause or "".
std::string parseEntry(const Fields& fields, ManifestEntry& entry) {
    if (fields.count != kFieldCount) {
        return "expected NAME SOURCE WIDTHxHEIGHT ALPHA, found " + std::to_string(fields.count) +
               " fields";
    }
    const std::string_view name = fields.field[0], source = fields.field[1], size = fields.field[2],
                           alpha = fields.field[3];
    if (!isValidName(name)) {
        return "picture name \"" + std::string(name) + "\" may hold only letters, digits and _";
    }
    entry.name = name;
    entry.source = source;
    if (endsWith(source, ".svg")) {
        entry.sourceKind = SourceKind::Svg;
    } else if (endsWith(source, ".txt")) {
        entry.sourceKind = SourceKind::TextureProgram;
    } else {
        return "source \"" + std::string(source) +
               "\" is neither a .svg drawing nor a .txt program";
    }
    if (!parseSize(size, entry.width, entry.height)) {
        return "size \"" + std::string(size) + "\" is not WIDTHxHEIGHT in powers of two 2..4096";
    }
    if (!parseAlpha(alpha, entry.alpha)) {
        return "alpha \"" + std::string(alpha) + "\" is not companion, blue or none";
    }
    if (entry.alpha == AlphaKind::Companion && entry.sourceKind != SourceKind::Svg) {
        return "a texture program has no alpha to make a companion from";
    }
    return {};
}

} // namespace

const char* alphaKindName(AlphaKind kind) {
    switch (kind) {
    case AlphaKind::Companion:
        return "companion";
    case AlphaKind::OwnBlue:
        return "blue";
    case AlphaKind::None:
        return "none";
    }
    return "?";
}

PictureError parseManifest(std::string_view text, const std::string& fileName,
                           std::vector<ManifestEntry>& entries) {
    entries.clear();
    std::set<std::string> names;
    std::string problems; // one line per bad line
    int lineNumber = 0;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++lineNumber;
        const Fields fields = splitFields(stripComment(line));
        if (fields.count == 0) continue;
        const std::string where = fileName + ":" + std::to_string(lineNumber) + ": ";
        ManifestEntry entry;
        std::string cause = parseEntry(fields, entry);
        if (cause.empty() && !names.insert(entry.name).second)
            cause = "picture \"" + entry.name + "\" is listed twice";
        if (cause.empty())
            entries.push_back(std::move(entry));
        else
            problems += (problems.empty() ? "" : "\n") + where + cause;
    }
    if (!problems.empty()) return {problems};
    if (entries.empty()) return {fileName + ": lists no pictures"};
    return {};
}

PictureError readManifest(const std::string& fileName, std::vector<ManifestEntry>& entries) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return {fileName + ": cannot open the picture list"};
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return {fileName + ": cannot read the picture list"};
    return parseManifest(text.str(), fileName, entries);
}

} // namespace picture
