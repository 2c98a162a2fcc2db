// The texture editor's document: the five operation lists, the selection,
// the edits with their unlimited undo and redo, and the files. No toolkit
// here; the window is a thin view over this.
//
// Operations are stored exactly as the generator stores them (opcode and ten
// floats), so saving writes the generator's own description bytes. An
// operation may hold values its operator refuses while the person is still
// typing: it stays in the document, is reported by problem(), and is left out
// of what is rendered. A program line that does not compile at all (a typo,
// "1,5") is kept as its text in its place, so that it can be mended there.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "texgen/layers.h"
#include "texgen/operator_table.h"
#include "texgen/text_export.h"

namespace editor {

// Where the editing happens: a layer, and an operation of it or -1 for none
// (the layer's header: additions then go to the end of its list).
struct Selection {
    int layer = 0;
    int index = -1;
    bool operator==(const Selection&) const = default;
};

// Parameters a fresh operation of `opcode` starts with when added to list
// `layer`: the same every time, and valid for every operator.
texgen::ParameterRecord defaultParameters(int32_t opcode, int layer);

// The layer operation (opcode, params) writes: its "dst" argument, else `fallback`.
int writtenLayer(int32_t opcode, const texgen::ParameterRecord& params, int fallback);

// What a line that does not compile stores as its opcode: none, so it runs as nothing.
constexpr int32_t kBrokenOpcode = -1;

// A program line kept as written because it does not compile.
struct BrokenLine {
    std::string text;
    std::string message; // "column C: what is wrong"
    bool operator==(const BrokenLine&) const = default;
};

// One layer's list as the document holds it: the generator's operations and,
// per slot, the broken line it stands for (empty text for an operation).
struct LayerList {
    texgen::OperationList operations{};
    std::array<BrokenLine, texgen::kMaxOperations> broken;
};

// A parameter the validator refuses, with its message; slot kNoSlot for a
// fault of the operation as a whole (mandelBrot's window).
struct SlotProblem {
    int slot;
    std::string message;
};

// A value typed into a parameter field, read as a program reads it: "" and
// `value`, or why the text is refused ("1,5", "nan", "12abc").
std::string parseTypedValue(texgen::ParamKind kind, std::string_view text, float& value);

// A PNG size typed by the person: a power of two 2..4096, or why not.
std::string parseExportSize(std::string_view text, int& size);

class Document {
  public:
    Document();
    ~Document();

    // Files. Each returns "" on success, else one line saying what is wrong;
    // on failure the document is unchanged. A file that is text is a program
    // (the compiler's text, broken lines and all), anything else a
    // description file. Save As writes a program to a ".txt" name and a
    // description file to any other.
    void clear(); // a new, empty texture
    std::string open(const std::string& path);
    std::string save(); // to path(); needs one
    std::string saveAs(const std::string& path);
    // The program with every bit of every float (the generator's own text export).
    std::string exportText(const std::string& path) const;
    const std::string& path() const { return path_; }
    bool isProgram() const { return program_; }
    // The document as a program, lines that do not compile as written.
    std::string programText(texgen::NumberStyle style) const;
    bool modified() const;
    // "name.tex *" style: the file name (or "untitled") and a mark for unsaved changes.
    std::string title() const;
    // True when save() would write text over a program whose comments the
    // text export cannot keep.
    bool saveLosesComments() const;

    // Contents.
    const texgen::TextureDescription& description() const { return *description_; }
    int count(int layer) const { return description_->lists[layer].count; }
    int32_t opcode(int layer, int index) const;
    const texgen::ParameterRecord& params(int layer, int index) const;
    // The operation's source text, numbers as people write them.
    std::string line(int layer, int index) const;
    bool isBroken(int layer, int index) const;
    // The compiler's message for a broken line, the validator's for an
    // operation that must not run; "" when it may.
    std::string problem(int layer, int index) const;
    // Every parameter the validator refuses, not only the first.
    std::vector<SlotProblem> slotProblems(int layer, int index) const;
    int problemCount() const;
    // The description as it renders: operations with a problem left out.
    texgen::TextureDescription runnable() const;
    // The same, stopped right after the operation `at` (at.index -1: the whole).
    texgen::TextureDescription runnableUpTo(Selection at) const;

    // Selection (not an edit: it is not undone on its own).
    Selection selection() const { return selection_; }
    void select(Selection selection);

    // Edits on the selected layer. Each is one undo step and returns false
    // (changing nothing) when it cannot be done: a full list, no operation
    // selected, an unknown opcode, the top or bottom already reached.
    bool add(int32_t opcode);          // after the selection (at the end without one)
    bool insertBefore(int32_t opcode); // before the selection (at the start without one)
    bool remove();                     // the selected operation; the next one is selected
    bool duplicate();                  // a copy right after it, selected
    bool moveUp();
    bool moveDown();
    // One parameter slot of the selected operation. Changes with `ongoing`
    // (a slider being dragged) join the step of the change before them, if
    // that was an ongoing change of the same slot; the change without it
    // that ends a drag joins it too and closes the step.
    bool setParameter(int slot, float value, bool ongoing = false);
    // Replaces the selected operation by the program line `text`: mends a
    // broken line, or breaks one. False when it is the same line.
    bool setLine(const std::string& text);

    bool canUndo() const { return undoPosition_ > 0; }
    bool canRedo() const { return undoPosition_ < steps_.size(); }
    bool undo();
    bool redo();

    // Bumped by every change of the contents, so a render can be matched to
    // the document it shows.
    uint64_t revision() const { return revision_; }

  private:
    // One undo step: the list of one layer before and after, and the selections.
    struct Step {
        int layer;
        LayerList before;
        LayerList after;
        Selection selectionBefore;
        Selection selectionAfter;
        int mergeKey; // slot of a parameter edit, -1 for other edits
        bool open;    // a drag still going on: the next change of the slot joins it
    };
    LayerList list(int layer) const;
    void store(int layer, const LayerList& list);
    bool apply(const LayerList& after, Selection selectionAfter, int mergeKey = -1,
               bool open = false);
    void replaceContents(const texgen::TextureDescription& description,
                         const std::array<std::vector<BrokenLine>, texgen::kLayerCount>& broken,
                         const std::string& path, bool program, bool hasComments);
    std::string openProgram(const std::string& path, const std::string& source);

    std::unique_ptr<texgen::TextureDescription> description_;
    std::array<std::array<BrokenLine, texgen::kMaxOperations>, texgen::kLayerCount> broken_;
    Selection selection_;
    std::vector<Step> steps_;
    size_t undoPosition_ = 0; // steps_[0..undoPosition_) are done
    // The undo position at the last save, or npos when no position matches it.
    size_t savedPosition_ = 0;
    std::string path_;
    bool program_ = false;
    bool hasComments_ = false;
    uint64_t revision_ = 0;
};

} // namespace editor
