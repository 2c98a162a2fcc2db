// texedit: the texture editor. Opens a description file (.tex), a texture
// program (.txt) or a new texture in its window.
#include <CLI/CLI.hpp>

#include <string>

#include "editor/editor_window.h"
#include "platform/program_start.h"

int main(int argc, char** argv) {
    startProgram(argc, argv);
    CLI::App app{"texedit: edit a procedural texture with a live preview"};
    std::string path;
    editor::ViewOptions options;
    app.add_option("FILE", path,
                   "description file (.tex) or texture program (.txt); none for a new texture");
    app.add_flag("--print-timings", options.printTimings,
                 "print 'preview REVISION MILLISECONDS' on stdout for every preview shown");
    CLI11_PARSE(app, argc, argv);
    return editor::runEditor(path, options);
}
