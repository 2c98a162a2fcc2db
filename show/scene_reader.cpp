#include <algorithm>
#include <limits>
#include <map>
#include <optional>

#include "show/scene_set.h"

namespace scenes {

std::string SceneSetError::text() const {
    if (line == 0) return file + ": " + message;
    return file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + message;
}

namespace {

constexpr const char* kTracksSuffix = ".tracks";
constexpr int32_t kCornersPerQuad = 4;
constexpr int32_t kTexturedCorner = 5; // s t x y z
constexpr int32_t kPlainCorner = 3;    // x y z
constexpr size_t kMaxGridDigits = 5;   // a grid's side, before the cell limit
constexpr int32_t kColourValues = 4;
constexpr int32_t kViewValues = 9;

struct Token {
    std::string_view text;
    int32_t column = 0; // 1-based
};

// A name to look up once every file is read, and where it was written.
struct PendingName {
    int32_t block = 0;
    size_t step = 0;
    std::string name;
    SceneSetError place;
};

bool endsWith(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// What a whole set's reading shares between its files.
struct SetState {
    SceneSet& set;
    ExpressionNames names;
    std::map<std::string, int32_t, std::less<>> pieces; // name -> block
    std::vector<PendingName> includes, pictures;
};

class FileReader {
  public:
    FileReader(const SceneSource& file, SetState& state) : file_(file), state_(state) {}

    SceneSetError read() {
        if (file_.text.size() > kMaxSceneFileBytes) {
            return fileError("larger than " + std::to_string(kMaxSceneFileBytes) + " bytes");
        }
        if (file_.text.find('\0') != std::string::npos) return fileError("not a text file");
        const bool tracksFile = endsWith(file_.name, kTracksSuffix);
        while (nextLine()) {
            const std::string_view word = tokens_[0].text;
            if (tracksFile && word == "track") {
                readTrack();
            } else if (!tracksFile && word == "pictures") {
                readPictures();
            } else if (!tracksFile && word == "piece") {
                readPiece();
            } else if (!tracksFile && word == "scene") {
                readScene();
            } else {
                fail(tokens_[0], tracksFile ? "expected 'track NAME'"
                                            : "expected 'pictures', 'piece NAME' or 'scene NAME'");
            }
            if (error_) break;
        }
        return error_;
    }

  private:
    SceneSetError fileError(const std::string& message) { return {file_.name, 0, 0, message}; }

    void fail(const Token& at, const std::string& message) {
        if (!error_) error_ = {file_.name, lineNumber_, at.column, message};
    }
    void failLine(const std::string& message) { fail({"", 1}, message); }

    // The next line with something on it, split into tokens; false at the end.
    bool nextLine() {
        const std::string& text = file_.text;
        while (!error_ && position_ < text.size()) {
            const size_t end = std::min(text.find('\n', position_), text.size());
            std::string_view line(text.data() + position_, end - position_);
            position_ = end + 1;
            ++lineNumber_;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            tokenize(line);
            if (!error_ && !tokens_.empty()) return true;
        }
        return false;
    }

    // Words split at spaces, except inside parentheses; "#" ends the line.
    void tokenize(std::string_view line) {
        tokens_.clear();
        size_t at = 0;
        while (at < line.size()) {
            const char c = line[at];
            if (c == ' ' || c == '\t') {
                ++at;
                continue;
            }
            if (c == '#') break;
            const size_t start = at;
            int32_t depth = 0;
            while (at < line.size() &&
                   (depth > 0 || (line[at] != ' ' && line[at] != '\t' && line[at] != '#'))) {
                if (line[at] == '(') ++depth;
                if (line[at] == ')' && --depth < 0) break;
                ++at;
            }
            if (depth != 0 || (at < line.size() && line[at] == ')')) {
                const Token where{line.substr(start), int32_t(start + 1)};
                return fail(where, depth > 0 ? "'(' without its ')'" : "')' without its '('");
            }
            tokens_.push_back({line.substr(start, at - start), int32_t(start + 1)});
        }
    }

    bool expectCount(size_t count, const char* form) {
        if (tokens_.size() == count) return true;
        const Token& at = tokens_.size() > count ? tokens_[count] : tokens_.back();
        fail(at, std::string("expected '") + form + "'");
        return false;
    }

    std::optional<ExpressionId> value(const Token& token) {
        ExpressionError problem;
        const ExpressionId id = parseExpression(token.text, state_.names, state_.set.pool, problem);
        if (id >= 0) return id;
        fail({token.text, token.column + int32_t(problem.column)}, problem.message);
        return std::nullopt;
    }

    // The values of tokens first.. as one step's values.
    bool values(Step& step, size_t first, size_t count) {
        step.first = int32_t(state_.set.values.size());
        for (size_t k = first; k < first + count; ++k) {
            const std::optional<ExpressionId> id = value(tokens_[k]);
            if (!id) return false;
            state_.set.values.push_back(*id);
        }
        step.count += int32_t(count);
        return true;
    }

    int32_t newBlock() {
        state_.set.blocks.emplace_back();
        return int32_t(state_.set.blocks.size() - 1);
    }

    // Reads steps up to the "end" closing `opening` (a line number).
    void readSteps(int32_t block, const std::string& what, int32_t opening, bool inOnce) {
        while (nextLine()) {
            if (tokens_[0].text == "end") {
                expectCount(1, "end");
                return;
            }
            readStep(block, inOnce);
            if (error_) return;
        }
        if (!error_) error_ = {file_.name, opening, 1, "'" + what + "' has no 'end'"};
    }

    void readStep(int32_t block, bool inOnce) {
        const Token word = tokens_[0];
        Step step;
        const auto onOff = [&](StepKind kind, const char* on, const char* off) {
            step.kind = kind;
            if (!expectCount(2, (std::string(word.text) + " " + on + "|" + off).c_str())) return;
            if (tokens_[1].text == on)
                step.argument = 1;
            else if (tokens_[1].text != off)
                fail(tokens_[1], std::string("expected '") + on + "' or '" + off + "'");
        };
        if (word.text == "identity") {
            step.kind = StepKind::Identity;
            expectCount(1, "identity");
        } else if (word.text == "texturing") {
            onOff(StepKind::Texturing, "on", "off");
        } else if (word.text == "camera") {
            onOff(StepKind::Camera, "on", "off");
        } else if (word.text == "blend") {
            onOff(StepKind::Blend, "add", "over");
        } else if (word.text == "colour") {
            step.kind = StepKind::Colour;
            if (expectCount(1 + kColourValues, "colour R G B A")) values(step, 1, kColourValues);
        } else if (word.text == "view") {
            step.kind = StepKind::View;
            if (expectCount(1 + kViewValues, "view EX EY EZ CX CY CZ UX UY UZ"))
                values(step, 1, kViewValues);
        } else if (word.text == "picture" || word.text == "include") {
            step.kind = word.text == "picture" ? StepKind::Picture : StepKind::Include;
            if (expectCount(2, word.text == "picture" ? "picture FILE" : "include PIECE")) {
                auto& pending = word.text == "picture" ? state_.pictures : state_.includes;
                pending.push_back({block,
                                   state_.set.blocks[size_t(block)].steps.size(),
                                   std::string(tokens_[1].text),
                                   {file_.name, lineNumber_, tokens_[1].column, ""}});
            }
        } else if (word.text == "tufts" || word.text == "scatter") {
            step.kind = word.text == "tufts" ? StepKind::Tufts : StepKind::Scatter;
            expectCount(1, word.text == "tufts" ? "tufts" : "scatter");
        } else if (word.text == "quad" || word.text == "quads" || word.text == "plain") {
            if (expectCount(1, std::string(word.text).c_str())) readQuads(step, word);
        } else if (word.text == "grid") {
            readGrid(step, word);
        } else if (word.text == "once") {
            step.kind = StepKind::Once;
            if (inOnce) return fail(word, "'once' inside 'once'");
            if (!expectCount(1, "once")) return;
            step.argument = newBlock();
            readSteps(step.argument, "once", lineNumber_, true);
        } else {
            return fail(word, "unknown step '" + std::string(word.text) + "'");
        }
        if (!error_) state_.set.blocks[size_t(block)].steps.push_back(step);
    }

    // "grid COLUMNS ROWS": whole numbers, the cells no more than a scene's quads.
    void readGrid(Step& step, const Token& word) {
        if (!expectCount(3, "grid COLUMNS ROWS")) return;
        int64_t sides[2] = {};
        for (int k = 0; k < 2; ++k) {
            const Token& side = tokens_[size_t(k + 1)];
            const std::string text(side.text);
            if (text.empty() || text.size() > kMaxGridDigits ||
                text.find_first_not_of("0123456789") != std::string::npos || text == "0")
                return fail(side, "a grid's columns and rows are whole numbers from 1");
            sides[k] = std::stoll(text);
        }
        if (sides[0] * sides[1] > int64_t(kMaxQuadsPerScene))
            return fail(word, "more than " + std::to_string(kMaxQuadsPerScene) + " cells");
        readQuads(step, word);
        step.kind = StepKind::Grid;
        step.argument = int32_t(sides[0]);
        step.rows = int32_t(sides[1]);
    }

    // The corner lines of quad, quads, plain or grid, up to their "end".
    void readQuads(Step& step, const Token& word) {
        const bool plain = word.text == "plain";
        const bool single = word.text == "quad";
        const size_t perCorner = size_t(plain ? kPlainCorner : kTexturedCorner);
        step.kind = plain ? StepKind::Plain : StepKind::Quads;
        step.first = int32_t(state_.set.values.size());
        const int32_t opening = lineNumber_;
        int32_t corners = 0;
        while (nextLine()) {
            if (tokens_[0].text == "end") {
                if (!expectCount(1, "end")) return;
                if (corners == 0 || corners % kCornersPerQuad != 0 ||
                    (single && corners != kCornersPerQuad)) {
                    return fail(tokens_[0], std::to_string(corners) + " corners: " +
                                                (single ? "a quad has 4" : "quads come in fours"));
                }
                if (size_t(corners / kCornersPerQuad) > kMaxQuadsPerScene)
                    return fail(tokens_[0],
                                "more than " + std::to_string(kMaxQuadsPerScene) + " quads");
                return;
            }
            if (tokens_.size() != perCorner) {
                const Token& at = tokens_.size() > perCorner ? tokens_[perCorner] : tokens_.back();
                return fail(at, plain ? "a corner is 'X Y Z'" : "a corner is 'S T X Y Z'");
            }
            const int32_t before = step.count;
            Step corner;
            if (!values(corner, 0, perCorner)) return;
            step.count = before + corner.count;
            ++corners;
            if (size_t(corners / kCornersPerQuad) > kMaxQuadsPerScene)
                return fail(tokens_[0],
                            "more than " + std::to_string(kMaxQuadsPerScene) + " quads");
        }
        if (!error_)
            error_ = {file_.name, opening, word.column,
                      "'" + std::string(word.text) + "' has no 'end'"};
    }

    void readPictures() {
        if (!expectCount(1, "pictures")) return;
        const int32_t opening = lineNumber_;
        while (nextLine()) {
            if (tokens_[0].text == "end") {
                expectCount(1, "end");
                return;
            }
            if (tokens_.size() < 2 || tokens_.size() > 3)
                return fail(tokens_.back(), "expected 'FILE companion|blue|none [mipmap]'");
            PictureEntry entry;
            entry.file = tokens_[0].text;
            entry.listedIn = file_.name;
            entry.line = lineNumber_;
            entry.column = tokens_[0].column;
            const std::string_view alpha = tokens_[1].text;
            if (alpha == "companion")
                entry.alpha = Alpha::Companion;
            else if (alpha == "blue")
                entry.alpha = Alpha::Blue;
            else if (alpha != "none")
                return fail(tokens_[1], "expected 'companion', 'blue' or 'none'");
            if (tokens_.size() == 3) {
                if (tokens_[2].text != "mipmap") return fail(tokens_[2], "expected 'mipmap'");
                entry.mipmap = true;
            }
            if (!entry.file.starts_with("data/") || !entry.file.ends_with(".hwl") ||
                entry.file.find("..") != std::string::npos) {
                return fail(tokens_[0], "a picture is 'data/NAME.hwl'");
            }
            auto& pictures = state_.set.pictures;
            if (std::any_of(pictures.begin(), pictures.end(),
                            [&](const PictureEntry& p) { return p.file == entry.file; })) {
                return fail(tokens_[0], entry.file + " is listed twice");
            }
            pictures.push_back(entry);
        }
        if (!error_) error_ = {file_.name, opening, 1, "'pictures' has no 'end'"};
    }

    void readPiece() {
        if (!expectCount(2, "piece NAME")) return;
        const Token name = tokens_[1];
        if (state_.pieces.count(name.text))
            return fail(name, "a second piece '" + std::string(name.text) + "'");
        const int32_t block = newBlock();
        state_.pieces.emplace(std::string(name.text), block);
        readSteps(block, "piece " + std::string(name.text), lineNumber_, false);
    }

    void readScene() {
        if (!expectCount(2, "scene NAME")) return;
        const Token name = tokens_[1];
        auto& scenes = state_.set.scenes;
        if (std::any_of(scenes.begin(), scenes.end(),
                        [&](const SceneEntry& s) { return s.name == name.text; })) {
            return fail(name, "a second scene '" + std::string(name.text) + "'");
        }
        if (scenes.size() == kMaxSceneCount)
            return fail(name, "more than " + std::to_string(kMaxSceneCount) + " scenes");
        const int32_t opening = lineNumber_;
        SceneEntry scene;
        scene.name = name.text;
        scene.file = file_.name;
        scene.line = opening;
        while (nextLine()) {
            const Token part = tokens_[0];
            if (part.text == "end") {
                if (expectCount(1, "end")) scenes.push_back(scene);
                return;
            }
            int32_t* slot = part.text == "start"   ? &scene.start
                            : part.text == "draw"  ? &scene.draw
                            : part.text == "after" ? &scene.after
                                                   : nullptr;
            if (!slot) return fail(part, "expected 'start', 'draw', 'after' or 'end'");
            if (*slot >= 0) return fail(part, "a second '" + std::string(part.text) + "'");
            if (!expectCount(1, std::string(part.text).c_str())) return;
            *slot = newBlock();
            readSteps(*slot, std::string(part.text), lineNumber_, false);
            if (error_) return;
        }
        if (!error_) error_ = {file_.name, opening, 1, "'scene " + scene.name + "' has no 'end'"};
    }

    void readTrack() {
        if (!expectCount(2, "track NAME")) return;
        const Token name = tokens_[1];
        // Tracks are read before any expression: their names are complete here.
        if (!isName(name.text)) return fail(name, "a track's name is letters, digits and '_'");
        for (const char* taken : {"t", "since", "i", "j", "pi"})
            if (name.text == taken) return fail(name, "'" + std::string(taken) + "' is taken");
        const auto& tracks = state_.set.tracks;
        if (std::any_of(tracks.begin(), tracks.end(),
                        [&](const Track& t) { return t.name == name.text; })) {
            return fail(name, "a second track '" + std::string(name.text) + "'");
        }
        Track track;
        track.name = name.text;
        const int32_t opening = lineNumber_;
        while (nextLine()) {
            if (tokens_[0].text == "end") {
                if (!expectCount(1, "end")) return;
                if (track.keys.empty()) return fail(tokens_[0], "a track needs a key");
                state_.set.tracks.push_back(track);
                return;
            }
            if (tokens_.size() < 2 || tokens_.size() > 3)
                return fail(tokens_.back(), "expected 'TIME VALUE [step|linear|smooth|ramp]'");
            TrackKey key;
            ExpressionNames none;
            for (int k = 0; k < 2; ++k) {
                ExpressionPool scratch;
                ExpressionError problem;
                const ExpressionId id = parseExpression(tokens_[k].text, none, scratch, problem);
                if (id < 0 || !isNumber(scratch, id))
                    return fail(tokens_[k], "a key's time and value are numbers");
                (k == 0 ? key.time : key.value) = evaluate(scratch, id, {});
            }
            if (tokens_.size() == 3 &&
                !parseInterpolation(std::string(tokens_[2].text), key.toNext))
                return fail(tokens_[2], "expected 'step', 'linear', 'smooth' or 'ramp'");
            if (!track.keys.empty() && key.time <= track.keys.back().time)
                return fail(tokens_[0], "keys go forward in time");
            if (track.keys.size() == kMaxTrackKeys)
                return fail(tokens_[0], "more than " + std::to_string(kMaxTrackKeys) + " keys");
            track.keys.push_back(key);
        }
        if (!error_) error_ = {file_.name, opening, 1, "'track " + track.name + "' has no 'end'"};
    }

    const SceneSource& file_;
    SetState& state_;
    SceneSetError error_;
    size_t position_ = 0;
    int32_t lineNumber_ = 0;
    std::vector<Token> tokens_;
};

// What running a block costs, its includes counted once each however often
// they are included, so that sizing a set never runs long.
struct BlockSize {
    int64_t quads = 0;
    int64_t steps = 0;
    int32_t depth = 0; // the longest chain of includes below it
};

constexpr int32_t kCycle = std::numeric_limits<int32_t>::max();

// Saturating: a count past the limits only needs to stay past them.
int64_t capped(int64_t count) {
    return std::min<int64_t>(count, int64_t(kMaxStepsPerScene) * kMaxQuadsPerScene);
}

struct Sizer {
    const SceneSet& set;
    std::vector<BlockSize> sizes;
    std::vector<uint8_t> state; // 0 not yet, 1 in progress, 2 done

    const BlockSize& of(int32_t block) {
        BlockSize& size = sizes[size_t(block)];
        if (state[size_t(block)] == 2) return size;
        if (state[size_t(block)] == 1) { // an include of itself, however far down
            size.depth = kCycle;
            return size;
        }
        state[size_t(block)] = 1;
        BlockSize total;
        for (const Step& step : set.blocks[size_t(block)].steps) {
            total.steps = capped(total.steps + 1);
            if (step.kind == StepKind::Quads)
                total.quads += step.count / (kTexturedCorner * kCornersPerQuad);
            if (step.kind == StepKind::Grid)
                total.quads += int64_t(step.argument) * step.rows *
                               (step.count / (kTexturedCorner * kCornersPerQuad));
            if (step.kind == StepKind::Plain)
                total.quads += step.count / (kPlainCorner * kCornersPerQuad);
            if (step.kind == StepKind::Include || step.kind == StepKind::Once) {
                const BlockSize inner = of(step.argument);
                total.depth =
                    inner.depth == kCycle ? kCycle : std::max(total.depth, inner.depth + 1);
                total.steps = capped(total.steps + inner.steps);
                total.quads += inner.quads;
            }
            total.quads = capped(total.quads);
        }
        size = total;
        state[size_t(block)] = 2;
        return size;
    }
};

// The first problem with the size of `block`'s steps, or "".
std::string sizeProblem(Sizer& sizer, int32_t block) {
    const BlockSize& size = sizer.of(block);
    if (size.depth > kMaxIncludeDepth)
        return "pieces include each other more than " + std::to_string(kMaxIncludeDepth) + " deep";
    if (size_t(size.quads) > kMaxQuadsPerScene)
        return "the scene draws more than " + std::to_string(kMaxQuadsPerScene) + " quads";
    if (size.steps > kMaxStepsPerScene)
        return "the scene runs more than " + std::to_string(kMaxStepsPerScene) + " steps";
    return "";
}

// Looks up the pieces and pictures the steps name, then checks what the
// scenes draw as a whole.
SceneSetError link(SetState& state) {
    SceneSet& set = state.set;
    for (PendingName& include : state.includes) {
        const auto piece = state.pieces.find(include.name);
        if (piece == state.pieces.end()) {
            include.place.message = "no piece '" + include.name + "'";
            return include.place;
        }
        set.blocks[size_t(include.block)].steps[include.step].argument = piece->second;
    }
    for (PendingName& picture : state.pictures) {
        const auto listed =
            std::find_if(set.pictures.begin(), set.pictures.end(),
                         [&](const PictureEntry& p) { return p.file == picture.name; });
        if (listed == set.pictures.end()) {
            picture.place.message = picture.name + " is not in the pictures list";
            return picture.place;
        }
        set.blocks[size_t(picture.block)].steps[picture.step].argument =
            int32_t(listed - set.pictures.begin());
    }
    Sizer sizer{set, std::vector<BlockSize>(set.blocks.size()),
                std::vector<uint8_t>(set.blocks.size())};
    for (const SceneEntry& scene : set.scenes) {
        for (const int32_t block : {scene.start, scene.draw, scene.after}) {
            if (block < 0) continue;
            if (std::string problem = sizeProblem(sizer, block); !problem.empty())
                return {scene.file, scene.line, 1, std::move(problem)};
        }
    }
    // Pieces no scene includes are never run, but they must not include
    // each other in a circle: whatever reads the set walks every block.
    for (PendingName& include : state.includes) {
        if (sizer.of(include.block).depth > kMaxIncludeDepth) {
            include.place.message =
                "pieces include each other more than " + std::to_string(kMaxIncludeDepth) + " deep";
            return include.place;
        }
    }
    return {};
}

} // namespace

SceneSetError readSceneSet(const std::vector<SceneSource>& files, SceneSet& set) {
    set = {};
    SetState state{set, {}, {}, {}, {}};
    std::vector<const SceneSource*> order;
    for (const SceneSource& file : files)
        if (endsWith(file.name, kTracksSuffix)) order.push_back(&file);
    for (const SceneSource& file : files)
        if (!endsWith(file.name, kTracksSuffix)) order.push_back(&file);
    bool tracksNamed = false;
    for (const SceneSource* file : order) {
        if (!tracksNamed && !endsWith(file->name, kTracksSuffix)) {
            for (const Track& track : set.tracks) state.names.tracks.push_back(track.name);
            tracksNamed = true;
        }
        if (SceneSetError error = FileReader(*file, state).read(); error) return error;
    }
    return link(state);
}

} // namespace scenes
