// Reads source text back into operations: the reverse of text_export.h.
//
// A program is a sequence of lines. "layer L:" starts the list of layer L
// (0..4, each at most once); every operation line below it, written as
// operationToText writes it ("blurLayer(0,1);"), is appended to that list.
// Spaces between tokens, blank lines and comments ("//" or "#" to the end of
// the line) are allowed. Every operation is validated as it is read, so a
// program that compiles also runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "texgen/layers.h"
#include "texgen/operator_table.h"

namespace texgen {

struct CompileError {
    int32_t line = 0;   // 1-based
    int32_t column = 0; // 1-based, in bytes
    std::string message;
};

// "line 3, column 7: message".
std::string formatCompileError(const CompileError& error);

// One operation on one line (line 1 in the error). mandelBrot's text gives
// the window's width and height; the stored right and bottom edges are
// chosen so that the text of the result reads back the same and the
// interpreter's single-precision differences give the written size.
std::optional<CompileError> compileOperation(std::string_view text, int32_t& opcode,
                                             ParameterRecord& params);

// One parameter value typed on its own, read as an argument of `kind` is
// read in a program: "" and `value`, or why the text is refused.
std::string parseParameter(ParamKind kind, std::string_view text, float& value);

// A whole program. `description` is cleared first; unused slots hold zeros.
std::optional<CompileError> compileDescription(std::string_view source,
                                               TextureDescription& description);

} // namespace texgen
