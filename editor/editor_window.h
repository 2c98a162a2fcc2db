// The texture editor's window: a thin FLTK view over editor::Document and
// editor::Renderer.
#pragma once

#include <string>

namespace editor {

struct ViewOptions {
    // Prints "preview REVISION MS" on stdout each time a new preview is shown
    // (MS from the edit to the picture on screen).
    bool printTimings = false;
};

// Opens the window on `path` ("" for a new texture) and runs it until it is
// closed. Returns the exit code; a file that cannot be read or a missing
// display is one line on stderr and 1.
int runEditor(const std::string& path, const ViewOptions& options);

} // namespace editor
