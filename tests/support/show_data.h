// A small, complete show directory for end-to-end tests: every texture of
// the show's table (16 x 16 pictures, with their "_alpha" companions), the
// loading picture, a script and, where wanted, a tune for its music.
#pragma once

#include <string>

// Creates `dir`/data/*.hwl and `dir`/script.sqx holding `script`.
void makeShowDirectory(const std::string& dir, const std::string& script);

// Writes a quiet 440 Hz tone, 16-bit mono WAV at 44100 Hz, `seconds` long.
void writeTune(const std::string& path, double seconds);
