#include "editor/document.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>

#include "texgen/operator_table.h"
#include "texgen/text_compile.h"
#include "texgen/text_export.h"
#include "texgen/validate.h"

// The generator's own editing calls work on its process-wide lists, which
// belong to the render thread; the document keeps the same layout and edits
// it the same way (its tests check the bytes against those calls).
namespace editor {

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
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) return path + ": cannot write the file";
    return "";
}

} // namespace

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

void Document::replaceContents(const TextureDescription& description, const std::string& path,
                               bool comments) {
    *description_ = description;
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
    hasComments_ = comments;
    ++revision_;
}

void Document::clear() {
    TextureDescription empty{};
    replaceContents(empty, "", false);
}

std::string Document::open(const std::string& path) {
    auto loaded = std::make_unique<TextureDescription>();
    bool comments = false;
    if (isProgramPath(path)) {
        std::ifstream in(path, std::ios::binary);
        if (!in) return path + ": cannot open the file";
        std::ostringstream text;
        text << in.rdbuf();
        if (in.bad()) return path + ": cannot read the file";
        const std::string source = text.str();
        if (auto error = texgen::compileDescription(source, *loaded)) {
            return path + ": " + texgen::formatCompileError(*error);
        }
        comments = hasComments(source);
    } else {
        if (texgen::Status status = texgen::readDescription(path, *loaded); !status.ok()) {
            return status.message;
        }
        if (texgen::Status status = texgen::validateDescription(*loaded); !status.ok()) {
            return path + ": " + status.message;
        }
    }
    replaceContents(*loaded, path, comments);
    return "";
}

std::string Document::save() {
    if (path_.empty()) return "no file name yet: use Save As";
    // A file the generator refuses would not open again: keep the person's
    // work here until every operation can run.
    if (texgen::Status status = texgen::validateDescription(*description_); !status.ok()) {
        return "not saved: " + status.message;
    }
    if (isProgramPath(path_)) {
        if (std::string error = writeText(path_, texgen::descriptionToText(*description_));
            !error.empty()) {
            return error;
        }
        hasComments_ = false; // the file on disk has none now
    } else if (texgen::Status status = texgen::writeDescription(path_, *description_);
               !status.ok()) {
        return status.message;
    }
    savedPosition_ = undoPosition_;
    return "";
}

std::string Document::saveAs(const std::string& path) {
    const std::string previous = path_;
    const bool previousComments = hasComments_;
    path_ = path;
    hasComments_ = false;
    std::string error = save();
    if (!error.empty()) {
        path_ = previous;
        hasComments_ = previousComments;
    }
    return error;
}

std::string Document::exportText(const std::string& path) const {
    return writeText(path, texgen::descriptionToText(*description_));
}

bool Document::modified() const {
    return undoPosition_ != savedPosition_;
}

std::string Document::title() const {
    std::string name = path_.empty() ? "untitled" : path_.substr(path_.find_last_of('/') + 1);
    return name + (modified() ? " *" : "");
}

bool Document::saveLosesComments() const {
    return hasComments_ && isProgramPath(path_);
}

int32_t Document::opcode(int layer, int index) const {
    return description_->lists[layer].opcode[index];
}

const ParameterRecord& Document::params(int layer, int index) const {
    return description_->lists[layer].params[index];
}

std::string Document::line(int layer, int index) const {
    return texgen::operationToText(opcode(layer, index), params(layer, index));
}

std::string Document::problem(int layer, int index) const {
    texgen::Status status = texgen::validateOperation(opcode(layer, index), params(layer, index));
    return status.ok() ? "" : status.message;
}

