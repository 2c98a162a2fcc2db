// A small, complete show directory for end-to-end tests: every texture of
// the show's table (16 x 16 pictures, with their "_alpha" companions), the
// loading picture and a script.
#pragma once

#include <string>

// Creates `dir`/data/*.hwl and `dir`/script.sqx holding `script`.
void makeShowDirectory(const std::string& dir, const std::string& script);
