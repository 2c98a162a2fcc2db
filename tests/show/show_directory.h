// Builds a small, complete show directory for end-to-end tests: every
// texture of the show's table (16 x 16 pictures, with their "_alpha"
// companions), the loading picture and a script.
#pragma once

#include <string>

// Creates `dir`/data/*.hwl and `dir`/script.sqx holding `script`.
void makeShowDirectory(const std::string& dir, const std::string& script);

// Environment prefix for a child show program run under the sanitizers.
extern const char* const kChildSanitizer;

// Runs the show program in `dir` with `environment` prefixed (e.g.
// "SDL_VIDEODRIVER=offscreen") on the test display, presses Enter on its
// configuration dialog (the defaults) and returns its exit code, -1 if it did
// not exit or no display is available.
int runShow(const std::string& dir, const std::string& environment);

// Writes a quiet 440 Hz tone, 16-bit mono WAV at 44100 Hz, `seconds` long.
void writeTune(const std::string& path, double seconds);

// As runShow, but with Music switched off in the dialog before "Go!".
int runShowWithoutMusic(const std::string& dir, const std::string& environment);

// The file's bytes, or "" when it does not exist.
std::string readFile(const std::string& path);