TextureDescription Document::runnable() const {
    TextureDescription result{};
    for (int layer = 0; layer < texgen::kLayerCount; ++layer) {
        OperationList& list = result.lists[layer];
        for (int index = 0; index < count(layer); ++index) {
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

bool Document::apply(const OperationList& after, Selection selectionAfter, int mergeKey) {
    const int layer = selection_.layer;
    steps_.resize(undoPosition_); // a new edit drops what could be redone
    if (savedPosition_ > undoPosition_) savedPosition_ = std::string::npos;
    Step* last = steps_.empty() ? nullptr : &steps_.back();
    if (mergeKey != kNoMerge && last && last->mergeKey == mergeKey && last->layer == layer &&
        last->selectionAfter == selection_ && savedPosition_ != undoPosition_) {
        last->after = after;
    } else {
        steps_.push_back(
            {layer, description_->lists[layer], after, selection_, selectionAfter, mergeKey});
        ++undoPosition_;
    }
    description_->lists[layer] = after;
    selection_ = selectionAfter;
    ++revision_;
    return true;
}

// Makes room at `at` in `list`, moving the operations from there one down.
static bool openSlot(OperationList& list, int at) {
    if (list.count >= texgen::kMaxOperations) return false;
    for (int i = list.count; i > at; --i) {
        list.opcode[i] = list.opcode[i - 1];
        list.params[i] = list.params[i - 1];
    }
    ++list.count;
    return true;
}

bool Document::add(int32_t code) {
    if (!texgen::findOperator(code)) return false;
    OperationList list = description_->lists[selection_.layer];
    const int at = selection_.index < 0 ? list.count : selection_.index + 1;
    if (!openSlot(list, at)) return false;
    list.opcode[at] = code;
    list.params[at] = defaultParameters(code, selection_.layer);
    return apply(list, {selection_.layer, at});
}

bool Document::insertBefore(int32_t code) {
    if (!texgen::findOperator(code)) return false;
    OperationList list = description_->lists[selection_.layer];
    const int at = std::max(selection_.index, 0);
    if (!openSlot(list, at)) return false;
    list.opcode[at] = code;
    list.params[at] = defaultParameters(code, selection_.layer);
    return apply(list, {selection_.layer, at});
}

bool Document::remove() {
    if (selection_.index < 0) return false;
    OperationList list = description_->lists[selection_.layer];
    for (int i = selection_.index; i + 1 < list.count; ++i) {
        list.opcode[i] = list.opcode[i + 1];
        list.params[i] = list.params[i + 1];
    }
    // The freed slot keeps its bytes, as the generator's own undo leaves them.
    --list.count;
    const int next = selection_.index < list.count ? selection_.index : list.count - 1;
    return apply(list, {selection_.layer, next});
}

bool Document::duplicate() {
    if (selection_.index < 0) return false;
    OperationList list = description_->lists[selection_.layer];
    const int at = selection_.index + 1;
    if (!openSlot(list, at)) return false;
    list.opcode[at] = list.opcode[selection_.index];
    list.params[at] = list.params[selection_.index];
    return apply(list, {selection_.layer, at});
}

bool Document::moveUp() {
    const int index = selection_.index;
    if (index < 1) return false;
    OperationList list = description_->lists[selection_.layer];
    std::swap(list.opcode[index], list.opcode[index - 1]);
    std::swap(list.params[index], list.params[index - 1]);
    return apply(list, {selection_.layer, index - 1});
}

bool Document::moveDown() {
    const int index = selection_.index;
    if (index < 0 || index + 1 >= count(selection_.layer)) return false;
    OperationList list = description_->lists[selection_.layer];
    std::swap(list.opcode[index], list.opcode[index + 1]);
    std::swap(list.params[index], list.params[index + 1]);
    return apply(list, {selection_.layer, index + 1});
}

bool Document::setParameter(int slot, float value) {
    if (selection_.index < 0 || slot < 0 || slot >= texgen::kParameterCount) return false;
    const texgen::OperatorInfo* info =
        texgen::findOperator(opcode(selection_.layer, selection_.index));
    if (!info || slot >= info->paramCount) return false;
    OperationList list = description_->lists[selection_.layer];
    float& stored = list.params[selection_.index].value[slot];
    if (std::memcmp(&stored, &value, sizeof value) == 0) return false;
    stored = value;
    return apply(list, selection_, slot);
}

bool Document::undo() {
    if (!canUndo()) return false;
    const Step& step = steps_[--undoPosition_];
    description_->lists[step.layer] = step.before;
    selection_ = step.selectionBefore;
    ++revision_;
    return true;
}

bool Document::redo() {
    if (!canRedo()) return false;
    const Step& step = steps_[undoPosition_++];
    description_->lists[step.layer] = step.after;
    selection_ = step.selectionAfter;
    ++revision_;
    return true;
}

} // namespace editor
