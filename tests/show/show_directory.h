// Runs the show program on a small show directory (support/show_data.h)
// through its configuration dialog on the test display.
#pragma once

#include <string>

#include "support/show_data.h"

// Environment prefix for a child show program run under the sanitizers.
extern const char* const kChildSanitizer;

// Runs the show program in `dir` with `environment` prefixed (e.g.
// "SDL_VIDEODRIVER=offscreen") on the test display, presses Enter on its
// configuration dialog (the defaults) and returns its exit code, -1 if it did
// not exit or no display is available.
int runShow(const std::string& dir, const std::string& environment);

// As runShow, but with Music switched off in the dialog before "Go!".
int runShowWithoutMusic(const std::string& dir, const std::string& environment);

// The file's bytes, or "" when it does not exist.
std::string readFile(const std::string& path);
