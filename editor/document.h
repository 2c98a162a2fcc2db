// The texture editor's document: the five operation lists, the selection,
// the edits with their unlimited undo and redo, and the files. No toolkit
// here; the window is a thin view over this.
//
// Operations are stored exactly as the generator stores them (opcode and ten
// floats), so saving writes the generator's own description bytes. An
// operation may hold values its operator refuses while the person is still
// typing: it stays in the document, is reported by problem(), and is left out
// of what is rendered.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "texgen/layers.h"

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

class Document {
  public:
    Document();
    ~Document();

    // Files. Each returns "" on success, else one line saying what is wrong;
    // on failure the document is unchanged. A ".txt" file is a program (the
    // compiler's text), anything else a description file.
    void clear(); // a new, empty texture
    std::string open(const std::string& path);
    std::string save(); // to path(); needs one
    std::string saveAs(const std::string& path);
    std::string exportText(const std::string& path) const;
    const std::string& path() const { return path_; }
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
    std::string line(int layer, int index) const; // the operation's source text
    // The validator's message for an operation that must not run; "" when it may.
    std::string problem(int layer, int index) const;
    // The description as it renders: operations with a problem left out.
    texgen::TextureDescription runnable() const;

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
    // One parameter slot of the selected operation. Repeated changes of the
    // same slot (a slider being dragged) make one undo step.
    bool setParameter(int slot, float value);

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
        texgen::OperationList before;
        texgen::OperationList after;
        Selection selectionBefore;
        Selection selectionAfter;
        int mergeKey; // slot of a parameter edit, -1 for other edits
    };
    bool apply(const texgen::OperationList& after, Selection selectionAfter, int mergeKey = -1);
    void replaceContents(const texgen::TextureDescription& description, const std::string& path,
                         bool hasComments);

    std::unique_ptr<texgen::TextureDescription> description_;
    Selection selection_;
    std::vector<Step> steps_;
    size_t undoPosition_ = 0; // steps_[0..undoPosition_) are done
    // The undo position at the last save, or npos when no position matches it.
    size_t savedPosition_ = 0;
    std::string path_;
    bool hasComments_ = false;
    uint64_t revision_ = 0;
};

} // namespace editor
