#include "editor/document.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>

#include "common/file_kind.h"
#include "platform/open_file.h"
#include "texgen/operator_table.h"
#include "texgen/text_compile.h"
#include "texgen/text_export.h"
#include "texgen/validate.h"

// The generator's own editing calls work on its process-wide lists, which
// belong to the render thread; the document keeps the same layout and edits
// it the same way (its tests check the bytes against those calls).
namespace editor {

using texgen::NumberStyle;
using texgen::OperationList;
using texgen::ParameterRecord;
using texgen::TextureDescription;

namespace {

// Starting values by parameter name, for the names where the kind's plain
// default (0 for integers, 1 for floats) would give a blank or odd texture.
struct NamedDefault {
    std::string_view name;
    double value;
};
constexpr NamedDefault kNamedDefaults[] = {
    {"step", 32},
    {"seed", 1},
    {"levels", 255},
    {"amplitude", 128},
    {"persistence", 128},
    {"octaves", 4},
    {"cellWidth", 32},
    {"cellHeight", 32},
    {"red", 160},
    {"green", 120},
    {"blue", 80},
    {"red1", 255},
    {"green1", 255},
    {"blue1", 255},
    {"count", 8},
    {"rule", 30},
    {"rotation", 1},
    {"reach", 8},
    {"radius", 16},
    {"bits", 4},
    {"quadrant", 1},
    {"xShift", 16},
    {"yShift", 16},
    {"depth", 64},
    {"left", -2},
    {"top", -1.5},
    {"right", 1},
    {"bottom", 1.5},
    {"xFrequency", 4},
    {"yFrequency", 4},
    {"strength", 2},
    {"rowFrequency", 4},
    {"columnFrequency", 4},
    {"horizontalAmplitude", 8},
    {"verticalAmplitude", 8},
    {"xFactor", 16},
    {"yFactor", 16},
    {"hueOffset", 30},
};

constexpr int kNoMerge = -1;
constexpr std::string_view kTextKind = "text";

bool hasComments(std::string_view source) {
    return source.find("//") != std::string_view::npos ||
           source.find('#') != std::string_view::npos;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool isProgramPath(const std::string& path) {
    return endsWith(path, ".txt");
}

std::string writeText(const std::string& path, const std::string& text) {
    std::ofstream out(utf8Path(path), std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) return path + ": cannot write the file";
    return "";
}

std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A line that holds nothing but spaces and a comment.
bool isBlank(std::string_view line) {
    const std::string_view text = trimmed(line);
    return text.empty() || text.starts_with("//") || text.starts_with('#');
}

bool isLayerHeader(std::string_view line) {
    const std::string_view text = trimmed(line);
    return text.starts_with("layer") &&
           (text.size() == 5 || !std::isalnum(static_cast<unsigned char>(text[5])));
}

// The layer a header line names, or the compiler's complaint about it.
int readHeader(std::string_view line, std::string& message) {
    TextureDescription scratch;
    if (auto error = texgen::compileDescription(line, scratch)) {
        message = "column " + std::to_string(error->column) + ": " + error->message;
        return -1;
    }
    const std::string_view text = trimmed(line).substr(5);
    const size_t digit = text.find_first_of("0123456789");
    return text[digit] - '0';
}

// One program line compiled into slot `at` of `list`: an operation (perhaps
// with values the validator refuses, which stay editable as numbers) or the
// line as written with the compiler's message.
void compileInto(LayerList& list, int at, std::string_view text) {
    int32_t opcode = kBrokenOpcode;
    ParameterRecord params{};
    list.broken[at] = {};
    if (auto error = texgen::compileOperation(text, opcode, params)) {
        const texgen::Status status = texgen::validateOperation(opcode, params);
        const bool onlyRefused =
            texgen::findOperator(opcode) && !status.ok() && status.message == error->message;
        if (!onlyRefused) {
            opcode = kBrokenOpcode;
            params = {};
            list.broken[at] = {std::string(trimmed(text)),
                               "column " + std::to_string(error->column) + ": " + error->message};
        }
    }
    list.operations.opcode[at] = opcode;
    list.operations.params[at] = params;
}

// Makes room at `at` in `list`, moving the operations from there one down.
bool openSlot(LayerList& list, int at) {
    OperationList& operations = list.operations;
    if (operations.count >= texgen::kMaxOperations) return false;
    for (int i = operations.count; i > at; --i) {
        operations.opcode[i] = operations.opcode[i - 1];
        operations.params[i] = operations.params[i - 1];
        list.broken[i] = list.broken[i - 1];
    }
    ++operations.count;
    list.broken[at] = {};
    return true;
}

void swapSlots(LayerList& list, int a, int b) {
    std::swap(list.operations.opcode[a], list.operations.opcode[b]);
    std::swap(list.operations.params[a], list.operations.params[b]);
    std::swap(list.broken[a], list.broken[b]);
}

} // namespace

std::string parseTypedValue(texgen::ParamKind kind, std::string_view text, float& value) {
    const std::string_view token = trimmed(text);
    std::string error = texgen::parseParameter(kind, token, value);
    if (!error.empty() && token.find(',') != std::string_view::npos) {
        error += " (the decimal mark is a point: 1.5)";
    }
    return error;
}

std::string parseExportSize(std::string_view text, int& size) {
    const std::string_view token = trimmed(text);
    int value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (token.empty() || error != std::errc() || end != token.data() + token.size() ||
        !texgen::isValidLayerSize(value)) {
        return "'" + std::string(token) + "' is not a power of two in 2..4096";
    }
    size = value;
    return "";
}

ParameterRecord defaultParameters(int32_t opcode, int layer) {
    ParameterRecord params{};
    const texgen::OperatorInfo* info = texgen::findOperator(opcode);
    if (!info) return params;
    for (int slot = 0; slot < info->paramCount; ++slot) {
        const texgen::ParamSpec& slotInfo = info->params[slot];
        double value = slotInfo.kind == texgen::ParamKind::Float ? 1.0 : 0.0;
        if (slotInfo.kind == texgen::ParamKind::Layer) value = layer;
        for (const NamedDefault& named : kNamedDefaults) {
            if (named.name == slotInfo.name && slotInfo.kind != texgen::ParamKind::Layer)
                value = named.value;
        }
        params.value[slot] = static_cast<float>(std::clamp(value, slotInfo.min, slotInfo.max));
    }
    return params;
}

int writtenLayer(int32_t opcode, const ParameterRecord& params, int fallback) {
    const texgen::OperatorInfo* info = texgen::findOperator(opcode);
    if (!info) return fallback;
    for (int slot = 0; slot < info->paramCount; ++slot) {
        if (std::string_view(info->params[slot].name) == "dst") {
            const int written = static_cast<int>(params.value[slot]);
            return written >= 0 && written < texgen::kLayerCount ? written : fallback;
        }
    }
    return fallback;
}

Document::Document() : description_(std::make_unique<TextureDescription>()) {
    clear();
}

Document::~Document() = default;

void Document::replaceContents(
    const TextureDescription& description,
    const std::array<std::vector<BrokenLine>, texgen::kLayerCount>& broken, const std::string& path,
    bool program, bool comments) {
    *description_ = description;
    for (int layer = 0; layer < texgen::kLayerCount; ++layer) {
        broken_[layer] = {};
        std::copy(broken[layer].begin(), broken[layer].end(), broken_[layer].begin());
    }
    // The last operation of the last list: what the texture comes out of.
    selection_ = {};
    for (int layer = texgen::kLayerCount - 1; layer >= 0; --layer) {
        if (description.lists[layer].count > 0) {
            selection_ = {layer, description.lists[layer].count - 1};
            break;
        }
    }
    steps_.clear();
    undoPosition_ = 0;
    savedPosition_ = 0;
    path_ = path;
    program_ = program;
    hasComments_ = comments;
    ++revision_;
}

void Document::clear() {
    TextureDescription empty{};
    replaceContents(empty, {}, "", false, false);
}

// Line by line, as the compiler reads a program, but a line it refuses is
// kept as written in the list it stands in (before any header: layer 0).
std::string Document::openProgram(const std::string& path, const std::string& source) {
    auto loaded = std::make_unique<TextureDescription>();
    std::array<LayerList, texgen::kLayerCount> lists;
    bool seen[texgen::kLayerCount] = {};
    int current = 0;
    std::string_view rest = source;
    for (int lineNumber = 1; !rest.empty(); ++lineNumber) {
        const size_t newline = rest.find('\n');
        const std::string_view line = rest.substr(0, newline);
        rest = newline == std::string_view::npos ? std::string_view{} : rest.substr(newline + 1);
        if (isBlank(line)) continue;
        std::string headerProblem;
        if (isLayerHeader(line)) {
            const int layer = readHeader(line, headerProblem);
            if (layer >= 0 && seen[layer]) {
                headerProblem = "layer " + std::to_string(layer) + " appears twice";
            } else if (layer >= 0) {
                seen[layer] = true;
                current = layer;
                continue;
            }
        }
        LayerList& list = lists[current];
        const int at = list.operations.count;
        if (at >= texgen::kMaxOperations) {
            return path + ": line " + std::to_string(lineNumber) + ": layer " +
                   std::to_string(current) + " already holds " +
                   std::to_string(texgen::kMaxOperations) + " operations";
        }
        ++list.operations.count;
        if (headerProblem.empty()) {
            compileInto(list, at, line);
        } else {
            list.operations.opcode[at] = kBrokenOpcode;
            list.broken[at] = {std::string(trimmed(line)), headerProblem};
        }
    }
    std::array<std::vector<BrokenLine>, texgen::kLayerCount> broken;
    for (int layer = 0; layer < texgen::kLayerCount; ++layer) {
        loaded->lists[layer] = lists[layer].operations;
        broken[layer].assign(lists[layer].broken.begin(), lists[layer].broken.end());
    }
    replaceContents(*loaded, broken, path, true, hasComments(source));
    return "";
}

std::string Document::open(const std::string& path) {
    std::ifstream in(utf8Path(path), std::ios::binary);
    if (!in) return path + ": cannot open the file";
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return path + ": cannot read the file";
    const std::string bytes = text.str();
    const std::string kind =
        guessFileKind(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (kind == kTextKind || (bytes.empty() && isProgramPath(path))) {
        return openProgram(path, bytes);
    }
    if (!kind.empty()) {
        const char* expected = isProgramPath(path) ? "a texture program" : "a description file";
        return path + ": not " + expected + ": it starts like " + kind;
    }
    if (isProgramPath(path)) return path + ": not a texture program: it is not text";
    auto loaded = std::make_unique<TextureDescription>();
    if (texgen::Status status = texgen::readDescription(path, *loaded); !status.ok()) {
        return status.message;
    }
    // Operations the validator refuses open too, in red; only a list the
    // editor cannot hold is refused.
    for (int layer = 0; layer < texgen::kLayerCount; ++layer) {
        const int listCount = loaded->lists[layer].count;
        if (listCount < 0 || listCount > texgen::kMaxOperations) {
            return path + ": layer " + std::to_string(layer) + " has " + std::to_string(listCount) +
                   " operations, outside 0.." + std::to_string(texgen::kMaxOperations);
        }
    }
    replaceContents(*loaded, {}, path, false, false);
    return "";
}

std::string Document::programText(NumberStyle style) const {
    std::string text;
    for (int layer = 0; layer < texgen::kLayerCount; ++layer) {
        if (layer > 0) text += '\n';
        text += "layer " + std::to_string(layer) + ":\n";
        for (int index = 0; index < count(layer); ++index) {
            if (isBroken(layer, index)) {
                text += broken_[layer][index].text;
            } else if (texgen::findOperator(opcode(layer, index))) {
                text += texgen::operationToText(opcode(layer, index), params(layer, index), style);
            } else {
                text +=
                    "// opcode " + std::to_string(opcode(layer, index)) + " is unused and skipped";
            }
            text += '\n';
        }
    }
    return text;
}

std::string Document::save() {
    if (path_.empty()) return "no file name yet: use Save As";
    if (program_) {
        // Text holds broken lines as they are: nothing typed is lost, and the
        // compiler names them again when the show is built.
        if (std::string error = writeText(path_, programText(NumberStyle::Shortest));
            !error.empty()) {
            return error;
        }
        hasComments_ = false; // the file on disk has none now
    } else {
        // A file the generator refuses would not open again: keep the
        // person's work here until every operation can run.
        for (int layer = 0; layer < texgen::kLayerCount; ++layer) {
            for (int index = 0; index < count(layer); ++index) {
                if (std::string message = problem(layer, index); !message.empty()) {
                    return "not saved: layer " + std::to_string(layer) + ", operation " +
                           std::to_string(index) + ": " + message +
                           " (a program, .txt, can keep it)";
                }
            }
        }
        if (texgen::Status status = texgen::writeDescription(path_, *description_); !status.ok()) {
            return status.message;
        }
    }
    savedPosition_ = undoPosition_;
    return "";
}

std::string Document::saveAs(const std::string& path) {
    const std::string previous = path_;
    const bool previousProgram = program_;
    const bool previousComments = hasComments_;
    path_ = path;
    program_ = isProgramPath(path);
    hasComments_ = false;
    std::string error = save();
    if (!error.empty()) {
        path_ = previous;
        program_ = previousProgram;
        hasComments_ = previousComments;
    }
    return error;
}

std::string Document::exportText(const std::string& path) const {
    return writeText(path, programText(NumberStyle::Exact));
}

bool Document::modified() const {
    return undoPosition_ != savedPosition_;
}

std::string Document::title() const {
    std::string name = path_.empty() ? "untitled" : path_.substr(path_.find_last_of('/') + 1);
    return name + (modified() ? " *" : "");
}

bool Document::saveLosesComments() const {
    return hasComments_ && program_;
}

int32_t Document::opcode(int layer, int index) const {
    return description_->lists[layer].opcode[index];
}

const ParameterRecord& Document::params(int layer, int index) const {
    return description_->lists[layer].params[index];
}

bool Document::isBroken(int layer, int index) const {
    return !broken_[layer][index].message.empty();
}

std::string Document::line(int layer, int index) const {
    if (isBroken(layer, index)) return broken_[layer][index].text;
    return texgen::operationToText(opcode(layer, index), params(layer, index),
                                   NumberStyle::Shortest);
}

std::string Document::problem(int layer, int index) const {
    if (isBroken(layer, index)) return broken_[layer][index].message;
    texgen::Status status = texgen::validateOperation(opcode(layer, index), params(layer, index));
    return status.ok() ? "" : status.message;
}

// Each slot is tried on its own among starting values the validator takes,
// so that every refused slot is found, not only the first.
std::vector<SlotProblem> Document::slotProblems(int layer, int index) const {
    std::vector<SlotProblem> problems;
    const int32_t code = opcode(layer, index);
    const texgen::OperatorInfo* info = texgen::findOperator(code);
    if (!info || isBroken(layer, index)) return problems;
    const ParameterRecord& stored = params(layer, index);
    const ParameterRecord valid = defaultParameters(code, layer);
    for (int slot = 0; slot < info->paramCount; ++slot) {
        ParameterRecord alone = valid;
        alone.value[slot] = stored.value[slot];
        int32_t bad = texgen::kNoSlot;
        const texgen::Status status = texgen::validateOperation(code, alone, &bad);
        if (!status.ok() && bad == slot) problems.push_back({slot, status.message});
    }
    int32_t bad = texgen::kNoSlot;
    const texgen::Status status = texgen::validateOperation(code, stored, &bad);
    const bool listed = std::any_of(problems.begin(), problems.end(),
                                    [&](const SlotProblem& found) { return found.slot == bad; });
    if (!status.ok() && !listed) problems.push_back({bad, status.message});
    return problems;
}

int Document::problemCount() const {
    int problems = 0;
    for (int layer = 0; layer < texgen::kLayerCount; ++layer) {
        for (int index = 0; index < count(layer); ++index) {
            problems += !problem(layer, index).empty();
        }
    }
    return problems;
}

TextureDescription Document::runnable() const {
    return runnableUpTo({texgen::kLayerCount - 1, -1});
}

TextureDescription Document::runnableUpTo(Selection at) const {
    TextureDescription result{};
    const bool whole = at.index < 0;
    for (int layer = 0; layer < texgen::kLayerCount; ++layer) {
        if (!whole && layer > at.layer) break;
        OperationList& list = result.lists[layer];
        const int end =
            !whole && layer == at.layer ? std::min(at.index + 1, count(layer)) : count(layer);
        for (int index = 0; index < end; ++index) {
            if (!problem(layer, index).empty()) continue;
            list.opcode[list.count] = opcode(layer, index);
            list.params[list.count] = params(layer, index);
            ++list.count;
        }
    }
    return result;
}

void Document::select(Selection selection) {
    if (selection.layer < 0 || selection.layer >= texgen::kLayerCount) return;
    if (selection.index < -1 || selection.index >= count(selection.layer)) selection.index = -1;
    selection_ = selection;
}

LayerList Document::list(int layer) const {
    LayerList result;
    result.operations = description_->lists[layer];
    result.broken = broken_[layer];
    return result;
}

void Document::store(int layer, const LayerList& list) {
    description_->lists[layer] = list.operations;
    broken_[layer] = list.broken;
}

bool Document::apply(const LayerList& after, Selection selectionAfter, int mergeKey, bool open) {
    const int layer = selection_.layer;
    steps_.resize(undoPosition_); // a new edit drops what could be redone
    if (savedPosition_ > undoPosition_) savedPosition_ = std::string::npos;
    Step* last = steps_.empty() ? nullptr : &steps_.back();
    if (mergeKey != kNoMerge && last && last->open && last->mergeKey == mergeKey &&
        last->layer == layer && last->selectionAfter == selection_ &&
        savedPosition_ != undoPosition_) {
        last->after = after;
        last->open = open;
    } else {
        steps_.push_back({layer, list(layer), after, selection_, selectionAfter, mergeKey, open});
        ++undoPosition_;
    }
    store(layer, after);
    selection_ = selectionAfter;
    ++revision_;
    return true;
}

bool Document::add(int32_t code) {
    if (!texgen::findOperator(code)) return false;
    LayerList changed = list(selection_.layer);
    const int at = selection_.index < 0 ? changed.operations.count : selection_.index + 1;
    if (!openSlot(changed, at)) return false;
    changed.operations.opcode[at] = code;
    changed.operations.params[at] = defaultParameters(code, selection_.layer);
    return apply(changed, {selection_.layer, at});
}

bool Document::insertBefore(int32_t code) {
    if (!texgen::findOperator(code)) return false;
    LayerList changed = list(selection_.layer);
    const int at = std::max(selection_.index, 0);
    if (!openSlot(changed, at)) return false;
    changed.operations.opcode[at] = code;
    changed.operations.params[at] = defaultParameters(code, selection_.layer);
    return apply(changed, {selection_.layer, at});
}

bool Document::remove() {
    if (selection_.index < 0) return false;
    LayerList changed = list(selection_.layer);
    OperationList& operations = changed.operations;
    for (int i = selection_.index; i + 1 < operations.count; ++i) {
        operations.opcode[i] = operations.opcode[i + 1];
        operations.params[i] = operations.params[i + 1];
        changed.broken[i] = changed.broken[i + 1];
    }
    // The freed slot keeps its bytes, as the generator's own undo leaves them.
    --operations.count;
    changed.broken[operations.count] = {};
    const int next = selection_.index < operations.count ? selection_.index : operations.count - 1;
    return apply(changed, {selection_.layer, next});
}

bool Document::duplicate() {
    if (selection_.index < 0) return false;
    LayerList changed = list(selection_.layer);
    const int at = selection_.index + 1;
    if (!openSlot(changed, at)) return false;
    changed.operations.opcode[at] = changed.operations.opcode[selection_.index];
    changed.operations.params[at] = changed.operations.params[selection_.index];
    changed.broken[at] = changed.broken[selection_.index];
    return apply(changed, {selection_.layer, at});
}

bool Document::moveUp() {
    const int index = selection_.index;
    if (index < 1) return false;
    LayerList changed = list(selection_.layer);
    swapSlots(changed, index, index - 1);
    return apply(changed, {selection_.layer, index - 1});
}

bool Document::moveDown() {
    const int index = selection_.index;
    if (index < 0 || index + 1 >= count(selection_.layer)) return false;
    LayerList changed = list(selection_.layer);
    swapSlots(changed, index, index + 1);
    return apply(changed, {selection_.layer, index + 1});
}

bool Document::setParameter(int slot, float value, bool ongoing) {
    if (selection_.index < 0 || slot < 0 || slot >= texgen::kParameterCount) return false;
    const texgen::OperatorInfo* info =
        texgen::findOperator(opcode(selection_.layer, selection_.index));
    if (!info || slot >= info->paramCount) return false;
    LayerList changed = list(selection_.layer);
    float& stored = changed.operations.params[selection_.index].value[slot];
    if (std::memcmp(&stored, &value, sizeof value) == 0) {
        // A drag released where it last moved to: its step is complete.
        if (!ongoing && undoPosition_ == steps_.size() && !steps_.empty())
            steps_.back().open = false;
        return false;
    }
    stored = value;
    return apply(changed, selection_, slot, ongoing);
}

bool Document::setLine(const std::string& text) {
    if (selection_.index < 0) return false;
    LayerList changed = list(selection_.layer);
    compileInto(changed, selection_.index, text);
    const int at = selection_.index;
    const bool same = changed.broken[at] == broken_[selection_.layer][at] &&
                      changed.operations.opcode[at] == opcode(selection_.layer, at) &&
                      std::memcmp(&changed.operations.params[at], &params(selection_.layer, at),
                                  sizeof(ParameterRecord)) == 0;
    if (same) return false;
    return apply(changed, selection_);
}

bool Document::undo() {
    if (!canUndo()) return false;
    const Step& step = steps_[--undoPosition_];
    store(step.layer, step.before);
    selection_ = step.selectionBefore;
    ++revision_;
    return true;
}

bool Document::redo() {
    if (!canRedo()) return false;
    const Step& step = steps_[undoPosition_++];
    store(step.layer, step.after);
    selection_ = step.selectionAfter;
    ++revision_;
    return true;
}

} // namespace editor
