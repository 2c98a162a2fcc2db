// A scene set: what the show's scenes draw, read from the text files of a
// show directory's scenes/ folder (.scene files, and .tracks files for the
// tracks), checked whole before anything is drawn with it. No GL here: the
// interpreter (scene_interpreter.h) draws it, makeshow checks it.
//
//   std::vector<SceneSource> files = {{"scenes/show.scene", text}, ...};
//   SceneSet set;
//   if (const SceneSetError error = readSceneSet(files, set); error) ... error.text() ...
//
// A .scene file holds blocks, each closed by "end"; "#" starts a comment:
//
//   pictures                    the pictures drawn with, in loading order:
//       data/floor.hwl none mipmap      FILE, its alpha: companion (FILE's
//   end                                 _alpha picture), blue (its own
//                                       blue) or none; mipmap: mipmapped
//   piece NAME ... end          steps that scenes and pieces include
//   scene NAME                  a scene the script can place
//       start ... end           steps run in a placement's first 101 ms
//       draw ... end            steps of every frame, before the swap
//       after ... end           steps after the swap (the camera)
//   end
//
// Steps, one a line (VALUE: a number or an expression, scene_expression.h,
// written without spaces or with spaces only inside parentheses):
//   identity                     the model-view matrix := identity
//   texturing on|off
//   blend over|add               source alpha over, or added
//   colour R G B A
//   picture data/NAME.hwl        binds a listed picture
//   quad ... end                 one quad: four lines "S T X Y Z"
//   quads ... end                quads in one block: four lines each
//   plain ... end                untextured quads: four lines "X Y Z" each
//   grid COLUMNS ROWS ... end    the quads of its "S T X Y Z" lines drawn
//                                once for each cell, i its column and j
//                                its row (from 0), in one block
//   include NAME                 a piece's steps
//   tufts                        the scattered grass field
//   view EX EY EZ CX CY CZ UX UY UZ   the camera looks from E at C, up U
//   camera on|off                on: the neutral view now, the stored one
//                                after (off: only the stored one)
//   scatter                      scatters the grass field (the show's
//                                random generator)
//   once ... end                 steps run once per show (the set-up)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "show/scene_expression.h"
#include "show/scene_tracks.h"

namespace scenes {

constexpr size_t kMaxSceneFileBytes = 1 << 20;
constexpr size_t kMaxSceneCount = 100; // the show's scene slots
constexpr size_t kMaxQuadsPerScene = 20000;
constexpr int32_t kMaxIncludeDepth = 16;
constexpr int64_t kMaxStepsPerScene = 100000; // a part's steps, its includes' counted each time

enum class Alpha : uint8_t { None, Companion, Blue };

struct PictureEntry {
    std::string file; // "data/NAME.hwl", relative to the show directory
    Alpha alpha = Alpha::None;
    bool mipmap = false;
    std::string listedIn; // where the pictures block names it
    int32_t line = 0, column = 0;
};

enum class StepKind : uint8_t {
    Identity,
    Texturing, // argument: 1 on, 0 off
    Blend,     // argument: 0 over, 1 add
    Colour,    // 4 values
    Picture,   // argument: the picture's index
    Quads,     // 20 values a quad
    Plain,     // 12 values a quad
    Include,   // argument: the piece's block
    Tufts,
    View,   // 9 values
    Camera, // argument: 1 on, 0 off
    Scatter,
    Once, // argument: the block run once
    Grid, // argument: columns; 20 values a quad
};

struct Step {
    StepKind kind = StepKind::Identity;
    int32_t argument = 0;
    int32_t first = 0, count = 0; // its values: set.values[first .. first + count)
    int32_t rows = 0;             // a grid's
};

struct StepBlock {
    std::vector<Step> steps;
};

struct SceneEntry {
    std::string name;
    int32_t start = -1, draw = -1, after = -1; // blocks; -1: none
    std::string file;                          // where it is written
    int32_t line = 0;
};

struct SceneSet {
    std::vector<PictureEntry> pictures;
    std::vector<SceneEntry> scenes;
    std::vector<Track> tracks;
    std::vector<StepBlock> blocks;
    ExpressionPool pool;
    std::vector<ExpressionId> values;
};

struct SceneSource {
    std::string name; // as errors name it: "scenes/show.scene"
    std::string text;
};

struct SceneSetError {
    std::string file;
    int32_t line = 0, column = 0; // 1-based; 0: the file as a whole
    std::string message;

    explicit operator bool() const { return !message.empty(); }
    // "FILE:LINE:COLUMN: MESSAGE" (or "FILE: MESSAGE").
    std::string text() const;
};

// Reads every file into `set`: .tracks files first, so that any scene may
// name any track. Names of pieces and scenes are shared by the whole set.
SceneSetError readSceneSet(const std::vector<SceneSource>& files, SceneSet& set);

} // namespace scenes
